// Counting and listing by position, and the patient order in both directions.
#include <gtest/gtest.h>

#include "PatientDatabase.h"

namespace {

using qel::test::PatientDatabase;

class Enumeration : public PatientDatabase {
protected:
    std::vector<LONG> Patients() {
        std::vector<LONG> keys;
        LONG count = 0, key = 0;
        EXPECT_TRUE(m_db.GetPatientCount(&count));
        for (LONG i = 0; i < count; ++i) {
            EXPECT_TRUE(m_db.GetPatient(i, &key)) << i;
            keys.push_back(key);
        }
        return keys;
    }
};

TEST_F(Enumeration, NewDatabaseCountsWithoutPlaceholders) {
    LONG count = -1, key = -1;
    ASSERT_TRUE(m_db.GetDoctorCount(&count));
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(m_db.GetDoctor(0, &key));
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);
    ASSERT_TRUE(m_db.GetImageMediaCount(&count));
    EXPECT_EQ(count, 0);
    ASSERT_TRUE(m_db.GetImageMediaTypeCount(&count));
    ASSERT_EQ(count, 2);
    std::vector<LONG> types(2);
    ASSERT_TRUE(m_db.GetImageMediaType(0, &types[0]));
    ASSERT_TRUE(m_db.GetImageMediaType(1, &types[1]));
    EXPECT_LT(types[0], types[1]) << "media types are listed by key";
    EXPECT_FALSE(m_db.GetImageMediaType(2, &key));
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);
    EXPECT_TRUE(m_db.GetImageMediaType(0, &key));
    EXPECT_EQ(m_db.GetLErrorCode(), 0) << "each call resets the error state";
}

TEST_F(Enumeration, PatientsByNameOrNumberInBothDirections) {
    Insert({{1, "VERDI", "300"}, {2, "bianchi", "100"}, {3, "Rossi", "200"}});
    EXPECT_EQ(Patients(), (std::vector<LONG>{2, 3, 1})) << "a fresh object lists by name, ascending, ignoring case";

    m_ui->Clear();
    ASSERT_TRUE(m_db.ArrangePatients(1, TRUE));
    EXPECT_EQ(m_ui->Count("BeginWaitCursor"), 1u);
    EXPECT_EQ(m_ui->Count("EndWaitCursor"), 1u);
    EXPECT_EQ(Patients(), (std::vector<LONG>{2, 3, 1}));

    ASSERT_TRUE(m_db.ArrangePatients(0, FALSE));
    EXPECT_EQ(Patients(), (std::vector<LONG>{1, 3, 2})) << "descending: position 0 is ascending position count-1";
    ASSERT_TRUE(m_db.ArrangePatients(1, FALSE));
    EXPECT_EQ(Patients(), (std::vector<LONG>{1, 3, 2}));
    ASSERT_TRUE(m_db.ArrangePatients(0, TRUE));
    EXPECT_EQ(Patients(), (std::vector<LONG>{2, 3, 1}));
}

TEST_F(Enumeration, PositionsOutsideTheIndexFailInEitherDirection) {
    Insert({{1, "A", "1"}, {2, "B", "2"}, {3, "C", "3"}});
    for (BOOL ascending : {TRUE, FALSE}) {
        ASSERT_TRUE(m_db.ArrangePatients(0, ascending));
        for (LONG position : {LONG{-1}, LONG{3}, LONG{-2147483647 - 1}, LONG{2147483647}}) {
            LONG key = 77;
            EXPECT_FALSE(m_db.GetPatient(position, &key)) << position;
            EXPECT_EQ(m_db.GetLErrorCode(), 8020);
            EXPECT_EQ(key, 77);
        }
    }
    EXPECT_FALSE(m_db.GetPatientCount(nullptr));
}

TEST_F(Enumeration, UnknownIndexIsKeptButRefused) {
    Insert({{1, "A", "1"}});
    EXPECT_FALSE(m_db.ArrangePatients(5, TRUE));
    EXPECT_EQ(m_db.GetLErrorCode(), 0);
    LONG key = 0;
    EXPECT_FALSE(m_db.GetPatient(0, &key)) << "later calls use the unknown index";
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);
}

TEST_F(Enumeration, ClosedDatabaseCannotBuildSets) {
    ASSERT_TRUE(m_db.Close());
    LONG value = 0;
    EXPECT_FALSE(m_db.GetPatientCount(&value));
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
    EXPECT_FALSE(m_db.GetDoctor(0, &value));
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
    EXPECT_FALSE(m_db.ArrangePatients(1, TRUE));
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
}

}  // namespace

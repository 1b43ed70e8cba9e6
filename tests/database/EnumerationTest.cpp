// Counting and listing by position, and the patient order in both directions.
#include "support/EngineDatabase.h"

namespace {

using Enumeration = qel::test::OpenedDatabase;

TEST_P(Enumeration, NewDatabaseCountsWithoutPlaceholders) {
    LONG doctors = -1, media = -1, types = -1, first = 0, second = 0;
    ASSERT_TRUE(m_db.GetDoctorCount(&doctors) && m_db.GetImageMediaCount(&media) &&
                m_db.GetImageMediaTypeCount(&types));
    EXPECT_EQ(std::vector<LONG>({doctors, media, types}), std::vector<LONG>({0, 0, 2}));
    ASSERT_TRUE(m_db.GetImageMediaType(0, &first) && m_db.GetImageMediaType(1, &second));
    EXPECT_LT(first, second) << "media types are listed by key";
    EXPECT_FALSE(m_db.GetDoctor(0, &first));
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);
    ASSERT_TRUE(m_db.Close());
    EXPECT_FALSE(m_db.GetPatientCount(&first));
    EXPECT_EQ(m_db.GetLErrorCode(), 10) << "no set without a connection";
}

TEST_P(Enumeration, PatientsByNameOrNumberInBothDirections) {
    Insert({{1, "VERDI", "300"}, {2, "bianchi", "100"}, {3, "Rossi", "200"}});
    EXPECT_EQ(Patients(), (std::vector<LONG>{2, 3, 1})) << "a fresh object lists by name, ascending";
    m_ui->Clear();
    ASSERT_TRUE(m_db.ArrangePatients(1, FALSE));
    EXPECT_EQ(m_ui->Count("BeginWaitCursor") + m_ui->Count("EndWaitCursor"), 2u);
    EXPECT_EQ(Patients(), (std::vector<LONG>{1, 3, 2})) << "descending: position 0 is ascending position count-1";
    for (BOOL ascending : {TRUE, FALSE}) {
        ASSERT_TRUE(m_db.ArrangePatients(0, ascending));
        for (LONG position : {-1, 3, INT32_MIN, INT32_MAX}) {
            LONG key = 77;
            EXPECT_FALSE(m_db.GetPatient(position, &key));
            EXPECT_EQ(m_db.GetLErrorCode(), 8020);
            EXPECT_EQ(key, 77);
        }
    }
    EXPECT_FALSE(m_db.ArrangePatients(5, TRUE));
    EXPECT_EQ(m_db.GetLErrorCode(), 0) << "an unknown index is refused without a code";
    EXPECT_EQ(Patients(), (std::vector<LONG>{-8020, -8020, -8020})) << "and used by later calls";
}

INSTANTIATE_TEST_SUITE_P(Engines, Enumeration, qel::test::BothEngines(), qel::test::EngineParamName);

}  // namespace

// The object sets and the record operations on them, over real databases.
#include <gtest/gtest.h>

#include <qel/outside/records/CachedData.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/EngineDatabase.h"

namespace {

class ObjectSets : public qel::test::AttachedDatabase {
protected:
    void InsertDoctor(LONG key, const std::string& name) {
        Exec("INSERT INTO DOC200 (DOCID, DOCKEY, DOCNAME) VALUES ('D" + std::to_string(key) + "', " +
             std::to_string(key) + ", '" + name + "')");
    }
    void InsertPatient(LONG key, const std::string& name, LONG doctor = 0) {
        Exec("INSERT INTO PAT200 (PATID, PATKEY, PATDOCKEY, PATNAME, PATNUMBER) VALUES ('P" + std::to_string(key) +
             "', " + std::to_string(key) + ", " + std::to_string(doctor) + ", '" + name + "', '" + std::to_string(key) +
             "')");
    }
};

TEST_P(ObjectSets, SetsAreReadOnceAndSkipPlaceholders) {
    InsertDoctor(1, "DR ROSSI");
    CDoctorData* doctor = nullptr;
    ASSERT_TRUE(m_db.GetDoctorData(1, &doctor));
    EXPECT_EQ(doctor->m_strName, "DR ROSSI");
    EXPECT_TRUE(doctor->m_bLoaded);

    InsertDoctor(2, "DR VERDI");
    EXPECT_FALSE(m_db.GetDoctorData(2, &doctor)) << "a built set is not read again";
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);
    EXPECT_FALSE(m_db.GetDoctorData(0, &doctor)) << "the placeholder doctor is never cached";
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);

    CMediaData* medium = nullptr;
    EXPECT_FALSE(m_db.GetMediaData(0, &medium));
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);

    InsertPatient(0, "ZERO");
    CPatientData* patient = nullptr;
    ASSERT_TRUE(m_db.GetPatientData(0, &patient)) << "patients are cached whatever their key";
    EXPECT_TRUE(m_db.PatientsRead());
    CMediaTypeData* type = nullptr;
    ASSERT_TRUE(m_db.GetMediaTypeData(2, &type));
    EXPECT_EQ(type->m_strName, "CD-ROM");
    EXPECT_FALSE(type->TypeNetworkFolder());
    ASSERT_TRUE(m_db.GetMediaTypeData(1, &type));
    EXPECT_TRUE(type->TypeNetworkFolder());
}

TEST_P(ObjectSets, AddingARowThatIsAlreadyInTheTableCachesTheCallersObject) {
    InsertPatient(7, "BIANCHI");
    InsertPatient(8, "NERI");
    auto mine = std::make_unique<CPatientData>();
    mine->m_lKey = 7;
    mine->SetName("BIANCHI (client)");
    CPatientData* raw = mine.get();
    ASSERT_TRUE(m_db.AddPatientData(mine.release()));
    CPatientData* got = nullptr;
    ASSERT_TRUE(m_db.GetPatientData(7, &got));
    EXPECT_EQ(got, raw);
    ASSERT_TRUE(m_db.GetPatientData(8, &got));

    auto again = std::make_unique<CPatientData>();
    again->m_lKey = 7;
    EXPECT_FALSE(m_db.AddPatientData(again.get()));
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
    ASSERT_TRUE(m_db.GetPatientData(7, &got));
    EXPECT_EQ(got, raw) << "a refused add leaves the cached object in place";

    auto replacement = std::make_unique<CPatientData>();
    replacement->m_lKey = 7;
    replacement->SetName("BIANCHI (replaced)");
    ASSERT_TRUE(m_db.ReplacePatientData(replacement.release()));
    ASSERT_TRUE(m_db.GetPatientData(7, &got));
    EXPECT_EQ(got->GetName(), "BIANCHI (replaced)");

    EXPECT_TRUE(m_db.DeletePatientData(7));
    EXPECT_TRUE(m_db.DeletePatientData(7)) << "deleting an absent record succeeds";
    EXPECT_FALSE(m_db.GetPatientData(7, &got));
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);
}

TEST_P(ObjectSets, AFailedBuildLeavesNoSetAndIsTriedAgain) {
    InsertPatient(1, "ROSSI");
    Exec("ALTER TABLE PAT200 RENAME TO PATOLD");
    CPatientData* got = nullptr;
    EXPECT_FALSE(m_db.GetPatientData(1, &got));
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
    EXPECT_FALSE(m_db.PatientsRead());

    Exec("ALTER TABLE PATOLD RENAME TO PAT200");
    EXPECT_TRUE(m_db.GetPatientData(1, &got));
    EXPECT_TRUE(m_db.PatientsRead());
}

TEST_P(ObjectSets, PatientsAreBuiltWithoutTheirDoctors) {
    InsertPatient(1, "ROSSI");
    Exec("ALTER TABLE DOC200 RENAME TO DOCOLD");
    CPatientData* got = nullptr;
    EXPECT_TRUE(m_db.GetPatientData(1, &got));
    CDoctorData* doctor = nullptr;
    EXPECT_FALSE(m_db.GetDoctorData(1, &doctor));
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
    Exec("ALTER TABLE DOCOLD RENAME TO DOC200");
}

TEST_P(ObjectSets, ClosingDiscardsEverySet) {
    InsertPatient(1, "ROSSI");
    CPatientData* got = nullptr;
    ASSERT_TRUE(m_db.GetPatientData(1, &got));
    DatabaseObjInternals::Detach(m_db);
    EXPECT_FALSE(m_db.PatientsRead());
}

INSTANTIATE_TEST_SUITE_P(Engines, ObjectSets, ::testing::Values(2, 1),
                         qel::test::EngineParamName);

}  // namespace

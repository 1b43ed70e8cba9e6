// A fixture for the enumeration and search tests: a temporary profile opened
// end to end on a new database of either engine, with patient rows written
// before the patient set is first read.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/odbc/Database.h>
#include <qel/platform/Locale.h>

#include "EngineDatabase.h"
#include "support/DatabaseObjTesting.h"

namespace qel::test {

struct PatientRow {
    LONG key;
    std::string name;
    std::string number;
    std::string kanji = {};
    LONG doctor = 0;
};

class PatientDatabase : public EngineDatabase {
protected:
    void SetUp() override {
        EngineDatabase::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(OpenDatabase(m_db, NewLocation("search/clinic.db"), "QelSearch"));
    }
    void TearDown() override {
        m_db.Close();
        qel::platform::SetThreadLocale(qel::platform::LOCALE_ENGLISH_US);
    }

    void Insert(const std::vector<PatientRow>& rows) {
        for (const auto& row : rows) {
            const std::string key = std::to_string(row.key);
            m_db.GetDatabase()->ExecuteSQL(
                ("INSERT INTO PAT200 (PATID, PATKEY, PATDOCKEY, PATNAME, PATKANJINAME, PATNUMBER) VALUES ('P" + key +
                 "', " + key + ", " + std::to_string(row.doctor) + ", '" + row.name + "', '" + row.kanji + "', '" +
                 row.number + "')")
                    .c_str());
        }
    }

    // Every position of the current patient order; a failed read gives -code.
    std::vector<LONG> Patients() {
        std::vector<LONG> keys;
        LONG count = 0, key = 0;
        EXPECT_TRUE(m_db.GetPatientCount(&count));
        for (LONG i = 0; i < count; ++i) keys.push_back(m_db.GetPatient(i, &key) ? key : -m_db.GetLErrorCode());
        return keys;
    }

    // The found list, read through GetFoundPatient.
    std::vector<LONG> Found() {
        std::vector<LONG> keys;
        LONG key = 0;
        for (LONG i = 0; m_db.GetFoundPatient(i, &key); ++i) keys.push_back(key);
        return keys;
    }

    RecordedUserInterface m_ui;
    CDatabaseObj m_db;
};

}  // namespace qel::test

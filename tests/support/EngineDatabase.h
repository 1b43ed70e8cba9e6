// The fixtures of the tests on real databases of both engines (PostgreSQL
// cases follow the rule of support/Engines.h):
//   AttachedDatabase  a database object connected to a scratch database
//                     without the open path, for the layers the open builds on;
//   EngineDatabase    the base of the end-to-end tests, which open through
//                     the real open path: a temporary profile on a new SQLite
//                     file in the sandbox (engine 2) or a new database of the
//                     test's PostgreSQL server (engine 1). Engine 1's data
//                     source preparation creates nothing, so the user data
//                     source is written before every open, as an
//                     administrator would have set it up; closing a
//                     temporary profile removes it again;
//   OpenedDatabase    m_db opened that way, with helpers to write rows and
//                     read the patient lists.
//
//   class MyTest : public qel::test::EngineDatabase {};
//   TEST_P(MyTest, ...) { CDatabaseObj db; ASSERT_TRUE(OpenDatabase(db, NewLocation("a.db"), "QelA")); }
//   INSTANTIATE_TEST_SUITE_P(Engines, MyTest, qel::test::BothEngines(), qel::test::EngineParamName);
//
// A derived SetUp calls the base's first and returns when IsSkipped() or
// HasFatalFailure().
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/platform/Locale.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/DatabaseObjTesting.h"
#include "support/Engines.h"
#include "support/Sandbox.h"

namespace qel::test {

// The tables of the current schema are created unless the derived fixture
// passes false (to test their creation).
class AttachedDatabase : public ::testing::TestWithParam<LONG> {
protected:
    explicit AttachedDatabase(bool createTables = true) : m_createTables(createTables) {}
    void SetUp() override {
        QEL_REQUIRE_ENGINE(GetParam());
        m_database = ScratchDatabase::Create(GetParam(), "attached");
        DatabaseObjInternals::Attach(m_db, m_database->Connect(), GetParam());
        if (m_createTables) {
            ASSERT_TRUE(DatabaseObjInternals::Schema(m_db).CheckAndUpgradeDatabase());
        }
    }
    void TearDown() override {
        if (m_database) DatabaseObjInternals::Detach(m_db);
    }
    void Exec(const std::string& sql) { m_db.GetDatabase()->ExecuteSQL(sql.c_str()); }

    const bool m_createTables;
    std::optional<ScratchDatabase> m_database;
    CDatabaseObj m_db;
};

class EngineDatabase : public ::testing::TestWithParam<LONG> {
protected:
    void SetUp() override {
        QEL_REQUIRE_ENGINE(GetParam());
        // The shipped layouts are imported into every new database.
        ::setenv("QEL_MODULE_DIR", BinaryPath("bin").c_str(), 1);
    }

    LONG Engine() const { return GetParam(); }
    bool OnPostgres() const { return GetParam() == qel::datasource::kEngineClientServer; }

    // Where a new, empty database lives: the sandbox path of `file` (not
    // created) or the name of a new PostgreSQL database.
    std::string NewLocation(const std::string& file) {
        if (!OnPostgres()) return Sandbox::Current().Path(file);
        auto database = ScratchDatabase::Create(Engine(), "e2e");
        if (!database) return {};
        m_databases.push_back(std::move(*database));
        return m_databases.back().Location();
    }

    // A temporary profile for the database at `location` through the data
    // source `dsn`; for PostgreSQL the data source is written first
    // (reaching the server through 127.0.0.1:`port` when given).
    ::testing::AssertionResult PrepareProfile(CDatabaseObj& db, const std::string& location, const std::string& dsn,
                                              int port = 0) {
        if (location.empty()) return ::testing::AssertionFailure() << "no database location";
        if (!db.AddNew(TRUE, FALSE)) return ::testing::AssertionFailure() << "AddNew " << db.GetLErrorCode();
        DatabaseObjInternals::SetEngine(db, Engine());
        db.SetStrDataSource(dsn.c_str());
        db.SetStrDirectory(location.c_str());
        return WriteDataSource(location, dsn, port);
    }

    // The data source of a PostgreSQL database again (a closed temporary
    // profile took it away); nothing to do for SQLite.
    ::testing::AssertionResult WriteDataSource(const std::string& location, const std::string& dsn, int port = 0) {
        if (OnPostgres() && !qel::test::WritePostgresDataSource(dsn, location, port))
            return ::testing::AssertionFailure() << "cannot write the data source " << dsn;
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult OpenDatabase(CDatabaseObj& db, const std::string& location, const std::string& dsn) {
        if (auto prepared = PrepareProfile(db, location, dsn); !prepared) return prepared;
        if (!db.Open2(FALSE)) return ::testing::AssertionFailure() << "Open " << db.GetLErrorCode();
        return ::testing::AssertionSuccess();
    }

private:
    std::vector<ScratchDatabase> m_databases;  // PostgreSQL databases, dropped after the test
};

struct PatientRow {
    LONG key;
    std::string name;
    std::string number;
    std::string kanji = {};
    LONG doctor = 0;
};

// A temporary profile opened end to end on a new database, created with the
// shipped default layouts and the default media types; rows written through
// Exec before a set is first read are what the object reads.
class OpenedDatabase : public EngineDatabase {
protected:
    void SetUp() override {
        EngineDatabase::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_location = NewLocation("media/clinic.db");
        ASSERT_TRUE(OpenDatabase(m_db, m_location, "QelClinic"));
    }
    void TearDown() override {
        m_db.Close();
        qel::platform::SetThreadLocale(qel::platform::LOCALE_ENGLISH_US);
    }

    void Exec(const std::string& sql) { m_db.GetDatabase()->ExecuteSQL(sql.c_str()); }
    LONG Number(const std::string& sql) {
        qel::odbc::Statement st(*m_db.GetDatabase());
        st.Prepare(sql);
        st.Execute();
        return st.Fetch() ? st.GetInt32(1).value_or(-1) : -1;
    }
    void InsertMedium(LONG key, LONG typeKey) {
        const std::string k = std::to_string(key);
        Exec("INSERT INTO MED200 (MEDID, MEDKEY, MEDIMTKEY, MEDDIRECTORY, MEDVOLUMELABEL, MEDSIZE) VALUES ('M" + k + "', " +
             k + ", " + std::to_string(typeKey) + ", 'd" + k + "', 'v', 0)");
    }
    // Removes the settings row, so that any save fails with 10.
    void BreakSettingsRow() { Exec("DELETE FROM TBL200 WHERE TBLNUMBER=0"); }
    void Insert(const std::vector<PatientRow>& rows) {
        for (const auto& row : rows) {
            const std::string key = std::to_string(row.key);
            Exec("INSERT INTO PAT200 (PATID, PATKEY, PATDOCKEY, PATNAME, PATKANJINAME, PATNUMBER) VALUES ('P" + key +
                 "', " + key + ", " + std::to_string(row.doctor) + ", '" + row.name + "', '" + row.kanji + "', '" +
                 row.number + "')");
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
    std::string m_location;  // of m_db's database
    CDatabaseObj m_db;
};

}  // namespace qel::test

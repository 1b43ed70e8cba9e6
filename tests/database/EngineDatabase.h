// The base of the end-to-end tests, which open databases through the real
// open path on both engines: a temporary profile on a new SQLite file in the
// sandbox (engine 2), or on a new database of the test's PostgreSQL server
// (engine 1). Engine 1's data source preparation creates nothing, so the
// user data source is written before every open, as an administrator would
// have set it up; closing a temporary profile removes it again.
//
//   class MyTest : public qel::test::EngineDatabase {};
//   TEST_P(MyTest, ...) { CDatabaseObj db; ASSERT_TRUE(OpenDatabase(db, NewLocation("a.db"), "QelA")); }
//   INSTANTIATE_TEST_SUITE_P(Engines, MyTest, qel::test::BothEngines(), qel::test::EngineParamName);
//
// PostgreSQL cases follow the rule of support/Engines.h. A derived SetUp
// calls EngineDatabase::SetUp first and returns when IsSkipped() or
// HasFatalFailure().
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/EngineDrivers.h>

#include "support/DatabaseObjAccess.h"
#include "support/Sandbox.h"
#include "support/Engines.h"

namespace qel::test {

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
        DatabaseObjTestAccess::SetEngine(db, Engine());
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

}  // namespace qel::test

// A fixture for tests that need a database opened end to end: a temporary
// profile on a new SQLite file in the sandbox, created with the shipped
// default layouts and the default media types.
#pragma once

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Statement.h>

#include "support/DatabaseObjTesting.h"
#include "support/Sandbox.h"

namespace qel::test {

// Opens `db` on the SQLite file `file` of the sandbox (created when new).
inline ::testing::AssertionResult OpenNewDatabase(CDatabaseObj& db, const std::string& file, const std::string& dsn) {
    ::setenv("QEL_MODULE_DIR", BinaryPath("bin").c_str(), 1);
    if (!db.AddNew(TRUE, FALSE)) return ::testing::AssertionFailure() << "AddNew " << db.GetLErrorCode();
    db.SetStrDataSource(dsn.c_str());
    db.SetStrDirectory(Sandbox::Current().Path(file).c_str());
    if (!db.Open2(FALSE)) return ::testing::AssertionFailure() << "Open " << db.GetLErrorCode();
    return ::testing::AssertionSuccess();
}

class OpenedDatabase : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(OpenNewDatabase(m_db, "media/clinic.db", "QelMedia")); }
    void TearDown() override { m_db.Close(); }

    void Exec(const std::string& sql) { m_db.GetDatabase()->ExecuteSQL(sql.c_str()); }
    LONG Number(const std::string& sql) {
        qel::odbc::Statement st(*m_db.GetDatabase());
        st.Prepare(sql);
        st.Execute();
        return st.Fetch() ? st.GetInt32(1).value_or(-1) : -1;
    }
    void InsertMedium(LONG key, LONG typeKey) {
        Exec("INSERT INTO MED200 (MEDID, MEDKEY, MEDIMTKEY, MEDDIRECTORY, MEDVOLUMELABEL, MEDSIZE) VALUES ('M" +
             std::to_string(key) + "', " +
             std::to_string(key) + ", " + std::to_string(typeKey) + ", 'd" + std::to_string(key) + "', 'v', 0)");
    }
    // Removes the settings row, so that any save fails with 10.
    void BreakSettingsRow() { Exec("DELETE FROM TBL200 WHERE TBLNUMBER=0"); }

    RecordedUserInterface m_ui;
    CDatabaseObj m_db;
};

}  // namespace qel::test

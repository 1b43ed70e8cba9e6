// A fixture for tests that need a database opened end to end on either
// engine: a temporary profile on a new database, created with the shipped
// default layouts and the default media types.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/Statement.h>

#include "EngineDatabase.h"
#include "support/DatabaseObjTesting.h"

namespace qel::test {

class OpenedDatabase : public EngineDatabase {
protected:
    void SetUp() override {
        EngineDatabase::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_location = NewLocation("media/clinic.db");
        ASSERT_TRUE(OpenDatabase(m_db, m_location, "QelMedia"));
    }
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
    std::string m_location;  // of m_db's database
    CDatabaseObj m_db;
};

}  // namespace qel::test

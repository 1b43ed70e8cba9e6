// Block allocation of keys on both engines: a conflict with another
// workstation is retried, anything else ends the allocation at once with a
// reason that names it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <limits>
#include <vector>

#include <qel/outside/odbc/Statement.h>

#include "support/EngineDatabase.h"

namespace {

using ::testing::HasSubstr;

class KeyBlocks : public qel::test::AttachedDatabase {
protected:
    void SetUp() override {
        ::setenv("QEL_WAIT_SCALE", "1", 1);  // real pauses: a retry would show in the time
        AttachedDatabase::SetUp();
    }
    void TearDown() override {
        AttachedDatabase::TearDown();
        ::unsetenv("QEL_WAIT_SCALE");
    }
    bool OnPostgres() const { return GetParam() == 1; }
    LONG NextKey(int table) {
        qel::odbc::Statement st(*m_db.GetDatabase());
        st.Prepare("SELECT TBLNEXTKEY FROM TBL200 WHERE TBLNUMBER = " + std::to_string(table));
        st.Execute();
        return st.Fetch() ? st.GetInt32(1).value_or(-1) : -1;
    }
    // Allocates and fails; returns the reason after checking that no retry
    // happened and that it took no pause.
    std::string FailsAtOnce(int table, LONG count) {
        std::string failure;
        int retries = 0;
        LONG first = -1;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(m_db.GetNewKeys(table, count, &first, &failure, [&](int, const std::string&) { ++retries; }));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(retries, 0) << failure;
        EXPECT_EQ(m_db.GetLErrorCode(), 0);
        return failure;
    }
};

TEST_P(KeyBlocks, AReadOnlyDatabaseEndsTheAllocationAtOnce) {
    // The session as a read-only file or a read-only server gives it.
    Exec(OnPostgres() ? "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY" : "PRAGMA query_only = ON");
    const std::string failure = FailsAtOnce(4, 10);
    EXPECT_THAT(failure, HasSubstr("cannot update the key row of table 4 (PAT200): "));
    EXPECT_THAT(failure, HasSubstr(OnPostgres() ? "read-only transaction" : "readonly database")) << failure;

    Exec(OnPostgres() ? "SET SESSION CHARACTERISTICS AS TRANSACTION READ WRITE" : "PRAGMA query_only = OFF");
    EXPECT_EQ(NextKey(4), 1) << "nothing was taken";
    LONG first = -1;
    EXPECT_TRUE(m_db.GetNewKeys(4, 10, &first));
    EXPECT_EQ(first, 1);
}

TEST_P(KeyBlocks, MissingRowsAndImpossibleCountsEndAtOnce) {
    Exec("DELETE FROM TBL200 WHERE TBLNUMBER = 1");
    EXPECT_EQ(FailsAtOnce(1, 3), "TBL200 has no key row for table 1 (DOC200)");
    EXPECT_EQ(FailsAtOnce(99, 1), "TBL200 has no key row for table 99");

    Exec("UPDATE TBL200 SET TBLNEXTKEY = " + std::to_string(std::numeric_limits<LONG>::max() - 2) +
            " WHERE TBLNUMBER = 4");
    EXPECT_THAT(FailsAtOnce(4, 5), HasSubstr("cannot hand out 5 more keys"));
    EXPECT_THAT(FailsAtOnce(4, 0), HasSubstr("0 keys asked for"));

    // The single key keeps its 120 attempts for a missing row (no pause here).
    ::setenv("QEL_WAIT_SCALE", "0", 1);
    LONG key = -1;
    EXPECT_FALSE(m_db.GetNewKey(1, &key));
}

// An update that matches no row is what a workstation that changed the
// counter first leaves; a trigger that drops the first two updates stands in.
TEST_P(KeyBlocks, AConflictIsRetriedAndReported) {
    ::setenv("QEL_WAIT_SCALE", "0", 1);
    Exec("CREATE TABLE HITS (N INTEGER)");
    Exec("INSERT INTO HITS VALUES (0)");
    if (OnPostgres()) {
        Exec("CREATE FUNCTION drop_two() RETURNS trigger AS $$ BEGIN "
                "IF OLD.TBLNUMBER = 4 AND (SELECT N FROM HITS) < 2 THEN "
                "UPDATE HITS SET N = N + 1; RETURN NULL; END IF; "
                "RETURN NEW; END $$ LANGUAGE plpgsql");
        Exec("CREATE TRIGGER drop_two BEFORE UPDATE ON TBL200 FOR EACH ROW EXECUTE FUNCTION drop_two()");
    } else {
        Exec("CREATE TRIGGER drop_two BEFORE UPDATE ON TBL200 WHEN OLD.TBLNUMBER = 4 AND (SELECT N FROM HITS) < 2 "
                "BEGIN UPDATE HITS SET N = N + 1; SELECT RAISE(IGNORE); END");
    }
    std::vector<int> attempts;
    std::string conflict;
    LONG first = -1;
    std::string failure;
    ASSERT_TRUE(m_db.GetNewKeys(4, 7, &first, &failure, [&](int attempt, const std::string& why) {
        attempts.push_back(attempt);
        conflict = why;
    })) << failure;
    EXPECT_EQ(attempts, (std::vector<int>{2, 3}));
    EXPECT_EQ(conflict, "another workstation changed the key row of table 4 (PAT200) first");
    EXPECT_EQ(first, 1);
    EXPECT_EQ(NextKey(4), 8);
}

INSTANTIATE_TEST_SUITE_P(Engines, KeyBlocks, ::testing::Values(2, 1), qel::test::EngineParamName);

}  // namespace

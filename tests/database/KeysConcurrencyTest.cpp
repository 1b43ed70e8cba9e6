// Several processes allocating keys of one table at once, as workstations
// sharing a database do.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include <qel/outside/odbc/Statement.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/Engines.h"

namespace {

using qel::test::ScratchDatabase;

class KeysConcurrency : public ::testing::TestWithParam<LONG> {};

// Runs `workers` processes that each allocate `perWorker` patient keys (one
// at a time or in blocks) and returns every key they were handed.
std::vector<LONG> AllocateInProcesses(const ScratchDatabase& database, int workers, int perWorker) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::vector<pid_t> children;
    for (int w = 0; w < workers; ++w) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            int status = 0;
            try {
                CDatabaseObj db;
                DatabaseObjInternals::Attach(db, database.Connect(), database.Engine());
                // Odd workers take blocks of five, as a bulk load does.
                const LONG block = w % 2 == 1 ? 5 : 1;
                LONG none = -1;
                if (db.GetNewKeys(4, 0, &none)) status = 5;
                for (int i = 0; i < perWorker && status == 0; i += block) {
                    LONG first = -1;
                    if (!db.GetNewKeys(4, block, &first)) {
                        status = 2;
                        break;
                    }
                    for (LONG key = first; key < first + block; ++key)
                        if (write(fds[1], &key, sizeof key) != static_cast<ssize_t>(sizeof key)) status = 3;
                }
                DatabaseObjInternals::Detach(db);
            } catch (...) {
                status = 4;
            }
            _exit(status);
        }
        children.push_back(pid);
    }
    close(fds[1]);
    std::vector<LONG> keys;
    LONG key = 0;
    while (read(fds[0], &key, sizeof key) == static_cast<ssize_t>(sizeof key)) keys.push_back(key);
    close(fds[0]);
    for (pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "worker status " << status;
    }
    return keys;
}

TEST_P(KeysConcurrency, WorkstationsNeverShareAKey) {
    ::setenv("QEL_WAIT_SCALE", "0.01", 1);
    QEL_REQUIRE_ENGINE(GetParam());
    auto database = ScratchDatabase::Create(GetParam(), "keys");
    {
        CDatabaseObj db;
        DatabaseObjInternals::Attach(db, database->Connect(), GetParam());
        ASSERT_TRUE(DatabaseObjInternals::Schema(db).CheckAndUpgradeDatabase());
        DatabaseObjInternals::Detach(db);
    }
    const int workers = GetParam() == 2 ? 4 : 8;
    const int perWorker = GetParam() == 2 ? 250 : 125;
    const auto keys = AllocateInProcesses(*database, workers, perWorker);
    const std::set<LONG> distinct(keys.begin(), keys.end());
    EXPECT_EQ(keys.size(), static_cast<size_t>(workers * perWorker));
    EXPECT_EQ(distinct.size(), keys.size());
    if (!distinct.empty()) {
        EXPECT_EQ(*distinct.begin(), 1);
        EXPECT_EQ(*distinct.rbegin(), workers * perWorker);
    }

    auto connection = database->Connect();
    qel::odbc::Statement st(*connection);
    st.Prepare("SELECT TBLNEXTKEY FROM TBL200 WHERE TBLNUMBER = 4");
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.GetInt32(1).value_or(-1), workers * perWorker + 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, KeysConcurrency, ::testing::Values(2, 1),
                         qel::test::EngineParamName);

}  // namespace

// Several programs of one user opening and closing databases at the same
// moment, each writing and removing data sources in the one user data
// source file: nothing of anybody's data sources may be lost or mangled.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <qel/database/DatabaseObj.h>
#include <qel/datasource/EngineDrivers.h>
#include <qel/datasource/UserDataSource.h>
#include <qel/platform/AppProfile.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/Program.h"
#include "support/Sandbox.h"
#include "support/Engines.h"

using qel::test::Sandbox;
using qel::test::ScratchDatabase;

namespace {

constexpr int kProcesses = 8;
constexpr int kCycles = 50;

void WriteStoredProfile(LONG number, LONG engine, const std::string& dataSource, const std::string& path) {
    auto& profile = qel::platform::AppProfile::Current();
    const std::string section = "DatabaseJ" + std::to_string(number);
    profile.WriteProfileInt(section, "MultiUser", 0);
    profile.WriteProfileInt(section, "Default", 1);
    profile.WriteProfileInt(section, "Engine", engine);
    profile.WriteProfileString(section, "DataSource", dataSource);
    profile.WriteProfileString(section, "Path", path);
    profile.WriteProfileString(section, "Name", "Studio " + std::to_string(number));
    profile.WriteProfileInt(section, "CurrentDoctor", 0);
}

std::string ClinicPath(int number) { return Sandbox::Current().Path("clinics/clinic " + std::to_string(number) + ".db"); }

// One open and close; the error code of the step that failed, 0 when both
// worked.
LONG OpenAndClose(CDatabaseObj& db) {
    if (!db.Open2(FALSE)) return db.GetLErrorCode() != 0 ? db.GetLErrorCode() : -1;
    if (!db.Close()) return db.GetLErrorCode() != 0 ? db.GetLErrorCode() : -2;
    return 0;
}

// A workstation program: its stored profile, then a temporary profile of
// its own that writes and removes a data source on every cycle.
int RunWorker(int worker, int startFd) {
    char go = 0;
    if (::read(startFd, &go, 1) < 0) return 90;
    int failures = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        CDatabaseObj stored;
        LONG code = stored.Get(worker + 1) ? OpenAndClose(stored) : stored.GetLErrorCode();
        if (code != 0) {
            std::fprintf(stderr, "worker %d cycle %d: profile %d failed with %ld\n", worker, cycle, worker + 1,
                         static_cast<long>(code));
            ++failures;
        }
        CDatabaseObj temporary;
        // Temporary numbers of two processes would meet on one named mutex.
        CDatabaseObj::m_lNextNewKey = 2000 + worker * 100;
        if (!temporary.AddNew(TRUE, FALSE)) return 91;
        temporary.SetStrDataSource(("Temp " + std::to_string(worker)).c_str());
        temporary.SetStrDirectory(ClinicPath(100 + worker).c_str());
        code = OpenAndClose(temporary);
        if (code != 0) {
            std::fprintf(stderr, "worker %d cycle %d: temporary profile failed with %ld\n", worker, cycle,
                         static_cast<long>(code));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

class OdbcIniConcurrency : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("QEL_MODULE_DIR", qel::test::BinaryPath("bin").c_str(), 1); }

    // Profiles 1..8: SQLite files, the last one a PostgreSQL database with a
    // password in its data source when the test server is there. Each is
    // opened once, so its file, tables and data source exist.
    void PrepareProfiles() {
        for (int number = 1; number <= kProcesses; ++number) {
            if (const auto server = qel::test::Postgres(); number == kProcesses && server) {
                m_postgres = ScratchDatabase::Create(1, "inicycles");
                ASSERT_TRUE(m_postgres);
                ASSERT_TRUE(qel::datasource::WriteClientServerDataSource(
                    "Clinic PG", {{"Servername", server->host},
                                  {"Port", server->port},
                                  {"Database", m_postgres->Location()},
                                  {"Username", server->user},
                                  {"SSLmode", "disable"},
                                  {"Password", "s3cret;{x}"}}));
                WriteStoredProfile(number, qel::datasource::kEngineClientServer, "Clinic PG", m_postgres->Location());
            } else {
                WriteStoredProfile(number, qel::datasource::kEngineFile, "Clinic " + std::to_string(number),
                                   ClinicPath(number));
            }
            CDatabaseObj db;
            ASSERT_TRUE(db.Get(number)) << db.GetLErrorCode();
            ASSERT_EQ(OpenAndClose(db), 0) << "profile " << number;
        }
    }

    std::optional<ScratchDatabase> m_postgres;
};

TEST_F(OdbcIniConcurrency, ProgramsOpeningAtOnceKeepEveryDataSource) {
    PrepareProfiles();
    if (HasFatalFailure()) return;
    // A data source of another program, as unixODBC writes them.
    const std::string ini = Sandbox::Current().OdbcIni();
    std::ofstream(ini, std::ios::app) << "# the lab's own\n[Lab]\nDriver = PostgreSQL Unicode\nServername = lab\n\n";
    const std::string before = qel::test::ReadFile(ini);
    ASSERT_NE(before.find("[Clinic 1]"), std::string::npos) << before;
    if (m_postgres) {
        ASSERT_NE(before.find("Password=s3cret;{x}"), std::string::npos) << before;
    }

    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int worker = 0; worker < kProcesses; ++worker) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(start[1]);
            ::_exit(RunWorker(worker, start[0]));
        }
        children.push_back(pid);
    }
    // Closing the pipe starts every worker at the same moment.
    ::close(start[0]);
    ::close(start[1]);
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a worker's opens failed (status " << status << ")";
    }
    EXPECT_EQ(qel::test::ReadFile(ini), before)
        << "every stored data source byte for byte, and no temporary one left behind";
}

}  // namespace

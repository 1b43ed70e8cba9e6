// Four workstations loading their patient lists with `qeldb patients import`
// at the same time, each through a stored profile written with `qeldb
// profile set`, while a fifth import is killed in the middle of its
// transaction. Afterwards the database holds exactly the four lists.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/outside/records/TableCatalogue.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/Sandbox.h"
#include "support/TcpRelay.h"
#include "support/Engines.h"
#include "support/Workstation.h"

namespace {

namespace fs = std::filesystem;
using qel::test::Sandbox;
using qel::test::ScratchDatabase;
using qel::test::Workstation;
using qel::test::WorkstationProcess;

constexpr int kStations = 4;
constexpr int kRowsEach = 2000;
constexpr int kKilledRows = 40000;
constexpr const char* kSharedDoctor = "Dott. Comune";

// Even rows name the doctor every file shares, odd rows the file's own one;
// numbers are "<prefix>-<row>", unique across the files.
std::string WriteList(const fs::path& file, const std::string& prefix, int rows) {
    std::ofstream out(file);
    out << "name,number,doctor\n";
    for (int i = 0; i < rows; ++i)
        out << prefix << " Paziente " << i << ',' << prefix << '-' << i << ','
            << (i % 2 == 0 ? kSharedDoctor : "Dott. " + prefix) << '\n';
    if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
    return file.string();
}

// A text column without the blank padding PostgreSQL gives fixed-length ones.
std::string Text(qel::odbc::Statement& st, SQLUSMALLINT column) {
    std::string text = st.GetText(column).value_or("(null)");
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

class Imports : public ::testing::TestWithParam<LONG> {
protected:
    void SetUp() override {
        QEL_REQUIRE_ENGINE(GetParam());
        m_database = ScratchDatabase::Create(GetParam(), "imports");
    }

    // A machine with stored profile 1 on the shared database.
    Workstation& Machine(int number) {
        const std::string name = "importer" + std::to_string(number) + qel::test::EngineName(GetParam());
        auto& machine = m_machines.emplace_back(fs::path(Sandbox::Current().Path("machines")), name);
        machine.SetVariable("QEL_WAIT_SCALE", "0.01");
        machine.SetVariable("QEL_PG_PASSWORD", "");  // trust authentication: no password, no prompt
        std::vector<std::string> set{"profile", "set", "1", "--data-source", "Clinic"};
        if (GetParam() == 1) {
            const qel::test::PostgresServer server = *qel::test::Postgres();
            set.insert(set.end(), {"--engine", "postgresql", "--server", server.host, "--port", server.port,
                                   "--database", m_database->Location(), "--user", server.user});
        } else {
            set.insert(set.end(), {"--path", m_database->Location()});
        }
        WorkstationProcess run = Qeldb(machine, set);
        const auto [output, exitCode] = Drain(run);
        EXPECT_EQ(exitCode, 0) << output;
        return machine;
    }

    // qeldb with its stderr on the same pipe as its stdout.
    static WorkstationProcess Qeldb(const Workstation& machine, const std::vector<std::string>& args) {
        std::vector<std::string> shell{"-c", "exec \"$0\" \"$@\" 2>&1", qel::test::BinaryPath("bin/qeldb")};
        shell.insert(shell.end(), args.begin(), args.end());
        return machine.Start("/bin/sh", shell);
    }

    static WorkstationProcess Import(const Workstation& machine, const std::string& file) {
        return Qeldb(machine, {"patients", "import", file, "--profile", "1"});
    }

    // Everything a run prints until it ends, and its exit code.
    static std::pair<std::string, int> Drain(WorkstationProcess& run) {
        std::string output;
        try {
            for (;;) output += run.Receive() + '\n';
        } catch (const std::runtime_error&) {
            // the run closed its output: it ended
        }
        return {output, run.Finish()};
    }

    std::optional<ScratchDatabase> m_database;
    std::list<Workstation> m_machines;
};

TEST_P(Imports, FourConcurrentImportsAllLandOnceAndAKilledOneLeavesNothing) {
    const auto started = std::chrono::steady_clock::now();
    const fs::path lists = Sandbox::Current().Path("lists");
    fs::create_directories(lists);

    // The first machine creates the tables, alone, as a clinic's first open does.
    std::vector<Workstation*> machines{&Machine(0)};
    WorkstationProcess list = Qeldb(*machines[0], {"patients", "list", "--profile", "1"});
    const auto [listed, listExit] = Drain(list);
    ASSERT_EQ(listExit, 0) << listed;
    for (int i = 1; i <= kStations; ++i) machines.push_back(&Machine(i));

    // Machine 0 takes a big list and is killed once it is writing rows; the
    // other four import theirs meanwhile.
    WorkstationProcess victim = Import(*machines[0], WriteList(lists / "K.csv", "K", kKilledRows));
    std::vector<WorkstationProcess> runs;
    for (int i = 1; i <= kStations; ++i) {
        const std::string prefix = "W" + std::to_string(i);
        runs.push_back(Import(*machines[static_cast<size_t>(i)], WriteList(lists / (prefix + ".csv"), prefix, kRowsEach)));
    }
    std::string line, seen;
    try {
        while (line.rfind("writing doctors and patients: ", 0) != 0) seen += (line = victim.Receive()) + '\n';
    } catch (const std::runtime_error&) {
        FAIL() << "the big import ended before it wrote:\n" << seen;
    }
    ASSERT_EQ(::kill(victim.Pid(), SIGKILL), 0);
    EXPECT_EQ(victim.Finish(), -1);

    // Exactly one of them created the shared doctor; the others used it.
    int createdShared = 0;
    for (int i = 0; i < kStations; ++i) {
        const auto [output, exitCode] = Drain(runs[static_cast<size_t>(i)]);
        EXPECT_EQ(exitCode, 0) << "importer" << i + 1 << ":\n" << output;
        createdShared += output.find("imported 2000 patients, 2 new doctors") != std::string::npos;
        EXPECT_TRUE(output.find("imported 2000 patients, 1 new doctor,") != std::string::npos ||
                    output.find("imported 2000 patients, 2 new doctors") != std::string::npos) << output;
    }
    EXPECT_EQ(createdShared, 1);

    // The database opens normally afterwards, and takes a write at once: the
    // killed writer left no lock behind.
    CDatabaseObj db;
    ASSERT_TRUE(db.AddNew(TRUE, FALSE));
    DatabaseObjInternals::SetEngine(db, GetParam());
    const std::string dsn = "Check" + qel::test::EngineName(GetParam());
    db.SetStrDataSource(dsn.c_str());
    db.SetStrDirectory(m_database->Location().c_str());
    if (GetParam() == 1) {
        ASSERT_TRUE(qel::test::WritePostgresDataSource(dsn, m_database->Location()));
    }
    ASSERT_TRUE(db.Open2(FALSE)) << db.GetLErrorCode();
    LONG nextKey = 0;
    ASSERT_TRUE(db.GetNewKey(eTablePAT, &nextKey)) << db.GetLErrorCode();

    std::map<std::string, LONG> keyOfNumber;
    std::set<LONG> keys;
    std::map<std::string, std::set<std::string>> doctorsOfPrefix;
    qel::odbc::Statement st(*db.GetDatabase());
    st.Prepare("SELECT PATNUMBER, PATKEY, DOCNAME FROM PAT200 LEFT JOIN DOC200 ON PATDOCKEY = DOCKEY");
    st.Execute();
    while (st.Fetch()) {
        const std::string number = Text(st, 1);
        const LONG key = st.GetInt32(2).value_or(-1);
        EXPECT_TRUE(keyOfNumber.emplace(number, key).second) << number << " twice";
        keys.insert(key);
        doctorsOfPrefix[number.substr(0, number.find('-'))].insert(Text(st, 3));
    }
    EXPECT_EQ(keyOfNumber.size(), static_cast<size_t>(kStations * kRowsEach));
    EXPECT_EQ(keys.size(), keyOfNumber.size());
    for (int i = 1; i <= kStations; ++i) {
        const std::string prefix = "W" + std::to_string(i);
        int missing = 0;
        for (int row = 0; row < kRowsEach; ++row) missing += keyOfNumber.count(prefix + "-" + std::to_string(row)) == 0;
        EXPECT_EQ(missing, 0) << prefix;
        EXPECT_EQ(doctorsOfPrefix[prefix], (std::set<std::string>{kSharedDoctor, "Dott. " + prefix}));
    }
    EXPECT_EQ(doctorsOfPrefix.count("K"), 0u);
    ASSERT_FALSE(keys.empty());
    EXPECT_GT(nextKey, *keys.rbegin());

    // One doctor of each name: the shared one was created once, the killed
    // run's own doctor not at all.
    st.Prepare("SELECT DOCNAME, COUNT(*) FROM DOC200 WHERE DOCKEY > 0 GROUP BY DOCNAME");
    st.Execute();
    std::map<std::string, LONG> doctors;
    while (st.Fetch()) doctors[Text(st, 1)] = st.GetInt32(2).value_or(-1);
    EXPECT_EQ(doctors, (std::map<std::string, LONG>{
                           {kSharedDoctor, 1}, {"Dott. W1", 1}, {"Dott. W2", 1}, {"Dott. W3", 1}, {"Dott. W4", 1}}));
    db.Close();
    std::printf("[ imports  ] %s: %.1f s\n", qel::test::EngineName(GetParam()).c_str(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

// The server going away while an import writes: the import ends with a
// database failure that says the connection is lost and where the log is,
// and nothing of it stays.
TEST(ImportLostServer, ServerGoingAwayMidImportSaysTheConnectionIsLost) {
    QEL_REQUIRE_ENGINE(1);
    auto database = ScratchDatabase::Create(1, "lostimport");
    const qel::test::PostgresServer server = *qel::test::Postgres();
    qel::test::TcpRelay relay(std::stoi(server.port));
    ASSERT_TRUE(relay.Listening());
    Workstation machine(fs::path(Sandbox::Current().Path("machines")), "lost");
    machine.SetVariable("QEL_PG_PASSWORD", "");
    const auto run = [&](const std::vector<std::string>& args) {
        std::vector<std::string> shell{"-c", "exec \"$0\" \"$@\" 2>&1", qel::test::BinaryPath("bin/qeldb")};
        shell.insert(shell.end(), args.begin(), args.end());
        return machine.Start("/bin/sh", shell);
    };
    {
        WorkstationProcess set = run({"profile", "set", "1", "--data-source", "Clinic", "--engine", "postgresql",
                                      "--server", "127.0.0.1", "--port", std::to_string(relay.Port()), "--database",
                                      database->Location(), "--user", server.user});
        std::string output;
        try {
            for (;;) output += set.Receive() + '\n';
        } catch (const std::runtime_error&) {
        }
        ASSERT_EQ(set.Finish(), 0) << output;
    }
    const fs::path lists = Sandbox::Current().Path("lists");
    fs::create_directories(lists);
    WorkstationProcess import = run({"patients", "import", WriteList(lists / "L.csv", "L", kKilledRows), "--profile", "1"});
    std::string line, output;
    try {
        while (line.rfind("writing doctors and patients: ", 0) != 0) output += (line = import.Receive()) + '\n';
        relay.GoAway();
        for (;;) output += import.Receive() + '\n';
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(import.Finish(), 3) << output;
    EXPECT_NE(output.find("(the connection to the database server is lost)"), std::string::npos) << output;
    EXPECT_NE(output.find("  log: "), std::string::npos) << output;

    auto connection = database->Connect();
    qel::odbc::Statement st(*connection);
    st.Prepare("SELECT COUNT(*) FROM PAT200");
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.GetInt32(1).value_or(-1), 0) << "the lost transaction left no row";
}

INSTANTIATE_TEST_SUITE_P(Engines, Imports, ::testing::Values(2, 1), qel::test::EngineParamName);

}  // namespace

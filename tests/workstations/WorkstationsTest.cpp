// Several workstations on one database: each a separate process with its own
// registry, named mutexes and ODBC data sources, opening the shared database
// through a temporary profile and the real open path.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <list>
#include <optional>
#include <set>
#include <sstream>

#include <qel/outside/odbc/Statement.h>

#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/Engines.h"
#include "support/Workstation.h"
#include "support/WorkstationShell.h"

namespace {

namespace fs = std::filesystem;
using qel::test::Sandbox;
using qel::test::ScratchDatabase;
using qel::test::Words;
using qel::test::Workstation;
using qel::test::WorkstationProcess;

constexpr const char* kDataSource = "Clinic";
constexpr const char* kDefaultTemplate = "%Y%m%d_%i";

class Workstations : public ::testing::TestWithParam<LONG> {
protected:
    void SetUp() override {
        QEL_REQUIRE_ENGINE(GetParam());
        m_database = ScratchDatabase::Create(GetParam(), "ws");
    }

    // A new machine; on PostgreSQL its data source is set up beforehand, as
    // an installer would, while the file engine registers its own at open.
    Workstation& Machine() {
        // Numbered across the process: tests run one after another share the sandbox.
        static int machines = 0;
        const std::string name = "machine" + std::to_string(++machines);
        auto& machine = m_machines.emplace_back(fs::path(Sandbox::Current().Path("machines")), name);
        // Conflicting key updates retry after a pause; keep it short here.
        machine.SetVariable("QEL_WAIT_SCALE", "0.01");
        if (GetParam() == 1) machine.AddClientServerDataSource(kDataSource, m_database->Location());
        return machine;
    }

    static WorkstationProcess Start(const Workstation& machine) {
        return machine.Start(fs::read_symlink("/proc/self/exe").string(), {qel::test::kWorkstationFlag});
    }

    std::string OpenCommand() const {
        return "open " + std::to_string(GetParam()) + " " + kDataSource + " " + m_database->Location();
    }

    LONG CounterColumn(const char* column, int table) const {
        auto connection = m_database->Connect();
        qel::odbc::Statement st(*connection);
        st.Prepare("SELECT " + std::string(column) + " FROM TBL200 WHERE TBLNUMBER = " + std::to_string(table));
        st.Execute();
        return st.Fetch() ? st.GetInt32(1).value_or(-2) : -3;
    }

    std::optional<ScratchDatabase> m_database;
    std::list<Workstation> m_machines;
};

TEST_P(Workstations, EightWorkstationsAllocatingAtOnceNeverShareAKey) {
    constexpr int kStations = 8;
    constexpr int kKeysEach = 500;
    constexpr int kPatientTable = 4;
    std::vector<WorkstationProcess> stations;
    for (int i = 0; i < kStations; ++i) stations.push_back(Start(Machine()));

    // The first open creates the tables; the others then open together. Each
    // machine numbers its temporary profile from 1000 and has its own mutex.
    ASSERT_EQ(stations[0].Send(OpenCommand()), "ok 1000");
    for (int i = 1; i < kStations; ++i) stations[i].Post(OpenCommand());
    for (int i = 1; i < kStations; ++i) ASSERT_EQ(stations[i].Receive(), "ok 1000") << "workstation " << i;

    for (auto& station : stations) station.Post("keys " + std::to_string(kPatientTable) + " " + std::to_string(kKeysEach));
    std::vector<LONG> all;
    for (int i = 0; i < kStations; ++i) {
        const auto words = Words(stations[i].Receive());
        ASSERT_FALSE(words.empty());
        ASSERT_EQ(words[0], "ok") << "workstation " << i;
        std::vector<LONG> mine;
        std::transform(words.begin() + 1, words.end(), std::back_inserter(mine),
                       [](const std::string& w) { return static_cast<LONG>(std::stol(w)); });
        EXPECT_EQ(mine.size(), static_cast<size_t>(kKeysEach));
        // One workstation's keys grow: the counter never goes back.
        EXPECT_TRUE(std::is_sorted(mine.begin(), mine.end()) &&
                    std::adjacent_find(mine.begin(), mine.end()) == mine.end());
        all.insert(all.end(), mine.begin(), mine.end());
    }
    const std::set<LONG> distinct(all.begin(), all.end());
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kStations * kKeysEach));
    ASSERT_FALSE(distinct.empty());
    EXPECT_EQ(*distinct.begin(), 1);
    EXPECT_EQ(*distinct.rbegin(), kStations * kKeysEach);

    for (auto& station : stations) EXPECT_EQ(station.Send("close"), "ok");
    for (auto& station : stations) EXPECT_EQ(station.Finish(), 0);
    // The counter row holds the next key to hand out, and the last writer's mark.
    EXPECT_EQ(CounterColumn("TBLNEXTKEY", kPatientTable), kStations * kKeysEach + 1);
    EXPECT_EQ(CounterColumn("TBLUSER", kPatientTable), -1);
}

TEST_P(Workstations, ASavedSettingReachesAnotherWorkstationWhenItReadsTheCurrentMedium) {
    Workstation& first = Machine();
    Workstation& second = Machine();
    WorkstationProcess a = Start(first);
    WorkstationProcess b = Start(second);
    ASSERT_EQ(a.Send(OpenCommand()), "ok 1000");
    ASSERT_EQ(b.Send(OpenCommand()), "ok 1000");
    ASSERT_EQ(b.Send("get grayscale"), "ok 0");
    ASSERT_EQ(b.Send("get format"), std::string("ok ") + kDefaultTemplate);

    ASSERT_EQ(a.Send("set grayscale 1"), "ok");
    ASSERT_EQ(a.Send("set format   WS-%Y_%i  "), "ok");
    EXPECT_EQ(a.Send("get format"), "ok WS-%Y_%i");

    // Not before: the second workstation keeps the copy it read at open.
    EXPECT_EQ(b.Send("get grayscale"), "ok 0");
    EXPECT_EQ(b.Send("get format"), std::string("ok ") + kDefaultTemplate);
    EXPECT_EQ(b.Send("media"), "ok 0");
    EXPECT_EQ(b.Send("get grayscale"), "ok 1");
    EXPECT_EQ(b.Send("get format"), "ok WS-%Y_%i");

    // A save writes the whole record from the saver's copy: the second
    // workstation, not having re-read, undoes the first one's colour change.
    ASSERT_EQ(a.Send("set color 1"), "ok");
    ASSERT_EQ(b.Send("set duplicates 0"), "ok");
    EXPECT_EQ(a.Send("get color"), "ok 1");
    EXPECT_EQ(a.Send("media"), "ok 0");
    EXPECT_EQ(a.Send("get color"), "ok 0");
    EXPECT_EQ(a.Send("get duplicates"), "ok 0");
    EXPECT_EQ(a.Send("get grayscale"), "ok 1");

    EXPECT_EQ(a.Send("close"), "ok");
    EXPECT_EQ(b.Send("close"), "ok");
    EXPECT_EQ(b.Send("media"), "error 50 media");
    EXPECT_EQ(a.Finish(), 0);
    EXPECT_EQ(b.Finish(), 0);
}

TEST_P(Workstations, TwoProgramsOnOneMachineShareTheTemporaryProfileMutex) {
    Workstation& own = Machine();
    Workstation& same = Machine();
    same.ShareRuntimeFolderOf(own);
    Workstation& other = Machine();
    WorkstationProcess first = Start(own);
    WorkstationProcess second = Start(same);
    WorkstationProcess third = Start(other);

    ASSERT_EQ(first.Send(OpenCommand()), "ok 1000");
    // Both programs number their temporary profile 1000: one computer, one
    // mutex name, so the second is refused while the first holds it.
    EXPECT_EQ(second.Send(OpenCommand()), "error 7015 open");
    EXPECT_EQ(third.Send(OpenCommand()), "ok 1000");
    EXPECT_EQ(first.Send("close"), "ok");
    // The refused attempt used up 1000 in that program.
    EXPECT_EQ(second.Send(OpenCommand()), "ok 1001");
}

TEST_P(Workstations, ClosingATemporaryProfileRemovesItsDataSourceOnThatMachineOnly) {
    Workstation& first = Machine();
    Workstation& second = Machine();
    WorkstationProcess a = Start(first);
    WorkstationProcess b = Start(second);
    ASSERT_EQ(a.Send(OpenCommand()), "ok 1000");
    ASSERT_EQ(b.Send(OpenCommand()), "ok 1000");
    const auto hasDataSource = [](const Workstation& machine) {
        return qel::test::ReadFile(machine.OdbcIni()).find(std::string("[") + kDataSource + "]") != std::string::npos;
    };
    ASSERT_TRUE(hasDataSource(first) && hasDataSource(second));
    EXPECT_EQ(a.Send("close"), "ok");
    EXPECT_FALSE(hasDataSource(first));
    EXPECT_TRUE(hasDataSource(second));
}

// A server restart as a workstation sees it: its connection ends under it.
TEST_P(Workstations, AfterTheServerDroppedTheConnectionOperationsFailAndAReopenWorks) {
    if (GetParam() != 1) GTEST_SKIP() << "a file database has no server to lose";
    Workstation& machine = Machine();
    WorkstationProcess station = Start(machine);
    ASSERT_EQ(station.Send(OpenCommand()), "ok 1000");
    ASSERT_EQ(station.Send("keys 4 1"), "ok 1");
    ASSERT_EQ(station.Send("set grayscale 1"), "ok");

    CDatabase admin;
    admin.OpenEx(qel::test::PostgresConnectString("postgres").c_str());
    admin.ExecuteSQL(("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" +
                       m_database->Location() + "' AND pid <> pg_backend_pid()").c_str());

    EXPECT_EQ(station.Send("keys 4 1"), "error -1 key 1 of 1");
    EXPECT_EQ(station.Send("set color 1"), "error 10 saving");
    EXPECT_EQ(station.Send("get color"), "ok 0");
    // Re-reading fails with the lost connection and changes nothing: the
    // settings in memory and the profile's identity stay as they were.
    EXPECT_EQ(station.Send("media"), "error 10 media");
    EXPECT_EQ(station.Send("get grayscale"), "ok 1");
    const std::string registry = qel::test::ReadFile(machine.Folder() / "registry.reg");
    EXPECT_EQ(registry.find("\"DatabaseID\"=\"\""), std::string::npos) << registry;
    EXPECT_EQ(station.Send("close"), "ok");

    // Closing a temporary profile removed its data source; a stored profile's stays.
    machine.AddClientServerDataSource(kDataSource, m_database->Location());
    ASSERT_EQ(station.Send(OpenCommand()), "ok 1001");
    EXPECT_EQ(station.Send("keys 4 1"), "ok 2");
    EXPECT_EQ(station.Send("get grayscale"), "ok 1");
}

TEST(WorkstationShell, BadCommandsGetAnErrorLineAndTheShellGoesOn) {
    Workstation machine(fs::path(Sandbox::Current().Path("machines")), "lonely");
    WorkstationProcess shell = machine.Start(fs::read_symlink("/proc/self/exe").string(), {qel::test::kWorkstationFlag});
    EXPECT_EQ(shell.Send("dance"), "error 0 unknown command 'dance'");
    EXPECT_EQ(shell.Send("keys four 5"), "error 0 usage: keys TABLE COUNT");
    EXPECT_EQ(shell.Send("open 2 OnlyTwoWords"), "error 0 usage: open ENGINE DSN LOCATION");
    EXPECT_EQ(shell.Send("set grayscale maybe"), "error 0 usage: set grayscale|color|duplicates 0|1, set format TEXT");
    EXPECT_EQ(shell.Send("get grayscale"), "error 50 reading");
    EXPECT_EQ(shell.Send("close"), "error 0 not open");
    EXPECT_EQ(shell.Send(""), "error 0 empty command");
    EXPECT_EQ(shell.Finish(), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, Workstations, ::testing::Values(2, 1), qel::test::EngineParamName);

}  // namespace

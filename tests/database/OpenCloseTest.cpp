// Opening and closing real databases end to end on both engines: profiles,
// folders, data sources, tables, notifications, the one-opener rule and
// failures at every step of the open.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <qel/database/OpenFaults.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/platform/AppProfile.h>
#include <qel/platform/NamedMutex.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/EngineDatabase.h"
#include "support/DatabaseObjTesting.h"
#include "support/Sandbox.h"
#include "support/TestDispatch.h"

namespace fs = std::filesystem;
using qel::database::OpenFault;
using qel::test::Sandbox;
using qel::test::TestCallback;

namespace {

bool HasDataSource(const std::string& name) {
    return qel::test::ReadFile(Sandbox::Current().OdbcIni()).find("[" + name + "]") != std::string::npos;
}

LONG Count(CDatabaseObj& db, const std::string& sql) {
    qel::odbc::Statement st(*db.GetDatabase());
    st.Prepare(sql);
    st.Execute();
    return st.Fetch() ? st.GetInt32(1).value_or(-1) : -1;
}

void WriteStoredProfile(LONG number, const std::string& dataSource, const std::string& path) {
    auto& profile = qel::platform::AppProfile::Current();
    const std::string section = "DatabaseJ" + std::to_string(number);
    profile.WriteProfileInt(section, "MultiUser", 0);
    profile.WriteProfileInt(section, "Default", 1);
    profile.WriteProfileString(section, "DataSource", dataSource);
    profile.WriteProfileString(section, "Path", path);
    profile.WriteProfileString(section, "Name", "Studio Rossi");
    profile.WriteProfileInt(section, "CurrentDoctor", 0);
}

// Only the file engine makes folders: its database goes where none exist yet.
const char* const kNewFolders = "new folder/Studio S\u00e0la/clinic.db";

class OpenClose : public qel::test::EngineDatabase {
protected:
    void SetUp() override {
        qel::database::ClearOpenFaults();
        EngineDatabase::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        m_location = NewLocation(kNewFolders);
    }
    void TearDown() override { qel::database::ClearOpenFaults(); }

    void PrepareTemporary(CDatabaseObj& db, const std::string& dsn = "QelTemporary") {
        ASSERT_TRUE(PrepareProfile(db, m_location, dsn));
    }
    // A stored profile; the client/server engine is chosen after loading it.
    void StoreProfile(LONG number, const std::string& dsn) {
        WriteStoredProfile(number, dsn, m_location);
        ASSERT_TRUE(WriteDataSource(m_location, dsn));
    }
    void Load(CDatabaseObj& db, LONG number) {
        ASSERT_TRUE(db.Get(number)) << db.GetLErrorCode();
        DatabaseObjInternals::SetEngine(db, Engine());
    }

    qel::test::RecordedUserInterface m_ui;
    std::string m_location;
};

TEST_P(OpenClose, TemporaryProfileEndToEnd) {
    auto callback = TestCallback::Make();
    {
        CDatabaseObj db;
        PrepareTemporary(db);
        db.SetObjDatabaseCallback(callback.Get());
        ASSERT_TRUE(db.Open()) << db.GetLErrorCode();
        EXPECT_TRUE(db.GetBIsOpen());
        if (!OnPostgres()) {
            EXPECT_TRUE(fs::exists(m_location)) << "the file engine made the folders and the file";
        }
        EXPECT_TRUE(HasDataSource("QelTemporary"));
        EXPECT_EQ(Count(db, "SELECT COUNT(*) FROM TBL200"), 9);
        EXPECT_EQ(m_ui->Count("ShowNotice"), 1u);
        EXPECT_EQ(m_ui->Count("HideNotice"), 1u);
        ASSERT_EQ(callback->Calls().size(), 1u);
        EXPECT_EQ(callback->Calls()[0].values, (std::array<LONG, 4>{100, 0, db.lKey, 0}));

        qel::test::CountingItem item;
        db.RegisterItem(&item);
        EXPECT_TRUE(db.Close());
        EXPECT_EQ(item.invalidated, 1) << "closing invalidates the live items";
        db.UnregisterItem(&item);
        EXPECT_FALSE(db.GetBIsOpen());
        ASSERT_EQ(callback->Calls().size(), 2u);
        EXPECT_EQ(callback->Calls()[1].values, (std::array<LONG, 4>{101, 0, db.lKey, 0}));
        EXPECT_FALSE(HasDataSource("QelTemporary")) << "a temporary profile's data source goes with it";
        EXPECT_FALSE(db.Close());
        EXPECT_EQ(db.GetLErrorCode(), 0);
    }
    // The same path again: the database is found, nothing is created.
    CDatabaseObj again;
    PrepareTemporary(again);
    ASSERT_TRUE(again.Open2(FALSE));
    EXPECT_EQ(Count(again, "SELECT COUNT(*) FROM IMT200"), 2);
    EXPECT_EQ(m_ui->Count("ShowNotice"), 1u) << "no notice without show";
    EXPECT_TRUE(again.Close());
}

TEST_P(OpenClose, StoredProfileKeepsItsDataSourceAndLearnsTheIdentity) {
    StoreProfile(3, "QelStored");
    CDatabaseObj db;
    Load(db, 3);
    ASSERT_TRUE(db.Open()) << db.GetLErrorCode();
    const std::string id = db.GetID();
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(qel::platform::AppProfile::Current().GetProfileString("DatabaseJ3", "DatabaseID", ""), id);
    EXPECT_TRUE(db.Close());
    EXPECT_TRUE(HasDataSource("QelStored"));
}

TEST_P(OpenClose, OneOpenerPerProfile) {
    StoreProfile(4, "QelShared");
    CDatabaseObj first, second;
    Load(first, 4);
    Load(second, 4);
    ASSERT_TRUE(first.Open2(FALSE));
    EXPECT_FALSE(second.Open2(FALSE));
    EXPECT_EQ(second.GetLErrorCode(), 7015);

    const pid_t child = fork();
    if (child == 0) {
        CDatabaseObj other;
        const bool refused = other.Get(4) && !other.Open2(FALSE) && other.GetLErrorCode() == 7015;
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process must get 7015";

    ASSERT_TRUE(first.Close());
    EXPECT_TRUE(second.Open2(FALSE));
    EXPECT_TRUE(second.Close());
}

TEST(OpenCloseProfile, IncompleteProfilesAreRefusedBeforeAnything) {
    qel::test::RecordedUserInterface m_ui;
    CDatabaseObj db;
    ASSERT_TRUE(db.AddNew(TRUE, TRUE));
    EXPECT_FALSE(db.Open());
    EXPECT_EQ(db.GetLErrorCode(), 50);
    EXPECT_EQ(m_ui->Count("ShowNotice"), 0u);
}

struct FaultCase {
    OpenFault fault;
    int times;
    LONG code;  // 0: the open succeeds
};

constexpr FaultCase kFaultCases[] = {
    {OpenFault::ServerCreation, 1, 7150}, {OpenFault::WindowCreation, 1, 10},
    {OpenFault::DataSourcePreparation, 1, 7020}, {OpenFault::ConnectReturnsFalse, 1, 40},
    {OpenFault::ConnectThrows, 1, 0}, {OpenFault::ConnectThrows, 2, 7050},
    {OpenFault::SchemaCheck, 1, 7060}, {OpenFault::SettingsRestore, 1, 10},
    {OpenFault::Notification, 1, 30},
};

// Each fault on a database of its own, so every case runs the open of a new database.
TEST_P(OpenClose, NothingSurvivesAFailedOpenAndTheNextOpenWorks) {
    for (const FaultCase& c : kFaultCases) {
        SCOPED_TRACE(::testing::Message() << "fault " << static_cast<int>(c.fault) << " x" << c.times);
        m_location = NewLocation("faults/" + std::to_string(static_cast<int>(c.fault)) + "x" +
                                 std::to_string(c.times) + ".db");
        CDatabaseObj db;
        PrepareTemporary(db, "QelFaults");
        qel::database::InjectOpenFault(c.fault, c.times);
        const BOOL opened = db.Open();
        qel::database::ClearOpenFaults();
        if (c.code == 0) {
            EXPECT_TRUE(opened) << db.GetLErrorCode();
            EXPECT_TRUE(db.Close());
            continue;
        }
        EXPECT_FALSE(opened);
        EXPECT_EQ(db.GetLErrorCode(), c.code);
        if (c.fault == OpenFault::Notification) {
            EXPECT_TRUE(db.GetBIsOpen()) << "a failed notification leaves the database open";
            EXPECT_TRUE(db.Close());
            // The close took the temporary profile's data source away.
            ASSERT_TRUE(WriteDataSource(m_location, "QelFaults"));
        } else {
            EXPECT_FALSE(db.GetBIsOpen());
            EXPECT_FALSE(db.PatientsRead());
            EXPECT_EQ(db.GetQELServerObject(), nullptr);
            EXPECT_FALSE(DatabaseObjInternals::HasCallbackWindow(db));
            EXPECT_EQ(m_ui->Count("ShowNotice"), m_ui->Count("HideNotice"));
            auto mutex = qel::platform::NamedMutex::Create("QEL_DB_MUTEX_" + std::to_string(db.lKey));
            EXPECT_TRUE(mutex.handle != nullptr) << "the mutex was released";
            if (OnPostgres()) {
                EXPECT_TRUE(HasDataSource("QelFaults")) << "the administrator's data source was there before";
            } else {
                EXPECT_FALSE(fs::exists(m_location)) << "the new database file goes with the failed open";
                EXPECT_FALSE(HasDataSource("QelFaults")) << "and so does the data source it wrote";
            }
        }
        EXPECT_TRUE(db.Open()) << db.GetLErrorCode();
        EXPECT_TRUE(db.Close());
    }
}

// File engine only: the folders and the file are the file engine's.
TEST(OpenCloseFile, AFailedTemporaryOpenTakesBackItsFoldersAndFile) {
    qel::test::RecordedUserInterface ui;
    ::setenv("QEL_MODULE_DIR", qel::test::BinaryPath("bin").c_str(), 1);
    const std::string top = Sandbox::Current().Path("taken back");
    const std::string path = top + "/Studio/clinic.db";
    const auto failOnce = [&](CDatabaseObj& db) {
        qel::database::InjectOpenFault(OpenFault::SettingsRestore, 1);
        EXPECT_FALSE(db.Open2(FALSE));
        qel::database::ClearOpenFaults();
        EXPECT_EQ(db.GetLErrorCode(), 10);
    };
    {
        CDatabaseObj db;
        ASSERT_TRUE(db.AddNew(TRUE, FALSE));
        db.SetStrDataSource("QelTakenBack");
        db.SetStrDirectory(path.c_str());
        failOnce(db);
        EXPECT_FALSE(fs::exists(top)) << "every folder the open made is gone";
        EXPECT_FALSE(HasDataSource("QelTakenBack"));

        // A folder that holds something else by now stays; only the empty one goes.
        fs::create_directories(top);
        std::ofstream(top + "/other.txt") << "kept";
        failOnce(db);
        EXPECT_TRUE(fs::exists(top + "/other.txt"));
        EXPECT_FALSE(fs::exists(top + "/Studio"));
    }
    // A stored profile keeps its data source and database, as its close does.
    WriteStoredProfile(8, "QelStoredFails", path);
    CDatabaseObj stored;
    ASSERT_TRUE(stored.Get(8));
    failOnce(stored);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_TRUE(HasDataSource("QelStoredFails"));
}

TEST_P(OpenClose, FailedReRegistrationAfterAFailedConnect) {
    CDatabaseObj db;
    PrepareTemporary(db, "QelReRegister");
    qel::database::InjectOpenFault(OpenFault::ConnectThrows, 1);
    qel::database::InjectOpenFault(OpenFault::ReRegistration, 1);
    EXPECT_FALSE(db.Open());
    EXPECT_EQ(db.GetLErrorCode(), 7030);
}

TEST_P(OpenClose, DestroyingAnOpenObjectSendsTheClosingNoticeFirst) {
    auto callback = TestCallback::Make();
    {
        CDatabaseObj db;
        PrepareTemporary(db, "QelDestroyed");
        db.SetObjDatabaseCallback(callback.Get());
        ASSERT_TRUE(db.Open2(FALSE));
    }
    ASSERT_EQ(callback->Calls().size(), 2u);
    EXPECT_EQ(callback->Calls()[1].values[0], 101);
    EXPECT_FALSE(HasDataSource("QelDestroyed"));
}

INSTANTIATE_TEST_SUITE_P(Engines, OpenClose, qel::test::BothEngines(), qel::test::EngineParamName);

// File engine only: a killed process that held the database file open must
// leave a file SQLite reads as intact. A PostgreSQL server outlives its
// clients, so the question does not arise there.
TEST(OpenCloseFile, AKilledHolderLeavesAnIntactDatabase) {
    qel::test::RecordedUserInterface ui;
    const std::string path = Sandbox::Current().Path(kNewFolders);
    WriteStoredProfile(6, "QelKilled", path);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        CDatabaseObj db;
        if (!db.Get(6) || !db.Open2(FALSE)) _exit(1);
        db.GetDatabase()->ExecuteSQL("CREATE TABLE KILLTEST (N INTEGER)");
        for (int i = 1; i <= 200; ++i)
            db.GetDatabase()->ExecuteSQL(("INSERT INTO KILLTEST (N) VALUES (" + std::to_string(i) + ")").c_str());
        char byte = 1;
        if (write(ready[1], &byte, 1) != 1) _exit(2);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char byte = 0;
    // The child creates the database, writes rows, then waits to be killed.
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);

    CDatabaseObj db;
    ASSERT_TRUE(db.Get(6));
    ASSERT_TRUE(db.Open2(FALSE)) << db.GetLErrorCode();
    qel::odbc::Statement st(*db.GetDatabase());
    st.Prepare("PRAGMA integrity_check");
    st.Execute();
    ASSERT_TRUE(st.Fetch());
    EXPECT_EQ(st.GetText(1).value_or(""), "ok");
    st.CloseCursor();
    EXPECT_EQ(Count(db, "SELECT COUNT(*) FROM KILLTEST"), 200);
    EXPECT_TRUE(db.Close());
}

}  // namespace

// A PostgreSQL server that goes away while a database is open: through a
// relay in the test process, so the shared test server is not disturbed.
// The server either drops every connection and refuses new ones, or keeps
// them open and stops answering; either way the next operations fail with
// their codes within a bounded time, Close works, and the profile opens
// again once the server is back.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include <qel/platform/AppProfile.h>
#include <qel/platform/NamedMutex.h>

#include "support/EngineDatabase.h"
#include "support/DatabaseObjTesting.h"
#include "support/TcpRelay.h"
#include "support/TestDispatch.h"

namespace {

using Clock = std::chrono::steady_clock;
using qel::test::TcpRelay;
using qel::test::TestCallback;

constexpr int kCallTimeoutSeconds = 2;

class ConnectionLoss : public qel::test::EngineDatabase {
protected:
    void SetUp() override {
        EngineDatabase::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ::setenv("QEL_DB_CALL_TIMEOUT", std::to_string(kCallTimeoutSeconds).c_str(), 1);
        m_relay = std::make_unique<TcpRelay>(std::stoi(qel::test::Postgres()->port));
        ASSERT_TRUE(m_relay->Listening());
        m_location = NewLocation("relayed.db");
        ASSERT_TRUE(PrepareProfile(m_db, m_location, "QelRelayed", m_relay->Port()));
        m_db.SetObjDatabaseCallback(m_callback.Get());
        ASSERT_TRUE(m_db.Open2(FALSE)) << m_db.GetLErrorCode();
        ASSERT_TRUE(m_db.GetBIsOpen());
    }
    void TearDown() override {
        m_db.Close();
        m_relay.reset();
        ::unsetenv("QEL_DB_CALL_TIMEOUT");
    }

    std::string ProfileSection() const { return "DatabaseJ" + std::to_string(m_db.lKey); }

    // What the lost server leaves the operations to answer, then Close and
    // an Open once the server is back.
    void ExpectFailuresCloseAndReopen() {
        const std::string id = m_db.GetID();
        ASSERT_EQ(id.size(), 32u);
        const auto start = Clock::now();

        LONG count = -1;
        EXPECT_FALSE(m_db.GetPatientCount(&count));
        EXPECT_EQ(m_db.GetLErrorCode(), 10) << "the patient set cannot be read";

        LONG key = 0;
        EXPECT_FALSE(m_db.GetNewKey(4, &key));

        m_db.SetBCompressColorImages(TRUE);
        EXPECT_EQ(m_db.GetLErrorCode(), 10) << "the setting cannot be saved";
        EXPECT_FALSE(m_db.bCompressColorImages) << "a failed save keeps the old value";

        m_db.bCompressGrayscaleImages = TRUE;
        EXPECT_EQ(m_db.GetLCurrentMedia(), -1);
        EXPECT_EQ(m_db.GetLErrorCode(), 10) << "the settings cannot be re-read";
        EXPECT_TRUE(m_db.bCompressGrayscaleImages) << "a lost server does not reset the settings in memory";
        EXPECT_EQ(m_db.GetID(), id) << "nor the profile's database identity";
        EXPECT_EQ(qel::platform::AppProfile::Current().GetProfileString(ProfileSection(), "DatabaseID", ""), id);

        // Every wait above ends at the call timeout at the latest.
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(4 * kCallTimeoutSeconds));

        qel::test::CountingItem item;
        m_db.RegisterItem(&item);
        EXPECT_TRUE(m_db.Close());
        EXPECT_EQ(item.invalidated, 1) << "the live items are invalidated";
        m_db.UnregisterItem(&item);
        EXPECT_FALSE(m_db.GetBIsOpen());
        ASSERT_EQ(m_callback->Calls().size(), 2u);
        EXPECT_EQ(m_callback->Calls()[1].values[0], 101) << "the closing notice is still sent";
        {
            auto mutex = qel::platform::NamedMutex::Create("QEL_DB_MUTEX_" + std::to_string(m_db.lKey));
            EXPECT_TRUE(mutex.handle != nullptr && !mutex.alreadyExists) << "the profile's mutex was released";
        }

        // Closing the temporary profile removed its data source; the
        // administrator's data source is back with the server.
        ASSERT_TRUE(WriteDataSource(m_location, "QelRelayed", m_relay->Port()));
        m_relay->ComeBack();
        ASSERT_TRUE(m_db.Open2(FALSE)) << m_db.GetLErrorCode();
        EXPECT_TRUE(m_db.GetPatientCount(&count));
        EXPECT_EQ(count, 0);
        EXPECT_TRUE(m_db.GetNewKey(4, &key));
        EXPECT_EQ(m_db.GetID(), id) << "the same database behind the profile";
        EXPECT_TRUE(m_db.Close());
    }

    qel::test::RecordedUserInterface m_ui;
    std::unique_ptr<TcpRelay> m_relay;
    qel::platform::ComPtr<TestCallback> m_callback = TestCallback::Make();
    std::string m_location;
    CDatabaseObj m_db;
};

TEST_P(ConnectionLoss, ServerThatWentAwayFailsEveryOperationAtOnce) {
    m_relay->GoAway();
    ExpectFailuresCloseAndReopen();
}

TEST_P(ConnectionLoss, OpenWhileTheServerIsAwayFailsAndLeavesNothing) {
    ASSERT_TRUE(m_db.Close());
    m_relay->GoAway();
    ASSERT_TRUE(WriteDataSource(m_location, "QelRelayed", m_relay->Port()));
    const auto start = Clock::now();
    EXPECT_FALSE(m_db.Open2(FALSE));
    EXPECT_EQ(m_db.GetLErrorCode(), 7050) << "the connection was refused twice";
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_FALSE(m_db.GetBIsOpen());

    m_relay->ComeBack();
    EXPECT_TRUE(m_db.Open2(FALSE)) << m_db.GetLErrorCode();
}

TEST_P(ConnectionLoss, SilentServerEndsAtTheCallTimeout) {
    m_relay->Silence();
    const auto start = Clock::now();
    LONG count = -1;
    EXPECT_FALSE(m_db.GetPatientCount(&count));
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::seconds(kCallTimeoutSeconds)) << "the call waited for the server";
    EXPECT_LT(waited, std::chrono::seconds(3 * kCallTimeoutSeconds)) << "and not much longer";
    ExpectFailuresCloseAndReopen();
}

// The relay stands in front of the PostgreSQL server only.
INSTANTIATE_TEST_SUITE_P(ClientServer, ConnectionLoss, ::testing::Values(qel::datasource::kEngineClientServer),
                         qel::test::EngineParamName);

}  // namespace

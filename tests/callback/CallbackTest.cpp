// The client notifications (SendMessage, objDatabaseCallback), the selection
// counters and the callback window's messages.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include <qel/callback/DatabaseCallbackWnd.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/DatabaseItem.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/DatabaseObjTesting.h"
#include "support/Sandbox.h"
#include "support/Engines.h"
#include "support/TestDispatch.h"

namespace {

using qel::platform::ComPtr;
using qel::test::Take;
using qel::test::TestCallback;
using Wnd = CDatabaseCallbackWnd;
using Values = std::array<LONG, 4>;

LRESULT Send(const Wnd& wnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return qel::platform::SendMessage(wnd.GetSafeHwnd(), message, wParam, lParam);
}

template <class T>
LPARAM Param(T* p) {
    return reinterpret_cast<LPARAM>(p);
}

class Notifications : public ::testing::Test {
protected:
    void Attach(const ComPtr<TestCallback>& callback) { m_db.SetObjDatabaseCallback(callback.Get()); }

    CDatabaseObj m_db;
};

TEST_F(Notifications, SendMessageCopiesTheClientsErrorState) {
    m_db.lErrorCode = 7;
    EXPECT_TRUE(m_db.SendMessage(100, 0, 5, 0)) << "no callback: nothing to send";
    EXPECT_EQ(m_db.GetLErrorCode(), 0);

    auto callback = TestCallback::Make();
    Attach(callback);
    EXPECT_TRUE(m_db.SendMessage(100, 1, -2, 3));
    ASSERT_EQ(callback->Calls().size(), 1u);
    EXPECT_EQ(callback->Calls()[0].values, (Values{100, 1, -2, 3}));

    callback->code = 4711;
    callback->text = "Datenträger voll";
    EXPECT_FALSE(m_db.SendMessage(101, 0, 5, 0));
    EXPECT_EQ(m_db.GetLErrorCode(), 4711);
    EXPECT_EQ(Take(m_db.GetStrError()), "Datenträger voll");

    callback->code = 0;
    callback->text = "note";
    EXPECT_TRUE(m_db.SendMessage(101, 0, 5, 0));
    EXPECT_EQ(Take(m_db.GetStrError()), "note") << "the client's text is kept even with code 0";
}

TEST_F(Notifications, AnUnreadableErrorStateGives30) {
    auto callback = TestCallback::Make();
    callback->code = 9;
    callback->text = "hidden";
    callback->codeReadable = false;
    Attach(callback);
    EXPECT_FALSE(m_db.SendMessage(100, 0, 0, 0));
    EXPECT_EQ(m_db.GetLErrorCode(), 30);
    EXPECT_EQ(Take(m_db.GetStrError()), "");
    EXPECT_EQ(callback->Calls().size(), 1u) << "the message itself was delivered";

    callback->codeReadable = true;
    callback->textAsObject = true;
    EXPECT_FALSE(m_db.SendMessage(100, 0, 0, 0));
    EXPECT_EQ(m_db.GetLErrorCode(), 30) << "a strError that is not text";

    Attach(TestCallback::Make(false));
    EXPECT_FALSE(m_db.SendMessage(100, 0, 0, 0)) << "no OnMessage: the message never arrived";
    EXPECT_EQ(m_db.GetLErrorCode(), 30);
}

TEST_F(Notifications, ThePropertyHoldsOneReferenceUntilReplaced) {
    bool firstGone = false;
    bool secondGone = false;
    {
        auto first = TestCallback::Make(true, &firstGone);
        auto second = TestCallback::Make(true, &secondGone);
        Attach(first);
        EXPECT_EQ(first->RefCount(), 2u);
        auto got = ComPtr<IDispatch>::Adopt(m_db.GetObjDatabaseCallback());
        EXPECT_EQ(got.Get(), static_cast<IDispatch*>(first.Get()));
        EXPECT_EQ(first->RefCount(), 3u) << "the getter hands out a reference of the caller's own";
        got.Reset();

        Attach(second);
        EXPECT_EQ(first->RefCount(), 1u);
        m_db.SetObjDatabaseCallback(nullptr);
        EXPECT_EQ(m_db.GetObjDatabaseCallback(), nullptr);
        EXPECT_EQ(second->RefCount(), 1u);
        Attach(second);
    }
    EXPECT_TRUE(firstGone);
    EXPECT_FALSE(secondGone) << "the database object still holds it";
    m_db.SetObjDatabaseCallback(nullptr);
    EXPECT_TRUE(secondGone);
}

// --- The window --------------------------------------------------------------

class CallbackWindow : public Notifications {
protected:
    void SetUp() override { ASSERT_TRUE(m_wnd.Create()); }

    Wnd m_wnd{&m_db};
};

TEST_F(CallbackWindow, PostedIncrementsAreAppliedByThePump) {
    m_db.bIsOpen = TRUE;
    const HWND hwnd = m_wnd.GetSafeHwnd();
    constexpr UINT kOther = WM_USER + 20;
    ASSERT_TRUE(qel::platform::PostMessage(hwnd, Wnd::WM_UPDATE_SELECT_COUNT, 0, 4));
    ASSERT_TRUE(qel::platform::PostMessage(hwnd, kOther, 0, 0));
    ASSERT_TRUE(qel::platform::PostMessage(hwnd, Wnd::WM_UPDATE_SELECT_COUNT, 0, -1));
    ASSERT_TRUE(qel::platform::PostMessage(hwnd, Wnd::WM_UPDATE_SELECT_COUNT, 0, 2));
    m_db.PumpUpdateSelectCountMessages();
    EXPECT_EQ(m_db.GetSelectCount(), 5);
    EXPECT_EQ(m_db.GetSelectAdded(), 6);

    MSG msg;
    ASSERT_TRUE(qel::platform::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, kOther) << "other messages stay queued";
    EXPECT_FALSE(qel::platform::PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    m_db.bIsOpen = FALSE;
    m_db.UpdateSelectCount(3);
    EXPECT_EQ(m_db.GetSelectCount(), 5) << "counts move only while open";
}

TEST_F(CallbackWindow, ASendFromAnotherThreadRunsOnTheOwnerThread) {
    auto callback = TestCallback::Make();
    callback->code = 12;
    Attach(callback);
    const HWND hwnd = m_wnd.GetSafeHwnd();
    LONG values[5] = {300, 1, 2, 3, -99};
    auto sent = std::async(std::launch::async, [&] {
        return qel::platform::SendMessage(hwnd, Wnd::WM_SEND_MESSAGE, 0, Param(values));
    });
    MSG msg;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sent.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < deadline) {
        qel::platform::PeekMessage(&msg, nullptr, 0, 0, PM_NOREMOVE);  // runs incoming sends
    }
    ASSERT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_EQ(sent.get(), 0);
    ASSERT_EQ(callback->Calls().size(), 1u);
    EXPECT_EQ(callback->Calls()[0].values, (Values{300, 1, 2, 3}));
    EXPECT_EQ(callback->Calls()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(values[4], 12) << "the fifth value receives lErrorCode";
    EXPECT_EQ(Send(m_wnd, Wnd::WM_SEND_MESSAGE, 0, 0), 0) << "a null value block is ignored";
}

TEST_F(CallbackWindow, CloseRequestsAndDiskChecks) {
    auto callback = TestCallback::Make();
    Attach(callback);
    EXPECT_EQ(Send(m_wnd, Wnd::WM_CLOSE_DATABASE, 1, 0), FALSE) << "nothing is open";
    EXPECT_TRUE(callback->Calls().empty());

    m_db.bIsOpen = TRUE;
    EXPECT_EQ(Send(m_wnd, Wnd::WM_CHECK_DISK_SPACE, 0, 4096), 0);
    EXPECT_EQ(m_db.GetLErrorCode(), 0) << "checking is off by default";
    EXPECT_EQ(Send(m_wnd, Wnd::WM_CLOSE_DATABASE, 1, 0), TRUE);
    EXPECT_FALSE(m_db.bIsOpen);
    EXPECT_TRUE(callback->Calls().empty()) << "a quiet close sends no closing notice";

    m_db.bIsOpen = TRUE;
    EXPECT_EQ(Send(m_wnd, Wnd::WM_CLOSE_DATABASE, 0, 0), TRUE);
    ASSERT_EQ(callback->Calls().size(), 1u);
    EXPECT_EQ(callback->Calls()[0].values[0], 101);

    EXPECT_EQ(Send(m_wnd, Wnd::WM_CHECK_DISK_SPACE, 0, 4096), 0);
    EXPECT_EQ(m_db.GetLErrorCode(), 50) << "the check ran on a closed database";
}

struct CountingItem : CQELDatabaseItem {
    void Invalidate() override { ++invalidated; }
    void Orphanize(LONG, LONG) override {}
    int invalidated = 0;
};

TEST_F(CallbackWindow, ItemsAndReleasedObjectsArriveThroughTheWindow) {
    CountingItem first;
    CountingItem second;
    CImageData image;
    image.m_lOwnerKey = 4;
    first.m_pData = second.m_pData = &image;
    Send(m_wnd, Wnd::WM_REGISTER_ITEM, 0, Param(&first));
    Send(m_wnd, Wnd::WM_REGISTER_ITEM, 0, Param(&second));
    Send(m_wnd, Wnd::WM_UNREGISTER_ITEM, 0, Param(&first));
    EXPECT_EQ(second.m_lSerialNumber, 2);
    m_db.InvalidateItems(4, CDatabaseObj::eItemImage);
    EXPECT_EQ(first.invalidated, 0);
    EXPECT_EQ(second.invalidated, 1);

    auto& patients = DatabaseObjInternals::PatientSet(m_db);
    patients = std::make_unique<CPatientSet>(nullptr);
    auto patient = std::make_unique<CPatientData>();
    patient->m_pImageSet = std::make_unique<CKeyOrderedSet>();
    CPatientData* raw = patient.get();
    ASSERT_TRUE(patients->Add(4, patient.release()));
    Send(m_wnd, Wnd::WM_CHECK_OWNERS_OBJECT_SET, 0, Param(static_cast<CQELObjectData*>(raw)));
    EXPECT_EQ(raw->m_pImageSet, nullptr) << "a released patient with an empty image set loses it";
}

TEST_F(CallbackWindow, OneWindowAtATimeAndNoneWithoutAnObject) {
    const HWND hwnd = m_wnd.GetSafeHwnd();
    EXPECT_FALSE(m_wnd.Create());
    EXPECT_TRUE(m_wnd.DestroyWindow());
    EXPECT_FALSE(qel::platform::IsWindow(hwnd));
    EXPECT_FALSE(m_wnd.DestroyWindow());
    EXPECT_FALSE(Wnd(nullptr).Create());
    EXPECT_TRUE(m_wnd.Create());
}

TEST(CallbackWindowKeys, NewKeysComeFromTheCounterRowAndFailureGivesMinusOne) {
    ::setenv("QEL_WAIT_SCALE", "0", 1);
    auto database = qel::test::ScratchDatabase::Create(2, "keys");
    ASSERT_TRUE(database);
    CDatabaseObj db;
    DatabaseObjInternals::Attach(db, database->Connect(), 2);
    ASSERT_TRUE(DatabaseObjInternals::Schema(db).CheckAndUpgradeDatabase());
    Wnd wnd(&db);
    ASSERT_TRUE(wnd.Create());

    LONG key = 0;
    EXPECT_EQ(Send(wnd, Wnd::WM_GET_NEW_KEY, 4, Param(&key)), 0);
    EXPECT_EQ(key, 1) << "counting itself is KeysConcurrencyTest's";
    Send(wnd, Wnd::WM_GET_NEW_KEY, 99, Param(&key));
    EXPECT_EQ(key, -1) << "no counter row for table 99";
    DatabaseObjInternals::Detach(db);
}

// Code elsewhere in the process finds the window through the database object
// and reaches it there while the database is open.
TEST(CallbackWindowHandle, HandedOutWhileOpenAndGoneAfterClose) {
    ::setenv("QEL_MODULE_DIR", qel::test::BinaryPath("bin").c_str(), 1);
    CDatabaseObj db;
    EXPECT_EQ(db.GetCallbackWindow(), nullptr) << "no database, no window";
    ASSERT_TRUE(db.AddNew(TRUE, FALSE));
    db.SetStrDataSource("QelWindow");
    db.SetStrDirectory(qel::test::Sandbox::Current().Path("window/clinic.db").c_str());
    ASSERT_TRUE(db.Open2(FALSE)) << db.GetLErrorCode();

    const HWND hwnd = db.GetCallbackWindow();
    ASSERT_NE(hwnd, nullptr);
    LONG first = -1, second = -1;
    EXPECT_EQ(qel::platform::SendMessage(hwnd, WM_USER + 6, 4, Param(&first)), 0);
    EXPECT_EQ(qel::platform::SendMessage(hwnd, WM_USER + 6, 4, Param(&second)), 0);
    EXPECT_GT(first, 0) << "a patient key from the counter row";
    EXPECT_EQ(second, first + 1);
    EXPECT_EQ(db.GetCallbackWindow(), hwnd) << "the same window for the whole session";

    ASSERT_TRUE(db.Close());
    EXPECT_EQ(db.GetCallbackWindow(), nullptr);
    EXPECT_FALSE(qel::platform::IsWindow(hwnd)) << "the old handle names no window any more";
}

}  // namespace

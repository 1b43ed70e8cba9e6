#include <qel/platform/Window.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace qel::platform;

namespace {

// Waits (bounded) until another thread's SendMessage sits in this thread's queue.
bool WaitForIncomingSend() {
    for (int i = 0; i < 10000; ++i) {
        if (GetQueueStatus(QS_SENDMESSAGE) & QS_SENDMESSAGE) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// A window that records the messages its handler saw.
struct Recorder {
    std::mutex mutex;
    std::vector<MSG> seen;
    HWND hwnd = nullptr;

    Recorder() {
        hwnd = CreateWindow([this](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            std::lock_guard lock(mutex);
            seen.push_back(MSG{h, m, w, l});
            return static_cast<LRESULT>(m) + l;
        });
    }
    ~Recorder() { DestroyWindow(hwnd); }
    std::vector<UINT> Messages() {
        std::lock_guard lock(mutex);
        std::vector<UINT> out;
        for (const MSG& m : seen) out.push_back(m.message);
        return out;
    }
};

std::vector<UINT> DrainAll() {
    std::vector<UINT> out;
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) out.push_back(msg.message);
    return out;
}

}  // namespace

TEST(WindowTest, CreationSendsWmCreateAndCanBeRefused) {
    LPARAM createParam = 0;
    HWND hwnd = CreateWindow(
        [&](HWND, UINT m, WPARAM, LPARAM l) -> LRESULT {
            if (m == WM_CREATE) createParam = l;
            return 0;
        },
        77);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(createParam, 77);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(DestroyWindow(hwnd));

    bool destroySeen = false;
    EXPECT_EQ(CreateWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
                  if (m == WM_DESTROY) destroySeen = true;
                  return m == WM_CREATE ? -1 : 0;
              }),
              nullptr);
    EXPECT_FALSE(destroySeen);
    EXPECT_EQ(CreateWindow(WindowProc{}), nullptr);
    EXPECT_EQ(CreateWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { throw std::runtime_error("no"); }), nullptr);

    // Later handler exceptions become 0, sent or dispatched.
    hwnd = CreateWindow([](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_USER) throw std::runtime_error("handler failure");
        return 0;
    });
    EXPECT_EQ(SendMessage(hwnd, WM_USER, 0, 0), 0);
    MSG msg{hwnd, WM_USER, 0, 0};
    EXPECT_EQ(DispatchMessage(&msg), 0);
    EXPECT_TRUE(DestroyWindow(hwnd));
}

TEST(WindowTest, DestroyedAndForeignHandlesFailSafely) {
    Recorder first;
    HWND stale = first.hwnd;
    ASSERT_TRUE(PostMessage(stale, WM_USER + 1, 0, 0));
    ASSERT_TRUE(DestroyWindow(stale));
    EXPECT_EQ(first.Messages(), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
    EXPECT_TRUE(DrainAll().empty()) << "messages queued for a destroyed window are dropped";

    // The slot is reused, but the old handle must not reach the new window.
    Recorder second;
    EXPECT_FALSE(IsWindow(stale));
    EXPECT_FALSE(DestroyWindow(stale));
    EXPECT_FALSE(PostMessage(stale, WM_USER, 0, 0));
    EXPECT_EQ(SendMessage(stale, WM_USER, 0, 5), 0);
    MSG msg{stale, WM_USER, 0, 0};
    EXPECT_EQ(DispatchMessage(&msg), 0);
    EXPECT_EQ(second.Messages(), (std::vector<UINT>{WM_CREATE}));

    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(&msg)));
    EXPECT_FALSE(IsWindow(nullptr));
    // Only the owner thread may destroy a window.
    std::thread([&] { EXPECT_FALSE(DestroyWindow(second.hwnd)); }).join();
    EXPECT_TRUE(IsWindow(second.hwnd));
}

TEST(WindowTest, SentMessagesAreHandledBeforePostedOnes) {
    Recorder window;
    PostMessage(window.hwnd, WM_USER + 3, 0, 0);
    std::thread sender([&] { SendMessage(window.hwnd, WM_USER + 4, 0, 0); });
    ASSERT_TRUE(WaitForIncomingSend());
    EXPECT_EQ(window.Messages(), (std::vector<UINT>{WM_CREATE})) << "not handled until the owner asks for messages";

    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
    sender.join();
    EXPECT_EQ(msg.message, WM_USER + 3u);
    EXPECT_EQ(window.Messages(), (std::vector<UINT>{WM_CREATE, WM_USER + 4}));
    EXPECT_EQ(DispatchMessage(&msg), static_cast<LRESULT>(WM_USER + 3));
}

TEST(WindowTest, PeekWithRangeAndWindowFilterKeepsOtherMessagesInOrder) {
    Recorder a;
    Recorder b;
    for (UINT m : {WM_USER + 1, WM_USER + 8, WM_USER + 2, WM_USER + 8, WM_USER + 3}) {
        PostMessage(a.hwnd, m, 0, static_cast<LPARAM>(m));
    }
    PostMessage(b.hwnd, WM_USER + 8, 0, 99);

    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, nullptr, WM_USER + 8, WM_USER + 8, PM_NOREMOVE));
    EXPECT_EQ(msg.hwnd, a.hwnd);
    ASSERT_TRUE(PeekMessage(&msg, b.hwnd, WM_USER + 8, WM_USER + 8, PM_REMOVE));
    EXPECT_EQ(msg.lParam, 99);
    EXPECT_FALSE(PeekMessage(&msg, b.hwnd, 0, 0, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessage(&msg, nullptr, WM_USER + 4, WM_USER + 7, PM_REMOVE));

    ASSERT_TRUE(PeekMessage(&msg, a.hwnd, WM_USER + 2, WM_USER + 8, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 8u);
    EXPECT_EQ(DrainAll(), (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 8, WM_USER + 3}));
    EXPECT_FALSE(PeekMessage(nullptr, nullptr, 0, 0, PM_REMOVE));
}

TEST(WindowTest, DestroyFailsPendingAndLateSenders) {
    Recorder window;
    std::promise<LRESULT> pending;
    std::thread sender([&] { pending.set_value(SendMessage(window.hwnd, WM_USER + 1, 0, 5)); });
    ASSERT_TRUE(WaitForIncomingSend());
    ASSERT_TRUE(DestroyWindow(window.hwnd));
    EXPECT_EQ(pending.get_future().get(), 0);
    sender.join();

    std::thread late([&] { EXPECT_EQ(SendMessage(window.hwnd, WM_USER + 1, 0, 5), 0); });
    late.join();
    EXPECT_EQ(window.Messages(), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
}

TEST(WindowTest, OwnerThreadExitFailsPendingSenders) {
    std::atomic<bool> handled{false};
    std::promise<HWND> created;
    std::thread owner([&] {
        HWND hwnd = CreateWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
            if (m == WM_USER + 1) handled = true;
            return 1;
        });
        created.set_value(hwnd);
        // Leaves without pumping and without destroying its window.
        WaitForIncomingSend();
    });
    HWND hwnd = created.get_future().get();
    EXPECT_EQ(SendMessage(hwnd, WM_USER + 1, 0, 0), 0);
    owner.join();
    EXPECT_FALSE(handled);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_FALSE(PostMessage(hwnd, WM_USER + 1, 0, 0));
}

TEST(WindowTest, ThreadsSendingToEachOtherDoNotDeadlock) {
    const auto mainThread = std::this_thread::get_id();
    std::thread::id backOn;
    HWND mainWindow = CreateWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m != WM_USER + 2) return 0;
        backOn = std::this_thread::get_id();
        return 41;
    });
    EXPECT_EQ(SendMessage(mainWindow, WM_USER + 2, 0, 0), 41) << "same thread: a direct call";
    std::promise<HWND> created;
    std::thread worker([&] {
        HWND hwnd = CreateWindow([&](HWND, UINT m, WPARAM, LPARAM) -> LRESULT {
            return m == WM_USER + 1 ? SendMessage(mainWindow, WM_USER + 2, 0, 0) + 1 : 0;
        });
        created.set_value(hwnd);
        MSG msg;
        while (GetMessage(&msg, nullptr, 0, 0) > 0) DispatchMessage(&msg);
        EXPECT_EQ(msg.message, WM_QUIT);
        EXPECT_EQ(msg.wParam, 3u);
        DestroyWindow(hwnd);
    });
    HWND workerWindow = created.get_future().get();
    EXPECT_EQ(SendMessage(workerWindow, WM_USER + 1, 0, 0), 42);
    EXPECT_EQ(backOn, mainThread);
    PostMessage(workerWindow, WM_QUIT, 3, 0);
    worker.join();
    DestroyWindow(mainWindow);
}

TEST(WindowTest, GetMessageEndsOnQuitAndFailsOnBadArguments) {
    Recorder window;
    PostMessage(window.hwnd, WM_USER + 5, 1, 2);
    PostQuitMessage(7);
    MSG msg;
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, WM_USER + 5u);
    EXPECT_EQ(GetMessage(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(DispatchMessage(&msg), 0) << "thread messages have no handler";

    EXPECT_EQ(GetMessage(nullptr, nullptr, 0, 0), -1);
    HWND gone = CreateWindow([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
    DestroyWindow(gone);
    EXPECT_EQ(GetMessage(&msg, gone, 0, 0), -1);
}

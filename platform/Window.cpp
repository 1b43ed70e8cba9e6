#include <qel/platform/Window.h>

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <qel/platform/Diagnostics.h>

namespace qel::platform {

namespace {

struct ThreadQueue;

// A message sent from another thread; the sender blocks until `done`.
struct SentMessage {
    MSG msg;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;
};

struct ThreadQueue {
    explicit ThreadQueue(std::thread::id id) : thread(id) {}

    const std::thread::id thread;
    // Woken for every new posted or sent message and for every reply to a
    // message this thread sent.
    std::condition_variable cv;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
};

using ProcPtr = std::shared_ptr<const WindowProc>;

struct Slot {
    std::uintptr_t generation = 1;
    bool used = false;
    bool destroying = false;
    std::shared_ptr<ThreadQueue> owner;
    ProcPtr proc;
};

// One lock guards the handle table and every queue: the operations are short
// and a single lock leaves no lock order to get wrong. Handlers always run
// with it released.
struct WindowTable {
    std::mutex mutex;
    std::vector<Slot> slots;
    std::vector<std::size_t> freeSlots;
};

WindowTable& Table() {
    static WindowTable table;
    return table;
}

// A handle is (generation << half the bits) | (slot index + 1), so it is never
// null and a reused slot never matches an older handle.
constexpr unsigned kIndexBits = sizeof(std::uintptr_t) * 4;
constexpr std::uintptr_t kIndexMask = (std::uintptr_t{1} << kIndexBits) - 1;
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

HWND MakeHandle(std::size_t index, std::uintptr_t generation) {
    return reinterpret_cast<HWND>((generation << kIndexBits) | (static_cast<std::uintptr_t>(index) + 1));
}

// The slot index of a live window; kNotFound otherwise. Needs the lock.
std::size_t Find(const WindowTable& table, HWND hwnd) {
    const auto value = reinterpret_cast<std::uintptr_t>(hwnd);
    const std::uintptr_t low = value & kIndexMask;
    if (low == 0 || low > table.slots.size()) return kNotFound;
    const std::size_t index = static_cast<std::size_t>(low - 1);
    const Slot& slot = table.slots[index];
    if (!slot.used || slot.generation != (value >> kIndexBits)) return kNotFound;
    return index;
}

void ReportHandlerFailure(UINT message, const char* what) {
    ReportDiagnostic(Severity::Warning, std::string("window handler failed on message ") + std::to_string(message) +
                                            ": " + what);
}

LRESULT CallProc(const WindowProc& proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                 LRESULT onFailure) noexcept {
    try {
        return proc(hwnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        ReportHandlerFailure(message, e.what());
    } catch (...) {
        ReportHandlerFailure(message, "unknown exception");
    }
    return onFailure;
}

void Complete(SentMessage& sent, LRESULT result) {
    sent.result = result;
    sent.done = true;
    sent.sender->cv.notify_all();
}

// Takes the window out of the table: its queued messages go, its pending
// senders get 0. Returns the handler so the caller can drop it unlocked (its
// destructor is user code). Needs the lock.
ProcPtr Invalidate(WindowTable& table, std::size_t index, HWND hwnd) {
    Slot& slot = table.slots[index];
    ThreadQueue& owner = *slot.owner;
    std::erase_if(owner.posted, [hwnd](const MSG& m) { return m.hwnd == hwnd; });
    std::erase_if(owner.sent, [hwnd](const std::shared_ptr<SentMessage>& s) {
        if (s->msg.hwnd != hwnd) return false;
        Complete(*s, 0);
        return true;
    });
    // A GetMessage filtered on this window must wake up and fail.
    owner.cv.notify_all();

    ProcPtr proc = std::move(slot.proc);
    slot.owner.reset();
    slot.used = false;
    slot.destroying = false;
    slot.generation = (slot.generation + 1) & kIndexMask;
    if (slot.generation == 0) slot.generation = 1;
    table.freeSlots.push_back(index);
    return proc;
}

// Runs every message sent to this thread, unlocking around each handler.
void HandleSentMessages(std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
    WindowTable& table = Table();
    while (!queue.sent.empty()) {
        std::shared_ptr<SentMessage> sent = std::move(queue.sent.front());
        queue.sent.pop_front();
        ProcPtr proc;
        const std::size_t index = Find(table, sent->msg.hwnd);
        if (index != kNotFound) proc = table.slots[index].proc;
        LRESULT result = 0;
        if (proc) {
            lock.unlock();
            result = CallProc(*proc, sent->msg.hwnd, sent->msg.message, sent->msg.wParam, sent->msg.lParam, 0);
            proc.reset();
            lock.lock();
        }
        Complete(*sent, result);
    }
}

// The end of a thread: its windows become invalid without WM_DESTROY, its
// queue is dropped and its pending senders get 0.
void ShutDownQueue(const std::shared_ptr<ThreadQueue>& queue) {
    WindowTable& table = Table();
    std::vector<ProcPtr> handlers;
    {
        std::lock_guard lock(table.mutex);
        for (std::size_t index = 0; index < table.slots.size(); ++index) {
            Slot& slot = table.slots[index];
            if (slot.used && slot.owner == queue) {
                handlers.push_back(Invalidate(table, index, MakeHandle(index, slot.generation)));
            }
        }
        for (const auto& sent : queue->sent) Complete(*sent, 0);
        queue->sent.clear();
        queue->posted.clear();
    }
}

class QueueHolder {
public:
    QueueHolder() = default;
    QueueHolder(const QueueHolder&) = delete;
    QueueHolder& operator=(const QueueHolder&) = delete;
    ~QueueHolder() {
        if (!m_queue) return;
        try {
            ShutDownQueue(m_queue);
        } catch (...) {
            // Nothing can be reported from a thread that is ending.
        }
    }

    const std::shared_ptr<ThreadQueue>& Get() {
        if (!m_queue) m_queue = std::make_shared<ThreadQueue>(std::this_thread::get_id());
        return m_queue;
    }

private:
    std::shared_ptr<ThreadQueue> m_queue;
};

thread_local QueueHolder t_queue;

bool Matches(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (hwnd != nullptr && msg.hwnd != hwnd) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

bool TakePosted(ThreadQueue& queue, MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
    auto it = std::find_if(queue.posted.begin(), queue.posted.end(),
                           [&](const MSG& m) { return Matches(m, hwnd, filterMin, filterMax); });
    if (it == queue.posted.end()) return false;
    *msg = *it;
    if (remove) queue.posted.erase(it);
    return true;
}

void ReportFailure(const char* call) {
    try {
        throw;
    } catch (const std::exception& e) {
        ReportDiagnostic(Severity::Error, std::string(call) + " failed: " + e.what());
    } catch (...) {
        ReportDiagnostic(Severity::Error, std::string(call) + " failed");
    }
}

}  // namespace

HWND CreateWindow(WindowProc proc, LPARAM createParam) {
    try {
        if (!proc) return nullptr;
        auto shared = std::make_shared<const WindowProc>(std::move(proc));
        const std::shared_ptr<ThreadQueue>& self = t_queue.Get();
        WindowTable& table = Table();
        HWND hwnd = nullptr;
        {
            std::lock_guard lock(table.mutex);
            std::size_t index = 0;
            if (!table.freeSlots.empty()) {
                index = table.freeSlots.back();
                table.freeSlots.pop_back();
            } else {
                if (table.slots.size() >= kIndexMask) return nullptr;
                table.slots.emplace_back();
                index = table.slots.size() - 1;
            }
            Slot& slot = table.slots[index];
            slot.used = true;
            slot.owner = self;
            slot.proc = shared;
            hwnd = MakeHandle(index, slot.generation);
        }
        const LRESULT created = CallProc(*shared, hwnd, WM_CREATE, 0, createParam, -1);
        ProcPtr discarded;
        {
            std::lock_guard lock(table.mutex);
            const std::size_t index = Find(table, hwnd);
            // Also null when the handler destroyed the window during WM_CREATE.
            if (index == kNotFound) return nullptr;
            if (created != -1) return hwnd;
            discarded = Invalidate(table, index, hwnd);
        }
        return nullptr;
    } catch (...) {
        ReportFailure("CreateWindow");
        return nullptr;
    }
}

BOOL DestroyWindow(HWND hwnd) {
    try {
        WindowTable& table = Table();
        ProcPtr proc;
        {
            std::lock_guard lock(table.mutex);
            const std::size_t index = Find(table, hwnd);
            if (index == kNotFound) return FALSE;
            Slot& slot = table.slots[index];
            if (slot.owner->thread != std::this_thread::get_id() || slot.destroying) return FALSE;
            slot.destroying = true;
            proc = slot.proc;
        }
        CallProc(*proc, hwnd, WM_DESTROY, 0, 0, 0);
        ProcPtr released;
        {
            std::lock_guard lock(table.mutex);
            const std::size_t index = Find(table, hwnd);
            if (index != kNotFound) released = Invalidate(table, index, hwnd);
        }
        return TRUE;
    } catch (...) {
        ReportFailure("DestroyWindow");
        return FALSE;
    }
}

BOOL IsWindow(HWND hwnd) {
    try {
        WindowTable& table = Table();
        std::lock_guard lock(table.mutex);
        return Find(table, hwnd) != kNotFound ? TRUE : FALSE;
    } catch (...) {
        ReportFailure("IsWindow");
        return FALSE;
    }
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        const std::shared_ptr<ThreadQueue>& self = t_queue.Get();
        WindowTable& table = Table();
        std::unique_lock lock(table.mutex);
        const std::size_t index = Find(table, hwnd);
        if (index == kNotFound) return 0;
        Slot& slot = table.slots[index];
        if (slot.owner == self) {
            ProcPtr proc = slot.proc;
            lock.unlock();
            return CallProc(*proc, hwnd, message, wParam, lParam, 0);
        }

        ThreadQueue& owner = *slot.owner;
        auto sent = std::make_shared<SentMessage>();
        sent->msg = MSG{hwnd, message, wParam, lParam};
        sent->sender = self;
        owner.sent.push_back(sent);
        owner.cv.notify_all();
        // Keep serving messages sent to this thread, so two threads sending
        // to each other do not deadlock.
        while (!sent->done) {
            if (!self->sent.empty()) {
                HandleSentMessages(lock, *self);
                continue;
            }
            self->cv.wait(lock);
        }
        return sent->result;
    } catch (...) {
        ReportFailure("SendMessage");
        return 0;
    }
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        WindowTable& table = Table();
        if (hwnd == nullptr) {
            const std::shared_ptr<ThreadQueue>& self = t_queue.Get();
            std::lock_guard lock(table.mutex);
            self->posted.push_back(MSG{nullptr, message, wParam, lParam});
            self->cv.notify_all();
            return TRUE;
        }
        std::lock_guard lock(table.mutex);
        const std::size_t index = Find(table, hwnd);
        if (index == kNotFound) return FALSE;
        ThreadQueue& owner = *table.slots[index].owner;
        owner.posted.push_back(MSG{hwnd, message, wParam, lParam});
        owner.cv.notify_all();
        return TRUE;
    } catch (...) {
        ReportFailure("PostMessage");
        return FALSE;
    }
}

void PostQuitMessage(int exitCode) {
    PostMessage(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    try {
        if (msg == nullptr) return FALSE;
        const std::shared_ptr<ThreadQueue>& self = t_queue.Get();
        WindowTable& table = Table();
        std::unique_lock lock(table.mutex);
        HandleSentMessages(lock, *self);
        return TakePosted(*self, msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
    } catch (...) {
        ReportFailure("PeekMessage");
        return FALSE;
    }
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    try {
        if (msg == nullptr) return -1;
        const std::shared_ptr<ThreadQueue>& self = t_queue.Get();
        WindowTable& table = Table();
        std::unique_lock lock(table.mutex);
        for (;;) {
            HandleSentMessages(lock, *self);
            if (hwnd != nullptr) {
                // Waiting on a window that is gone or belongs elsewhere would never end.
                const std::size_t index = Find(table, hwnd);
                if (index == kNotFound || table.slots[index].owner != self) return -1;
            }
            if (TakePosted(*self, msg, hwnd, filterMin, filterMax, true)) {
                return msg->message == WM_QUIT ? FALSE : TRUE;
            }
            self->cv.wait(lock);
        }
    } catch (...) {
        ReportFailure("GetMessage");
        return -1;
    }
}

LRESULT DispatchMessage(const MSG* msg) {
    try {
        if (msg == nullptr || msg->hwnd == nullptr) return 0;
        WindowTable& table = Table();
        ProcPtr proc;
        {
            std::lock_guard lock(table.mutex);
            const std::size_t index = Find(table, msg->hwnd);
            if (index == kNotFound) return 0;
            proc = table.slots[index].proc;
        }
        return CallProc(*proc, msg->hwnd, msg->message, msg->wParam, msg->lParam, 0);
    } catch (...) {
        ReportFailure("DispatchMessage");
        return 0;
    }
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

DWORD GetQueueStatus(UINT flags) {
    try {
        const std::shared_ptr<ThreadQueue>& self = t_queue.Get();
        WindowTable& table = Table();
        std::lock_guard lock(table.mutex);
        DWORD kinds = 0;
        if (!self->posted.empty()) kinds |= QS_POSTMESSAGE;
        if (!self->sent.empty()) kinds |= QS_SENDMESSAGE;
        kinds &= flags;
        return (kinds << 16) | kinds;
    } catch (...) {
        ReportFailure("GetQueueStatus");
        return 0;
    }
}

}  // namespace qel::platform

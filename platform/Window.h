// Hidden windows and per-thread message queues with the semantics of the
// Windows message system, for code that serialises requests onto the thread
// that owns an object (the database object's callback window).
//
// A window is a handler bound to the thread that created it. Other threads
// reach it with SendMessage (synchronous: the handler runs on the owner
// thread while the sender blocks) or PostMessage (queued). The owner thread
// runs incoming sent messages whenever it calls GetMessage or PeekMessage,
// before posted messages, and dispatches posted ones with DispatchMessage:
//
//     HWND hwnd = qel::platform::CreateWindow([](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT { ... });
//     MSG msg;
//     while (qel::platform::GetMessage(&msg, nullptr, 0, 0) > 0) qel::platform::DispatchMessage(&msg);
//     qel::platform::DestroyWindow(hwnd);
//
// Handles are generation-checked: a destroyed window's handle never matches a
// later window, and every call with a stale or foreign handle fails safely.
// When a thread ends, its windows are invalidated (without WM_DESTROY, since
// the objects behind the handlers may already be gone), its queue is dropped
// and senders still waiting on it get 0.
#pragma once

#include <functional>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

#ifndef _WIN32

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_USER = 0x0400;

constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;

// GetQueueStatus kinds.
constexpr UINT QS_POSTMESSAGE = 0x0008;
constexpr UINT QS_SENDMESSAGE = 0x0040;

struct MSG {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

#endif  // _WIN32

namespace qel::platform {

// The window's handler. An exception it throws is reported as a diagnostic
// and turned into the result 0 (-1 for WM_CREATE).
using WindowProc = std::function<LRESULT(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)>;

// Creates a hidden window owned by the calling thread and sends it WM_CREATE
// with lParam = createParam. Returns null when proc is empty or WM_CREATE
// answers -1 (the window is then discarded without WM_DESTROY).
QEL_API HWND CreateWindow(WindowProc proc, LPARAM createParam = 0);
// Sends WM_DESTROY, then invalidates the handle: posted messages still queued
// for it are dropped and senders waiting on it get 0. Only the owner thread
// may destroy a window; FALSE for other threads and invalid handles.
QEL_API BOOL DestroyWindow(HWND hwnd);
QEL_API BOOL IsWindow(HWND hwnd);

// The result of the handler; 0 at once for an invalid window, and 0 when the
// window is destroyed or its thread ends before the message was handled.
// While waiting, the sender keeps handling messages sent to its own windows.
QEL_API LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Queues the message on the owner thread. A null hwnd posts a thread message
// to the calling thread. FALSE for an invalid window.
QEL_API BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Posts WM_QUIT (wParam = exitCode) to the calling thread.
QEL_API void PostQuitMessage(int exitCode);

// Handles pending sent messages, then looks for the first posted message of
// the calling thread for hwnd (null: any window of the thread and thread
// messages) with filterMin <= message <= filterMax (0, 0: any). With
// PM_REMOVE it is taken off the queue; other messages keep their order.
QEL_API BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags);
// As PeekMessage with PM_REMOVE, but blocks until a message matches.
// Returns FALSE for WM_QUIT, -1 when msg is null or hwnd is not (or no longer)
// a window, TRUE otherwise.
QEL_API BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
// Calls the handler of msg->hwnd on the calling thread and returns its
// result; 0 for thread messages and invalid windows.
QEL_API LRESULT DispatchMessage(const MSG* msg);
// The default processing: nothing, result 0.
QEL_API LRESULT DefWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Which kinds of messages (QS_POSTMESSAGE, QS_SENDMESSAGE, masked by flags)
// wait in the calling thread's queue, in both the high and the low word
// (no "new since the last call" tracking).
QEL_API DWORD GetQueueStatus(UINT flags);

}  // namespace qel::platform

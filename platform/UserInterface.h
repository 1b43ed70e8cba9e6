// The user-interface hooks of the component: message box, message beep,
// modeless notice, wait cursor and modal dialogs, behind one interface.
//
// The process has one current implementation. The default is headless: it
// logs the text, answers OK to message boxes and cancels dialogs. Tests
// install RecordingUserInterface to see what the component asked for; the
// Qt module installs a real one when a display is available.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::platform {

// A modal dialog the component wants shown. The implementation runs it and
// returns the dialog's result (IDOK, IDCANCEL, ...). `kind` names the dialog
// ("SelectPatient"); `model` is dialog-specific data owned by the caller.
struct DialogRequest {
    std::string kind;
    void* model = nullptr;
};

class QEL_API IUserInterface {
public:
    virtual ~IUserInterface() = default;

    virtual int MessageBox(const std::string& text, const std::string& caption, UINT type) = 0;
    virtual void MessageBeep(UINT type) = 0;

    // A modeless notice that stays from ShowNotice until HideNotice.
    // Returns an id for HideNotice; 0 when nothing is shown.
    virtual int ShowNotice(const std::string& text) = 0;
    virtual void HideNotice(int id) = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    virtual int RunModal(const DialogRequest& request) = 0;
};

// Reports texts through ReportDiagnostic (platform/Diagnostics.h), answers
// the default button to message boxes (IDOK; IDYES for MB_YESNO) and IDCANCEL
// to dialogs. Safe to call from any thread.
class QEL_API HeadlessUserInterface : public IUserInterface {
public:
    int MessageBox(const std::string& text, const std::string& caption, UINT type) override;
    void MessageBeep(UINT type) override;
    int ShowNotice(const std::string& text) override;
    void HideNotice(int id) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    int RunModal(const DialogRequest& request) override;

private:
    std::atomic<int> m_nextNotice{1};
};

// Records every request for tests; answers from the configurable fields.
class QEL_API RecordingUserInterface : public IUserInterface {
public:
    struct Event {
        std::string what;  // "MessageBox", "MessageBeep", "ShowNotice", "HideNotice",
                           // "BeginWaitCursor", "EndWaitCursor", "RunModal"
        std::string text;  // message or notice text, dialog kind
        UINT type = 0;     // message box type, beep type, notice id
    };

    int MessageBox(const std::string& text, const std::string& caption, UINT type) override;
    void MessageBeep(UINT type) override;
    int ShowNotice(const std::string& text) override;
    void HideNotice(int id) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    int RunModal(const DialogRequest& request) override;

    std::vector<Event> Events() const;
    size_t Count(const std::string& what) const;
    void Clear();

    int messageBoxAnswer = IDOK;
    // Called for RunModal; returns the dialog result. Default: IDCANCEL.
    std::function<int(const DialogRequest&)> modalHandler;

private:
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
    int m_nextNotice = 1;
};

// The current implementation (never null). The reference stays valid for the
// whole process: each call goes to the implementation installed at the time
// of that call, which is kept alive until the call returns.
QEL_API IUserInterface& UserInterface();
// The implementation installed now (never null); for callers that must reach
// the same implementation again later (a notice hidden where it was shown).
QEL_API std::shared_ptr<IUserInterface> CurrentUserInterface();
// Installs an implementation; null restores the headless default. Returns the previous one.
QEL_API std::shared_ptr<IUserInterface> SetUserInterface(std::shared_ptr<IUserInterface> ui);

// UserInterface().MessageBeep(type).
QEL_API void MessageBeep(UINT type);

}  // namespace qel::platform

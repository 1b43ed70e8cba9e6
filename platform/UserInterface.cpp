#include <qel/platform/UserInterface.h>

#include <climits>
#include <cstdio>
#include <utility>

#include <qel/platform/Diagnostics.h>

namespace qel::platform {

namespace {

// Notice ids are positive; 0 means "nothing shown". Wraps back to 1.
int NextNoticeId(std::atomic<int>& next) {
    int id = next.load();
    int following = 0;
    do {
        if (id <= 0) id = 1;
        following = id == INT_MAX ? 1 : id + 1;
    } while (!next.compare_exchange_weak(id, following));
    return id <= 0 ? 1 : id;
}

std::string Hex(UINT value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

struct Installed {
    std::mutex mutex;
    std::shared_ptr<IUserInterface> headless = std::make_shared<HeadlessUserInterface>();
    std::shared_ptr<IUserInterface> current = headless;
};

Installed& State() {
    static Installed installed;
    return installed;
}

// What UserInterface() returns: forwards each call to the implementation
// installed at that moment and holds it for the length of the call, so a
// concurrent SetUserInterface cannot free it under the caller.
class CurrentImplementation final : public IUserInterface {
public:
    int MessageBox(const std::string& text, const std::string& caption, UINT type) override {
        return CurrentUserInterface()->MessageBox(text, caption, type);
    }
    void MessageBeep(UINT type) override { CurrentUserInterface()->MessageBeep(type); }
    int ShowNotice(const std::string& text) override { return CurrentUserInterface()->ShowNotice(text); }
    void HideNotice(int id) override { CurrentUserInterface()->HideNotice(id); }
    void BeginWaitCursor() override { CurrentUserInterface()->BeginWaitCursor(); }
    void EndWaitCursor() override { CurrentUserInterface()->EndWaitCursor(); }
    int RunModal(const DialogRequest& request) override { return CurrentUserInterface()->RunModal(request); }
};

}  // namespace

// --- HeadlessUserInterface ---------------------------------------------------

int HeadlessUserInterface::MessageBox(const std::string& text, const std::string& caption, UINT type) {
    ReportDiagnostic(Severity::Info, "message box [" + caption + "]: " + text);
    // The default button, as a user pressing Enter would answer.
    return (type & 0x0F) == MB_YESNO ? IDYES : IDOK;
}

void HeadlessUserInterface::MessageBeep(UINT type) {
    ReportDiagnostic(Severity::Info, "message beep " + Hex(type));
}

int HeadlessUserInterface::ShowNotice(const std::string& text) {
    const int id = NextNoticeId(m_nextNotice);
    ReportDiagnostic(Severity::Info, "notice " + std::to_string(id) + " shown: " + text);
    return id;
}

void HeadlessUserInterface::HideNotice(int id) {
    if (id == 0) return;
    ReportDiagnostic(Severity::Info, "notice " + std::to_string(id) + " hidden");
}

void HeadlessUserInterface::BeginWaitCursor() {}

void HeadlessUserInterface::EndWaitCursor() {}

int HeadlessUserInterface::RunModal(const DialogRequest& request) {
    ReportDiagnostic(Severity::Info, "dialog " + request.kind + " cancelled: no display");
    return IDCANCEL;
}

// --- RecordingUserInterface --------------------------------------------------

int RecordingUserInterface::MessageBox(const std::string& text, const std::string&, UINT type) {
    std::lock_guard lock(m_mutex);
    m_events.push_back({"MessageBox", text, type});
    return messageBoxAnswer;
}

void RecordingUserInterface::MessageBeep(UINT type) {
    std::lock_guard lock(m_mutex);
    m_events.push_back({"MessageBeep", {}, type});
}

int RecordingUserInterface::ShowNotice(const std::string& text) {
    std::lock_guard lock(m_mutex);
    const int id = m_nextNotice++;
    m_events.push_back({"ShowNotice", text, static_cast<UINT>(id)});
    return id;
}

void RecordingUserInterface::HideNotice(int id) {
    std::lock_guard lock(m_mutex);
    m_events.push_back({"HideNotice", {}, static_cast<UINT>(id)});
}

void RecordingUserInterface::BeginWaitCursor() {
    std::lock_guard lock(m_mutex);
    m_events.push_back({"BeginWaitCursor", {}, 0});
}

void RecordingUserInterface::EndWaitCursor() {
    std::lock_guard lock(m_mutex);
    m_events.push_back({"EndWaitCursor", {}, 0});
}

int RecordingUserInterface::RunModal(const DialogRequest& request) {
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back({"RunModal", request.kind, 0});
    }
    // Unlocked: the handler may ask for more (a message box inside the dialog).
    return modalHandler ? modalHandler(request) : IDCANCEL;
}

std::vector<RecordingUserInterface::Event> RecordingUserInterface::Events() const {
    std::lock_guard lock(m_mutex);
    return m_events;
}

size_t RecordingUserInterface::Count(const std::string& what) const {
    std::lock_guard lock(m_mutex);
    size_t count = 0;
    for (const Event& event : m_events) {
        if (event.what == what) ++count;
    }
    return count;
}

void RecordingUserInterface::Clear() {
    std::lock_guard lock(m_mutex);
    m_events.clear();
}

// --- The current implementation ----------------------------------------------

IUserInterface& UserInterface() {
    static CurrentImplementation forwarder;
    return forwarder;
}

std::shared_ptr<IUserInterface> CurrentUserInterface() {
    Installed& state = State();
    std::lock_guard lock(state.mutex);
    return state.current;
}

std::shared_ptr<IUserInterface> SetUserInterface(std::shared_ptr<IUserInterface> ui) {
    Installed& state = State();
    std::lock_guard lock(state.mutex);
    std::shared_ptr<IUserInterface> previous = std::move(state.current);
    state.current = ui ? std::move(ui) : state.headless;
    return previous;
}

void MessageBeep(UINT type) { UserInterface().MessageBeep(type); }

}  // namespace qel::platform

// Helpers for tests of the database object: reading string properties as
// UTF-8, recording what the object asked of the user interface, and writing
// profiles into the sandbox's registry.
#pragma once

#include <memory>
#include <string>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/records/DatabaseItem.h>
#include <qel/platform/Bstr.h>
#include <qel/platform/UserInterface.h>

namespace qel::test {

// Takes ownership of a BSTR result and returns its text.
inline std::string Take(BSTR bstr) {
    std::string text = qel::platform::Utf8FromBstr(bstr);
    qel::platform::SysFreeString(bstr);
    return text;
}

// Installs a recording user interface for the life of the object.
class RecordedUserInterface {
public:
    RecordedUserInterface() : m_ui(std::make_shared<qel::platform::RecordingUserInterface>()) {
        m_previous = qel::platform::SetUserInterface(m_ui);
    }
    ~RecordedUserInterface() { qel::platform::SetUserInterface(m_previous); }
    qel::platform::RecordingUserInterface& operator*() { return *m_ui; }
    qel::platform::RecordingUserInterface* operator->() { return m_ui.get(); }

private:
    std::shared_ptr<qel::platform::RecordingUserInterface> m_ui;
    std::shared_ptr<qel::platform::IUserInterface> m_previous;
};

// A live item that counts how often the object invalidated it.
struct CountingItem : CQELDatabaseItem {
    void Invalidate() override { ++invalidated; }
    void Orphanize(LONG, LONG) override {}
    int invalidated = 0;
};

}  // namespace qel::test

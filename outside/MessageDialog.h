// The general library's modeless notice: a text shown from Create until
// Destroy through the user-interface hooks (platform/UserInterface.h), such
// as the "connecting to the database" notice shown while a database opens.
//
//     CMessageDialog notice(text.c_str(), 2.0);
//     notice.Create();   // shows the text; returns at once
//     ...                // the work the notice announces
//     notice.Destroy();  // takes it down (also done by the destructor)
//
// The number is the caller's estimate, in seconds, of how long the announced
// work usually takes. It is kept for the user interface to read (Number());
// it never delays Create or Destroy and does not change when the notice
// appears or disappears.
//
// One object belongs to one thread; Create and Destroy never throw.
#pragma once

#include <memory>
#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::platform {
class IUserInterface;
}

class QEL_API CMessageDialog {
public:
    // A null text is taken as empty.
    CMessageDialog(const char* text, double number);
    ~CMessageDialog();
    CMessageDialog(const CMessageDialog&) = delete;
    CMessageDialog& operator=(const CMessageDialog&) = delete;

    // Shows the notice through the user interface installed now. TRUE when it
    // is shown; a second Create while shown changes nothing and returns TRUE.
    BOOL Create();
    // Takes the notice down through the user interface that showed it.
    // Harmless when nothing is shown.
    void Destroy();

    BOOL IsShown() const { return m_id != 0 ? TRUE : FALSE; }
    const std::string& Text() const { return m_text; }
    double Number() const { return m_number; }

private:
    std::string m_text;
    double m_number;
    int m_id = 0;
    std::shared_ptr<qel::platform::IUserInterface> m_ui;
};

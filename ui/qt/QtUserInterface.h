// The user interface hooks with real Qt dialogs: a host program that runs a
// QApplication calls InstallQtUserInterface() once, and the component's
// modal requests ("SelectPatient") then show the Qt dialogs. Everything else
// (message boxes, notices) keeps the headless behaviour; the wait cursor
// becomes Qt's override cursor.
#pragma once

#include <qel/platform/UserInterface.h>

class CQtUserInterface : public qel::platform::HeadlessUserInterface {
public:
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    int RunModal(const qel::platform::DialogRequest& request) override;
};

// Installs CQtUserInterface when a QApplication exists; false otherwise
// (the headless default stays).
bool InstallQtUserInterface();

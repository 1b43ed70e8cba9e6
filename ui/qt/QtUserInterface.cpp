#include <qel/ui/qt/QtUserInterface.h>

#include <QApplication>
#include <QCursor>

#include <memory>

#include <qel/database/SelectPatientModel.h>
#include <qel/ui/qt/SelectPatientDialog.h>

void CQtUserInterface::BeginWaitCursor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void CQtUserInterface::EndWaitCursor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) QApplication::restoreOverrideCursor();
}

int CQtUserInterface::RunModal(const qel::platform::DialogRequest& request) {
    if (request.kind == qel::ui::kSelectPatientDialog && request.model != nullptr &&
        qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        auto* model = static_cast<qel::ui::SelectPatientModel*>(request.model);
        if (model->pDatabase == nullptr) return IDCANCEL;
        CSelectPatientDlg dialog(model->pDatabase);
        const int result = dialog.DoModal();
        if (result == IDOK) model->lPatientKey = dialog.m_lPatientKey;
        return result;
    }
    return HeadlessUserInterface::RunModal(request);
}

bool InstallQtUserInterface() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return false;
    qel::platform::SetUserInterface(std::make_shared<CQtUserInterface>());
    return true;
}

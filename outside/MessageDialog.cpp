#include <qel/outside/MessageDialog.h>

#include <exception>
#include <utility>

#include <qel/platform/Diagnostics.h>
#include <qel/platform/UserInterface.h>

namespace {

void ReportFailure(const char* call) {
    try {
        throw;
    } catch (const std::exception& e) {
        qel::platform::ReportDiagnostic(qel::platform::Severity::Warning,
                                        std::string("notice ") + call + " failed: " + e.what());
    } catch (...) {
        qel::platform::ReportDiagnostic(qel::platform::Severity::Warning, std::string("notice ") + call + " failed");
    }
}

}  // namespace

CMessageDialog::CMessageDialog(const char* text, double number)
    : m_text(text != nullptr ? text : ""), m_number(number) {}

CMessageDialog::~CMessageDialog() { Destroy(); }

BOOL CMessageDialog::Create() {
    if (m_id != 0) return TRUE;
    try {
        std::shared_ptr<qel::platform::IUserInterface> ui = qel::platform::CurrentUserInterface();
        const int id = ui->ShowNotice(m_text);
        if (id == 0) return FALSE;
        m_ui = std::move(ui);
        m_id = id;
        return TRUE;
    } catch (...) {
        ReportFailure("Create");
        return FALSE;
    }
}

void CMessageDialog::Destroy() {
    if (m_id == 0) return;
    const int id = std::exchange(m_id, 0);
    std::shared_ptr<qel::platform::IUserInterface> ui = std::move(m_ui);
    try {
        ui->HideNotice(id);
    } catch (...) {
        ReportFailure("Destroy");
    }
}

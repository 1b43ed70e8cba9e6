#include <qel/outside/Reg.h>

#include <qel/platform/Diagnostics.h>

using qel::platform::Registry;

CReg::CReg(HKEY root, const char* subkey) : m_root(root), m_subkey(subkey != nullptr ? subkey : "") {}

bool CReg::Usable(const char* name) const {
    if (m_root != HKEY_CURRENT_USER) {
        qel::platform::ReportDiagnostic(qel::platform::Severity::Error,
                                        "CReg: only HKEY_CURRENT_USER can be written (key " + m_subkey + ")");
        return false;
    }
    return name != nullptr;
}

bool CReg::SetValue(const char* name, const char* text) {
    if (!Usable(name) || text == nullptr) return false;
    try {
        return Registry::CurrentUser().SetString(m_subkey, name, text);
    } catch (...) {
        return false;  // out of memory and the like: the caller only learns "not written"
    }
}

bool CReg::SetValue(const char* name, LONG value) {
    if (!Usable(name)) return false;
    try {
        return Registry::CurrentUser().SetInt(m_subkey, name, value);
    } catch (...) {
        return false;
    }
}

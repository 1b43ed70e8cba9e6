// CReg, the general library's registry writer: names one key below a root
// key and writes string and integer values into it.
//
//   CReg reg(HKEY_CURRENT_USER, "Software\\Talveni\\Quorva\\DatabaseJ3");
//   if (!reg.SetValue("CurrentDoctor", 0)) ...
//
// Constructing a CReg touches nothing: the key is created, when missing, by
// the first SetValue into it (as opening with RegCreateKeyEx would), so a
// writer that never writes leaves no empty key behind. Only
// HKEY_CURRENT_USER is backed (by Registry::CurrentUser()); writes below any
// other root fail.
#pragma once

#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/Registry.h>
#include <qel/platform/WinTypes.h>

class QEL_API CReg {
public:
    CReg(HKEY root, const char* subkey);

    // TRUE when the value was written.
    bool SetValue(const char* name, const char* text);
    bool SetValue(const char* name, LONG value);

private:
    bool Usable(const char* name) const;

    HKEY m_root;
    std::string m_subkey;
};

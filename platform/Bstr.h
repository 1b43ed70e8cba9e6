// Automation strings (BSTR): UTF-16 text with the Windows layout, used only at
// the automation boundary; the component keeps 8-bit (UTF-8) strings inside.
//
// A BSTR points at the characters; a 32-bit byte length sits just before them
// and a zero character just after, so a BSTR may hold embedded NULs. A null
// BSTR counts as the empty string everywhere. Getters hand out a new BSTR
// that the caller frees with SysFreeString, or holds in a BstrPtr:
//
//     qel::platform::BstrPtr name(object.GetStrName());
//     std::string text = name.Utf8();
#pragma once

#include <string>
#include <string_view>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

#ifndef _WIN32
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
#endif

namespace qel::platform {

// A copy of the zero-terminated text; null for a null text or when memory runs out.
QEL_API BSTR SysAllocString(const OLECHAR* text);
// `length` characters from `text` (embedded NULs kept); with a null text the
// characters are zero. Null when memory runs out or the length is too large.
QEL_API BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Frees a BSTR from the functions here; null is fine.
QEL_API void SysFreeString(BSTR bstr);
// Characters, without the terminator; 0 for null.
QEL_API UINT SysStringLen(BSTR bstr);
// Bytes, without the terminator; 0 for null.
QEL_API UINT SysStringByteLen(BSTR bstr);

// The UTF-16 form of UTF-8 text, owned by the caller. Invalid sequences
// become U+FFFD. Empty text gives an empty (not null) BSTR; null means
// the memory ran out or the text is longer than a BSTR can hold.
QEL_API BSTR BstrFromUtf8(std::string_view text) noexcept;
// The UTF-8 form of all SysStringLen characters (embedded NULs kept);
// unpaired surrogates become U+FFFD.
QEL_API std::string Utf8FromBstr(BSTR bstr);
// The UTF-8 form of a plain zero-terminated wide string (LPOLESTR), read up
// to its terminator and never in front of it; for arguments that need not be
// BSTRs, such as the names of GetIDsOfNames. Null gives the empty string.
QEL_API std::string Utf8FromOleString(LPCOLESTR text);

// Owns one BSTR and frees it. Move-only; Copy() makes a new allocation.
class QEL_API BstrPtr {
public:
    BstrPtr() noexcept = default;
    // Takes ownership.
    explicit BstrPtr(BSTR owned) noexcept : m_bstr(owned) {}
    // BstrFromUtf8(text); throws std::bad_alloc when that returns null.
    static BstrPtr FromUtf8(std::string_view text);

    BstrPtr(BstrPtr&& other) noexcept : m_bstr(other.Release()) {}
    BstrPtr& operator=(BstrPtr&& other) noexcept;
    BstrPtr(const BstrPtr&) = delete;
    BstrPtr& operator=(const BstrPtr&) = delete;
    ~BstrPtr();

    BSTR Get() const noexcept { return m_bstr; }
    // Gives up ownership (the caller frees).
    BSTR Release() noexcept;
    // Frees the current string and takes ownership of `owned`.
    void Reset(BSTR owned = nullptr) noexcept;
    // Frees the current string and returns the slot for an out-parameter.
    BSTR* Out() noexcept;
    // A new BSTR with the same characters, owned by the caller (null for null).
    BSTR Copy() const noexcept;

    UINT Length() const noexcept { return SysStringLen(m_bstr); }
    std::string Utf8() const { return Utf8FromBstr(m_bstr); }
    explicit operator bool() const noexcept { return m_bstr != nullptr; }

private:
    BSTR m_bstr = nullptr;
};

}  // namespace qel::platform

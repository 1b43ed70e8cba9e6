// Thread locale and locale-aware text operations.
//
// Every 8-bit string of the component is UTF-8. The thread locale is a
// Windows locale identifier (LCID: Japanese 0x0411, Italian 0x0410, ...),
// kept per thread and defaulting to the process locale named by LC_ALL,
// LC_CTYPE or LANG ("ja_JP.UTF-8" is Japanese; "C", "POSIX" or nothing is US
// English). The C library's locale data need not be installed: ICU does the
// case mapping and normalisation, small tables the kana and width folding.
//
// CompareStringA answers like the Windows call with NORM_IGNOREKANATYPE and
// NORM_IGNOREWIDTH: hiragana equals katakana, full-width equals half-width.
// It compares the texts' folds (FoldForCompare) in code point order, so a
// sorted index can store each entry's fold once and stay consistent with it.
#pragma once

#include <string>
#include <string_view>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

namespace qel::platform {

constexpr LANGID LANG_NEUTRAL = 0x00;
constexpr LANGID LANG_ENGLISH = 0x09;
constexpr LANGID LANG_ITALIAN = 0x10;
constexpr LANGID LANG_JAPANESE = 0x11;

constexpr LCID LOCALE_JAPANESE = 0x0411;
constexpr LCID LOCALE_ITALIAN = 0x0410;
constexpr LCID LOCALE_ENGLISH_US = 0x0409;
// Stand for the process default when passed to SetThreadLocale.
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

constexpr LANGID PRIMARYLANGID(LANGID lang) { return static_cast<LANGID>(lang & 0x3FF); }
constexpr LANGID LANGIDFROMLCID(LCID lcid) { return static_cast<LANGID>(lcid & 0xFFFF); }

// Comparison flags understood by CompareStringA.
constexpr DWORD NORM_IGNORECASE = 0x00000001;
constexpr DWORD NORM_IGNOREKANATYPE = 0x00010000;
constexpr DWORD NORM_IGNOREWIDTH = 0x00020000;
constexpr DWORD SORT_STRINGSORT = 0x00001000;

constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

QEL_API LCID GetThreadLocale();
// FALSE (locale unchanged) for an LCID whose language is not known here.
QEL_API BOOL SetThreadLocale(LCID lcid);
// The process default: LC_ALL, else LC_CTYPE, else LANG, read now.
QEL_API LCID GetUserDefaultLCID();
// The LCID for a POSIX locale name ("ja_JP.UTF-8" -> 0x0411); 0x0409 when unknown.
QEL_API LCID LcidFromLocaleName(std::string_view name);
// True when the thread locale's primary language is Japanese.
QEL_API bool IsJapaneseThreadLocale();

// Upper-cases UTF-8 text by the thread locale's rules (CharUpperA): full
// Unicode case mapping ("ß" -> "SS"; Turkish "i" -> "İ"). Ill-formed bytes
// are kept as they are.
QEL_API std::string CharUpper(std::string_view text);
QEL_API void CharUpperInPlace(std::string& text);

// Compares two UTF-8 texts under the given flags; returns CSTR_LESS_THAN,
// CSTR_EQUAL or CSTR_GREATER_THAN, or 0 when flags holds a bit other than
// the four above. The result is the byte order of the two folds; the LCID
// is accepted for the call's shape, the folding does not depend on it.
QEL_API int CompareStringA(LCID lcid, DWORD flags, std::string_view a, std::string_view b);

// The folded form CompareStringA compares for the given flags (unknown bits
// are ignored): with NORM_IGNOREWIDTH full-width ASCII, the ideographic
// space and the other full-width/half-width forms become their ordinary
// forms and half-width katakana full-width katakana (ｶﾞ -> ガ); with
// NORM_IGNOREKANATYPE hiragana becomes katakana; with NORM_IGNORECASE the
// text is case-folded (ASCII to lower case); the result is in NFC, so
// canonically equivalent texts fold alike. SORT_STRINGSORT changes nothing:
// code point order already treats punctuation as ordinary characters.
QEL_API std::string FoldForCompare(std::string_view text, DWORD flags);

// Short date pattern of the locale in strftime-like terms ("%d/%m/%Y" for
// Italian, "%Y/%m/%d" for Japanese, "%m/%d/%Y" for US English).
QEL_API std::string ShortDatePattern(LCID lcid);

}  // namespace qel::platform

// CExtString: the general library's text with the trimming and Japanese
// normalisations the searches apply to what a user types. The text is UTF-8.
//
//   CExtString name(szName);
//   name.Trim();
//   name.Modify(CExtString::eHalfToFullKatakana);   // mode 3
//   name.Modify(CExtString::eFullwidthToAscii);     // mode 5
//   name.ConvertHyphens('\xB0');                    // every hyphen -> ｰ
//
// Modify modes:
//   0 eNone                no change.
//   1 eUpper               upper case by the thread locale (CharUpper).
//   2 eHiraganaToKatakana  hiragana U+3041..U+3096, ゝ ゞ -> katakana.
//   3 eHalfToFullKatakana  the half-width katakana block U+FF61..U+FF9F
//                          (its punctuation ｡｢｣､･ included) -> full-width;
//                          a half-width voiced or semi-voiced mark composes
//                          with the kana before it (ｶﾞ -> ガ, ﾊﾟ -> パ); alone,
//                          or after a kana that takes none, it becomes ゛ / ゜.
//   4 eKatakanaToHiragana  katakana U+30A1..U+30F6, ヽ ヾ -> hiragana.
//   5 eFullwidthToAscii    full-width ASCII U+FF01..U+FF5E (letters, digits,
//                          punctuation) -> U+0021..U+007E, and the
//                          ideographic space U+3000 -> space.
// Any other value leaves the text unchanged and Modify returns false.
//
// ConvertHyphens(ch) replaces each hyphen-like character: '-' U+002D,
// U+2010..U+2015 (hyphen .. horizontal bar), U+2043 hyphen bullet, U+2212
// minus, U+FE63 small hyphen-minus, U+FF0D full-width hyphen-minus, U+30FC
// katakana prolonged sound mark ー and U+FF70 half-width prolonged sound mark
// ｰ. `ch` is a code page 932 single byte: 0x01..0x7F is ASCII, 0xA1..0xDF the
// half-width katakana U+FF61..U+FF9F (0xB0 is ｰ), so the text stays UTF-8.
// Any other byte (0x00, 0x80..0xA0, 0xE0..0xFF: not a character alone)
// leaves the text unchanged and ConvertHyphens returns false.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include <qel/platform/Export.h>

class QEL_API CExtString {
public:
    enum EModify {
        eNone = 0,
        eUpper = 1,
        eHiraganaToKatakana = 2,
        eHalfToFullKatakana = 3,
        eKatakanaToHiragana = 4,
        eFullwidthToAscii = 5,
    };

    CExtString() = default;
    CExtString(const char* text) : m_text(text ? text : "") {}  // NOLINT: converts like a string
    CExtString(std::string_view text) : m_text(text) {}          // NOLINT
    CExtString(std::string text) : m_text(std::move(text)) {}    // NOLINT

    const std::string& Str() const { return m_text; }
    const char* c_str() const { return m_text.c_str(); }
    operator const char*() const { return m_text.c_str(); }  // NOLINT: passes where a C string is wanted
    bool IsEmpty() const { return m_text.empty(); }

    bool operator==(const CExtString& other) const { return m_text == other.m_text; }
    bool operator==(const char* other) const { return m_text == (other ? other : ""); }
    bool operator==(const std::string& other) const { return m_text == other; }

    // Removes leading and trailing ASCII white space and ideographic spaces.
    CExtString& Trim();
    bool Modify(EModify mode);
    bool ConvertHyphens(char ch);

private:
    std::string m_text;
};

#include <qel/outside/ExtString.h>

#include <qel/platform/Locale.h>
#include <qel/platform/Kana.h>
#include <qel/platform/Unicode.h>

namespace kana = qel::platform::kana;
using qel::platform::AppendUtf8;
using qel::platform::kInvalidCodePoint;
using qel::platform::NextCodePoint;

namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Rewrites every well-formed code point through `map`; ill-formed bytes stay.
template <typename Map>
std::string MapCodePoints(std::string_view input, Map map) {
    std::string out;
    out.reserve(input.size());
    std::size_t pos = 0;
    while (pos < input.size()) {
        const std::size_t start = pos;
        const char32_t cp = NextCodePoint(input, pos);
        if (cp == kInvalidCodePoint) {
            out.push_back(input[start]);
        } else {
            AppendUtf8(out, map(cp));
        }
    }
    return out;
}

bool IsHyphenLike(char32_t cp) {
    return cp == 0x2D || (cp >= 0x2010 && cp <= 0x2015) || cp == 0x2043 || cp == 0x2212 || cp == 0xFE63 ||
           cp == 0xFF0D || cp == 0x30FC || cp == 0xFF70;
}

}  // namespace

CExtString& CExtString::Trim() {
    std::string_view view = m_text;
    for (;;) {
        if (!view.empty() && IsAsciiSpace(view.front())) {
            view.remove_prefix(1);
        } else if (view.starts_with(kIdeographicSpace)) {
            view.remove_prefix(kIdeographicSpace.size());
        } else {
            break;
        }
    }
    for (;;) {
        if (!view.empty() && IsAsciiSpace(view.back())) {
            view.remove_suffix(1);
        } else if (view.ends_with(kIdeographicSpace)) {
            view.remove_suffix(kIdeographicSpace.size());
        } else {
            break;
        }
    }
    if (view.size() != m_text.size()) m_text = std::string(view);
    return *this;
}

bool CExtString::Modify(EModify mode) {
    switch (mode) {
        case eNone: return true;
        case eUpper: qel::platform::CharUpperInPlace(m_text); return true;
        case eHiraganaToKatakana: m_text = MapCodePoints(m_text, kana::HiraganaToKatakana); return true;
        case eHalfToFullKatakana: m_text = kana::WidenHalfwidthKatakana(m_text); return true;
        case eKatakanaToHiragana: m_text = MapCodePoints(m_text, kana::KatakanaToHiragana); return true;
        case eFullwidthToAscii:
            m_text = MapCodePoints(m_text, [](char32_t cp) {
                const char32_t ascii = kana::FullwidthToAscii(cp);
                return ascii != 0 ? ascii : cp;
            });
            return true;
    }
    return false;
}

bool CExtString::ConvertHyphens(char ch) {
    const auto byte = static_cast<unsigned char>(ch);
    char32_t replacement = 0;
    if (byte >= 0x01 && byte <= 0x7F) {
        replacement = byte;
    } else if (byte >= 0xA1 && byte <= 0xDF) {
        replacement = 0xFF61 + (byte - 0xA1);
    } else {
        return false;
    }
    m_text = MapCodePoints(m_text, [replacement](char32_t cp) { return IsHyphenLike(cp) ? replacement : cp; });
    return true;
}

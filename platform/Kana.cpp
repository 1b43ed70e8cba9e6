#include <qel/platform/Kana.h>

#include <qel/platform/Unicode.h>

#include <array>

namespace qel::platform::kana {

namespace {

// Full-width forms of U+FF61..U+FF9F, in order.
constexpr std::array<char16_t, 0x3F> kHalfwidthKatakana = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,
};

// Ordinary forms of U+FFE0..U+FFEE (0 where unassigned).
constexpr std::array<char16_t, 0x0F> kOtherWidthForms = {
    0x00A2, 0x00A3, 0x00AC, 0x00AF, 0x00A6, 0x00A5, 0x20A9, 0,
    0x2502, 0x2190, 0x2191, 0x2192, 0x2193, 0x25A0, 0x25CB,
};

// Katakana whose voiced form is the next code point (カ -> ガ ... ト -> ド);
// the ハ row also has a semi-voiced form two code points on.
bool HasVoicedSuccessor(char32_t cp) {
    if (cp >= 0x30AB && cp <= 0x30C2) return (cp - 0x30AB) % 2 == 0;  // カ..チ
    if (cp >= 0x30C4 && cp <= 0x30C8) return (cp - 0x30C4) % 2 == 0;  // ツ テ ト
    return cp >= 0x30CF && cp <= 0x30DB && (cp - 0x30CF) % 3 == 0;     // ハ ヒ フ ヘ ホ
}

char32_t ComposeKatakana(char32_t base, char32_t mark) {
    if (mark == 0x309A) {
        return (base >= 0x30CF && base <= 0x30DB && (base - 0x30CF) % 3 == 0) ? base + 2 : 0;
    }
    if (HasVoicedSuccessor(base)) return base + 1;
    switch (base) {
        case 0x30A6: return 0x30F4;  // ウ -> ヴ
        case 0x30EF: return 0x30F7;  // ワ -> ヷ
        case 0x30F0: return 0x30F8;  // ヰ -> ヸ
        case 0x30F1: return 0x30F9;  // ヱ -> ヹ
        case 0x30F2: return 0x30FA;  // ヲ -> ヺ
        case 0x30FD: return 0x30FE;  // ヽ -> ヾ
        default: return 0;
    }
}

bool IsHiragana(char32_t cp) { return (cp >= 0x3041 && cp <= 0x3096) || cp == 0x309D || cp == 0x309E; }
bool IsKatakana(char32_t cp) { return (cp >= 0x30A1 && cp <= 0x30F6) || cp == 0x30FD || cp == 0x30FE; }

}  // namespace

char32_t HalfwidthKatakanaToFull(char32_t cp) {
    if (cp < 0xFF61 || cp > 0xFF9F) return 0;
    return kHalfwidthKatakana[cp - 0xFF61];
}

char32_t ComposeSoundMark(char32_t base, char32_t mark) {
    if (mark != 0x3099 && mark != 0x309A) return 0;
    if (IsHiragana(base)) {
        const char32_t composed = ComposeKatakana(HiraganaToKatakana(base), mark);
        if (composed == 0) return 0;
        const char32_t hiragana = KatakanaToHiragana(composed);
        return hiragana == composed ? 0 : hiragana;  // ヷ..ヺ have no hiragana
    }
    return ComposeKatakana(base, mark);
}

char32_t FullwidthToAscii(char32_t cp) {
    if (cp >= 0xFF01 && cp <= 0xFF5E) return cp - 0xFF01 + 0x21;
    if (cp == 0x3000) return 0x20;
    return 0;
}

char32_t OtherWidthFormToNormal(char32_t cp) {
    if (cp == 0xFF5F) return 0x2985;
    if (cp == 0xFF60) return 0x2986;
    if (cp >= 0xFFE0 && cp <= 0xFFEE) return kOtherWidthForms[cp - 0xFFE0];
    return 0;
}

char32_t HiraganaToKatakana(char32_t cp) { return IsHiragana(cp) ? cp + 0x60 : cp; }

char32_t KatakanaToHiragana(char32_t cp) { return IsKatakana(cp) ? cp - 0x60 : cp; }

std::string WidenHalfwidthKatakana(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    char32_t previous = 0;        // last kana written, a candidate for a sound mark
    std::size_t previousAt = 0;   // where its encoding starts in `out`
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        char32_t cp = NextCodePoint(text, pos);
        if (cp == kInvalidCodePoint) {
            out.push_back(text[start]);
            previous = 0;
            continue;
        }
        if (const char32_t wide = HalfwidthKatakanaToFull(cp)) {
            if ((cp == 0xFF9E || cp == 0xFF9F) && previous != 0) {
                const char32_t composed = ComposeSoundMark(previous, cp == 0xFF9E ? 0x3099 : 0x309A);
                if (composed != 0) {
                    out.resize(previousAt);
                    AppendUtf8(out, composed);
                    previous = 0;
                    continue;
                }
            }
            cp = wide;
        }
        previousAt = out.size();
        previous = cp;
        AppendUtf8(out, cp);
    }
    return out;
}

}  // namespace qel::platform::kana

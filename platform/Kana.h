// The character tables of Japanese text (half-width and full-width forms,
// hiragana and katakana) shared by the locale functions and the general
// library's string class. Every function is table-driven and allocation-free
// so the comparison paths of the patient search stay cheap.
#pragma once

#include <string>
#include <string_view>

#include <qel/platform/Export.h>

namespace qel::platform::kana {

// Half-width katakana block U+FF61..U+FF9F to its full-width form (the
// voiced and semi-voiced marks U+FF9E/U+FF9F become U+309B/U+309C); 0 for
// any other code point.
QEL_API char32_t HalfwidthKatakanaToFull(char32_t cp);
// The kana `base` combined with the voiced (U+3099) or semi-voiced (U+309A)
// mark: カ + voiced -> ガ, ハ + semi-voiced -> パ; 0 when no such kana exists.
QEL_API char32_t ComposeSoundMark(char32_t base, char32_t mark);
// Full-width ASCII U+FF01..U+FF5E and the ideographic space U+3000 to ASCII;
// 0 for any other code point.
QEL_API char32_t FullwidthToAscii(char32_t cp);
// The remaining full-width and half-width forms (U+FF5F..U+FF60,
// U+FFE0..U+FFEE) to their ordinary forms; 0 for any other code point.
QEL_API char32_t OtherWidthFormToNormal(char32_t cp);
// Hiragana <-> katakana of the same sound; the code point unchanged when it
// has no counterpart.
QEL_API char32_t HiraganaToKatakana(char32_t cp);
QEL_API char32_t KatakanaToHiragana(char32_t cp);

// Rewrites half-width katakana to full-width katakana, composing a following
// half-width voiced or semi-voiced mark into the kana where one exists.
// Ill-formed bytes are kept as they are.
QEL_API std::string WidenHalfwidthKatakana(std::string_view text);

}  // namespace qel::platform::kana

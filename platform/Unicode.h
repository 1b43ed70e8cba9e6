// UTF-8 and UTF-16 conversions of the component, all done by ICU: the
// strict forms refuse ill-formed input (unpaired surrogates, overlong or
// truncated UTF-8) for files that must round-trip exactly; the lossy forms
// put U+FFFD in its place for text handed to callers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <qel/platform/Export.h>

namespace qel::platform {

// std::nullopt on ill-formed input.
QEL_API std::optional<std::u16string> Utf16FromUtf8Strict(std::string_view text);
QEL_API std::optional<std::string> Utf8FromUtf16Strict(std::u16string_view text);
// Throw std::length_error for texts past 2^31 units.
QEL_API std::u16string Utf16FromUtf8Lossy(std::string_view text);
QEL_API std::string Utf8FromUtf16Lossy(std::u16string_view text);

constexpr char32_t kInvalidCodePoint = 0xFFFFFFFF;

// Decodes the code point at `pos` and advances past it; an ill-formed
// sequence yields kInvalidCodePoint and advances by one byte (callers keep that byte).
QEL_API char32_t NextCodePoint(std::string_view text, std::size_t& pos);
QEL_API void AppendUtf8(std::string& out, char32_t cp);
// Code points of well-formed UTF-8; std::nullopt when the bytes are not UTF-8.
QEL_API std::optional<std::size_t> CodePointCount(std::string_view text);

inline bool IsAscii(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

}  // namespace qel::platform

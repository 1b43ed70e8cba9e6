#include <qel/platform/Unicode.h>

#include <cstdint>
#include <limits>
#include <stdexcept>

#include <unicode/ustring.h>
#include <unicode/utf8.h>

namespace qel::platform {

namespace {

static_assert(sizeof(UChar) == sizeof(char16_t), "ICU's UChar must be a UTF-16 unit");

constexpr UChar32 kReplacement = 0xFFFD;

int32_t IcuLength(std::size_t length) {
    if (length > static_cast<std::size_t>(std::numeric_limits<int32_t>::max()))
        throw std::length_error("text too long for a UTF-8/UTF-16 conversion");
    return static_cast<int32_t>(length);
}

// substitute < 0: ill-formed input fails the conversion.
std::optional<std::u16string> ToUtf16(std::string_view text, UChar32 substitute) {
    const int32_t length = IcuLength(text.size());
    // An empty view may have a null data pointer, which ICU rejects.
    const char* source = text.empty() ? "" : text.data();
    UErrorCode status = U_ZERO_ERROR;
    int32_t units = 0;
    u_strFromUTF8WithSub(nullptr, 0, &units, source, length, substitute, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
    std::u16string out(static_cast<std::size_t>(units), u'\0');
    status = U_ZERO_ERROR;
    // Filling the buffer exactly reports a missing terminator, which std::u16string does not need.
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(out.data()), units, nullptr, source, length, substitute, nullptr,
                         &status);
    if (U_FAILURE(status)) return std::nullopt;
    return out;
}

std::optional<std::string> ToUtf8(std::u16string_view text, UChar32 substitute) {
    if (text.empty()) return std::string();
    const int32_t length = IcuLength(text.size());
    const auto* source = reinterpret_cast<const UChar*>(text.data());
    UErrorCode status = U_ZERO_ERROR;
    int32_t bytes = 0;
    u_strToUTF8WithSub(nullptr, 0, &bytes, source, length, substitute, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return std::nullopt;
    std::string out(static_cast<std::size_t>(bytes), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), bytes, nullptr, source, length, substitute, nullptr, &status);
    if (U_FAILURE(status)) return std::nullopt;
    return out;
}

}  // namespace

std::optional<std::u16string> Utf16FromUtf8Strict(std::string_view text) { return ToUtf16(text, U_SENTINEL); }

std::optional<std::string> Utf8FromUtf16Strict(std::u16string_view text) { return ToUtf8(text, U_SENTINEL); }

std::u16string Utf16FromUtf8Lossy(std::string_view text) {
    std::optional<std::u16string> out = ToUtf16(text, kReplacement);
    if (!out) throw std::runtime_error("UTF-8 to UTF-16 failed");
    return std::move(*out);
}

std::string Utf8FromUtf16Lossy(std::u16string_view text) {
    std::optional<std::string> out = ToUtf8(text, kReplacement);
    if (!out) throw std::runtime_error("UTF-16 to UTF-8 failed");
    return std::move(*out);
}

char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const std::size_t start = pos;
    UChar32 cp = 0;
    U8_NEXT(bytes, pos, text.size(), cp);
    if (cp < 0) {
        pos = start + 1;
        return kInvalidCodePoint;
    }
    return static_cast<char32_t>(cp);
}

void AppendUtf8(std::string& out, char32_t cp) {
    uint8_t buffer[U8_MAX_LENGTH];
    std::size_t length = 0;
    U8_APPEND_UNSAFE(buffer, length, cp);
    out.append(reinterpret_cast<const char*>(buffer), length);
}

std::optional<std::size_t> CodePointCount(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); ++count) {
        if (NextCodePoint(text, pos) == kInvalidCodePoint) return std::nullopt;
    }
    return count;
}

}  // namespace qel::platform

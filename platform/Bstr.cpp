#include <qel/platform/Bstr.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>

#include <unicode/ustring.h>

namespace qel::platform {

namespace {

static_assert(std::is_same_v<UChar, OLECHAR>, "ICU's UChar must be char16_t");

using Prefix = std::uint32_t;
constexpr UINT kMaxLength = (std::numeric_limits<Prefix>::max() - sizeof(Prefix) - sizeof(OLECHAR)) / 2;
constexpr UChar32 kReplacement = 0xFFFD;

unsigned char* Base(BSTR bstr) { return reinterpret_cast<unsigned char*>(bstr) - sizeof(Prefix); }

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > kMaxLength) return nullptr;
    const Prefix bytes = static_cast<Prefix>(length) * sizeof(OLECHAR);
    auto* base = static_cast<unsigned char*>(std::malloc(sizeof(Prefix) + bytes + sizeof(OLECHAR)));
    if (base == nullptr) return nullptr;
    std::memcpy(base, &bytes, sizeof(Prefix));
    BSTR bstr = reinterpret_cast<BSTR>(base + sizeof(Prefix));
    if (text != nullptr) {
        std::memcpy(bstr, text, bytes);
    } else {
        std::memset(bstr, 0, bytes);
    }
    bstr[length] = 0;
    return bstr;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) return nullptr;
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    if (length > kMaxLength) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

void SysFreeString(BSTR bstr) {
    if (bstr != nullptr) std::free(Base(bstr));
}

UINT SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr) return 0;
    Prefix bytes = 0;
    std::memcpy(&bytes, Base(bstr), sizeof(Prefix));
    return bytes;
}

UINT SysStringLen(BSTR bstr) { return SysStringByteLen(bstr) / sizeof(OLECHAR); }

BSTR BstrFromUtf8(std::string_view text) noexcept {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return nullptr;
    const auto sourceLength = static_cast<int32_t>(text.size());
    // An empty view may have a null data pointer, which ICU rejects.
    const char* source = text.empty() ? "" : text.data();

    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8WithSub(nullptr, 0, &length, source, sourceLength, kReplacement, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) return nullptr;
    if (length < 0) return nullptr;

    BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(length));
    if (bstr == nullptr) return nullptr;
    status = U_ZERO_ERROR;
    // Capacity length + 1: ICU writes the terminator when there is room.
    u_strFromUTF8WithSub(bstr, length + 1, nullptr, source, sourceLength, kReplacement, nullptr, &status);
    if (U_FAILURE(status)) {
        SysFreeString(bstr);
        return nullptr;
    }
    return bstr;
}

namespace {

std::string Utf8FromUtf16(const OLECHAR* text, std::size_t length) {
    if (length == 0) return {};
    if (length > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        throw std::length_error("UTF-16 to UTF-8: text too long");
    }
    const auto sourceLength = static_cast<int32_t>(length);

    UErrorCode status = U_ZERO_ERROR;
    int32_t bytes = 0;
    u_strToUTF8WithSub(nullptr, 0, &bytes, text, sourceLength, kReplacement, nullptr, &status);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        throw std::length_error(std::string("BSTR to UTF-8: ") + u_errorName(status));
    }
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(utf8.data(), bytes, nullptr, text, sourceLength, kReplacement, nullptr, &status);
    // Filling the buffer exactly reports a missing terminator, which std::string does not need.
    if (U_FAILURE(status)) throw std::runtime_error(std::string("BSTR to UTF-8: ") + u_errorName(status));
    return utf8;
}

}  // namespace

std::string Utf8FromBstr(BSTR bstr) { return Utf8FromUtf16(bstr, SysStringLen(bstr)); }

std::string Utf8FromOleString(LPCOLESTR text) {
    if (text == nullptr) return {};
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    return Utf8FromUtf16(text, length);
}

// --- BstrPtr -------------------------------------------------------------------

BstrPtr BstrPtr::FromUtf8(std::string_view text) {
    BSTR bstr = BstrFromUtf8(text);
    if (bstr == nullptr) throw std::bad_alloc();
    return BstrPtr(bstr);
}

BstrPtr& BstrPtr::operator=(BstrPtr&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
}

BstrPtr::~BstrPtr() { SysFreeString(m_bstr); }

BSTR BstrPtr::Release() noexcept {
    BSTR bstr = m_bstr;
    m_bstr = nullptr;
    return bstr;
}

void BstrPtr::Reset(BSTR owned) noexcept {
    if (owned == m_bstr) return;
    SysFreeString(m_bstr);
    m_bstr = owned;
}

BSTR* BstrPtr::Out() noexcept {
    Reset();
    return &m_bstr;
}

BSTR BstrPtr::Copy() const noexcept {
    if (m_bstr == nullptr) return nullptr;
    return SysAllocStringLen(m_bstr, SysStringLen(m_bstr));
}

}  // namespace qel::platform

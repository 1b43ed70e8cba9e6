#include <qel/platform/Bstr.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <type_traits>

#include <qel/platform/Unicode.h>

namespace qel::platform {

namespace {

static_assert(std::is_same_v<char16_t, OLECHAR>, "BSTR text is UTF-16");

using Prefix = std::uint32_t;
constexpr UINT kMaxLength = (std::numeric_limits<Prefix>::max() - sizeof(Prefix) - sizeof(OLECHAR)) / 2;

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
    try {
        const std::u16string utf16 = Utf16FromUtf8Lossy(text);
        if (utf16.size() > kMaxLength) return nullptr;
        return SysAllocStringLen(utf16.data(), static_cast<UINT>(utf16.size()));
    } catch (...) {
        return nullptr;  // too long, or out of memory
    }
}

std::string Utf8FromBstr(BSTR bstr) { return Utf8FromUtf16Lossy(std::u16string_view(bstr, SysStringLen(bstr))); }

std::string Utf8FromOleString(LPCOLESTR text) {
    if (text == nullptr) return {};
    return Utf8FromUtf16Lossy(std::u16string_view(text));
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

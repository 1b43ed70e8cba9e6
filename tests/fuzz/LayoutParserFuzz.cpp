// libFuzzer target for the layout readers. Every input goes three ways:
// as "*.lay" text, as LAYDATA bytes, and as LAYDATA bytes with the checksum
// rewritten so that damaged payloads get past the CRC and into the decoder.
// Whatever is accepted must survive Serialize/Deserialize unchanged; the
// stored form is canonical, so accepted LAYDATA must re-encode to itself.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <qel/outside/records/LayoutData.h>

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

std::uint32_t Crc32(const unsigned char* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1u) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

void CheckRoundTrip(const CLayoutData& layout) {
    const std::vector<unsigned char> blob = layout.Serialize();
    Require(!blob.empty());
    CLayoutData copy;
    std::string message;
    Require(copy.Deserialize(blob.data(), blob.size(), &message));
    Require(copy.SameContent(layout));
    Require(copy.Serialize() == blob);
}

void FuzzStored(const unsigned char* data, std::size_t size) {
    CLayoutData layout;
    std::string message;
    if (layout.Deserialize(data, size, &message)) {
        Require(message.empty());
        const std::vector<unsigned char> again = layout.Serialize();
        Require(again.size() == size && std::memcmp(again.data(), data, size) == 0);
    } else {
        Require(!message.empty());
        Require(layout.SameContent(CLayoutData()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CLayoutData layout;
    LONG parsed = -2;
    std::string message;
    if (layout.ParseLayoutText(text, "fuzz.lay", 1, &parsed, &message)) {
        Require(parsed == layout.m_nPageID && message.empty());
        CheckRoundTrip(layout);
    } else {
        Require(parsed == -1 && message.starts_with("fuzz.lay"));
        Require(layout.SameContent(CLayoutData()));
    }

    FuzzStored(data, size);
    if (size >= 16) {
        std::vector<unsigned char> sealed(data, data + size);
        const std::uint32_t crc = Crc32(sealed.data() + 16, size - 16);
        for (int i = 0; i < 4; ++i) sealed[12 + static_cast<std::size_t>(i)] = static_cast<unsigned char>(crc >> (8 * i));
        FuzzStored(sealed.data(), sealed.size());
    }
    return 0;
}

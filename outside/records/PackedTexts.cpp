#include <qel/outside/records/PackedTexts.h>

#include <cstring>

namespace qel::records {
namespace {

std::size_t VarintSize(std::size_t value) {
    std::size_t bytes = 1;
    for (; value >= 0x80; value >>= 7) ++bytes;
    return bytes;
}

char* PutVarint(char* out, std::size_t value) {
    for (; value >= 0x80; value >>= 7) *out++ = static_cast<char>((value & 0x7F) | 0x80);
    *out++ = static_cast<char>(value);
    return out;
}

const char* GetVarint(const char* in, std::size_t* value) {
    std::size_t result = 0;
    int shift = 0;
    unsigned char byte = 0;
    do {
        byte = static_cast<unsigned char>(*in++);
        result |= static_cast<std::size_t>(byte & 0x7F) << shift;
        shift += 7;
    } while ((byte & 0x80) != 0);
    *value = result;
    return in;
}

}  // namespace

std::unique_ptr<char[]> PackTexts(std::span<const std::string_view> texts) {
    std::size_t size = 0;
    bool anyText = false;
    for (std::string_view text : texts) {
        size += VarintSize(text.size()) + text.size() + 1;
        anyText = anyText || !text.empty();
    }
    if (!anyText) return nullptr;
    // for_overwrite: every byte is written below.
    auto block = std::make_unique_for_overwrite<char[]>(size);
    char* out = block.get();
    for (std::string_view text : texts) {
        out = PutVarint(out, text.size());
        if (!text.empty()) std::memcpy(out, text.data(), text.size());
        out += text.size();
        *out++ = '\0';
    }
    return block;
}

std::string_view PackedTextAt(const char* block, std::size_t index) {
    if (block == nullptr) return {};
    std::size_t size = 0;
    const char* at = GetVarint(block, &size);
    for (; index > 0; --index) at = GetVarint(at + size + 1, &size);
    return {at, size};
}

}  // namespace qel::records

// PackedTexts<N>: the N texts of a cached record kept in one heap block.
// Records cached by the hundred thousand (patients) hold one pointer instead
// of N std::strings of 32 bytes each, and one allocation instead of one per
// text longer than a std::string holds in place.
//
//   PackedTexts<2> texts({"ROSSI MARIO", "1234"});
//   std::string_view name = texts[0];  // name.data() is NUL-terminated
//   texts.Set(1, "1235");              // packs the block again
//
// A text may hold any bytes, NUL included; the views stay valid until the
// next Set or assignment. All texts empty means no block at all.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

#include <qel/platform/Export.h>

namespace qel::records {

// The block of `texts`: for each, its length as a LEB128 varint (one byte
// below 128), its bytes and a NUL; null when every text is empty.
QEL_API std::unique_ptr<char[]> PackTexts(std::span<const std::string_view> texts);

// Text `index` of a block PackTexts made ("" for a null block).
QEL_API std::string_view PackedTextAt(const char* block, std::size_t index);

template <std::size_t N>
class PackedTexts {
public:
    PackedTexts() = default;
    explicit PackedTexts(const std::array<std::string_view, N>& texts) : m_block(PackTexts(texts)) {}
    PackedTexts(const PackedTexts& other) : m_block(PackTexts(other.Views())) {}
    PackedTexts& operator=(const PackedTexts& other) {
        if (this != &other) m_block = PackTexts(other.Views());
        return *this;
    }
    PackedTexts(PackedTexts&&) noexcept = default;
    PackedTexts& operator=(PackedTexts&&) noexcept = default;

    std::string_view operator[](std::size_t index) const { return PackedTextAt(m_block.get(), index); }

    void Set(std::size_t index, std::string_view text) {
        std::array<std::string_view, N> texts = Views();
        texts[index] = text;
        m_block = PackTexts(texts);  // packs before the old block (which `text` may view) goes
    }

private:
    std::array<std::string_view, N> Views() const {
        std::array<std::string_view, N> texts;
        for (std::size_t i = 0; i < N; ++i) texts[i] = (*this)[i];
        return texts;
    }

    std::unique_ptr<char[]> m_block;
};

}  // namespace qel::records

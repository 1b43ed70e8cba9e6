#include "tools/qeldb/TextTable.h"

#include <algorithm>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

size_t DisplayWidth(std::string_view text) {
    size_t width = 0;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) {
            ++width;  // an ill-formed byte is shown as one replacement character
            continue;
        }
        const auto category = static_cast<UCharCategory>(u_charType(c));
        if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR ||
            category == U_CONTROL_CHAR || u_hasBinaryProperty(c, UCHAR_DEFAULT_IGNORABLE_CODE_POINT))
            continue;
        const auto eastAsian = static_cast<UEastAsianWidth>(u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH));
        width += eastAsian == U_EA_FULLWIDTH || eastAsian == U_EA_WIDE ? 2 : 1;
    }
    return width;
}

TextTable::TextTable(std::vector<std::string> headings, std::vector<Align> align) : m_align(std::move(align)) {
    m_align.resize(headings.size(), kLeft);
    m_rows.push_back(std::move(headings));
}

void TextTable::Add(std::vector<std::string> cells) {
    cells.resize(m_align.size());
    m_rows.push_back(std::move(cells));
}

std::string TextTable::Render() const {
    std::vector<size_t> widths(m_align.size(), 0);
    for (const auto& row : m_rows)
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
    std::string out;
    for (const auto& row : m_rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            const std::string padding(widths[c] - DisplayWidth(row[c]), ' ');
            if (c > 0) line += "  ";
            line += m_align[c] == kRight ? padding + row[c] : row[c] + padding;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + "\n";
    }
    return out;
}

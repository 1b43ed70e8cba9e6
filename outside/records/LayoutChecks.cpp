#include <qel/outside/records/LayoutInternal.h>

#include <array>
#include <utility>

#include <fmt/format.h>

namespace qel::outside::layout {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0u) == 0x80u; }

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a
// well-formed one (overlong forms, surrogates and values above U+10FFFF are
// not).
std::size_t SequenceLength(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return 0;
    }
    return length;
}

bool IsRoleChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

std::string CheckText(std::string_view text, std::size_t maxBytes, const char* what) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if ((c < 0x20 && c != '\t') || c == 0x7F) {
                return fmt::format("{} contains the control character 0x{:02X}", what, c);
            }
            ++i;
            continue;
        }
        const std::size_t length = SequenceLength(text, i);
        if (length == 0) return fmt::format("{} is not valid UTF-8 (byte 0x{:02X})", what, c);
        // U+0080..U+009F are control characters as well.
        if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            return fmt::format("{} contains a control character", what);
        }
        i += length;
    }
    if (text.size() > maxBytes) {
        return fmt::format("{} is longer than {} bytes ({} bytes)", what, maxBytes, text.size());
    }
    return {};
}

std::string CheckRole(std::string_view role, const char* what) {
    if (role.empty()) return fmt::format("{} name is empty", what);
    if (role.size() > kMaxRoleBytes) {
        return fmt::format("{} name {} is longer than {} characters", what, Quote(role), kMaxRoleBytes);
    }
    for (char c : role) {
        if (!IsRoleChar(c)) {
            return fmt::format("{} name {} may only hold letters, digits and '_'", what, Quote(role));
        }
    }
    return {};
}

std::string CheckCommandName(std::string_view name) {
    if (name.empty()) return "command name is empty";
    if (name.size() > kMaxNameBytes) {
        return fmt::format("command name {} is longer than {} characters", Quote(name), kMaxNameBytes);
    }
    const char first = name.front();
    if (!((first >= 'a' && first <= 'z') || (first >= 'A' && first <= 'Z'))) {
        return fmt::format("command name {} must start with a letter", Quote(name));
    }
    for (char c : name) {
        if (!IsRoleChar(c) && c != '.') {
            return fmt::format("command name {} may only hold letters, digits, '_' and '.'", Quote(name));
        }
    }
    return {};
}

std::string CheckFont(const CLayoutFont& font) {
    if (font.strFace.empty()) return "font face is empty";
    if (std::string reason = CheckText(font.strFace, kMaxNameBytes, "font face"); !reason.empty()) return reason;
    if (font.strFace.find(',') != std::string::npos) return "font face contains a comma";
    if (font.nPointSize < kMinPointSize || font.nPointSize > kMaxPointSize) {
        return fmt::format("font size {} is outside {}..{}", font.nPointSize, kMinPointSize, kMaxPointSize);
    }
    if ((font.bBold != FALSE && font.bBold != TRUE) || (font.bItalic != FALSE && font.bItalic != TRUE)) {
        return "font style flag is neither TRUE nor FALSE";
    }
    return {};
}

std::string CheckButtonGeometry(const CLayoutButton& b, LONG pageWidth, LONG pageHeight) {
    if (b.x < 0 || b.x > kMaxPosition || b.y < 0 || b.y > kMaxPosition) {
        return fmt::format("button {}: position {} {} is outside 0..{}", b.nID, b.x, b.y, kMaxPosition);
    }
    if (b.cx < 1 || b.cx > kMaxPageSide || b.cy < 1 || b.cy > kMaxPageSide) {
        return fmt::format("button {}: size {} {} is outside 1..{}", b.nID, b.cx, b.cy, kMaxPageSide);
    }
    // All four values are bounded above, so the sums cannot overflow.
    if (b.x + b.cx > pageWidth) {
        return fmt::format("button {} does not fit on the page: x + width = {} > page width {}", b.nID,
                           b.x + b.cx, pageWidth);
    }
    if (b.y + b.cy > pageHeight) {
        return fmt::format("button {} does not fit on the page: y + height = {} > page height {}", b.nID,
                           b.y + b.cy, pageHeight);
    }
    return {};
}

std::string CheckLayout(const CLayoutData& layout) {
    if (layout.m_nPageID < kMinPageID || layout.m_nPageID > kMaxPageID) {
        return fmt::format("page ID {} is outside {}..{}", layout.m_nPageID, kMinPageID, kMaxPageID);
    }
    if (layout.m_nWidth < 1 || layout.m_nWidth > kMaxPageSide || layout.m_nHeight < 1 ||
        layout.m_nHeight > kMaxPageSide) {
        return fmt::format("page size {} {} is outside 1..{}", layout.m_nWidth, layout.m_nHeight, kMaxPageSide);
    }
    if (std::string r = CheckText(layout.m_strTitle, kMaxTextBytes, "title"); !r.empty()) return r;
    if (layout.m_mapColours.size() > kMaxColours) return fmt::format("more than {} colours", kMaxColours);
    for (const auto& [role, colour] : layout.m_mapColours) {
        if (std::string r = CheckRole(role, "colour"); !r.empty()) return r;
        if (colour > kMaxColour) return fmt::format("colour {} is not a 24-bit RGB value", role);
    }
    if (layout.m_mapFonts.size() > kMaxFonts) return fmt::format("more than {} fonts", kMaxFonts);
    for (const auto& [role, font] : layout.m_mapFonts) {
        if (std::string r = CheckRole(role, "font"); !r.empty()) return r;
        if (std::string r = CheckFont(font); !r.empty()) return fmt::format("font {}: {}", role, r);
    }
    if (layout.m_mapButtons.size() > kMaxButtons) return fmt::format("more than {} buttons", kMaxButtons);
    for (const auto& [id, button] : layout.m_mapButtons) {
        if (id != button.nID) return fmt::format("button {} is filed under ID {}", button.nID, id);
        if (id < kMinButtonID || id > kMaxButtonID) {
            return fmt::format("button ID {} is outside {}..{}", id, kMinButtonID, kMaxButtonID);
        }
        if (std::string r = CheckButtonGeometry(button, layout.m_nWidth, layout.m_nHeight); !r.empty()) return r;
        if (std::string r = CheckText(button.strCaption, kMaxTextBytes, "caption"); !r.empty()) {
            return fmt::format("button {}: {}", id, r);
        }
        if (!button.strFont.empty() && layout.m_mapFonts.count(button.strFont) == 0) {
            return fmt::format("button {}: font {} is not defined", id, Quote(button.strFont));
        }
        if (button.commands.size() > kMaxCommands) {
            return fmt::format("button {}: more than {} commands", id, kMaxCommands);
        }
        for (const CLayoutCommand& command : button.commands) {
            if (std::string r = CheckCommandName(command.strName); !r.empty()) {
                return fmt::format("button {}: {}", id, r);
            }
            if (std::string r = CheckText(command.strArgument, kMaxTextBytes, "command argument"); !r.empty()) {
                return fmt::format("button {}: {}", id, r);
            }
        }
    }
    return {};
}

std::string Quote(std::string_view value) {
    constexpr std::size_t kShown = 40;
    if (value.size() <= kShown) return fmt::format("'{}'", value);
    std::size_t cut = kShown;
    // Never cut a UTF-8 sequence in half.
    while (cut > 0 && IsContinuation(static_cast<unsigned char>(value[cut]))) --cut;
    return fmt::format("'{}...'", value.substr(0, cut));
}

std::uint32_t Crc32(const unsigned char* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void MoveContent(CLayoutData& to, CLayoutData& from) {
    to.m_nPageID = from.m_nPageID;
    to.m_strTitle = std::move(from.m_strTitle);
    to.m_nWidth = from.m_nWidth;
    to.m_nHeight = from.m_nHeight;
    to.m_mapColours = std::move(from.m_mapColours);
    to.m_mapFonts = std::move(from.m_mapFonts);
    to.m_mapButtons = std::move(from.m_mapButtons);
}

}  // namespace qel::outside::layout

// Limits and checks shared by the layout text parser and the LAYDATA codec,
// so that a layout that one of them accepts is one the other accepts too.
// Used only by outside/records/Layout*.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <qel/outside/records/LayoutData.h>

namespace qel::outside::layout {

constexpr std::size_t kMaxFileBytes = 1024 * 1024;
constexpr std::size_t kMaxLineBytes = 4096;
constexpr LONG kFormatVersion = 1;

constexpr LONG kMinPageID = 0;
constexpr LONG kMaxPageID = 32767;
constexpr LONG kMinButtonID = 1;
constexpr LONG kMaxButtonID = 32767;
constexpr std::size_t kMaxButtons = 4096;
constexpr LONG kMaxPageSide = 16384;       // page width and height: 1..16384
constexpr LONG kMaxPosition = kMaxPageSide - 1;
constexpr std::size_t kMaxColours = 32;
constexpr std::size_t kMaxFonts = 16;
constexpr std::size_t kMaxCommands = 8;
constexpr LONG kMinPointSize = 1;
constexpr LONG kMaxPointSize = 144;
constexpr std::size_t kMaxTextBytes = 255;  // title, caption, command argument
constexpr std::size_t kMaxNameBytes = 63;   // font face, command name
constexpr std::size_t kMaxRoleBytes = 31;   // colour and font roles
constexpr DWORD kMaxColour = 0xFFFFFFu;

// Each check returns an empty string when the value is fine, else the reason.
// Free text: valid UTF-8 without control characters (tab allowed), at most
// maxBytes bytes.
std::string CheckText(std::string_view text, std::size_t maxBytes, const char* what);
// Roles: 1..31 of [A-Za-z0-9_].
std::string CheckRole(std::string_view role, const char* what);
// Command names: a letter, then letters, digits, '_' or '.', at most 63 bytes.
std::string CheckCommandName(std::string_view name);
std::string CheckFont(const CLayoutFont& font);
// Geometry of a button on a page of the given size.
std::string CheckButtonGeometry(const CLayoutButton& button, LONG pageWidth, LONG pageHeight);
// Every rule above applied to a whole layout (without line numbers).
std::string CheckLayout(const CLayoutData& layout);

// A value for a message: quoted, cut to a readable length.
std::string Quote(std::string_view value);

std::uint32_t Crc32(const unsigned char* data, std::size_t size);

// Parses layout text into `out` (which must be empty). Returns an empty
// string on success, else "source:line: reason" (or "source: reason" for a
// fault of the whole text). May throw std::bad_alloc.
std::string ParseText(std::string_view text, std::string_view source, CLayoutData& out);

// Replaces the content of `to` (page, size, title, colours, fonts, buttons)
// with that of `from`; key and flags of `to` stay.
void MoveContent(CLayoutData& to, CLayoutData& from);

}  // namespace qel::outside::layout

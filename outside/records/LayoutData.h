// CLayoutData is one page layout of the imaging application's user interface:
// the page ID, the page size, named colours and fonts, and the buttons keyed
// by button ID (geometry, caption, commands).
//
// Layouts are written by hand as "*.lay" text files (docs/layout-format.md)
// and read with ParseLayoutFile, or ParseLayoutText for text already in
// memory. A layout row of LAY200 keeps m_nPageID in LAYPAGEID and the bytes of
// Serialize() in LAYDATA; Deserialize() turns those bytes back into a layout.
// Every reader checks its input completely: malformed files and damaged
// column data are refused with a message and never leave a half-read layout.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <qel/outside/records/ObjectData.h>
#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

// One command a button runs: a name and an optional argument text.
struct CLayoutCommand {
    std::string strName;
    std::string strArgument;

    bool operator==(const CLayoutCommand&) const = default;
};

// A font by role ("caption", "title", ...).
struct CLayoutFont {
    std::string strFace;
    LONG nPointSize = 0;
    BOOL bBold = FALSE;
    BOOL bItalic = FALSE;

    bool operator==(const CLayoutFont&) const = default;
};

struct CLayoutButton {
    LONG nID = 0;
    // Position of the top left corner on the page and size, in pixels.
    LONG x = 0;
    LONG y = 0;
    LONG cx = 0;
    LONG cy = 0;
    std::string strCaption;                // may be empty
    std::string strFont;                   // a font role of the page, or empty
    std::vector<CLayoutCommand> commands;  // run in this order

    bool operator==(const CLayoutButton&) const = default;
};

class CLayoutRecordset;
class IRecordHost;

class QEL_API CLayoutData : public CQELObjectData {
public:
    // nMode of the parse functions: replace the whole content of this object.
    static constexpr int kParseReplace = 1;

    // An empty layout: key -1, page ID 0, no size, colours, fonts or buttons.
    CLayoutData() = default;

    const char* GetClassName() const override { return "CLayoutData"; }

    // Reads a layout file. nMode must be kParseReplace: on success the file's
    // content replaces this object's, the key becomes -1 and the loaded flag
    // FALSE (the object now describes a file, not a stored row), *plParsed
    // receives the parsed page ID, which SaveLayout stores as LAYPAGEID, and
    // *pMessage is emptied. On failure this object is left unchanged,
    // *plParsed is -1 and *pMessage says "file:line: reason". plParsed and
    // pMessage may be null. Never throws.
    BOOL ParseLayoutFile(LPCSTR path, int nMode, LONG* plParsed, std::string* pMessage);

    // The same for text in memory; sourceName (may be null) names it in
    // messages.
    BOOL ParseLayoutText(std::string_view text, LPCSTR sourceName, int nMode, LONG* plParsed,
                         std::string* pMessage);

    // Stores this layout as a new LAY200 row of the host's database under a
    // new key, with lParsed as its page ID. FALSE with a message when the
    // key or the row cannot be written. Never throws.
    BOOL SaveLayout(IRecordHost* pHost, LONG lParsed, std::string* pMessage);

    // The layout of a LAY200 row; the key is -1 when LAYDATA cannot be decoded.
    explicit CLayoutData(CLayoutRecordset& rs);

    // The content in the versioned binary form of the LAYDATA column.
    std::vector<unsigned char> Serialize() const;
    // Replaces the content with decoded LAYDATA bytes; key and flags stay.
    // Truncated, damaged or foreign data, an unknown version and content
    // beyond the limits of the text format are refused: false, a message,
    // and this object unchanged. Never throws.
    bool Deserialize(const unsigned char* data, std::size_t size, std::string* message);

    // The button with this ID, or null.
    const CLayoutButton* LookupButton(LONG nButtonID) const;

    // Equal page ID, size, title, colours, fonts and buttons (key and flags
    // are not compared).
    bool SameContent(const CLayoutData& other) const;

    LONG m_nPageID = 0;
    std::string m_strTitle;
    LONG m_nWidth = 0;
    LONG m_nHeight = 0;
    // Colours by role, as 0xRRGGBB.
    std::map<std::string, DWORD> m_mapColours;
    std::map<std::string, CLayoutFont> m_mapFonts;
    std::map<LONG, CLayoutButton> m_mapButtons;
};

#include <qel/outside/records/LayoutData.h>

#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

#include <fmt/format.h>

#include <qel/outside/records/LayoutInternal.h>

using namespace qel::outside::layout;

namespace {

// Reads at most kMaxFileBytes + 1 bytes, so that an oversized file is seen as
// such without reading all of it. Only regular files are read: a FIFO or a
// device could block or never end.
std::string ReadLayoutFile(const char* path, std::string& text) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) return fmt::format("{}: cannot open the file: {}", path, error.message());
    if (!std::filesystem::is_regular_file(status)) return fmt::format("{}: not a regular file", path);
    std::ifstream in(path, std::ios::binary);
    if (!in) return fmt::format("{}: cannot open the file", path);
    text.resize(kMaxFileBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) return fmt::format("{}: cannot read the file", path);
    text.resize(static_cast<std::size_t>(in.gcount()));
    return {};
}

void Report(LONG* plParsed, LONG parsed, std::string* pMessage, std::string&& message) {
    if (plParsed != nullptr) *plParsed = parsed;
    if (pMessage != nullptr) *pMessage = std::move(message);
}

}  // namespace

BOOL CLayoutData::ParseLayoutFile(LPCSTR path, int nMode, LONG* plParsed, std::string* pMessage) {
    try {
        if (path == nullptr || *path == '\0') {
            Report(plParsed, -1, pMessage, "no layout file name given");
            return FALSE;
        }
        std::string text;
        if (std::string message = ReadLayoutFile(path, text); !message.empty()) {
            Report(plParsed, -1, pMessage, std::move(message));
            return FALSE;
        }
        return ParseLayoutText(text, path, nMode, plParsed, pMessage);
    } catch (const std::bad_alloc&) {
        Report(plParsed, -1, pMessage, "out of memory");
    } catch (const std::ios_base::failure&) {
        Report(plParsed, -1, pMessage, "cannot read the file");
    }
    return FALSE;
}

BOOL CLayoutData::ParseLayoutText(std::string_view text, LPCSTR sourceName, int nMode, LONG* plParsed,
                                  std::string* pMessage) {
    try {
        const std::string_view source = sourceName != nullptr ? sourceName : "<text>";
        if (nMode != kParseReplace) {
            Report(plParsed, -1, pMessage, fmt::format("{}: unsupported parse mode {}", source, nMode));
            return FALSE;
        }
        CLayoutData parsed;
        if (std::string message = ParseText(text, source, parsed); !message.empty()) {
            Report(plParsed, -1, pMessage, std::move(message));
            return FALSE;
        }
        MoveContent(*this, parsed);
        m_lKey = -1;
        m_bLoaded = FALSE;
        Report(plParsed, m_nPageID, pMessage, std::string());
        return TRUE;
    } catch (const std::bad_alloc&) {
        Report(plParsed, -1, pMessage, "out of memory");
    }
    return FALSE;
}

const CLayoutButton* CLayoutData::LookupButton(LONG nButtonID) const {
    const auto found = m_mapButtons.find(nButtonID);
    return found == m_mapButtons.end() ? nullptr : &found->second;
}

bool CLayoutData::SameContent(const CLayoutData& other) const {
    return m_nPageID == other.m_nPageID && m_strTitle == other.m_strTitle && m_nWidth == other.m_nWidth &&
           m_nHeight == other.m_nHeight && m_mapColours == other.m_mapColours && m_mapFonts == other.m_mapFonts &&
           m_mapButtons == other.m_mapButtons;
}

// The LAYDATA form of a layout (docs/layout-format.md, "Stored form"):
// a 16-byte header (signature, version, payload length, CRC-32) and a
// little-endian payload. Every text is at most 255 bytes, so one length byte
// precedes each. The encoding is canonical: maps are written in key order and
// the decoder insists on it, so decoding and encoding again gives the same
// bytes.
#include <qel/outside/records/LayoutData.h>

#include <cstring>
#include <new>

#include <fmt/format.h>

#include <qel/outside/records/LayoutInternal.h>

namespace qel::outside::layout {

namespace {

constexpr unsigned char kSignature[4] = {'Q', 'L', 'A', 'Y'};
constexpr std::uint16_t kCodecVersion = 1;
constexpr std::size_t kHeaderBytes = 16;
constexpr unsigned char kBold = 1;
constexpr unsigned char kItalic = 2;

class Writer {
public:
    void U8(unsigned v) { m_bytes.push_back(static_cast<unsigned char>(v)); }
    void U16(unsigned v) {
        U8(v & 0xFFu);
        U8((v >> 8) & 0xFFu);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFFu);
        U16(v >> 16);
    }
    void Text(const std::string& s) {
        U8(static_cast<unsigned>(s.size()));
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
    }
    std::vector<unsigned char>& Bytes() { return m_bytes; }

private:
    std::vector<unsigned char> m_bytes;
};

struct DecodeFault {
    std::string reason;
};

class Reader {
public:
    Reader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

    unsigned U8() {
        Need(1);
        return m_data[m_pos++];
    }
    unsigned U16() {
        const unsigned low = U8();
        return low | (U8() << 8);
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        return low | (static_cast<std::uint32_t>(U16()) << 16);
    }
    std::string Text() {
        const std::size_t length = U8();
        Need(length);
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), length);
        m_pos += length;
        return s;
    }
    std::size_t Left() const { return m_size - m_pos; }

private:
    void Need(std::size_t n) const {
        if (m_size - m_pos < n) throw DecodeFault{"truncated payload"};
    }

    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

void Decode(Reader& in, CLayoutData& out) {
    out.m_nPageID = static_cast<LONG>(in.U16());
    out.m_nWidth = static_cast<LONG>(in.U16());
    out.m_nHeight = static_cast<LONG>(in.U16());
    out.m_strTitle = in.Text();

    const unsigned colours = in.U8();
    for (unsigned i = 0; i < colours; ++i) {
        std::string role = in.Text();
        const std::uint32_t rgb = in.U32();
        if (!out.m_mapColours.empty() && role <= out.m_mapColours.rbegin()->first) {
            throw DecodeFault{"colours out of order or repeated"};
        }
        out.m_mapColours.emplace_hint(out.m_mapColours.end(), std::move(role), rgb);
    }

    const unsigned fonts = in.U8();
    for (unsigned i = 0; i < fonts; ++i) {
        std::string role = in.Text();
        CLayoutFont font;
        font.strFace = in.Text();
        font.nPointSize = static_cast<LONG>(in.U8());
        const unsigned style = in.U8();
        if ((style & ~static_cast<unsigned>(kBold | kItalic)) != 0) throw DecodeFault{"unknown font style bits"};
        font.bBold = (style & kBold) ? TRUE : FALSE;
        font.bItalic = (style & kItalic) ? TRUE : FALSE;
        if (!out.m_mapFonts.empty() && role <= out.m_mapFonts.rbegin()->first) {
            throw DecodeFault{"fonts out of order or repeated"};
        }
        out.m_mapFonts.emplace_hint(out.m_mapFonts.end(), std::move(role), std::move(font));
    }

    const unsigned buttons = in.U16();
    // Each button takes at least 13 bytes; a larger count cannot be genuine,
    // and checking it first keeps damaged counts from costing time.
    if (buttons > kMaxButtons || buttons > in.Left() / 13) throw DecodeFault{"impossible button count"};
    for (unsigned i = 0; i < buttons; ++i) {
        CLayoutButton b;
        b.nID = static_cast<LONG>(in.U16());
        b.x = static_cast<LONG>(in.U16());
        b.y = static_cast<LONG>(in.U16());
        b.cx = static_cast<LONG>(in.U16());
        b.cy = static_cast<LONG>(in.U16());
        b.strCaption = in.Text();
        b.strFont = in.Text();
        const unsigned commands = in.U8();
        if (commands > kMaxCommands) throw DecodeFault{"too many commands"};
        for (unsigned k = 0; k < commands; ++k) {
            std::string name = in.Text();
            std::string argument = in.Text();
            b.commands.push_back(CLayoutCommand{std::move(name), std::move(argument)});
        }
        if (!out.m_mapButtons.empty() && b.nID <= out.m_mapButtons.rbegin()->first) {
            throw DecodeFault{"buttons out of order or repeated"};
        }
        const LONG id = b.nID;
        out.m_mapButtons.emplace_hint(out.m_mapButtons.end(), id, std::move(b));
    }
    if (in.Left() != 0) throw DecodeFault{fmt::format("{} unused bytes at the end of the payload", in.Left())};
}

std::uint32_t ReadU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string DecodeInto(const unsigned char* data, std::size_t size, CLayoutData& out) {
    if (data == nullptr && size != 0) return "no data";
    if (size < kHeaderBytes) return fmt::format("truncated: {} bytes, the header alone takes {}", size, kHeaderBytes);
    if (std::memcmp(data, kSignature, sizeof kSignature) != 0) return "not layout data (wrong signature)";
    const unsigned version = data[4] | (static_cast<unsigned>(data[5]) << 8);
    if (version != kCodecVersion) {
        return fmt::format("unsupported version {} (this program reads version {})", version, kCodecVersion);
    }
    if (data[6] != 0 || data[7] != 0) return "corrupted: reserved header bytes are set";
    const std::uint32_t payload = ReadU32(data + 8);
    if (payload > size - kHeaderBytes) {
        return fmt::format("truncated: the header announces {} payload bytes, {} are present", payload,
                           size - kHeaderBytes);
    }
    if (payload < size - kHeaderBytes) {
        return fmt::format("corrupted: {} bytes follow the payload", size - kHeaderBytes - payload);
    }
    if (Crc32(data + kHeaderBytes, payload) != ReadU32(data + 12)) return "corrupted: checksum mismatch";
    try {
        Reader in(data + kHeaderBytes, payload);
        Decode(in, out);
    } catch (const DecodeFault& fault) {
        return "corrupted: " + fault.reason;
    }
    if (std::string reason = CheckLayout(out); !reason.empty()) return "corrupted: " + reason;
    return {};
}

}  // namespace

}  // namespace qel::outside::layout

using namespace qel::outside::layout;

std::vector<unsigned char> CLayoutData::Serialize() const {
    // Only a layout built in code can break the limits; it has no stored form.
    if (!CheckLayout(*this).empty()) return {};
    Writer payload;
    payload.U16(static_cast<unsigned>(m_nPageID));
    payload.U16(static_cast<unsigned>(m_nWidth));
    payload.U16(static_cast<unsigned>(m_nHeight));
    payload.Text(m_strTitle);
    payload.U8(static_cast<unsigned>(m_mapColours.size()));
    for (const auto& [role, rgb] : m_mapColours) {
        payload.Text(role);
        payload.U32(rgb);
    }
    payload.U8(static_cast<unsigned>(m_mapFonts.size()));
    for (const auto& [role, font] : m_mapFonts) {
        payload.Text(role);
        payload.Text(font.strFace);
        payload.U8(static_cast<unsigned>(font.nPointSize));
        payload.U8((font.bBold ? kBold : 0u) | (font.bItalic ? kItalic : 0u));
    }
    payload.U16(static_cast<unsigned>(m_mapButtons.size()));
    for (const auto& [id, b] : m_mapButtons) {
        for (LONG v : {b.nID, b.x, b.y, b.cx, b.cy}) payload.U16(static_cast<unsigned>(v));
        payload.Text(b.strCaption);
        payload.Text(b.strFont);
        payload.U8(static_cast<unsigned>(b.commands.size()));
        for (const CLayoutCommand& c : b.commands) {
            payload.Text(c.strName);
            payload.Text(c.strArgument);
        }
    }

    const std::vector<unsigned char>& body = payload.Bytes();
    Writer out;
    out.Bytes().assign(std::begin(kSignature), std::end(kSignature));
    out.U16(kCodecVersion);
    out.U16(0);
    out.U32(static_cast<std::uint32_t>(body.size()));
    out.U32(Crc32(body.data(), body.size()));
    out.Bytes().insert(out.Bytes().end(), body.begin(), body.end());
    return std::move(out.Bytes());
}

bool CLayoutData::Deserialize(const unsigned char* data, std::size_t size, std::string* message) {
    try {
        CLayoutData decoded;
        const std::string reason = DecodeInto(data, size, decoded);
        if (reason.empty()) MoveContent(*this, decoded);
        if (message != nullptr) *message = reason.empty() ? std::string() : "layout data: " + reason;
        return reason.empty();
    } catch (const std::bad_alloc&) {
        if (message != nullptr) *message = "out of memory";
        return false;
    }
}

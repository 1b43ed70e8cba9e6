#include <qel/platform/RegistryDocumentInternal.h>

#include <qel/platform/AsciiText.h>
#include <qel/platform/Diagnostics.h>
#include <qel/platform/Unicode.h>

#include <unicode/unistr.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace qel::platform::registry_detail {

namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

// The blanks of a regedit line; line ends are split off before.
constexpr std::string_view kSpaces = " \t\r\f\v";

bool IsSpace(char c) { return kSpaces.find(c) != std::string_view::npos; }

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    if (path.empty()) return parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = path.find('\\', start);
        parts.push_back(path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return parts;
}

// The text between the quotes of a regedit quoted string starting at
// s[pos] == '"'; pos ends after the closing quote. Only \\ and \" are
// escapes; a backslash before anything else is kept, as hand-written paths
// ("C:\Temp") are common.
bool ScanQuoted(std::string_view s, std::size_t& pos, std::string_view& inner) {
    std::size_t start = ++pos;
    while (pos < s.size()) {
        char c = s[pos];
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            pos += 2;
        } else if (c == '"') {
            inner = s.substr(start, pos - start);
            ++pos;
            return true;
        } else {
            ++pos;
        }
    }
    return false;
}

std::string Unescape(std::string_view inner) {
    std::string out;
    out.reserve(inner.size());
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == '\\' && i + 1 < inner.size() && (inner[i + 1] == '\\' || inner[i + 1] == '"')) ++i;
        out += inner[i];
    }
    return out;
}

// Fills the value fields of a line; false when it is not a value line.
bool ParseValue(std::string_view t, Line& line) {
    std::size_t pos = 0;
    std::string_view name;
    if (t[0] == '@') {
        pos = 1;
    } else if (!ScanQuoted(t, pos, name)) {
        return false;
    }
    while (pos < t.size() && IsSpace(t[pos])) ++pos;
    if (pos >= t.size() || t[pos] != '=') return false;
    std::string_view data = Trim(t.substr(pos + 1), kSpaces);
    if (data.empty()) return false;

    line.rawName = name;
    line.isDeletion = false;
    if (data[0] == '"') {
        std::size_t p = 0;
        std::string_view inner;
        if (!ScanQuoted(data, p, inner) || !Trim(data.substr(p), kSpaces).empty()) return false;
        line.valueType = ValueType::String;
        line.rawString = inner;
    } else if (data == "-") {
        line.valueType = ValueType::Other;
        line.isDeletion = true;
    } else if (StartsWithNoCase(data, "dword:")) {
        std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) return false;
        std::uint32_t value = 0;
        for (char c : digits) {
            if (!IsHexDigit(c)) return false;
            value = (value << 4) | static_cast<std::uint32_t>(c <= '9' ? c - '0' : LowerAscii(c) - 'a' + 10);
        }
        line.valueType = ValueType::Dword;
        line.dwordValue = value;
    } else if (StartsWithNoCase(data, "hex:") || StartsWithNoCase(data, "hex(")) {
        line.valueType = ValueType::Other;
    } else {
        return false;
    }
    return true;
}

bool ParseSection(std::string_view t, Line& line) {
    if (t.size() < 2 || t.back() != ']') return false;
    std::string_view inner = t.substr(1, t.size() - 2);
    line.currentUser = false;
    if (!inner.empty() && inner[0] == '-') return true;  // deletion directive: kept, never matched
    std::size_t slash = inner.find('\\');
    if (!EqualsNoCase(inner.substr(0, slash), kRoot)) return true;
    line.currentUser = true;
    std::string_view path = slash == std::string_view::npos ? std::string_view() : inner.substr(slash + 1);
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    line.keyPath = path;
    line.keyFolded = Fold(std::string(path));
    return true;
}

// Classifies one line (its text set); first tells whether no content came before.
void Classify(Line& line, bool first, bool inSection) {
    std::string_view t = Trim(line.text, kSpaces);
    if (t.empty()) {
        line.kind = LineKind::Blank;
    } else if (first && (t == "REGEDIT4" || t == "Windows Registry Editor Version 5.00")) {
        line.kind = LineKind::Header;
    } else if (t[0] == ';') {
        line.kind = LineKind::Comment;
    } else if (t[0] == '[' && ParseSection(t, line)) {
        line.kind = LineKind::Section;
    } else if (inSection && (t[0] == '"' || t[0] == '@') && ParseValue(t, line)) {
        line.kind = LineKind::Value;
    } else {
        line.kind = LineKind::Unparsed;
    }
}

std::string_view EndText(LineEnd end) {
    switch (end) {
        case LineEnd::None: return "";
        case LineEnd::Lf: return "\n";
        case LineEnd::CrLf: return "\r\n";
    }
    return "";
}

// UTF-16LE (after its byte order mark) to UTF-8; nullopt on unpaired surrogates.
std::optional<std::string> DecodeUtf16Le(std::string_view bytes) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    return Utf8FromUtf16Strict(units);
}

// UTF-8 to UTF-16LE; nullopt on malformed UTF-8.
std::optional<std::string> EncodeUtf16Le(std::string_view text) {
    const std::optional<std::u16string> units = Utf16FromUtf8Strict(text);
    if (!units) return std::nullopt;
    std::string out;
    out.reserve(units->size() * 2);
    for (char16_t unit : *units) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
    }
    return out;
}

}  // namespace

std::string Fold(const std::string& name) {
    bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        std::string out(name);
        for (char& c : out) c = LowerAscii(c);
        return out;
    }
    std::string out;
    icu::UnicodeString::fromUTF8(name).foldCase().toUTF8String(out);
    return out;
}

std::string TrimKey(const std::string& key) {
    std::size_t first = key.find_first_not_of('\\');
    if (first == std::string::npos) return std::string();
    std::size_t last = key.find_last_not_of('\\');
    return key.substr(first, last - first + 1);
}

std::string NotRegistryText(const std::string& path) {
    return "registry file " + path + " is not a registry file: it does not start with REGEDIT4, a ; comment or a "
           "[section]";
}

void ReportOnce(const std::string& identity, const std::string& text) {
    static std::mutex mutex;
    static std::unordered_set<std::string> reported;
    {
        std::lock_guard lock(mutex);
        if (reported.size() > 10000) reported.clear();  // bounded; a repeat now and then is harmless
        if (!reported.insert(identity).second) return;
    }
    ReportDiagnostic(Severity::Warning, text);
}

std::string FormatString(const std::string& value) {
    std::string out;
    out.reserve(value.size() + 2);
    out += '"';
    for (char c : value) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string FormatDword(std::int32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(static_cast<std::uint32_t>(value)));
    return buffer;
}

std::string FormatValueLine(const std::string& name, const std::string& data) {
    return (name.empty() ? std::string("@") : FormatString(name)) + "=" + data;
}

std::string Line::ValueName() const { return Unescape(rawName); }

std::string Line::StringValue() const { return Unescape(rawString); }

// Unescapes and lower-cases the ASCII start of the name while comparing, so a
// lookup allocates nothing for ASCII names. Case folding maps each code point
// on its own, so a mismatch in that start is final, and only the rest from the
// first non-ASCII byte on needs ICU.
bool Line::NameIs(const std::string& nameFolded) const {
    std::size_t at = 0;
    for (std::size_t i = 0; i < rawName.size(); ++i) {
        char c = rawName[i];
        if (static_cast<unsigned char>(c) >= 0x80)
            return Fold(Unescape(rawName.substr(i))) == std::string_view(nameFolded).substr(at);
        if (c == '\\' && i + 1 < rawName.size() && (rawName[i + 1] == '\\' || rawName[i + 1] == '"')) c = rawName[++i];
        if (at == nameFolded.size() || LowerAscii(c) != nameFolded[at]) return false;
        ++at;
    }
    return at == nameFolded.size();
}

Document Document::Empty() {
    Document doc;
    doc.m_lines.push_back(doc.MakeLine("REGEDIT4"));
    doc.m_lines.back().end = LineEnd::Lf;
    return doc;
}

Line Document::MakeLine(std::string text) {
    m_added.push_back(std::make_unique<std::string>(std::move(text)));
    Line line;
    line.text = *m_added.back();
    Classify(line, m_lines.empty(), true);
    return line;
}

namespace {

// The physical lines of a text, each with its line end.
class LineReader {
public:
    explicit LineReader(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    std::size_t Position() const { return m_pos; }

    void Next(std::string_view& lineText, LineEnd& end) {
        const std::size_t newline = m_text.find('\n', m_pos);
        if (newline == std::string_view::npos) {
            lineText = m_text.substr(m_pos);
            end = LineEnd::None;
            m_pos = m_text.size();
            return;
        }
        lineText = m_text.substr(m_pos, newline - m_pos);
        end = LineEnd::Lf;
        m_pos = newline + 1;
        if (!lineText.empty() && lineText.back() == '\r') {
            lineText.remove_suffix(1);
            end = LineEnd::CrLf;
        }
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// A registry file starts with its header, a comment or a section; what
// starts otherwise (a binary file, a text file of something else) is not one.
bool StartsLikeRegistry(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return false;
    std::size_t first = 0;
    while (first < text.size() && (IsSpace(text[first]) || text[first] == '\n')) ++first;
    const std::string_view head = Trim(text.substr(first, text.find('\n', first) - first), kSpaces);
    return head.empty() || head == "REGEDIT4" || head == "Windows Registry Editor Version 5.00" ||
           head.front() == ';' || head.front() == '[';
}

// Binary data may continue over lines that end with a backslash: the value's
// text grows over them, up to a blank line or the end.
void TakeContinuationLines(Line& line, LineReader& lines, std::string_view text, std::size_t start,
                           std::uint32_t& number) {
    while (line.valueType == ValueType::Other && !line.isDeletion && Trim(line.text, kSpaces).back() == '\\' &&
           !lines.AtEnd()) {
        std::string_view part;
        lines.Next(part, line.end);
        ++number;
        const std::size_t length = static_cast<std::size_t>(part.data() - text.data()) + part.size() - start;
        line.text = text.substr(start, length);
        if (Trim(part, kSpaces).empty()) break;
    }
}

void ReportLineProblems(const Line& line, bool first, const std::string& path) {
    if (first && line.kind != LineKind::Header)
        ReportOnce(path + "\x1f" "header",
                   "registry file " + path + " does not start with REGEDIT4; reading what can be read");
    if (line.kind == LineKind::Unparsed)
        ReportOnce(path + "\x1f" + std::string(line.text),
                   "registry file " + path + " line " + std::to_string(line.number) +
                       " cannot be parsed and is kept as written: " + std::string(line.text));
}

}  // namespace

Document Document::Parse(std::string bytes, const std::string& path) {
    Document doc;
    doc.DecodeText(std::move(bytes), path);
    const std::string_view text = *doc.m_text;
    // Lines of an undecodable file are not reported one by one, nor are those
    // of a file that is no registry file at all.
    if (doc.m_writable && !StartsLikeRegistry(text)) {
        doc.m_registryText = false;
        ReportOnce(path + "\x1f" "not-registry", NotRegistryText(path) + "; it reads as empty and is never written");
        return doc;
    }
    doc.m_lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);

    LineReader lines(text);
    bool sawContent = false;
    bool inSection = false;
    std::uint32_t number = 0;
    while (!lines.AtEnd()) {
        Line line;
        line.number = ++number;
        const std::size_t start = lines.Position();
        lines.Next(line.text, line.end);
        const bool first = !sawContent;
        Classify(line, first, inSection);
        if (line.kind != LineKind::Blank) {
            sawContent = true;
            if (line.kind == LineKind::Section) inSection = true;
            if (line.kind == LineKind::Value) TakeContinuationLines(line, lines, text, start, number);
            if (doc.m_writable) ReportLineProblems(line, first, path);
        }
        doc.m_lines.push_back(std::move(line));
    }
    return doc;
}

void Document::DecodeText(std::string bytes, const std::string& path) {
    const std::string_view raw = bytes;
    if (raw.substr(0, 3) == "\xEF\xBB\xBF") {
        m_encoding = Encoding::Utf8Bom;
        bytes.erase(0, 3);
    } else if (raw.substr(0, 2) == "\xFF\xFE") {
        auto utf8 = DecodeUtf16Le(raw.substr(2));
        if (utf8 && EncodeUtf16Le(*utf8) == raw.substr(2)) {
            bytes = std::move(*utf8);
            m_encoding = Encoding::Utf16LeBom;
        } else {
            m_writable = false;
            ReportOnce(path + "\x1f" "encoding",
                       "registry file " + path + " is not valid UTF-16 text; it is left unchanged");
        }
    }
    m_text = std::make_unique<std::string>(std::move(bytes));
}

std::optional<std::string> Document::Serialize() const {
    std::string body;
    for (const Line& line : m_lines) {
        body += line.text;
        body += EndText(line.end);
    }
    switch (m_encoding) {
        case Encoding::Utf8: return body;
        case Encoding::Utf8Bom: return "\xEF\xBB\xBF" + body;
        case Encoding::Utf16LeBom: {
            auto utf16 = EncodeUtf16Le(body);
            if (!utf16) return std::nullopt;
            return "\xFF\xFE" + *utf16;
        }
    }
    return std::nullopt;
}

std::vector<std::size_t> Document::SectionsOf(const std::string& keyFolded) const {
    std::vector<std::size_t> sections;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == LineKind::Section && line.currentUser && line.keyFolded == keyFolded) sections.push_back(i);
    }
    return sections;
}

std::size_t Document::SectionEnd(std::size_t section) const {
    std::size_t i = section + 1;
    while (i < m_lines.size() && m_lines[i].kind != LineKind::Section) ++i;
    return i;
}

const Line* Document::FindValue(const std::string& keyFolded, const std::string& nameFolded) const {
    const Line* found = nullptr;
    bool inKey = false;
    for (const Line& line : m_lines) {
        if (line.kind == LineKind::Section) {
            inKey = line.currentUser && line.keyFolded == keyFolded;
        } else if (inKey && line.kind == LineKind::Value && line.NameIs(nameFolded)) {
            found = line.isDeletion ? nullptr : &line;
        }
    }
    return found;
}

bool Document::KeyExists(const std::string& keyFolded) const {
    if (keyFolded.empty()) return true;
    std::string prefix = keyFolded + "\\";
    return std::any_of(m_lines.begin(), m_lines.end(), [&](const Line& line) {
        return line.kind == LineKind::Section && line.currentUser &&
               (line.keyFolded == keyFolded || line.keyFolded.starts_with(prefix));
    });
}

std::vector<std::string> Document::SubKeys(const std::string& keyFolded) const {
    std::string prefix = keyFolded.empty() ? std::string() : keyFolded + "\\";
    std::size_t depth = SplitPath(keyFolded).size();
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const Line& line : m_lines) {
        if (line.kind != LineKind::Section || !line.currentUser || line.keyFolded.size() <= prefix.size() ||
            !line.keyFolded.starts_with(prefix))
            continue;
        std::vector<std::string> parts = SplitPath(std::string(line.keyPath));
        if (parts.size() <= depth) continue;
        if (seen.insert(Fold(parts[depth])).second) names.push_back(parts[depth]);
    }
    return names;
}

// The names FindValue finds, in the order they first appear: a later
// "name"=- line removes a name listed before it, a value after that brings
// it back.
std::vector<std::string> Document::ValueNames(const std::string& keyFolded) const {
    std::vector<std::string> names;
    std::vector<bool> present;
    std::unordered_map<std::string, std::size_t> position;
    bool inKey = false;
    for (const Line& line : m_lines) {
        if (line.kind == LineKind::Section) {
            inKey = line.currentUser && line.keyFolded == keyFolded;
        } else if (inKey && line.kind == LineKind::Value) {
            std::string name = line.ValueName();
            const auto [at, fresh] = position.try_emplace(Fold(name), names.size());
            if (fresh) {
                names.push_back(std::move(name));
                present.push_back(false);
            }
            present[at->second] = !line.isDeletion;
        }
    }
    std::vector<std::string> listed;
    for (std::size_t i = 0; i < names.size(); ++i)
        if (present[i]) listed.push_back(std::move(names[i]));
    return listed;
}

LineEnd Document::NewLineEnd() const {
    for (const Line& line : m_lines)
        if (line.end != LineEnd::None) return line.end;
    return LineEnd::Lf;
}

std::string Document::DisplayPath(const std::string& key) const {
    // A new key takes the written case of the part of its path that exists.
    std::vector<std::string> parts = SplitPath(key);
    std::vector<std::string> best;
    for (const Line& line : m_lines) {
        if (line.kind != LineKind::Section || !line.currentUser) continue;
        std::vector<std::string> existing = SplitPath(std::string(line.keyPath));
        std::size_t n = 0;
        while (n < parts.size() && n < existing.size() && Fold(parts[n]) == Fold(existing[n])) ++n;
        if (n > best.size()) best.assign(existing.begin(), existing.begin() + static_cast<std::ptrdiff_t>(n));
    }
    std::string path;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) path += '\\';
        path += i < best.size() ? best[i] : parts[i];
    }
    return path;
}

namespace {

// Gives the last line of the file, which has no line end, one so that a line
// can follow it. A bare CR at its end is part of its text; after it an LF
// alone would read as a CRLF line end and lose that CR, so it gets CRLF.
void EndLastLine(Line& line, LineEnd end) {
    if (line.end != LineEnd::None) return;
    line.end = !line.text.empty() && line.text.back() == '\r' ? LineEnd::CrLf : end;
}

// Whether the parser would read the next line as part of this value: binary
// data ending in a backslash whose continuation no line ended (at the end of
// the file). A line written after it needs a blank line between them.
bool ContinuesOnNextLine(const Line& line) {
    if (line.kind != LineKind::Value || line.valueType != ValueType::Other || line.isDeletion) return false;
    const std::string_view text = Trim(line.text, kSpaces);
    return !text.empty() && text.back() == '\\';
}

}  // namespace

void Document::AppendSection(const std::string& key) {
    LineEnd end = NewLineEnd();
    if (!m_lines.empty()) EndLastLine(m_lines.back(), end);
    if (!m_lines.empty() && m_lines.back().kind != LineKind::Blank) {
        m_lines.push_back(MakeLine(std::string()));
        m_lines.back().end = end;
    }
    std::string path = DisplayPath(key);
    m_lines.push_back(MakeLine("[" + std::string(kRoot) + (path.empty() ? "" : "\\") + path + "]"));
    m_lines.back().end = end;
}

bool Document::SetValue(const std::string& key, const std::string& name, const std::string& data) {
    std::string keyFolded = Fold(key);
    std::string nameFolded = Fold(name);
    std::vector<std::size_t> sections = SectionsOf(keyFolded);

    std::optional<std::size_t> existing;
    for (std::size_t section : sections)
        for (std::size_t i = section + 1, end = SectionEnd(section); i < end; ++i)
            if (m_lines[i].kind == LineKind::Value && m_lines[i].NameIs(nameFolded)) existing = i;

    Line line = MakeLine(FormatValueLine(existing ? m_lines[*existing].ValueName() : name, data));
    if (line.kind != LineKind::Value) return false;
    line.end = NewLineEnd();

    if (existing) {
        Line& old = m_lines[*existing];
        bool same = old.kind == LineKind::Value && !old.isDeletion && old.valueType == line.valueType &&
                    ((line.valueType == ValueType::Dword && old.dwordValue == line.dwordValue) ||
                     (line.valueType == ValueType::String && old.StringValue() == line.StringValue()));
        if (same) return false;  // a hand-written form of the same value stays as written
        line.end = old.end;
        line.number = old.number;
        old = std::move(line);
        return true;
    }

    std::size_t at;
    if (sections.empty()) {
        AppendSection(key);
        at = m_lines.size();
    } else {
        std::size_t section = sections.back();
        at = SectionEnd(section);
        while (at > section + 1 && m_lines[at - 1].kind == LineKind::Blank) --at;
    }
    if (at > 0) {
        EndLastLine(m_lines[at - 1], line.end);
        if (ContinuesOnNextLine(m_lines[at - 1])) {
            Line blank = MakeLine(std::string());
            blank.end = line.end;
            m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(blank));
            ++at;
        }
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
    return true;
}

bool Document::CreateKey(const std::string& key) {
    if (KeyExists(Fold(key))) return false;
    AppendSection(key);
    return true;
}

bool Document::DeleteKey(const std::string& keyFolded) {
    std::string prefix = keyFolded + "\\";
    std::vector<Line> kept;
    kept.reserve(m_lines.size());
    bool removing = false;
    for (Line& line : m_lines) {
        if (line.kind == LineKind::Section)
            removing = line.currentUser && (line.keyFolded == keyFolded || line.keyFolded.starts_with(prefix));
        if (!removing) kept.push_back(std::move(line));
    }
    bool changed = kept.size() != m_lines.size();
    m_lines = std::move(kept);
    return changed;
}

bool Document::DeleteValue(const std::string& keyFolded, const std::string& nameFolded) {
    std::vector<Line> kept;
    kept.reserve(m_lines.size());
    bool inKey = false;
    for (Line& line : m_lines) {
        if (line.kind == LineKind::Section) inKey = line.currentUser && line.keyFolded == keyFolded;
        if (!(inKey && line.kind == LineKind::Value && !line.isDeletion && line.NameIs(nameFolded)))
            kept.push_back(std::move(line));
    }
    bool changed = kept.size() != m_lines.size();
    m_lines = std::move(kept);
    return changed;
}

}  // namespace qel::platform::registry_detail

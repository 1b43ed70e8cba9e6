// The in-memory form of a registry file: its lines exactly as read, each
// classified, with the current user's keys and values indexed on top.
// Registry.cpp loads a document on every call, looks values up in it and, for
// writes, edits it and saves it whole. Lines are only replaced when a value
// written through the Registry changes them, so everything else (comments,
// blank lines, line ends, other roots, values of unknown types, lines that
// cannot be parsed) is written back byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::platform::registry_detail {

// Case-insensitive comparison form of a key path or value name.
std::string Fold(const std::string& name);

// Key path as callers give it, without leading or trailing backslashes.
std::string TrimKey(const std::string& key);

enum class LineKind : std::uint8_t { Header, Blank, Comment, Section, Value, Unparsed };
enum class ValueType : std::uint8_t { String, Dword, Other };
enum class LineEnd : std::uint8_t { None, Lf, CrLf };

// One line of the file. The texts are views into the document's buffers, so
// parsing a file of thousands of values allocates little; names and strings
// are unescaped only when asked for.
struct Line {
    LineKind kind = LineKind::Unparsed;
    LineEnd end = LineEnd::None;
    ValueType valueType = ValueType::Other;
    bool currentUser = false;  // section of HKEY_CURRENT_USER
    bool isDeletion = false;   // "name"=- : an import directive, not a value
    std::uint32_t number = 0;  // 1-based number of the first physical line
    std::uint32_t dwordValue = 0;
    std::string_view text;     // without its line end; a continued value spans several physical lines
    std::string_view keyPath;  // sections of the current user: the path below the root
    std::string keyFolded;
    std::string_view rawName;    // values: the name between its quotes, still escaped ("" for @)
    std::string_view rawString;  // string values: the text between the quotes, still escaped

    std::string ValueName() const;
    std::string StringValue() const;
    // Whether the value's name folds to the given folded name.
    bool NameIs(const std::string& nameFolded) const;
};

enum class Encoding { Utf8, Utf8Bom, Utf16LeBom };

class Document {
public:
    // Parses file content. Problems (lines that cannot be parsed, a missing
    // header, text that cannot be decoded) are reported once per file and line.
    static Document Parse(std::string bytes, const std::string& pathForMessages);
    static Document Empty();

    // The file content; nullopt when the text cannot be encoded in the
    // file's encoding (malformed UTF-8 in a UTF-16 file).
    std::optional<std::string> Serialize() const;
    // False when the content could not be decoded losslessly; such a file
    // is never written over.
    bool Writable() const { return m_writable && m_registryText; }
    // False when the content does not start like a registry file: its first
    // line that is not blank is neither a header, a comment nor a section,
    // or it holds NUL bytes (a binary file). Such a file reads as empty and
    // is never written.
    bool IsRegistryText() const { return m_registryText; }
    // Every line in file order (for checks of what a write keeps).
    const std::vector<Line>& Lines() const { return m_lines; }

    // The last value of that name in any section of the key (as an import would leave it).
    const Line* FindValue(const std::string& keyFolded, const std::string& nameFolded) const;
    bool KeyExists(const std::string& keyFolded) const;
    std::vector<std::string> SubKeys(const std::string& keyFolded) const;
    std::vector<std::string> ValueNames(const std::string& keyFolded) const;

    // Edits; each returns whether the document changed. The new value is
    // given as a formatted value line's data part (FormatString, FormatDword).
    bool SetValue(const std::string& key, const std::string& name, const std::string& data);
    bool CreateKey(const std::string& key);
    bool DeleteKey(const std::string& keyFolded);
    bool DeleteValue(const std::string& keyFolded, const std::string& nameFolded);

private:
    Document() = default;
    // Takes the file's bytes as UTF-8 text, noting the encoding they came in.
    void DecodeText(std::string bytes, const std::string& pathForMessages);
    // Indexes of the section lines of a key, in file order.
    std::vector<std::size_t> SectionsOf(const std::string& keyFolded) const;
    std::size_t SectionEnd(std::size_t section) const;
    LineEnd NewLineEnd() const;
    // A line made by an edit; its text is kept by the document.
    Line MakeLine(std::string text);
    void AppendSection(const std::string& key);
    std::string DisplayPath(const std::string& key) const;

    // Heap-held so that the views of the lines survive moving the document.
    std::unique_ptr<std::string> m_text;
    std::vector<std::unique_ptr<std::string>> m_added;
    std::vector<Line> m_lines;
    Encoding m_encoding = Encoding::Utf8;
    bool m_writable = true;
    bool m_registryText = true;
};

// The words for a file that does not start like a registry file.
std::string NotRegistryText(const std::string& path);

// "name"=data line of a value; data is formatted by the helpers below.
std::string FormatValueLine(const std::string& name, const std::string& data);
std::string FormatString(const std::string& value);
std::string FormatDword(std::int32_t value);

// Reports a problem through ReportDiagnostic unless the same identity was
// reported before in this process.
void ReportOnce(const std::string& identity, const std::string& text);

}  // namespace qel::platform::registry_detail

#include <qel/datasource/OdbcIniFileInternal.h>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include <fmt/format.h>

#include <qel/datasource/UserDataSource.h>
#include <qel/platform/AsciiText.h>
#include <qel/platform/SharedFile.h>

namespace qel::datasource::ini {

namespace {

using qel::platform::EqualsNoCase;

// Blanks around INI text; a CRLF file leaves \r at the end of each line.
std::string_view Trim(std::string_view text) { return qel::platform::Trim(text, " \t\r"); }

bool HasLineBreak(std::string_view text) { return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos; }

// What the driver manager could not read back as it was written.
std::string CheckWritable(std::string_view section, const Keys& keys) {
    if (Trim(section).empty() || HasLineBreak(section) || section.find(']') != section.npos)
        return fmt::format("data source name \"{}\" cannot be written into an ODBC ini file", section);
    for (const auto& [name, value] : keys) {
        if (Trim(name).empty() || HasLineBreak(name) || name.find('=') != name.npos || name.front() == '[')
            return fmt::format("key \"{}\" of data source {} cannot be written", name, section);
        if (HasLineBreak(value) || Trim(value) != value)
            return fmt::format("the value of {} of data source {} cannot be written as it is", name, section);
    }
    return {};
}

}  // namespace

// unixODBC takes the home from the password database, never from $HOME, so
// this is not the platform's HomeFolder.
std::string UserOdbcIniPath() {
    if (const char* ini = std::getenv("ODBCINI"); ini != nullptr && *ini != '\0') return ini;
    struct passwd entry {};
    struct passwd* result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr)
        return std::string(result->pw_dir) + "/.odbc.ini";
    return {};
}

std::optional<OdbcIniText> OdbcIniText::Parse(std::string_view text, std::string& error) {
    if (text.find('\0') != std::string_view::npos) {
        error = "it holds a zero byte, so it is not an ODBC ini file";
        return std::nullopt;
    }
    OdbcIniText result;
    std::string section;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const auto end = text.find('\n');
        Line line;
        line.text = std::string(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);

        const std::string_view content = Trim(line.text);
        if (content.empty() || content.front() == '#' || content.front() == ';') {
            // blank or comment
        } else if (content.front() == '[') {
            if (content.back() != ']' || Trim(content.substr(1, content.size() - 2)).empty()) {
                error = fmt::format("line {} (\"{}\") is not a [section] header", number, content);
                return std::nullopt;
            }
            section = std::string(Trim(content.substr(1, content.size() - 2)));
            line.header = true;
        } else if (const auto equals = content.find('='); equals != std::string_view::npos && equals > 0) {
            if (section.empty()) {
                error = fmt::format("line {} (\"{}\") stands before any [section]", number, content);
                return std::nullopt;
            }
            line.key = true;
            line.name = std::string(Trim(content.substr(0, equals)));
            line.value = std::string(Trim(content.substr(equals + 1)));
        } else {
            error = fmt::format("line {} (\"{}\") is not a [section], a key=value or a comment", number, content);
            return std::nullopt;
        }
        line.section = section;
        result.m_lines.push_back(std::move(line));
    }
    return result;
}

std::optional<std::pair<std::size_t, std::size_t>> OdbcIniText::Find(std::string_view name) const {
    for (std::size_t first = 0; first < m_lines.size(); ++first) {
        if (!m_lines[first].header || !EqualsNoCase(m_lines[first].section, name)) continue;
        std::size_t last = first + 1;
        while (last < m_lines.size() && !m_lines[last].header) ++last;
        return std::make_pair(first, last);
    }
    return std::nullopt;
}

std::optional<Keys> OdbcIniText::Section(std::string_view name) const {
    const auto range = Find(name);
    if (!range) return std::nullopt;
    Keys keys;
    for (std::size_t i = range->first; i < range->second; ++i)
        if (m_lines[i].key) keys.emplace_back(m_lines[i].name, m_lines[i].value);
    return keys;
}

OdbcIniText::Line OdbcIniText::KeyLine(const std::string& section, const std::string& name, const std::string& value) {
    Line line;
    line.text = name + "=" + value;
    line.section = section;
    line.key = true;
    line.name = name;
    line.value = value;
    return line;
}

OdbcIniText::Line OdbcIniText::BlankLine(const std::string& section) {
    Line line;
    line.section = section;
    return line;
}

void OdbcIniText::ReplaceSection(const std::string& name, const Keys& keys) {
    std::vector<Line> lines;
    const auto range = Find(name);
    if (range) {
        // The header keeps its spelling; comments and blank lines stay after
        // the new keys, so the gap before the next section stays too.
        lines.push_back(m_lines[range->first]);
        for (const auto& [key, value] : keys) lines.push_back(KeyLine(lines.front().section, key, value));
        for (std::size_t i = range->first + 1; i < range->second; ++i)
            if (!m_lines[i].key) lines.push_back(m_lines[i]);
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(range->first),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(range->second));
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(range->first), lines.begin(), lines.end());
        return;
    }
    // A new section is set off by a blank line before and after, as the
    // installer writes its sections.
    if (!m_lines.empty() && !Trim(m_lines.back().text).empty()) m_lines.push_back(BlankLine(m_lines.back().section));
    Line header;
    header.text = "[" + name + "]";
    header.section = name;
    header.header = true;
    m_lines.push_back(header);
    for (const auto& [key, value] : keys) m_lines.push_back(KeyLine(name, key, value));
    m_lines.push_back(BlankLine(name));
}

void OdbcIniText::SetKey(const std::string& section, const std::string& key, const std::string& value) {
    const auto range = Find(section);
    if (!range) {
        ReplaceSection(section, {{key, value}});
        return;
    }
    std::size_t after = range->first + 1;  // behind the section's last key
    for (std::size_t i = range->first + 1; i < range->second; ++i) {
        if (!m_lines[i].key) continue;
        if (EqualsNoCase(m_lines[i].name, key)) {
            m_lines[i] = KeyLine(m_lines[i].section, m_lines[i].name, value);
            return;
        }
        after = i + 1;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(after), KeyLine(m_lines[range->first].section, key, value));
}

bool OdbcIniText::RemoveSection(std::string_view name) {
    bool removed = false;
    while (const auto range = Find(name)) {
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(range->first),
                      m_lines.begin() + static_cast<std::ptrdiff_t>(range->second));
        removed = true;
    }
    return removed;
}

bool OdbcIniText::HoldsPassword() const {
    return std::any_of(m_lines.begin(), m_lines.end(),
                       [](const Line& line) { return line.key && !line.value.empty() && IsPasswordKey(line.name); });
}

std::string OdbcIniText::Text() const {
    std::string text;
    for (const Line& line : m_lines) text += line.text + "\n";
    return text;
}

template <class Edit>
bool OdbcIniFile::Update(Edit edit) {
    m_changed = false;
    const bool ok = platform::UpdateSharedFile(
        m_path, 0600,
        [&](const std::optional<std::string>& bytes) {
            platform::SharedFileEdit change;
            std::string error;
            std::optional<OdbcIniText> text = OdbcIniText::Parse(bytes.value_or(std::string()), error);
            if (!text) {
                change.error = fmt::format("ODBC data source file {} is not written over: {}", m_path, error);
                return change;
            }
            if (!edit(*text)) return change;
            m_changed = true;
            change.bytes = text->Text();
            change.ownerOnly = text->HoldsPassword();
            return change;
        },
        m_error);
    if (!ok && m_error.rfind("ODBC data source file ", 0) != 0)
        m_error = "ODBC data source file not written: " + m_error;
    if (ok) m_error.clear();
    else m_changed = false;
    return ok;
}

bool OdbcIniFile::WriteSection(const std::string& name, const Keys& keys) {
    m_error = CheckWritable(name, keys);
    if (!m_error.empty()) return false;
    return Update([&](OdbcIniText& text) {
        const auto present = text.Section(name);
        const bool same = present && present->size() == keys.size() &&
                          std::all_of(keys.begin(), keys.end(), [&](const auto& wanted) {
                              return std::any_of(present->begin(), present->end(), [&](const auto& held) {
                                  return EqualsNoCase(held.first, wanted.first) && held.second == wanted.second;
                              });
                          });
        if (same) return false;
        text.ReplaceSection(name, keys);
        return true;
    });
}

bool OdbcIniFile::SetKey(const std::string& section, const std::string& key, const std::string& value) {
    m_error = CheckWritable(section, {{key, value}});
    if (!m_error.empty()) return false;
    return Update([&](OdbcIniText& text) {
        if (const auto present = text.Section(section)) {
            const auto held = std::find_if(present->begin(), present->end(),
                                           [&](const auto& entry) { return EqualsNoCase(entry.first, key); });
            if (held != present->end() && held->second == value) return false;
        }
        text.SetKey(section, key, value);
        return true;
    });
}

bool OdbcIniFile::RemoveSection(const std::string& name) {
    return Update([&](OdbcIniText& text) { return text.RemoveSection(name); });
}

}  // namespace qel::datasource::ini

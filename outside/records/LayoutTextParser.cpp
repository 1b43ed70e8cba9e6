// The "*.lay" text parser (format: docs/layout-format.md). One pass over the
// lines; the first fault ends the parse with the line that holds it.
#include <qel/outside/records/LayoutInternal.h>

#include <qel/platform/AsciiText.h>

#include <charconv>
#include <map>
#include <vector>

#include <fmt/format.h>

namespace qel::outside::layout {

namespace {

constexpr std::string_view kHeaderWord = "QEL-LAYOUT";

// A fault at a line (0: the text as a whole).
struct ParseFault {
    int line;
    std::string reason;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

using qel::platform::Trim;

std::vector<std::string_view> SplitBlanks(std::string_view s) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        const std::size_t start = i;
        while (i < s.size() && !IsBlank(s[i])) ++i;
        if (i > start) words.push_back(s.substr(start, i - start));
    }
    return words;
}

std::vector<std::string_view> SplitCommas(std::string_view s) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = s.find(',', start);
        parts.push_back(Trim(s.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start)));
        if (comma == std::string_view::npos) return parts;
        start = comma + 1;
    }
}

class Parser {
public:
    explicit Parser(CLayoutData& out) : m_out(out) {}

    void Run(std::string_view text) {
        if (text.size() > kMaxFileBytes) {
            throw ParseFault{0, fmt::format("file is larger than {} bytes ({} bytes)", kMaxFileBytes, text.size())};
        }
        if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
        if (text.empty()) throw ParseFault{1, "empty file; the first line must be \"QEL-LAYOUT 1\""};

        std::size_t pos = 0;
        while (pos < text.size()) {
            const std::size_t newline = text.find('\n', pos);
            const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
            std::string_view line = text.substr(pos, end - pos);
            pos = end + 1;
            ++m_line;
            if (line.ends_with('\r')) line.remove_suffix(1);
            if (line.size() > kMaxLineBytes) {
                Fail(fmt::format("line is longer than {} bytes", kMaxLineBytes));
            }
            if (std::string reason = CheckText(line, kMaxLineBytes, "line"); !reason.empty()) Fail(reason);
            HandleLine(Trim(line));
        }
        if (m_section != Section::End) {
            Fail("the file ends without the closing [end] line (truncated?)");
        }
    }

private:
    enum class Section { Header, BeforePage, Page, Button, End };

    [[noreturn]] void Fail(std::string reason) const { throw ParseFault{m_line, std::move(reason)}; }

    void HandleLine(std::string_view line) {
        if (m_section == Section::Header) {
            ReadHeader(line);
            return;
        }
        if (line.empty() || line.front() == '#' || line.front() == ';') return;
        if (m_section == Section::End) Fail("text after the closing [end] line");
        if (line.front() == '[') {
            OpenSection(line);
            return;
        }
        const std::size_t equals = line.find('=');
        const std::string_view key = equals == std::string_view::npos ? std::string_view() : Trim(line.substr(0, equals));
        if (key.empty()) Fail(fmt::format("expected 'key = value', a [section] or a comment, found {}", Quote(line)));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (m_section == Section::BeforePage) Fail(fmt::format("key {} before the [page] section", Quote(key)));
        if (m_section == Section::Page) {
            PageKey(key, value);
        } else {
            ButtonKey(key, value);
        }
    }

    void ReadHeader(std::string_view line) {
        const std::vector<std::string_view> words = SplitBlanks(line);
        if (words.empty() || words[0] != kHeaderWord) {
            Fail("missing header: the first line must be \"QEL-LAYOUT 1\"");
        }
        if (words.size() != 2) Fail("the header must be \"QEL-LAYOUT\" followed by the format version");
        const LONG version = Number(words[1], 0, 1000000, "format version");
        if (version != kFormatVersion) {
            Fail(fmt::format("unsupported format version {} (this program reads version {})", version,
                             kFormatVersion));
        }
        m_section = Section::BeforePage;
    }

    void OpenSection(std::string_view line) {
        if (line.back() != ']') Fail(fmt::format("section header {} does not end with ']'", Quote(line)));
        const std::vector<std::string_view> words = SplitBlanks(line.substr(1, line.size() - 2));
        const std::string_view name = words.empty() ? std::string_view() : words[0];
        if (name == "page" && words.size() == 1) {
            if (m_section != Section::BeforePage) Fail("[page] must come once, before every other section");
            m_section = Section::Page;
            m_sectionLine = m_line;
            m_keys.clear();
        } else if (name == "button" && words.size() == 2) {
            CloseSection();
            OpenButton(words[1]);
        } else if (name == "end" && words.size() == 1) {
            CloseSection();
            m_section = Section::End;
        } else {
            Fail(fmt::format("unknown section {} (expected [page], [button ID] or [end])", Quote(line)));
        }
    }

    void CloseSection() {
        if (m_section == Section::BeforePage) Fail("the [page] section must come first");
        if (m_section == Section::Page) {
            if (m_keys.count("id") == 0) FailAt(m_sectionLine, "[page] has no 'id'");
            if (m_keys.count("size") == 0) FailAt(m_sectionLine, "[page] has no 'size'");
        } else if (m_section == Section::Button) {
            if (m_keys.count("rect") == 0) {
                FailAt(m_sectionLine, fmt::format("button {} has no 'rect'", m_button->nID));
            }
        }
    }

    [[noreturn]] static void FailAt(int line, std::string reason) { throw ParseFault{line, std::move(reason)}; }

    void OpenButton(std::string_view idText) {
        const LONG id = Number(idText, kMinButtonID, kMaxButtonID, "button ID");
        if (const auto found = m_buttonLines.find(id); found != m_buttonLines.end()) {
            Fail(fmt::format("button {} is defined twice (first at line {})", id, found->second));
        }
        if (m_out.m_mapButtons.size() >= kMaxButtons) Fail(fmt::format("more than {} buttons", kMaxButtons));
        m_buttonLines.emplace(id, m_line);
        m_button = &m_out.m_mapButtons[id];
        m_button->nID = id;
        m_section = Section::Button;
        m_sectionLine = m_line;
        m_keys.clear();
    }

    // Single-valued keys: a second one in the same section is an error.
    void Once(std::string_view key) {
        const auto [it, inserted] = m_keys.emplace(std::string(key), m_line);
        if (!inserted) Fail(fmt::format("{} is given twice in this section (first at line {})", Quote(key), it->second));
    }

    LONG Number(std::string_view word, LONG min, LONG max, const char* what) const {
        bool digits = !word.empty();
        for (char c : word) digits = digits && c >= '0' && c <= '9';
        if (!digits) Fail(fmt::format("{} {} is not a whole number from {} to {}", what, Quote(word), min, max));
        unsigned long long value = 0;
        const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
        if (error != std::errc() || end != word.data() + word.size() || value < static_cast<unsigned long long>(min) ||
            value > static_cast<unsigned long long>(max)) {
            Fail(fmt::format("{} {} is out of range ({} to {})", what, Quote(word), min, max));
        }
        return static_cast<LONG>(value);
    }

    std::vector<LONG> Numbers(std::string_view key, std::string_view value, std::size_t count) const {
        const std::vector<std::string_view> words = SplitBlanks(value);
        if (words.size() != count) {
            Fail(fmt::format("{} needs {} numbers separated by blanks, found {}", Quote(key), count, Quote(value)));
        }
        std::vector<LONG> numbers;
        for (std::string_view w : words) numbers.push_back(Number(w, 0, kMaxPageSide, std::string(key).c_str()));
        return numbers;
    }

    void Text(std::string_view value, const char* what) const {
        if (std::string r = CheckText(value, kMaxTextBytes, what); !r.empty()) Fail(r);
    }

    void PageKey(std::string_view key, std::string_view value) {
        if (key == "id") {
            Once(key);
            m_out.m_nPageID = Number(value, kMinPageID, kMaxPageID, "page ID");
        } else if (key == "title") {
            Once(key);
            Text(value, "title");
            m_out.m_strTitle = value;
        } else if (key == "size") {
            Once(key);
            const std::vector<LONG> size = Numbers(key, value, 2);
            if (size[0] < 1 || size[1] < 1) Fail("page width and height must be at least 1");
            m_out.m_nWidth = size[0];
            m_out.m_nHeight = size[1];
        } else if (key.starts_with("colour.")) {
            Colour(key, value);
        } else if (key.starts_with("font.")) {
            Font(key, value);
        } else {
            Fail(fmt::format("unknown key {} in [page]", Quote(key)));
        }
    }

    void Colour(std::string_view key, std::string_view value) {
        const std::string_view role = key.substr(7);
        if (std::string r = CheckRole(role, "colour"); !r.empty()) Fail(r);
        Once(key);
        if (m_out.m_mapColours.size() >= kMaxColours) Fail(fmt::format("more than {} colours", kMaxColours));
        bool hex = value.size() == 7 && value[0] == '#';
        for (std::size_t i = 1; hex && i < value.size(); ++i) {
            const char c = value[i];
            hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        }
        if (!hex) Fail(fmt::format("colour {} is not written as #RRGGBB", Quote(value)));
        DWORD rgb = 0;
        std::from_chars(value.data() + 1, value.data() + value.size(), rgb, 16);
        m_out.m_mapColours.emplace(std::string(role), rgb);
    }

    void Font(std::string_view key, std::string_view value) {
        const std::string_view role = key.substr(5);
        if (std::string r = CheckRole(role, "font"); !r.empty()) Fail(r);
        Once(key);
        if (m_out.m_mapFonts.size() >= kMaxFonts) Fail(fmt::format("more than {} fonts", kMaxFonts));
        const std::vector<std::string_view> parts = SplitCommas(value);
        if (parts.size() < 2 || parts.size() > 4) {
            Fail(fmt::format("font {} must be 'face, size' followed by 'bold' and/or 'italic'", Quote(value)));
        }
        CLayoutFont font;
        font.strFace = parts[0];
        font.nPointSize = Number(parts[1], kMinPointSize, kMaxPointSize, "font size");
        for (std::size_t i = 2; i < parts.size(); ++i) {
            BOOL& flag = parts[i] == "bold" ? font.bBold : font.bItalic;
            if ((parts[i] != "bold" && parts[i] != "italic") || flag) {
                Fail(fmt::format("font style {} is not 'bold' or 'italic', or is repeated", Quote(parts[i])));
            }
            flag = TRUE;
        }
        if (std::string r = CheckFont(font); !r.empty()) Fail(r);
        m_out.m_mapFonts.emplace(std::string(role), std::move(font));
    }

    void ButtonKey(std::string_view key, std::string_view value) {
        CLayoutButton& b = *m_button;
        if (key == "rect") {
            Once(key);
            const std::vector<LONG> r = Numbers(key, value, 4);
            b.x = r[0];
            b.y = r[1];
            b.cx = r[2];
            b.cy = r[3];
            if (std::string reason = CheckButtonGeometry(b, m_out.m_nWidth, m_out.m_nHeight); !reason.empty()) {
                Fail(reason);
            }
        } else if (key == "caption") {
            Once(key);
            Text(value, "caption");
            b.strCaption = value;
        } else if (key == "font") {
            Once(key);
            if (m_out.m_mapFonts.count(std::string(value)) == 0) {
                Fail(fmt::format("font {} is not defined in [page]", Quote(value)));
            }
            b.strFont = value;
        } else if (key == "command") {
            if (b.commands.size() >= kMaxCommands) {
                Fail(fmt::format("button {} has more than {} commands", b.nID, kMaxCommands));
            }
            std::size_t blank = 0;
            while (blank < value.size() && !IsBlank(value[blank])) ++blank;
            CLayoutCommand command{std::string(value.substr(0, blank)), std::string(Trim(value.substr(blank)))};
            if (std::string r = CheckCommandName(command.strName); !r.empty()) Fail(r);
            Text(command.strArgument, "command argument");
            b.commands.push_back(std::move(command));
        } else {
            Fail(fmt::format("unknown key {} in [button {}]", Quote(key), b.nID));
        }
    }

    CLayoutData& m_out;
    Section m_section = Section::Header;
    int m_line = 0;
    int m_sectionLine = 0;
    std::map<std::string, int, std::less<>> m_keys;  // key -> line, this section
    std::map<LONG, int> m_buttonLines;               // button ID -> line of its section
    CLayoutButton* m_button = nullptr;
};

}  // namespace

std::string ParseText(std::string_view text, std::string_view source, CLayoutData& out) {
    try {
        Parser(out).Run(text);
    } catch (const ParseFault& fault) {
        if (fault.line == 0) return fmt::format("{}: {}", source, fault.reason);
        return fmt::format("{}:{}: {}", source, fault.line, fault.reason);
    }
    // The parser checks each value as it reads it; this catches any rule it
    // would have missed, so parsed layouts always serialise.
    if (std::string reason = CheckLayout(out); !reason.empty()) return fmt::format("{}: {}", source, reason);
    return {};
}

}  // namespace qel::outside::layout

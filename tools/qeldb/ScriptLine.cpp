// The line parser of `qeldb script`; ScriptLine.h describes the syntax.
#include "tools/qeldb/ScriptLine.h"

#include <cctype>

using qel::platform::Variant;

bool IsScriptCall(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    return first != std::string::npos && text[first] != '#';
}

// Splits "Name arg arg", "Name = value"; the arguments are "text" (with \" and
// \\), integers, True/False, or bare words taken as text.
std::optional<ScriptLine> ParseScriptLine(const std::string& text, std::string* error) {
    ScriptLine line;
    size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
    };
    skipBlanks();
    const size_t start = i;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) ++i;
    line.name = text.substr(start, i - start);
    if (line.name.empty() || std::isdigit(static_cast<unsigned char>(line.name[0]))) {
        *error = "a line starts with a member name";
        return std::nullopt;
    }
    skipBlanks();
    if (i < text.size() && text[i] == '=') {
        line.put = true;
        ++i;
    }
    for (;;) {
        skipBlanks();
        if (i >= text.size()) break;
        if (text[i] == '"') {
            std::string value;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                const char c = text[i++];
                if (c == '\\' && i < text.size()) {
                    value += text[i++];
                } else if (c == '"') {
                    closed = true;
                    break;
                } else {
                    value += c;
                }
            }
            if (!closed) {
                *error = "a text argument lacks its closing quote";
                return std::nullopt;
            }
            line.args.emplace_back(value);
            continue;
        }
        const size_t wordStart = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r') ++i;
        const std::string word = text.substr(wordStart, i - wordStart);
        LONG number = 0;
        BOOL flag = FALSE;
        const Variant asText(word);
        if (word == "True" || word == "true" || word == "False" || word == "false") {
            asText.ToBool(&flag);
            line.args.emplace_back(Variant::Bool{flag != FALSE});
        } else if (asText.ToLong(&number)) {
            line.args.emplace_back(number);
        } else if (!word.empty() && (std::isdigit(static_cast<unsigned char>(word[0])) || word[0] == '-') &&
                   word.find_first_not_of("-+0123456789") == std::string::npos) {
            *error = "the number " + word + " is out of range";
            return std::nullopt;
        } else {
            line.args.push_back(asText);
        }
    }
    if (line.put && line.args.size() != 1) {
        *error = "a property put takes exactly one value";
        return std::nullopt;
    }
    return line;
}

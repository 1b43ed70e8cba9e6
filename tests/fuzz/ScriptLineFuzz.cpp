// libFuzzer target for the line parser of `qeldb script`. The input is a
// script; every line the runner would run gets exactly one answer: a call
// (a member name that does not start with a digit, and exactly one value
// for a put) or an error in words. A parsed line, written out again in the
// script syntax, parses to the same call with the same arguments.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>

#include "tools/qeldb/ScriptLine.h"

namespace {

using qel::platform::Variant;

void Require(bool condition) {
    if (!condition) std::abort();
}

bool IsNameChar(char c) { return (std::isalnum(static_cast<unsigned char>(c)) != 0) || c == '_'; }

// The argument in the script syntax: text quoted, with \" and \\ escaped.
std::string Written(const Variant& arg) {
    if (arg.Type() == VT_BOOL) {
        BOOL flag = FALSE;
        Require(arg.ToBool(&flag));
        return flag ? "True" : "False";
    }
    if (arg.Type() == VT_I4) {
        LONG number = 0;
        Require(arg.ToLong(&number));
        return std::to_string(number);
    }
    Require(arg.Type() == VT_BSTR);
    std::string text;
    Require(arg.ToString(&text));
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

bool SameArg(const Variant& a, const Variant& b) {
    if (a.Type() != b.Type()) return false;
    if (a.Type() == VT_BSTR) {
        std::string x, y;
        return a.ToString(&x) && b.ToString(&y) && x == y;
    }
    LONG x = 0, y = 0;
    return a.ToLong(&x) && b.ToLong(&y) && x == y;
}

// Lines with something to run, counted from the bytes: not blank, not # comments.
std::size_t CallLines(const std::string& script) {
    std::size_t calls = 0;
    std::size_t start = 0;
    while (start < script.size()) {
        std::size_t end = script.find('\n', start);
        if (end == std::string::npos) end = script.size();
        std::size_t first = start;
        while (first < end && (script[first] == ' ' || script[first] == '\t' || script[first] == '\r')) ++first;
        if (first < end && script[first] != '#') ++calls;
        start = end + 1;
    }
    return calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string script(reinterpret_cast<const char*>(data), size);
    std::istringstream in(script);
    std::size_t answers = 0;
    for (std::string text; std::getline(in, text);) {
        if (!IsScriptCall(text)) continue;
        std::string error;
        const std::optional<ScriptLine> line = ParseScriptLine(text, &error);
        if (!line) {
            Require(!error.empty());
            ++answers;
            continue;
        }
        ++answers;
        Require(error.empty());
        Require(!line->name.empty() && std::isdigit(static_cast<unsigned char>(line->name[0])) == 0);
        for (char c : line->name) Require(IsNameChar(c));
        Require(!line->put || line->args.size() == 1);

        std::string again = line->name + (line->put ? " =" : "");
        for (const Variant& arg : line->args) again += " " + Written(arg);
        std::string reerror;
        const std::optional<ScriptLine> reparsed = ParseScriptLine(again, &reerror);
        Require(reparsed && reparsed->name == line->name && reparsed->put == line->put);
        Require(reparsed->args.size() == line->args.size());
        for (std::size_t i = 0; i < line->args.size(); ++i) Require(SameArg(reparsed->args[i], line->args[i]));
    }
    Require(answers == CallLines(script));
    return 0;
}

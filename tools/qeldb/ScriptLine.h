// One line of a `qeldb script`: "Name arg arg" (a call) or "Name = value" (a
// property put). Arguments are "text" (with \" and \\), integers,
// True/False, or bare words taken as text. Pure parsing, no object is
// touched, so the script runner and the fuzz target share it:
//
//   if (!IsScriptCall(text)) continue;          // blank or # comment
//   std::string error;
//   std::optional<ScriptLine> line = ParseScriptLine(text, &error);
//   if (!line) ... error says why ...
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <qel/platform/Dispatch.h>

struct ScriptLine {
    std::string name;
    bool put = false;
    std::vector<qel::platform::Variant> args;
};

// False for lines the runner skips: blank ones and # comments.
bool IsScriptCall(const std::string& text);

// The parsed line, or nullopt with *error saying what is wrong.
std::optional<ScriptLine> ParseScriptLine(const std::string& text, std::string* error);

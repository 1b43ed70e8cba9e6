// Small JSON output helpers for the commands that print --json: a quoted
// string and an object built field by field, in the order given.
//
//   JsonObject o;
//   o.Number("patients", 36).Text("path", path).Raw("settings", inner.Json());
//   fmt::print("{}\n", o.Json());
#pragma once

#include <string>

// `text` (UTF-8) as a JSON string literal, with control characters escaped.
std::string JsonString(const std::string& text);

class JsonObject {
public:
    // `json` is JSON already (an object, an array, null, ...).
    JsonObject& Raw(const std::string& name, const std::string& json);
    JsonObject& Text(const std::string& name, const std::string& value);
    JsonObject& Number(const std::string& name, long long value);
    JsonObject& Bool(const std::string& name, bool value);
    std::string Json() const { return "{" + m_fields + "}"; }

private:
    std::string m_fields;
};

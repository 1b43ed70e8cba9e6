#include "tools/qeldb/Json.h"

#include <fmt/core.h>

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) out += fmt::format("\\u{:04x}", static_cast<unsigned>(c));
                else out += c;
        }
    }
    return out + "\"";
}

JsonObject& JsonObject::Raw(const std::string& name, const std::string& json) {
    if (!m_fields.empty()) m_fields += ",";
    m_fields += JsonString(name) + ":" + json;
    return *this;
}

JsonObject& JsonObject::Text(const std::string& name, const std::string& value) {
    return Raw(name, JsonString(value));
}

JsonObject& JsonObject::Number(const std::string& name, long long value) { return Raw(name, std::to_string(value)); }

JsonObject& JsonObject::Bool(const std::string& name, bool value) { return Raw(name, value ? "true" : "false"); }

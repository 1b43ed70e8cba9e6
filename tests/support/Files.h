// File, INI and environment helpers of the tests and the benchmarks.
#pragma once

#include <map>
#include <string>

namespace qel::test {

// The variable's value; `otherwise` when it is unset or empty.
std::string Env(const char* name, const std::string& otherwise = "");

// The whole file as bytes ("" when it cannot be read).
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// An INI text as its sections: "[name]" lines open one, "key=value" lines
// split at the first "=" fill it, nothing trimmed; what the installer and
// the registry writers put there, as they wrote it.
using IniSection = std::map<std::string, std::string>;
using IniSections = std::map<std::string, IniSection>;
IniSections ParseIni(const std::string& text);
inline IniSections ReadIni(const std::string& path) { return ParseIni(ReadFile(path)); }

}  // namespace qel::test

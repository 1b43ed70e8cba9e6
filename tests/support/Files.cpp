#include "support/Files.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qel::test {

std::string Env(const char* name, const std::string& otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : otherwise;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

IniSections ParseIni(const std::string& text) {
    IniSections sections;
    std::istringstream lines(text);
    std::string line, current;
    while (std::getline(lines, line)) {
        if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
            current = line.substr(1, line.size() - 2);
            sections[current];
        } else if (const auto equals = line.find('='); equals != std::string::npos && !current.empty()) {
            sections[current][line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return sections;
}

}  // namespace qel::test

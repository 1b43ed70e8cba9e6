#include "support/WorkstationShell.h"

#include <charconv>
#include <exception>
#include <istream>
#include <ostream>
#include <sstream>
#include <vector>

#include <fmt/format.h>

#include <qel/database/DatabaseObj.h>
#include <qel/platform/Bstr.h>

namespace qel::test {

namespace {

class Shell {
public:
    std::string Answer(const std::string& line);

private:
    std::string Open(const std::vector<std::string>& words);
    std::string Keys(const std::vector<std::string>& words);
    std::string Set(const std::vector<std::string>& words, const std::string& line);
    std::string Get(const std::string& name);
    std::string Result(const char* what) {
        return m_db.lErrorCode == 0 ? "ok" : fmt::format("error {} {}", m_db.lErrorCode, what);
    }

    CDatabaseObj m_db;
};

bool Number(const std::string& text, long* value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::string TakeText(BSTR bstr) {
    std::string text = qel::platform::Utf8FromBstr(bstr);
    qel::platform::SysFreeString(bstr);
    return text;
}

struct FlagSetting {
    const char* name;
    BOOL (CDatabaseObj::*get)();
    void (CDatabaseObj::*set)(BOOL);
};

const FlagSetting* Flag(const std::string& name) {
    static constexpr FlagSetting kFlags[] = {
        {"grayscale", &CDatabaseObj::GetBCompressGrayscaleImages, &CDatabaseObj::SetBCompressGrayscaleImages},
        {"color", &CDatabaseObj::GetBCompressColorImages, &CDatabaseObj::SetBCompressColorImages},
        {"duplicates", &CDatabaseObj::GetBAllowDuplicatePatientIDs, &CDatabaseObj::SetBAllowDuplicatePatientIDs},
    };
    for (const auto& flag : kFlags)
        if (name == flag.name) return &flag;
    return nullptr;
}

std::string Shell::Answer(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    if (words.empty()) return "error 0 empty command";
    const std::string& command = words[0];
    if (command == "open") return Open(words);
    if (command == "keys") return Keys(words);
    if (command == "set") return Set(words, line);
    if (command == "get" && words.size() == 2) return Get(words[1]);
    if (command == "media") {
        const LONG media = m_db.GetLCurrentMedia();
        return m_db.lErrorCode == 0 ? fmt::format("ok {}", media) : Result("media");
    }
    if (command == "close") return m_db.Close() ? "ok" : "error 0 not open";
    return fmt::format("error 0 unknown command '{}'", command);
}

std::string Shell::Open(const std::vector<std::string>& words) {
    long engine = 0;
    if (words.size() != 4 || !Number(words[1], &engine)) return "error 0 usage: open ENGINE DSN LOCATION";
    if (!m_db.AddNew(TRUE, FALSE)) return Result("profile");
    // The temporary profile's engine: the automation setter is read-only, the
    // native face's member is not.
    m_db.lEngine = static_cast<LONG>(engine);
    m_db.SetStrDataSource(words[2].c_str());
    m_db.SetStrDirectory(words[3].c_str());
    if (!m_db.Open2(FALSE)) return Result("open");
    return fmt::format("ok {}", m_db.lKey);
}

std::string Shell::Keys(const std::vector<std::string>& words) {
    long table = 0, count = 0;
    if (words.size() != 3 || !Number(words[1], &table) || !Number(words[2], &count) || count < 0)
        return "error 0 usage: keys TABLE COUNT";
    std::string answer = "ok";
    for (long i = 0; i < count; ++i) {
        LONG key = -1;
        if (!m_db.GetNewKey(static_cast<int>(table), &key)) return fmt::format("error -1 key {} of {}", i + 1, count);
        answer += fmt::format(" {}", key);
    }
    return answer;
}

std::string Shell::Set(const std::vector<std::string>& words, const std::string& line) {
    if (words.size() >= 2 && words[1] == "format") {
        // The template is the rest of the line, blanks included: the setter trims.
        const auto at = line.find("format") + 6;
        m_db.SetStrImageMediaNameFormat(at < line.size() ? line.substr(at + 1).c_str() : "");
        return Result("saving");
    }
    long value = 0;
    const FlagSetting* flag = words.size() == 3 ? Flag(words[1]) : nullptr;
    if (flag == nullptr || !Number(words[2], &value))
        return "error 0 usage: set grayscale|color|duplicates 0|1, set format TEXT";
    (m_db.*flag->set)(static_cast<BOOL>(value));
    return Result("saving");
}

std::string Shell::Get(const std::string& name) {
    if (name == "format") {
        std::string text = TakeText(m_db.GetStrImageMediaNameFormat());
        return m_db.lErrorCode == 0 ? "ok " + text : Result("reading");
    }
    const FlagSetting* flag = Flag(name);
    if (flag == nullptr) return fmt::format("error 0 unknown setting '{}'", name);
    const BOOL value = (m_db.*flag->get)();
    return m_db.lErrorCode == 0 ? fmt::format("ok {}", value) : Result("reading");
}

}  // namespace

int RunWorkstationShell(std::istream& in, std::ostream& out) {
    Shell shell;
    for (std::string line; std::getline(in, line);) {
        std::string answer;
        try {
            answer = shell.Answer(line);
        } catch (const std::exception& e) {
            answer = fmt::format("error 0 {}", e.what());
        }
        out << answer << std::endl;
    }
    return 0;
}

}  // namespace qel::test

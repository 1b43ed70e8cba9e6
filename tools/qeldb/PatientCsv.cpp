#include "tools/qeldb/PatientCsv.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <ctime>
#include <optional>
#include <tuple>

#include <fmt/core.h>

#include <qel/platform/AsciiText.h>
#include <qel/platform/Unicode.h>

namespace {

enum Column { eName, eKanjiName, eNumber, eBirthDate, eSex, eDoctor, eColumnCount };
constexpr std::array<const char*, eColumnCount> kColumnNames = {"name", "kanji_name", "number",
                                                                "birth_date", "sex", "doctor"};

// One record as read, before its fields mean anything.
struct RawRecord {
    int line = 0;
    std::vector<std::string> fields;
    std::string error;  // a quoting fault; the fields are incomplete then
    bool blank = false; // nothing at all on the line
};

// Splits the text into records; line numbers count every line end, also
// those inside quoted fields.
class CsvReader {
public:
    explicit CsvReader(std::string_view text) : m_text(text) {
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF") m_pos = 3;
    }

    bool Next(RawRecord& record) {
        if (m_pos >= m_text.size()) return false;
        record = RawRecord{};
        record.line = m_line;
        record.blank = AtLineEnd();
        std::string field;
        for (;;) {
            const bool ok = At('"') ? ReadQuoted(field, record) : ReadPlain(field, record);
            record.fields.push_back(std::move(field));
            field.clear();
            if (!ok) {
                SkipLine();
                return true;
            }
            if (m_pos >= m_text.size()) return true;
            if (At(',')) {
                ++m_pos;
                continue;
            }
            ConsumeLineEnd();
            return true;
        }
    }

private:
    bool At(char c) const { return m_pos < m_text.size() && m_text[m_pos] == c; }
    bool AtLineEnd() const {
        return m_pos >= m_text.size() || At('\n') || (At('\r') && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n');
    }
    void ConsumeLineEnd() {
        if (At('\r')) ++m_pos;
        if (At('\n')) {
            ++m_pos;
            ++m_line;
        }
    }
    void SkipLine() {
        while (m_pos < m_text.size() && !At('\n')) ++m_pos;
        ConsumeLineEnd();
    }

    // Up to the next comma or line end; false on a stray quote.
    bool ReadPlain(std::string& field, RawRecord& record) {
        while (!AtLineEnd() && !At(',')) {
            if (At('"')) {
                record.error = "a quote inside an unquoted field (quote the whole field and double the quote)";
                return false;
            }
            field += m_text[m_pos++];
        }
        return true;
    }

    // From the opening quote to the closing one, which must end the field.
    bool ReadQuoted(std::string& field, RawRecord& record) {
        ++m_pos;
        for (;;) {
            if (m_pos >= m_text.size()) {
                record.error = "a quoted field is not closed";
                return false;
            }
            const char c = m_text[m_pos++];
            if (c == '"') {
                if (At('"')) {
                    field += '"';
                    ++m_pos;
                    continue;
                }
                if (AtLineEnd() || At(',')) return true;
                record.error = "text after the closing quote of a field";
                return false;
            }
            if (c == '\n') ++m_line;
            field += c;
        }
    }

    std::string_view m_text;
    size_t m_pos = 0;
    int m_line = 1;
};

using qel::platform::LowerAscii;
using qel::platform::Trim;

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

BirthDate Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

// Empty on success; otherwise why the text is no birth date.
std::string ParseBirthDate(const std::string& text, BirthDate* date) {
    *date = BirthDate{};
    if (text.empty()) return {};
    const auto digits = [&](size_t from, size_t count) {
        return std::all_of(text.begin() + static_cast<long>(from), text.begin() + static_cast<long>(from + count),
                           [](unsigned char c) { return std::isdigit(c) != 0; });
    };
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !digits(0, 4) || !digits(5, 2) || !digits(8, 2))
        return fmt::format("birth date \"{}\" is not YYYY-MM-DD", text);
    const int year = std::stoi(text.substr(0, 4));
    const int month = std::stoi(text.substr(5, 2));
    const int day = std::stoi(text.substr(8, 2));
    if (year < 1850 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return fmt::format("birth date \"{}\" does not exist or is before 1850", text);
    const BirthDate today = Today();
    if (std::tie(year, month, day) > std::tie(today.year, today.month, today.day))
        return fmt::format("birth date \"{}\" is in the future", text);
    *date = {year, month, day};
    return {};
}

std::string ParseSex(const std::string& text, SHORT* sex) {
    if (text.empty()) *sex = kSexUnknown;
    else if (text == "M" || text == "m") *sex = kSexMale;
    else if (text == "F" || text == "f") *sex = kSexFemale;
    else return fmt::format("sex \"{}\" is not M, F or empty", text);
    return {};
}

// A text column: UTF-8, no control characters, at most kMaxTextLength characters.
std::string CheckText(const char* column, const std::string& text) {
    const std::optional<size_t> length = qel::platform::CodePointCount(text);
    if (!length) return fmt::format("{} is not valid UTF-8", column);
    if (std::any_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; }))
        return fmt::format("{} contains a line break or control character", column);
    if (*length > kMaxTextLength)
        return fmt::format("{} has {} characters, at most {} fit", column, *length, kMaxTextLength);
    return {};
}

std::string QuoteField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos && Trim(text) == text) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

const char* const kExpectedHeader = "name,kanji_name,number,birth_date,sex,doctor";

// Where each known column sits in a record (-1: absent).
using ColumnPositions = std::array<int, eColumnCount>;

// The first record that is not blank, as the header. Empty on success;
// otherwise why the file cannot be read, with fatalLine set when a line is
// to blame.
std::string ReadHeader(CsvReader& reader, ColumnPositions& position, size_t& fieldCount, int& fatalLine) {
    RawRecord record;
    bool haveHeader = false;
    while (!haveHeader && reader.Next(record)) haveHeader = !record.blank;
    if (!haveHeader) return std::string("the file is empty; the first line must be the header ") + kExpectedHeader;
    fatalLine = record.line;
    if (!record.error.empty()) return "header: " + record.error;

    position.fill(-1);
    for (size_t i = 0; i < record.fields.size(); ++i) {
        const std::string name = LowerAscii(Trim(record.fields[i]));
        const auto known = std::find(kColumnNames.begin(), kColumnNames.end(), name);
        if (known == kColumnNames.end())
            return fmt::format("unknown column \"{}\" in the header (the columns are {})", name, kExpectedHeader);
        int& slot = position[static_cast<size_t>(known - kColumnNames.begin())];
        if (slot >= 0) return fmt::format("column \"{}\" appears twice in the header", name);
        slot = static_cast<int>(i);
    }
    if (position[eName] < 0)
        return fmt::format("the header has no \"name\" column (the columns are {})", kExpectedHeader);
    fieldCount = record.fields.size();
    fatalLine = 0;
    return {};
}

// The row of a well-formed record. Empty on success; otherwise every reason
// the row is refused, joined by "; ".
std::string ReadRow(const RawRecord& record, const ColumnPositions& position, PatientRow& row) {
    const auto field = [&](Column column) {
        return position[column] < 0 ? std::string() : std::string(Trim(record.fields[static_cast<size_t>(position[column])]));
    };
    row.line = record.line;
    row.name = field(eName);
    row.kanjiName = field(eKanjiName);
    row.number = field(eNumber);
    row.doctor = field(eDoctor);

    std::string reasons;
    const auto note = [&](const std::string& reason) {
        if (!reason.empty()) reasons += (reasons.empty() ? "" : "; ") + reason;
    };
    if (row.name.empty()) note("the name is missing");
    note(CheckText("name", row.name));
    note(CheckText("kanji_name", row.kanjiName));
    note(CheckText("number", row.number));
    note(CheckText("doctor", row.doctor));
    note(ParseBirthDate(field(eBirthDate), &row.birth));
    note(ParseSex(field(eSex), &row.sex));
    return reasons;
}

}  // namespace

ParsedPatients ParsePatientCsv(std::string_view text) {
    ParsedPatients parsed;
    CsvReader reader(text);
    ColumnPositions position;
    size_t fieldCount = 0;
    parsed.fatal = ReadHeader(reader, position, fieldCount, parsed.fatalLine);
    if (!parsed.fatal.empty()) return parsed;

    RawRecord record;
    while (reader.Next(record)) {
        if (record.blank && record.fields.size() == 1 && record.error.empty()) continue;
        if (!record.error.empty()) {
            parsed.problems.push_back({record.line, record.error});
            continue;
        }
        if (record.fields.size() != fieldCount) {
            parsed.problems.push_back(
                {record.line, fmt::format("expected {} fields, found {}", fieldCount, record.fields.size())});
            continue;
        }
        PatientRow row;
        if (std::string reasons = ReadRow(record, position, row); !reasons.empty())
            parsed.problems.push_back({record.line, std::move(reasons)});
        else
            parsed.rows.push_back(std::move(row));
    }
    return parsed;
}

std::string FormatBirthDate(const BirthDate& date) {
    return date.Empty() ? std::string() : fmt::format("{:04}-{:02}-{:02}", date.year, date.month, date.day);
}

std::string FormatSex(SHORT sex) {
    if (sex == kSexMale) return "M";
    if (sex == kSexFemale) return "F";
    return {};
}

std::string PatientCsvHeader() {
    std::string header;
    for (const char* name : kColumnNames) {
        if (!header.empty()) header += ',';
        header += name;
    }
    return header + '\n';
}

std::string PatientCsvLine(const PatientRow& row) {
    return fmt::format("{},{},{},{},{},{}\n", QuoteField(row.name), QuoteField(row.kanjiName), QuoteField(row.number),
                       FormatBirthDate(row.birth), FormatSex(row.sex), QuoteField(row.doctor));
}

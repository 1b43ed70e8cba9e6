// The patient CSV format of `qeldb patients import` and `list --csv`: a
// header line naming the columns (name, kanji_name, number, birth_date, sex,
// doctor, in any order), then one patient per record. RFC 4180 quoting, UTF-8
// (a leading byte order mark is skipped), CRLF or LF line ends.
//
//   ParsedPatients parsed = ParsePatientCsv(text);
//   if (!parsed.fatal.empty()) ...              // no usable header
//   for (const RowProblem& p : parsed.problems) // rows refused, by line
//   for (const PatientRow& row : parsed.rows)   // rows that passed
//
// The parser checks each row on its own (field count, name present, date,
// sex, lengths, UTF-8); whether a row clashes with the database or another
// row is the importer's business.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <qel/platform/WinTypes.h>

// PATSEX values.
constexpr SHORT kSexUnknown = 0;
constexpr SHORT kSexMale = 1;
constexpr SHORT kSexFemale = 2;

struct BirthDate {
    int year = 0;  // 0: no date
    int month = 0;
    int day = 0;
    bool Empty() const { return year == 0; }
};

struct PatientRow {
    int line = 0;  // where the record starts (the header is line 1)
    std::string name;
    std::string kanjiName;
    std::string number;
    BirthDate birth;
    SHORT sex = kSexUnknown;
    std::string doctor;  // empty: no doctor
};

struct RowProblem {
    int line = 0;
    std::string reason;
};

struct ParsedPatients {
    std::string fatal;  // the file cannot be read at all (header); rows are empty then
    int fatalLine = 0;  // where, when a line is to blame
    std::vector<PatientRow> rows;
    std::vector<RowProblem> problems;
};

// Longest text, in characters, of the name, Kanji name, number and doctor
// columns of the database.
constexpr size_t kMaxTextLength = 64;

ParsedPatients ParsePatientCsv(std::string_view text);

// "YYYY-MM-DD", or empty for no date.
std::string FormatBirthDate(const BirthDate& date);
std::string FormatSex(SHORT sex);

// The header line and one record line of the format, each ending in "\n".
std::string PatientCsvHeader();
std::string PatientCsvLine(const PatientRow& row);

// libFuzzer target for the patient CSV reader of `qeldb patients import`.
// Every line number it reports (a refused header, a refused row, an
// accepted row) lies inside the file, and only a file of nothing but line
// ends is refused without one. The rows it accepts, written back by the
// writer of `patients list --csv`, read again as the same rows, none refused.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tools/qeldb/PatientCsv.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

bool SameRow(const PatientRow& a, const PatientRow& b) {
    return a.name == b.name && a.kanjiName == b.kanjiName && a.number == b.number && a.birth.year == b.birth.year &&
           a.birth.month == b.birth.month && a.birth.day == b.birth.day && a.sex == b.sex && a.doctor == b.doctor;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ParsedPatients parsed = ParsePatientCsv(text);

    std::string_view body = text;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    const auto breaks = static_cast<int>(std::count(body.begin(), body.end(), '\n'));
    const int lines = breaks + (body.empty() || body.back() == '\n' ? 0 : 1);
    const auto inside = [&](int line) { return line >= 1 && line <= lines; };

    if (!parsed.fatal.empty()) {
        Require(parsed.rows.empty() && parsed.problems.empty());
        if (parsed.fatalLine == 0) {
            Require(body.find_first_not_of("\r\n") == std::string_view::npos);
        } else {
            Require(inside(parsed.fatalLine));
        }
        return 0;
    }
    for (const RowProblem& problem : parsed.problems) Require(inside(problem.line) && !problem.reason.empty());
    for (const PatientRow& row : parsed.rows) Require(inside(row.line));

    std::string written = PatientCsvHeader();
    for (const PatientRow& row : parsed.rows) written += PatientCsvLine(row);
    const ParsedPatients again = ParsePatientCsv(written);
    Require(again.fatal.empty() && again.problems.empty());
    Require(again.rows.size() == parsed.rows.size());
    for (std::size_t i = 0; i < again.rows.size(); ++i) {
        Require(again.rows[i].line == static_cast<int>(i) + 2);
        Require(SameRow(again.rows[i], parsed.rows[i]));
    }
    return 0;
}

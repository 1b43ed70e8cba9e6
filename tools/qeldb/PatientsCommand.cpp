// `qeldb patients import FILE.csv` and `qeldb patients list`: loading
// patients (and their doctors) from the CSV format of PatientCsv.h, and
// listing them in name order as a table or in that same format.
#include "tools/qeldb/Commands.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <unordered_map>
#include <vector>

#include <fmt/core.h>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/records/CachedData.h>

#include "tools/qeldb/Failure.h"
#include "tools/qeldb/PatientCsv.h"
#include "tools/qeldb/PatientImport.h"
#include "tools/qeldb/ProfileSelection.h"

namespace {

struct ImportArguments {
    ProfileOptions profile;
    std::string file;
    bool skipInvalid = false;
};

struct ListArguments {
    ProfileOptions profile;
    bool csv = false;
};

int RunImport(const ImportArguments& args) {
    std::ifstream in(args.file, std::ios::binary);
    if (!in) {
        fmt::print(stderr, "qeldb patients import: cannot read {}: {}\n", args.file, std::strerror(errno));
        return 1;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        fmt::print(stderr, "qeldb patients import: cannot read {}\n", args.file);
        return 1;
    }
    const ParsedPatients parsed = ParsePatientCsv(text.str());
    if (ReportUnreadable(parsed, args.file)) return 1;  // before a database is opened, let alone created

    OpenedDatabase opened;
    if (!opened.Open(args.profile, "patients import")) return 2;
    fmt::print(stderr, "checking {} row(s) of {} …\n", parsed.rows.size() + parsed.problems.size(), args.file);
    ImportOptions options;
    options.source = args.file;
    options.skipInvalid = args.skipInvalid;
    const ImportOutcome outcome = ImportPatients(opened.Db(), parsed, options);
    if (outcome.exitCode == 0) fmt::print("{}\n", ImportSummary(outcome));
    return outcome.exitCode;
}

// Characters of UTF-8 text (continuation bytes do not count).
size_t Width(const std::string& text) {
    size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++width;
    return width;
}

std::string Pad(const std::string& text, size_t width) {
    return text + std::string(width > Width(text) ? width - Width(text) : 0, ' ');
}

BirthDate BirthDateOf(const CPatientData& patient) {
    if (patient.m_dateBirth.GetStatus() != CExtOleDateTime::valid) return {};
    return {patient.m_dateBirth.GetYear(), patient.m_dateBirth.GetMonth(), patient.m_dateBirth.GetDay()};
}

int RunList(const ListArguments& args) {
    OpenedDatabase opened;
    if (!opened.Open(args.profile, "patients list")) return 2;
    CDatabaseObj& db = opened.Db();
    const auto fail = [&](const std::string& what) {
        PrintFailure(stderr, "qeldb patients list: " + what, db);
        return 2;
    };

    std::unordered_map<LONG, std::string> doctorNames;  // key 0 (no doctor) stays absent: empty name
    LONG count = 0;
    if (!db.GetDoctorCount(&count)) return fail("cannot read the doctors");
    for (LONG i = 0; i < count; ++i) {
        LONG key = 0;
        CDoctorData* doctor = nullptr;
        if (!db.GetDoctor(i, &key) || !db.GetDoctorData(key, &doctor)) return fail("cannot read a doctor");
        doctorNames[key] = doctor->m_strName;
    }

    if (!db.ArrangePatients(0, TRUE)) return fail("cannot order the patients by name");
    if (!db.GetPatientCount(&count)) return fail("cannot read the patients");
    std::vector<std::pair<LONG, PatientRow>> rows;
    rows.reserve(static_cast<size_t>(count));
    for (LONG i = 0; i < count; ++i) {
        LONG key = 0;
        CPatientData* patient = nullptr;
        if (!db.GetPatient(i, &key) || !db.GetPatientData(key, &patient)) return fail("cannot read a patient");
        PatientRow row;
        row.name = patient->m_strName;
        row.kanjiName = patient->m_strKanjiName;
        row.number = patient->m_strNumber;
        row.birth = BirthDateOf(*patient);
        row.sex = patient->m_nSex;
        if (const auto doctor = doctorNames.find(patient->m_lOwnerKey); doctor != doctorNames.end())
            row.doctor = doctor->second;
        rows.emplace_back(key, std::move(row));
    }

    if (args.csv) {
        std::string out = PatientCsvHeader();
        for (const auto& [key, row] : rows) out += PatientCsvLine(row);
        std::fputs(out.c_str(), stdout);
        return 0;
    }
    const char* headings[] = {"KEY", "NAME", "NUMBER", "BIRTH DATE", "DOCTOR"};
    std::vector<std::array<std::string, 5>> table;
    table.push_back({headings[0], headings[1], headings[2], headings[3], headings[4]});
    for (const auto& [key, row] : rows)
        table.push_back({std::to_string(key), row.name, row.number, FormatBirthDate(row.birth), row.doctor});
    std::array<size_t, 5> widths{};
    for (const auto& line : table)
        for (size_t c = 0; c < widths.size(); ++c) widths[c] = std::max(widths[c], Width(line[c]));
    std::string out;
    for (const auto& line : table) {
        std::string text = std::string(widths[0] - Width(line[0]), ' ') + line[0];  // keys right-aligned
        for (size_t c = 1; c < line.size(); ++c) text += "  " + (c + 1 < line.size() ? Pad(line[c], widths[c]) : line[c]);
        out += text + "\n";
    }
    std::fputs(out.c_str(), stdout);
    fmt::print(stderr, "{} patient{}\n", rows.size(), rows.size() == 1 ? "" : "s");
    return 0;
}

}  // namespace

void AddPatientsCommand(CLI::App& app, int& exitCode) {
    CLI::App* patients = app.add_subcommand("patients", "Import patients from a CSV file, or list them");
    patients->require_subcommand(1);

    auto importArgs = std::make_shared<ImportArguments>();
    CLI::App* import = patients->add_subcommand(
        "import", "Load doctors and patients from a CSV file (header: name,kanji_name,number,birth_date,sex,doctor), "
                  "all rows in one transaction");
    import->add_option("FILE", importArgs->file, "CSV file (UTF-8, RFC 4180 quoting)")->required();
    import->add_flag("--skip-invalid", importArgs->skipInvalid,
                     "Report invalid rows and import the others (default: one invalid row refuses the whole file)");
    AddProfileOptions(*import, importArgs->profile);
    import->callback([importArgs, &exitCode] { exitCode = RunImport(*importArgs); });

    auto listArgs = std::make_shared<ListArguments>();
    CLI::App* list = patients->add_subcommand("list", "Print the patients in name order");
    list->add_flag("--csv", listArgs->csv, "Print the import format instead of a table");
    AddProfileOptions(*list, listArgs->profile);
    list->callback([listArgs, &exitCode] { exitCode = RunList(*listArgs); });
}

// `qeldb patients import FILE.csv` and `qeldb patients list`: loading
// patients (and their doctors) from the CSV format of PatientCsv.h, and
// listing them in name order as a table or in that same format.
#include "tools/qeldb/Commands.h"

#include <algorithm>
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

#include "tools/qeldb/ExitCodes.h"
#include "tools/qeldb/Failure.h"
#include "tools/qeldb/NameOrder.h"
#include "tools/qeldb/PatientCsv.h"
#include "tools/qeldb/PatientImport.h"
#include "tools/qeldb/ProfileSelection.h"
#include "tools/qeldb/TextTable.h"

namespace {

struct ImportArguments {
    ProfileOptions profile;
    std::string file;
    bool skipInvalid = false;
    bool allReasons = false;
};

struct ListArguments {
    ProfileOptions profile;
    bool csv = false;
};

int RunImport(const ImportArguments& args) {
    std::ifstream in(args.file, std::ios::binary);
    if (!in) {
        fmt::print(stderr, "qeldb patients import: cannot read {}: {}\n", args.file, std::strerror(errno));
        return exit_code::kFailed;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        fmt::print(stderr, "qeldb patients import: cannot read {}: {}\n", args.file, std::strerror(errno));
        return exit_code::kFailed;
    }
    const ParsedPatients parsed = ParsePatientCsv(text.str());
    if (ReportUnreadable(parsed, args.file)) return exit_code::kFailed;  // before a database is opened, let alone created

    OpenedDatabase opened;
    if (!opened.Open(args.profile, "patients import")) return opened.FailureExitCode();
    fmt::print(stderr, "checking {} row(s) of {} …\n", parsed.rows.size() + parsed.problems.size(), args.file);
    ImportOptions options;
    options.source = args.file;
    options.skipInvalid = args.skipInvalid;
    if (args.allReasons) options.reasonsShown = 0;
    const ImportOutcome outcome = ImportPatients(opened.Db(), parsed, options);
    if (outcome.exitCode == 0) fmt::print("{}\n", ImportSummary(outcome));
    // The import tells a refused input (1) from a failed database (2).
    return outcome.exitCode == 0 ? exit_code::kOk : outcome.exitCode == 1 ? exit_code::kFailed : exit_code::kDatabase;
}

BirthDate BirthDateOf(const CPatientData& patient) {
    const CExtOleDateTime birth = patient.GetDateBirth();
    if (birth.GetStatus() != CExtOleDateTime::valid) return {};
    return {birth.GetYear(), birth.GetMonth(), birth.GetDay()};
}

int RunList(const ListArguments& args) {
    OpenedDatabase opened;
    if (!opened.Open(args.profile, "patients list")) return opened.FailureExitCode();
    CDatabaseObj& db = opened.Db();
    const auto fail = [&](const std::string& what) {
        PrintFailure(stderr, "qeldb patients list: " + what, db);
        return exit_code::kDatabase;
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
        row.name = patient->GetName();
        row.kanjiName = patient->GetKanjiName();
        row.number = patient->GetNumber();
        row.birth = BirthDateOf(*patient);
        row.sex = patient->m_nSex;
        if (const auto doctor = doctorNames.find(patient->m_lOwnerKey); doctor != doctorNames.end())
            row.doctor = doctor->second;
        rows.emplace_back(key, std::move(row));
    }

    // The reader's order: the patient set keeps the component's own order
    // for its searches; the list follows the user's alphabet.
    const NameOrder order;
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
        if (order.Less(a.second.name, b.second.name)) return true;
        if (order.Less(b.second.name, a.second.name)) return false;
        return a.first < b.first;
    });

    if (args.csv) {
        std::string out = PatientCsvHeader();
        for (const auto& [key, row] : rows) out += PatientCsvLine(row);
        std::fputs(out.c_str(), stdout);
        return exit_code::kOk;
    }
    using Align = TextTable::Align;
    TextTable table({"KEY", "NAME", "KANJI NAME", "NUMBER", "BIRTH DATE", "DOCTOR"},
                    {Align::kRight, Align::kLeft, Align::kLeft, Align::kLeft, Align::kLeft, Align::kLeft});
    for (const auto& [key, row] : rows)
        table.Add({std::to_string(key), row.name, row.kanjiName, row.number, FormatBirthDate(row.birth), row.doctor});
    std::fputs(table.Render().c_str(), stdout);
    fmt::print(stderr, "{} patient{}\n", rows.size(), rows.size() == 1 ? "" : "s");
    return exit_code::kOk;
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
    import->add_flag("--all-reasons", importArgs->allReasons,
                     "Print the reason of every refused row (default: the first 20 and a count)");
    AddProfileOptions(*import, importArgs->profile);
    import->callback([importArgs, &exitCode] { exitCode = RunImport(*importArgs); });

    auto listArgs = std::make_shared<ListArguments>();
    CLI::App* list = patients->add_subcommand("list", "Print the patients in the name order of the user's language");
    list->add_flag("--csv", listArgs->csv, "Print the import format instead of a table");
    AddProfileOptions(*list, listArgs->profile);
    list->callback([listArgs, &exitCode] { exitCode = RunList(*listArgs); });
}

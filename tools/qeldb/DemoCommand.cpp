// `qeldb demo`: the component's main job on the embedded default. A SQLite
// database demo.db in the user's data folder (created on the first run and
// reused after) is opened through a temporary profile, filled once with a
// doctor and sample patients through the patient import, searched by name,
// number and doctor, and its parameters are exported beside it; a summary of
// what the database holds and how it is set up goes to stdout.
#include "tools/qeldb/Commands.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <fmt/core.h>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/Log.h>
#include <qel/outside/records/CachedData.h>
#include <qel/platform/Registry.h>

#include "tools/qeldb/ExitCodes.h"
#include "tools/qeldb/Failure.h"
#include "tools/qeldb/PatientCsv.h"
#include "tools/qeldb/PatientImport.h"
#include "tools/qeldb/ProfileSelection.h"
#include "tools/qeldb/UserFolders.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kDataSource = "QEL Demo";
constexpr const char* kDoctor = "Dott.ssa Elena Ferraris";
constexpr const char* kNamePrefix = "RO";
constexpr const char* kSampleNumber = "QD-0007";

struct Sample {
    const char* name;
    char sex;
};

// Six names begin with "RO"; Barone only contains it.
constexpr Sample kSamples[] = {
    {"Rossi Mario", 'M'},        {"Rossi Giulia", 'F'},      {"Romano Luca", 'M'},       {"Ronchi Paola", 'F'},
    {"Rossetti Andrea", 'M'},    {"Rota Chiara", 'F'},       {"Barone Stefano", 'M'},    {"Bianchi Laura", 'F'},
    {"Colombo Davide", 'M'},     {"Conti Marta", 'F'},       {"Costa Paolo", 'M'},       {"De Luca Sara", 'F'},
    {"Esposito Marco", 'M'},     {"Ferrari Anna", 'F'},      {"Fontana Luigi", 'M'},     {"Galli Elena", 'F'},
    {"Gallo Francesco", 'M'},    {"Giordano Alessia", 'F'},  {"Greco Matteo", 'M'},      {"Lombardi Silvia", 'F'},
    {"Mancini Giorgio", 'M'},    {"Marino Valentina", 'F'},  {"Moretti Simone", 'M'},    {"Ricci Federica", 'F'},
    {"Rizzo Antonio", 'M'},      {"Russo Beatrice", 'F'},    {"Santoro Riccardo", 'M'},  {"Bruno Ilaria", 'F'},
    {"Caruso Enrico", 'M'},      {"Villa Noemi", 'F'},       {"Leone Tommaso", 'M'},     {"Longo Camilla", 'F'},
    {"Martini Lorenzo", 'M'},    {"Serra Aurora", 'F'},      {"Vitale Gabriele", 'M'},   {"Pellegrini Irene", 'F'},
};
constexpr long kSampleCount = static_cast<long>(sizeof kSamples / sizeof kSamples[0]);

// The samples in the import format: numbers QD-0001..., dates spread over
// sixty years, two patients in three with the demo doctor.
std::string SampleCsv() {
    std::string text = PatientCsvHeader();
    for (int i = 1; i <= kSampleCount; ++i) {
        PatientRow row;
        row.name = kSamples[i - 1].name;
        row.number = fmt::format("QD-{:04}", i);
        row.birth = {1950 + (i * 7) % 60, 1 + (i * 5) % 12, 1 + (i * 11) % 28};
        row.sex = kSamples[i - 1].sex == 'M' ? kSexMale : kSexFemale;
        row.doctor = i % 3 == 0 ? "" : kDoctor;
        text += PatientCsvLine(row);
    }
    return text;
}

const char* YesNo(BOOL value) { return value ? "yes" : "no"; }

class Demo {
public:
    Demo() = default;
    ~Demo() {
        if (m_db.bIsOpen) m_db.Close();
    }
    Demo(const Demo&) = delete;
    Demo& operator=(const Demo&) = delete;

    int Run();

private:
    // Each step answers 0 to go on, else the program's exit code.
    int PrepareFolder();
    int OpenDatabase();
    int AddSamplesOnce();
    int CountRecords();
    int Search();
    int ExportParametersAndReadSettings();
    int PrintSummary();
    int PrintDoctorSearch();

    int Fail(const std::string& what) {
        PrintFailure(stderr, "qeldb demo: " + what, m_db);
        return exit_code::kDatabase;
    }
    // The keys of the `found` patients of the last search.
    int FoundPatients(LONG found, std::vector<LONG>& keys);
    // Name and number of each key, one line each.
    bool PrintPatients(const std::vector<LONG>& keys);

    CDatabaseObj m_db;
    std::string m_path;
    std::string m_parameters;
    bool m_created = false;
    long m_added = 0;
    LONG m_doctors = 0, m_patients = 0, m_mediaTypes = 0, m_media = 0;
    std::vector<LONG> m_byName, m_byNumber, m_byDoctor;
    LONG m_doctorKey = -1;
    struct {
        BOOL grayscale = FALSE, color = FALSE, duplicates = FALSE, defaultName = FALSE;
        std::string format;
        LONG currentMedia = 0;
    } m_settings;
};

int Demo::Run() {
    for (int (Demo::*step)() : {&Demo::PrepareFolder, &Demo::OpenDatabase, &Demo::AddSamplesOnce,
                                &Demo::CountRecords, &Demo::Search, &Demo::ExportParametersAndReadSettings,
                                &Demo::PrintSummary}) {
        if (const int code = (this->*step)(); code != 0) return code;
    }
    fmt::print(stderr, "Closing …\n");
    m_db.Close();
    return 0;
}

int Demo::PrepareFolder() {
    const std::string folder = DataFolder();
    if (folder.empty()) {
        fmt::print(stderr, "qeldb demo: no data folder: set QEL_DATA_DIR, XDG_DATA_HOME or HOME\n");
        return exit_code::kFailed;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        fmt::print(stderr, "qeldb demo: cannot create the data folder {}: {}\n", folder, ec.message());
        return exit_code::kFailed;
    }
    m_path = (fs::path(folder) / "demo.db").string();
    m_parameters = (fs::path(folder) / "demo-parameters.ini").string();
    m_created = !fs::exists(m_path, ec);
    return 0;
}

int Demo::OpenDatabase() {
    fmt::print(stderr, "{} the database {} …\n", m_created ? "Creating" : "Opening", m_path);
    if (!m_db.AddNew(TRUE, FALSE)) return Fail("cannot prepare a temporary profile");
    m_db.SetStrDataSource(kDataSource);
    m_db.SetStrDirectory(m_path.c_str());
    if (!m_db.Open2(FALSE)) return Fail("cannot open the database " + m_path);
    return 0;
}

int Demo::AddSamplesOnce() {
    LONG patients = 0;
    if (!m_db.GetPatientCount(&patients)) return Fail("cannot count the patients");
    if (patients != 0) {
        fmt::print(stderr, "The database holds {} patients already; nothing added.\n", patients);
        return 0;
    }
    fmt::print(stderr, "Adding {} sample patients …\n", kSampleCount);
    ImportOptions options;
    options.source = "sample patients";
    options.showProgress = false;
    const ImportOutcome outcome = ImportPatients(m_db, ParsePatientCsv(SampleCsv()), options);
    if (outcome.exitCode != 0) return Fail("cannot add the sample patients");
    m_added = outcome.patients;
    fmt::print(stderr, "  {}\n", ImportSummary(outcome));
    return 0;
}

int Demo::CountRecords() {
    if (!m_db.GetDoctorCount(&m_doctors) || !m_db.GetPatientCount(&m_patients) ||
        !m_db.GetImageMediaTypeCount(&m_mediaTypes) || !m_db.GetImageMediaCount(&m_media))
        return Fail("cannot count the records");
    return 0;
}

int Demo::FoundPatients(LONG found, std::vector<LONG>& keys) {
    for (LONG i = 0; i < found; ++i) {
        LONG key = 0;
        if (!m_db.GetFoundPatient(i, &key)) return Fail("cannot read a found patient");
        keys.push_back(key);
    }
    return 0;
}

int Demo::Search() {
    fmt::print(stderr, "Searching …\n");
    LONG found = 0;
    if (!m_db.SearchPatient(kNamePrefix, 1, "", 0, FALSE, FALSE, &found)) return Fail("the name search failed");
    if (const int code = FoundPatients(found, m_byName); code != 0) return code;
    if (!m_db.SearchPatient("", 0, kSampleNumber, 0, FALSE, FALSE, &found)) return Fail("the number search failed");
    if (const int code = FoundPatients(found, m_byNumber); code != 0) return code;
    for (LONG i = 0; i < m_doctors && m_doctorKey < 0; ++i) {
        LONG key = 0;
        CDoctorData* doctor = nullptr;
        if (!m_db.GetDoctor(i, &key) || !m_db.GetDoctorData(key, &doctor)) return Fail("cannot read a doctor");
        if (doctor->m_strName == kDoctor) m_doctorKey = key;
    }
    if (m_doctorKey < 0) return 0;
    if (!m_db.SearchDoctor(m_doctorKey, &found)) return Fail("the doctor search failed");
    for (LONG i = 0; i < found; ++i) {
        LONG key = 0;
        if (!m_db.GetDoctorOwnerKey(i, &key)) return Fail("cannot read a patient of the doctor");
        m_byDoctor.push_back(key);
    }
    return 0;
}

int Demo::ExportParametersAndReadSettings() {
    fmt::print(stderr, "Exporting the parameters …\n");
    if (!m_db.ExportParameters(m_parameters.c_str())) return Fail("cannot export the parameters to " + m_parameters);
    m_settings.grayscale = m_db.GetBCompressGrayscaleImages();
    m_settings.color = m_db.GetBCompressColorImages();
    m_settings.duplicates = m_db.GetBAllowDuplicatePatientIDs();
    m_settings.defaultName = m_db.GetBDefaultImageMediaName();
    m_settings.format = m_db.strImageMediaNameFormat;
    m_settings.currentMedia = m_db.GetLCurrentMedia();
    if (m_db.lErrorCode != 0) return Fail("cannot read the settings");
    return 0;
}

int Demo::PrintSummary() {
    fmt::print("Demo database\n");
    fmt::print("  database             {} ({})\n", m_path, m_created ? "created now" : "reused");
    fmt::print("  parameter file       {}\n", m_parameters);
    fmt::print("  registry file        {}\n", qel::platform::Registry::CurrentUser().FilePath());
    fmt::print("  log folder           {}\n", fs::path(qel::outside::LogFilePath()).parent_path().string());
    fmt::print("\nContents\n");
    fmt::print("  doctors              {}\n", m_doctors);
    fmt::print("  patients             {} ({} added now)\n", m_patients, m_added);
    fmt::print("  media types          {}\n", m_mediaTypes);
    fmt::print("  media                {}\n", m_media);
    fmt::print("\nName search \"{}\" (begins with): {} found\n", kNamePrefix, m_byName.size());
    if (!PrintPatients(m_byName)) return Fail("cannot read a found patient");
    fmt::print("\nNumber search \"{}\": {} found\n", kSampleNumber, m_byNumber.size());
    if (!PrintPatients(m_byNumber)) return Fail("cannot read a found patient");
    if (const int code = PrintDoctorSearch(); code != 0) return code;
    fmt::print("\nSettings\n");
    fmt::print("  compress grayscale   {}\n", YesNo(m_settings.grayscale));
    fmt::print("  compress color       {}\n", YesNo(m_settings.color));
    fmt::print("  duplicate IDs        {}\n", m_settings.duplicates ? "allowed" : "refused");
    fmt::print("  media name format    {}{}\n", m_settings.format,
               m_settings.defaultName ? " (default names on)" : "");
    fmt::print("  current medium       {}\n",
               m_settings.currentMedia == 0 ? std::string("none") : std::to_string(m_settings.currentMedia));
    return 0;
}

int Demo::PrintDoctorSearch() {
    if (m_doctorKey < 0) {
        fmt::print("\nDoctor search: no doctor named \"{}\"\n", kDoctor);
        return 0;
    }
    // The search answers in the patient set's hash order; the first few by
    // name keep the summary the same from run to run.
    constexpr size_t kShown = 3;
    std::vector<std::pair<std::string, LONG>> named;
    for (LONG key : m_byDoctor) {
        CPatientData* patient = nullptr;
        if (!m_db.GetPatientData(key, &patient)) return Fail("cannot read a patient of the doctor");
        named.emplace_back(patient->GetName(), key);
    }
    std::sort(named.begin(), named.end());
    std::vector<LONG> shown;
    for (size_t i = 0; i < std::min(kShown, named.size()); ++i) shown.push_back(named[i].second);
    fmt::print("\nDoctor search \"{}\" (key {}): {} patients\n", kDoctor, m_doctorKey, m_byDoctor.size());
    if (!PrintPatients(shown)) return Fail("cannot read a patient of the doctor");
    if (m_byDoctor.size() > kShown) fmt::print("  … and {} more\n", m_byDoctor.size() - kShown);
    return 0;
}

bool Demo::PrintPatients(const std::vector<LONG>& keys) {
    for (LONG key : keys) {
        CPatientData* patient = nullptr;
        if (!m_db.GetPatientData(key, &patient)) return false;
        fmt::print("  {:<20} {}\n", patient->GetName(), patient->GetNumber());
    }
    return true;
}

}  // namespace

void AddDemoCommand(CLI::App& app, int& exitCode) {
    app.add_subcommand("demo",
                       "Open (or create) the demo database in the data folder, add sample patients on the first run, "
                       "search them, export the parameters and print a summary")
        ->callback([&exitCode] {
            Demo demo;
            exitCode = demo.Run();
        });
}

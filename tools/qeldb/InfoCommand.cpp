// `qeldb info`: what a database holds and where it lives — the counts of
// doctors, patients, media types and media, the rows of TBL200 (key
// counters and table versions), the database-wide settings, the identity,
// the engine and the files involved; as text or, with --json, one object.
#include "tools/qeldb/Commands.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <fmt/core.h>

#include <qel/database/DatabaseObj.h>
#include <qel/outside/Log.h>
#include <qel/outside/odbc/Database.h>
#include <qel/outside/odbc/DBException.h>
#include <qel/outside/odbc/Statement.h>
#include <qel/outside/records/TableCatalogue.h>
#include <qel/platform/Registry.h>

#include "tools/qeldb/ExitCodes.h"
#include "tools/qeldb/Failure.h"
#include "tools/qeldb/Json.h"
#include "tools/qeldb/ProfileSelection.h"

namespace {

struct InfoArguments {
    ProfileOptions profile;
    bool json = false;
};

struct TableRow {
    long number = 0;
    std::string name;  // from the catalogue; empty for a number it does not know
    long version = 0;
    long nextKey = 0;
};

struct Info {
    long doctors = 0, patients = 0, mediaTypes = 0, media = 0;
    std::vector<TableRow> tables;
    std::string identity;         // TBLDATA1 of row 0
    std::string profileIdentity;  // "DatabaseID" the profile remembers
    std::string engine;
    long profileNumber = -1;      // -1 for a temporary profile
    std::string profileName, dataSource, path, registryFile, logFile, odbcIni;
    bool compressGrayscale = false, compressColor = false, duplicateIds = false, defaultMediaName = false;
    std::string mediaNameFormat, lastMediaCreation;
    long currentMedia = 0;
};

// The one place this command reports a failure.
int Fail(CDatabaseObj& db, const std::string& what) {
    PrintFailure(stderr, "qeldb info: " + what, db);
    return exit_code::kDatabase;
}

std::string EngineName(qel::odbc::Engine engine) {
    switch (engine) {
        case qel::odbc::Engine::PostgreSQL: return "postgresql";
        case qel::odbc::Engine::SQLite: return "sqlite";
        default: return "unknown";
    }
}

// Key counters and versions straight from TBL200: the component caches
// neither.
bool ReadTables(CDatabase& connection, Info* info, std::string* failure) {
    try {
        qel::odbc::Statement st(connection);
        st.Prepare("SELECT TBLNUMBER, TBLVERSION, TBLNEXTKEY, TBLDATA1 FROM TBL200 ORDER BY TBLNUMBER");
        st.Execute();
        while (st.Fetch()) {
            TableRow row;
            row.number = st.GetInt32(1).value_or(-1);
            row.version = st.GetInt32(2).value_or(0);
            row.nextKey = st.GetInt32(3).value_or(0);
            if (const auto* table = FindTable(static_cast<LONG>(row.number))) row.name = table->name;
            const auto identity = st.GetBinary(4);
            if (row.number == 0 && identity) info->identity.assign(identity->begin(), identity->end());
            info->tables.push_back(std::move(row));
        }
        return true;
    } catch (const CDBException& e) {
        *failure = "cannot read TBL200: " + e.m_strError;
        return false;
    }
}

std::string Text(const Info& info) {
    std::string out = "Database\n";
    out += fmt::format("  profile              {}\n", info.profileNumber < 0 ? std::string("temporary")
                                                                            : fmt::format("{} ({})", info.profileNumber,
                                                                                          info.profileName));
    out += fmt::format("  engine               {}\n", info.engine);
    out += fmt::format("  data source          {}\n", info.dataSource);
    out += fmt::format("  path                 {}\n", info.path);
    out += fmt::format("  identity             {}\n", info.identity.empty() ? "(none)" : info.identity);
    out += fmt::format("  profile remembers    {}\n", info.profileIdentity.empty() ? "(none)" : info.profileIdentity);
    out += fmt::format("  registry file        {}\n", info.registryFile);
    out += fmt::format("  ODBC data sources    {}\n", info.odbcIni.empty() ? "(ODBCINI not set)" : info.odbcIni);
    out += fmt::format("  log file             {}\n", info.logFile);
    out += "\nContents\n";
    out += fmt::format("  doctors              {}\n", info.doctors);
    out += fmt::format("  patients             {}\n", info.patients);
    out += fmt::format("  media types          {}\n", info.mediaTypes);
    out += fmt::format("  media                {}\n", info.media);
    out += "\nTables (TBL200)\n";
    out += fmt::format("  {:>6}  {:<8}  {:>7}  {:>8}\n", "NUMBER", "TABLE", "VERSION", "NEXT KEY");
    for (const TableRow& row : info.tables)
        out += fmt::format("  {:>6}  {:<8}  {:>7}  {:>8}\n", row.number, row.name.empty() ? "?" : row.name,
                           row.version, row.nextKey);
    out += "\nSettings\n";
    out += fmt::format("  compress grayscale   {}\n", info.compressGrayscale ? "yes" : "no");
    out += fmt::format("  compress color       {}\n", info.compressColor ? "yes" : "no");
    out += fmt::format("  duplicate IDs        {}\n", info.duplicateIds ? "allowed" : "refused");
    out += fmt::format("  media name format    {}{}\n", info.mediaNameFormat,
                       info.defaultMediaName ? " (default names on)" : "");
    out += fmt::format("  last new medium      {}\n", info.lastMediaCreation);
    out += fmt::format("  current medium       {}\n",
                       info.currentMedia == 0 ? std::string("none") : std::to_string(info.currentMedia));
    return out;
}

std::string Json(const Info& info) {
    std::string tables;
    for (const TableRow& row : info.tables) {
        JsonObject t;
        t.Number("number", row.number).Raw("table", row.name.empty() ? "null" : JsonString(row.name));
        t.Number("version", row.version).Number("nextKey", row.nextKey);
        tables += (tables.empty() ? "" : ",") + t.Json();
    }
    JsonObject settings;
    settings.Bool("compressGrayscaleImages", info.compressGrayscale)
        .Bool("compressColorImages", info.compressColor)
        .Bool("allowDuplicatePatientIDs", info.duplicateIds)
        .Bool("defaultImageMediaName", info.defaultMediaName)
        .Text("imageMediaNameFormat", info.mediaNameFormat)
        .Text("lastImageMediaCreation", info.lastMediaCreation)
        .Number("currentMedia", info.currentMedia);
    JsonObject counts;
    counts.Number("doctors", info.doctors)
        .Number("patients", info.patients)
        .Number("mediaTypes", info.mediaTypes)
        .Number("media", info.media);
    JsonObject files;
    files.Text("registry", info.registryFile).Text("log", info.logFile).Raw("odbcIni", info.odbcIni.empty() ? "null" : JsonString(info.odbcIni));
    JsonObject o;
    o.Raw("profile", info.profileNumber < 0 ? "null" : std::to_string(info.profileNumber))
        .Text("name", info.profileName)
        .Text("engine", info.engine)
        .Text("dataSource", info.dataSource)
        .Text("path", info.path)
        .Text("identity", info.identity)
        .Text("profileIdentity", info.profileIdentity)
        .Raw("counts", counts.Json())
        .Raw("tables", "[" + tables + "]")
        .Raw("settings", settings.Json())
        .Raw("files", files.Json());
    return o.Json() + "\n";
}

int RunInfo(const InfoArguments& args) {
    OpenedDatabase opened;
    if (!opened.Open(args.profile, "info")) return opened.FailureExitCode();
    CDatabaseObj& db = opened.Db();

    Info info;
    LONG n = 0;
    if (!db.GetDoctorCount(&n)) return Fail(db, "cannot count the doctors");
    info.doctors = n;
    if (!db.GetPatientCount(&n)) return Fail(db, "cannot count the patients");
    info.patients = n;
    if (!db.GetImageMediaTypeCount(&n)) return Fail(db, "cannot count the media types");
    info.mediaTypes = n;
    if (!db.GetImageMediaCount(&n)) return Fail(db, "cannot count the media");
    info.media = n;
    CDatabase* connection = db.GetDatabase();
    if (connection == nullptr) return Fail(db, "the database has no connection");
    std::string failure;
    if (!ReadTables(*connection, &info, &failure)) return Fail(db, failure);
    info.engine = EngineName(connection->Engine());

    info.compressGrayscale = db.GetBCompressGrayscaleImages() != FALSE;
    info.compressColor = db.GetBCompressColorImages() != FALSE;
    info.duplicateIds = db.GetBAllowDuplicatePatientIDs() != FALSE;
    info.defaultMediaName = db.GetBDefaultImageMediaName() != FALSE;
    info.mediaNameFormat = db.strImageMediaNameFormat;
    const CExtOleDateTime& last = db.dateLastImageMediaCreation;
    info.lastMediaCreation = last.GetStatus() == CExtOleDateTime::valid
                                 ? fmt::format("{:04}-{:02}-{:02}", last.GetYear(), last.GetMonth(), last.GetDay())
                                 : std::string("none");
    info.currentMedia = db.GetLCurrentMedia();
    if (db.lErrorCode != 0) return Fail(db, "cannot read the settings");

    info.profileIdentity = db.GetID();
    info.profileNumber = db.bIsNew ? -1 : db.lKey;
    info.profileName = db.strName;
    info.dataSource = db.strDataSource;
    info.path = db.strDirectory;
    info.registryFile = qel::platform::Registry::CurrentUser().FilePath();
    info.logFile = qel::outside::LogFilePath();
    if (const char* ini = std::getenv("ODBCINI")) info.odbcIni = ini;

    const std::string out = args.json ? Json(info) : Text(info);
    std::fputs(out.c_str(), stdout);
    return exit_code::kOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, int& exitCode) {
    auto args = std::make_shared<InfoArguments>();
    CLI::App* info = app.add_subcommand(
        "info", "Show a database's counts, TBL200 rows, settings, identity, engine and files");
    info->add_flag("--json", args->json, "Print one JSON object");
    AddProfileOptions(*info, args->profile);
    info->callback([args, &exitCode] { exitCode = RunInfo(*args); });
}

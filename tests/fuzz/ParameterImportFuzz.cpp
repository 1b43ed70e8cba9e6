// libFuzzer target: parameter files of any content imported into an open
// database. A file refused with 7120 must leave the settings exactly as they
// were (they are applied only after every section was read) and may only
// have added the media types of the sections before the faulty one; nothing
// may crash.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include <qel/qeldb.h>

namespace {

struct Snapshot {
    BOOL flags[4];
    std::string format;
    LONG mediaTypes;
    bool SameSettings(const Snapshot& other) const {
        return std::equal(std::begin(flags), std::end(flags), std::begin(other.flags)) && format == other.format;
    }
};

CDatabaseObj* g_db = nullptr;
std::string g_file;

Snapshot Take(CDatabaseObj& db) {
    Snapshot s{};
    s.flags[0] = db.bCompressGrayscaleImages;
    s.flags[1] = db.bCompressColorImages;
    s.flags[2] = db.bAllowDuplicatePatientIDs;
    s.flags[3] = db.bDefaultImageMediaName;
    s.format = db.strImageMediaNameFormat;
    db.GetImageMediaTypeCount(&s.mediaTypes);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const auto dir = std::filesystem::temp_directory_path() / ("qeldb-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "odbc");
    std::error_code ec;
    std::filesystem::copy_file("/etc/odbcinst.ini", dir / "odbc/odbcinst.ini", ec);
    ::setenv("ODBCINI", (dir / "odbc/odbc.ini").c_str(), 1);
    ::setenv("ODBCSYSINI", (dir / "odbc").c_str(), 1);
    ::setenv("QEL_REGISTRY_FILE", (dir / "registry.reg").c_str(), 1);
    ::setenv("QEL_LOG_DIR", dir.c_str(), 1);
    ::setenv("QEL_RUNTIME_DIR", dir.c_str(), 1);
    ::setenv("QEL_MODULE_DIR", dir.c_str(), 1);
    g_file = (dir / "input.ini").string();
    g_db = new CDatabaseObj;
    g_db->AddNew(TRUE, FALSE);
    g_db->SetStrDataSource("QelFuzzImport");
    g_db->SetStrDirectory((dir / "fuzz.db").c_str());
    if (!g_db->Open2(FALSE)) {
        std::fprintf(stderr, "cannot open the fuzz database (%d)\n", static_cast<int>(g_db->lErrorCode));
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (FILE* file = std::fopen(g_file.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    const Snapshot before = Take(*g_db);
    const BOOL imported = g_db->ImportParameters(g_file.c_str());
    const Snapshot after = Take(*g_db);
    if (!imported && g_db->lErrorCode == 7120 && (!after.SameSettings(before) || after.mediaTypes < before.mediaTypes)) {
        std::fprintf(stderr, "a refused parameter file changed the database\n");
        std::abort();
    }
    return 0;
}

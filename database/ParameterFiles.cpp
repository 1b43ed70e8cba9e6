// Parameter files: a database's settings and media types in a private
// profile (INI) file, written by ExportParameters and applied to another
// database by ImportParameters.
//
// An export writes a temporary file beside the target and renames it into
// place only when it is complete, so a failed export never leaves a
// half-written file where a good one stood. An import checks every general
// value before it adds any media type; media types that already exist
// (by name) are skipped.
#include <qel/database/DatabaseObj.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <fmt/format.h>

#include <qel/outside/drivers/ImageMediaType.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/platform/PrivateProfile.h>

using qel::platform::GetPrivateProfileIntA;
using qel::platform::GetPrivateProfileStringA;
using qel::platform::WritePrivateProfileStringA;

namespace {

constexpr const char* kGeneral = "General";
constexpr int kMissing = -999;
constexpr DWORD kTextBuffer = 100;

// A temporary file beside `target`, removed again unless it was kept.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& target) {
        std::string pattern = target + ".~XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) return;
        ::fchmod(fd, 0644);
        ::close(fd);
        m_path = std::move(pattern);
    }
    ~TemporaryFile() {
        if (!m_path.empty()) std::remove(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool Valid() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    bool RenameTo(const std::string& target) {
        if (std::rename(m_path.c_str(), target.c_str()) != 0) return false;
        m_path.clear();
        return true;
    }

private:
    std::string m_path;
};

// Whether an existing entry at `path` could be removed: a file (not a
// folder) in a folder that allows removing entries.
bool Removable(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return false;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) folder = std::filesystem::path(".");
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool IsFlag(int value) { return value == 0 || value == 1; }

}  // namespace

BOOL CDatabaseObj::ExportParameters(LPCSTR path) {
    ClearError();
    if (!bIsOpen) return SetError(50);
    if (!CheckMediaTypeSet(nullptr)) return SetError(10);
    if (path == nullptr || *path == '\0') return SetError(7130);
    const std::string target = path;

    std::error_code ec;
    const bool existed = std::filesystem::exists(std::filesystem::symlink_status(target, ec));
    if (existed && !Removable(target)) return SetError(7140);

    // The media types of the file, in the order of the set's first index.
    std::vector<const CMediaTypeData*> types;
    const LONG count = m_pMediaTypeSet->GetCount();
    for (int i = 0; i < count; ++i) {
        LONG key = 0;
        CMediaTypeData* type = nullptr;
        if (!m_pMediaTypeSet->GetKey(0, i, &key) || !m_pMediaTypeSet->GetAs(key, &type)) return SetError(10);
        if (!type->TypeNetworkFolder()) types.push_back(type);
    }

    TemporaryFile temp(target);
    if (!temp.Valid()) return SetError(7130);
    const char* file = temp.Path().c_str();
    auto write = [&](const char* section, const char* key, const std::string& value) {
        return WritePrivateProfileStringA(section, key, value.c_str(), file) != FALSE;
    };
    auto flag = [](BOOL value) { return std::string(value != 0 ? "1" : "0"); };

    bool ok = write(kGeneral, "Version", "2") &&
              write(kGeneral, "CompressGrayscaleImages", flag(bCompressGrayscaleImages)) &&
              write(kGeneral, "CompressColorImages", flag(bCompressColorImages)) &&
              write(kGeneral, "DuplicatePatientIDs", flag(bAllowDuplicatePatientIDs)) &&
              write(kGeneral, "DefaultImageMediaName", flag(bDefaultImageMediaName)) &&
              write(kGeneral, "MediaNameFormat", strImageMediaNameFormat) &&
              write(kGeneral, "MediaTypeCount", fmt::format("{}", types.size()));
    for (size_t i = 0; ok && i < types.size(); ++i) {
        const std::string section = fmt::format("MediaType{}", i + 1);
        ok = write(section.c_str(), "TypeName", types[i]->m_strName) &&
             write(section.c_str(), "WarningThreshold", fmt::format("{}", types[i]->m_lWarningThreshold)) &&
             write(section.c_str(), "ErrorThreshold", fmt::format("{}", types[i]->m_lErrorThreshold));
    }
    ok = ok && WritePrivateProfileStringA(nullptr, nullptr, nullptr, file) != FALSE;
    if (!ok) return SetError(7130);
    // The rename replaces the old file in one step.
    if (!temp.RenameTo(target)) return SetError(existed ? 7140 : 7130);
    return TRUE;
}

BOOL CDatabaseObj::ImportParameters(LPCSTR path) {
    ClearError();
    if (!bIsOpen) return SetError(50);

    IImageMediaType mediaType;
    if (!mediaType.CreatePriv(GetIDispatch(FALSE), &lErrorCode)) {
        strError.clear();
        return PassOnError();
    }
    const char* file = path != nullptr ? path : "";
    auto readInt = [&](const char* section, const char* key) {
        return GetPrivateProfileIntA(section, key, kMissing, file);
    };
    auto readText = [&](const char* section, const char* key) {
        char buffer[kTextBuffer] = {};
        GetPrivateProfileStringA(section, key, "", buffer, kTextBuffer, file);
        return std::string(buffer);
    };

    const int version = readInt(kGeneral, "Version");
    if (version != 1 && version != 2) return SetError(7120);
    int grayscale = 0;
    int color = 0;
    if (version == 2) {
        grayscale = readInt(kGeneral, "CompressGrayscaleImages");
        color = readInt(kGeneral, "CompressColorImages");
    } else {
        grayscale = color = readInt(kGeneral, "CompressImages");
    }
    if (!IsFlag(grayscale) || !IsFlag(color)) return SetError(7120);
    const int duplicates = readInt(kGeneral, "DuplicatePatientIDs");
    const int defaultName = readInt(kGeneral, "DefaultImageMediaName");
    if (!IsFlag(duplicates) || !IsFlag(defaultName)) return SetError(7120);
    const std::string format = readText(kGeneral, "MediaNameFormat");
    if (format.empty()) return SetError(7120);
    const int typeCount = readInt(kGeneral, "MediaTypeCount");
    if (typeCount < 0) return SetError(7120);

    // Copies the driver's error state after a call; FALSE when it is not 0.
    auto takeOver = [&]() -> BOOL {
        if (!mediaType.IsAttached()) return SetError(30);
        if (!mediaType.IsErrorStateReadable()) return SetError(30);
        lErrorCode = mediaType.GetLErrorCode();
        strError = mediaType.GetStrError();
        return lErrorCode == 0 ? TRUE : PassOnError();
    };

    for (int i = 1; i <= typeCount; ++i) {
        const std::string section = fmt::format("MediaType{}", i);
        const std::string name = readText(section.c_str(), "TypeName");
        const int warning = readInt(section.c_str(), "WarningThreshold");
        const int error = readInt(section.c_str(), "ErrorThreshold");
        if (name.empty() || warning < 0 || error < 0) return SetError(7120);

        mediaType.AddNew();
        if (!takeOver()) return FALSE;
        mediaType.SetStrName(name.c_str());
        if (!takeOver()) return FALSE;
        mediaType.SetLWarningThreshold(warning);
        if (!takeOver()) return FALSE;
        mediaType.SetLErrorThreshold(error);
        if (!takeOver()) return FALSE;
        mediaType.Update();
        if (!takeOver()) {
            // A media type of that name exists already: skipped.
            if (lErrorCode != 8000) return FALSE;
            ClearError();
        }
    }

    bCompressGrayscaleImages = grayscale == 1 ? 1 : 0;
    bCompressColorImages = color == 1 ? 1 : 0;
    bAllowDuplicatePatientIDs = duplicates == 1 ? 1 : 0;
    bDefaultImageMediaName = defaultName == 1 ? 1 : 0;
    strImageMediaNameFormat = format;
    SaveDBParams();
    if (lErrorCode != 0) return PassOnError();
    return TRUE;
}

#include <qel/platform/Registry.h>

#include <qel/platform/Diagnostics.h>
#include <qel/platform/RegistryDocumentInternal.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>

namespace fs = std::filesystem;

namespace qel::platform {

using registry_detail::Document;
using registry_detail::Fold;
using registry_detail::ReportOnce;
using registry_detail::TrimKey;

namespace {

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

std::string ErrnoText(int error) { return std::strerror(error); }

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    struct passwd entry {};
    struct passwd* result = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
        result->pw_dir != nullptr)
        return result->pw_dir;
    return std::string();
}

std::string PathFromEnvironment() {
    const char* file = std::getenv("QEL_REGISTRY_FILE");
    if (file != nullptr && *file != '\0') return file;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') return std::string(config) + "/talveni/registry.reg";
    std::string home = HomeFolder();
    if (home.empty()) return std::string();
    return home + "/.config/talveni/registry.reg";
}

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus ReadWholeFile(const std::string& path, std::string& bytes, int& error) {
    bytes.clear();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        error = errno;
        return error == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = EISDIR;
        return ReadStatus::Failed;
    }
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            return ReadStatus::Failed;
        }
        if (n == 0) return ReadStatus::Ok;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes go to the file a symbolic link points to, so a linked registry
// stays linked.
std::string WriteTarget(const std::string& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path target = fs::weakly_canonical(path, ec);
        if (!ec) return target.string();
    }
    return path;
}

// Why a file that could not be read cannot serve as the registry.
std::string Unreadable(const std::string& path, int error) {
    if (error == EISDIR) return "registry file " + path + " is a folder, not a file";
    return "registry file " + path + " cannot be read: " + ErrnoText(error);
}

bool ValidText(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

// Reads never lock: writes replace the file by rename, so a reader always
// sees one whole version of it.
Document LoadForReading(const std::string& path) {
    if (path.empty()) {
        ReportOnce("\x1f" "no-path", "no registry file location: neither QEL_REGISTRY_FILE nor HOME is set");
        return Document::Empty();
    }
    std::string bytes;
    int error = 0;
    switch (ReadWholeFile(path, bytes, error)) {
        case ReadStatus::Missing: return Document::Empty();
        case ReadStatus::Failed:
            ReportOnce(path + "\x1f" "read " + std::to_string(error), Unreadable(path, error));
            return Document::Empty();
        case ReadStatus::Ok: break;
    }
    Document doc = Document::Parse(std::move(bytes), path);
    if (!doc.IsRegistryText()) return Document::Empty();
    return doc;
}

// Read-modify-write under the exclusive lock of the companion lock file.
// The edit returns whether it changed the document; an unchanged document is
// not written.
bool Modify(const std::string& registryPath, const std::function<bool(Document&)>& edit) {
    if (registryPath.empty()) {
        ReportDiagnostic(Severity::Error, "no registry file location: neither QEL_REGISTRY_FILE nor HOME is set");
        return false;
    }
    const std::string path = WriteTarget(registryPath);
    auto fail = [&](const std::string& what, int error) {
        ReportDiagnostic(Severity::Error, "registry file " + path + ": " + what + ": " + ErrnoText(error));
        return false;
    };

    fs::path folder = fs::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (ec) return fail("cannot create its folder", ec.value());
    }

    Fd lock(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) return fail("cannot open the lock file", errno);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return fail("cannot lock", errno);
    }

    std::string bytes;
    int error = 0;
    ReadStatus status = ReadWholeFile(path, bytes, error);
    if (status == ReadStatus::Failed) {
        ReportDiagnostic(Severity::Error, Unreadable(path, error) + "; nothing is written");
        return false;
    }
    Document doc = status == ReadStatus::Missing ? Document::Empty() : Document::Parse(std::move(bytes), path);
    if (!doc.IsRegistryText()) {
        ReportDiagnostic(Severity::Error, registry_detail::NotRegistryText(path) + "; nothing is written into it");
        return false;
    }
    if (!doc.Writable()) {
        ReportDiagnostic(Severity::Error, "registry file " + path + " is not written over: its text cannot be decoded");
        return false;
    }
    if (!edit(doc)) return true;
    std::optional<std::string> content = doc.Serialize();
    if (!content) {
        ReportDiagnostic(Severity::Error, "registry file " + path + ": the new text cannot be encoded as UTF-16");
        return false;
    }

    mode_t mode = 0600;
    struct stat info {};
    if (status == ReadStatus::Ok && ::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;

    std::string temporary = path + ".XXXXXX";
    Fd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out) return fail("cannot create a temporary file", errno);
    auto discard = [&](const std::string& what) {
        int saved = errno;
        ::unlink(temporary.c_str());
        return fail(what, saved);
    };
    if (::fchmod(out.get(), mode) != 0) return discard("cannot set the file mode");
    if (!WriteAll(out.get(), *content)) return discard("cannot write");
    if (::fsync(out.get()) != 0) return discard("cannot flush");
    // The folder is not synced: after a crash the file is the old or the new
    // version, both whole; a second sync per write would only add latency.
    if (::rename(temporary.c_str(), path.c_str()) != 0) return discard("cannot replace");
    return true;
}

}  // namespace

Registry& Registry::CurrentUser() {
    static Registry registry{FromEnvironment{}};
    return registry;
}

Registry::Registry(std::string filePath) : m_path(std::move(filePath)) {}

Registry::Registry(FromEnvironment) : m_followEnvironment(true) {}

std::string Registry::FilePath() const { return m_followEnvironment ? PathFromEnvironment() : m_path; }

std::string Registry::Problem() const {
    const std::string path = FilePath();
    if (path.empty()) return "no registry file location: neither QEL_REGISTRY_FILE nor HOME is set";
    std::string bytes;
    int error = 0;
    switch (ReadWholeFile(path, bytes, error)) {
        case ReadStatus::Missing: return {};
        case ReadStatus::Failed: return Unreadable(path, error);
        case ReadStatus::Ok: break;
    }
    const Document doc = Document::Parse(std::move(bytes), path);
    if (!doc.IsRegistryText()) return registry_detail::NotRegistryText(path);
    if (!doc.Writable()) return "registry file " + path + " is not valid UTF-16 text";
    return {};
}

std::optional<LONG> Registry::GetInt(const std::string& key, const std::string& name) const {
    std::string path = FilePath();
    Document doc = LoadForReading(path);
    const registry_detail::Line* value = doc.FindValue(Fold(TrimKey(key)), Fold(name));
    if (value == nullptr) return std::nullopt;
    if (value->valueType != registry_detail::ValueType::Dword) {
        ReportOnce(path + "\x1f" "dword " + std::string(value->text),
                   "registry value " + TrimKey(key) + "\\" + name + " in " + path +
                       " is not a dword; it reads as absent");
        return std::nullopt;
    }
    return static_cast<LONG>(value->dwordValue);
}

std::optional<std::string> Registry::GetString(const std::string& key, const std::string& name) const {
    std::string path = FilePath();
    Document doc = LoadForReading(path);
    const registry_detail::Line* value = doc.FindValue(Fold(TrimKey(key)), Fold(name));
    if (value == nullptr) return std::nullopt;
    if (value->valueType != registry_detail::ValueType::String) {
        ReportOnce(path + "\x1f" "string " + std::string(value->text),
                   "registry value " + TrimKey(key) + "\\" + name + " in " + path +
                       " is not a string; it reads as absent");
        return std::nullopt;
    }
    return value->StringValue();
}

bool Registry::SetInt(const std::string& key, const std::string& name, LONG value) {
    if (!ValidText(key) || !ValidText(name)) {
        ReportDiagnostic(Severity::Error, "registry key and value names must be one line of text");
        return false;
    }
    std::string data = registry_detail::FormatDword(value);
    return Modify(FilePath(), [&](Document& doc) { return doc.SetValue(TrimKey(key), name, data); });
}

bool Registry::SetString(const std::string& key, const std::string& name, const std::string& value) {
    if (!ValidText(key) || !ValidText(name) || !ValidText(value)) {
        ReportDiagnostic(Severity::Error, "registry value " + TrimKey(key) + "\\" + name +
                                              " not written: names and strings must be one line of text");
        return false;
    }
    std::string data = registry_detail::FormatString(value);
    return Modify(FilePath(), [&](Document& doc) { return doc.SetValue(TrimKey(key), name, data); });
}

bool Registry::SetValues(const std::string& key, const std::vector<Value>& values) {
    if (!ValidText(key)) {
        ReportDiagnostic(Severity::Error, "registry key names must be one line of text");
        return false;
    }
    for (const Value& value : values) {
        if (!ValidText(value.name) || (value.text && !ValidText(*value.text))) {
            ReportDiagnostic(Severity::Error, "registry values of " + TrimKey(key) + " not written: " + value.name +
                                                  ": names and strings must be one line of text");
            return false;
        }
    }
    const std::string trimmed = TrimKey(key);
    const std::string folded = Fold(trimmed);
    return Modify(FilePath(), [&](Document& doc) {
        bool changed = doc.CreateKey(trimmed);
        for (const Value& value : values) {
            if (value.number)
                changed = doc.SetValue(trimmed, value.name, registry_detail::FormatDword(*value.number)) || changed;
            else if (value.text)
                changed = doc.SetValue(trimmed, value.name, registry_detail::FormatString(*value.text)) || changed;
            else
                changed = doc.DeleteValue(folded, Fold(value.name)) || changed;
        }
        return changed;
    });
}

bool Registry::CreateKey(const std::string& key) {
    if (!ValidText(key)) {
        ReportDiagnostic(Severity::Error, "registry key names must be one line of text");
        return false;
    }
    return Modify(FilePath(), [&](Document& doc) { return doc.CreateKey(TrimKey(key)); });
}

bool Registry::KeyExists(const std::string& key) const {
    return LoadForReading(FilePath()).KeyExists(Fold(TrimKey(key)));
}

bool Registry::DeleteKey(const std::string& key) {
    std::string folded = Fold(TrimKey(key));
    if (folded.empty()) {
        ReportDiagnostic(Severity::Error, "the root of the registry cannot be deleted");
        return false;
    }
    return Modify(FilePath(), [&](Document& doc) { return doc.DeleteKey(folded); });
}

bool Registry::DeleteValue(const std::string& key, const std::string& name) {
    std::string keyFolded = Fold(TrimKey(key));
    std::string nameFolded = Fold(name);
    return Modify(FilePath(), [&](Document& doc) { return doc.DeleteValue(keyFolded, nameFolded); });
}

std::vector<std::string> Registry::SubKeys(const std::string& key) const {
    return LoadForReading(FilePath()).SubKeys(Fold(TrimKey(key)));
}

std::vector<std::string> Registry::ValueNames(const std::string& key) const {
    return LoadForReading(FilePath()).ValueNames(Fold(TrimKey(key)));
}

}  // namespace qel::platform

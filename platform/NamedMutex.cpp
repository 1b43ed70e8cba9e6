#include <qel/platform/NamedMutex.h>

#include <qel/platform/ApplicationIdentity.h>
#include <qel/platform/Diagnostics.h>
#include <qel/platform/UserFolders.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace qel::platform {

namespace {

// Bytes other than letters, digits, '_', '-' and inner dots are written as
// %XX, so any name maps to one plain file name and different names never meet.
std::string FileNameOf(const std::string& name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<unsigned char>(name[i]);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '-' || (c == '.' && i > 0);
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        }
    }
    return out + ".mutex";
}

// The caller only learns that creation failed; the reason goes to the
// diagnostics (the log) as the cause.
NamedMutexResult Failure(std::string error) {
    ReportDiagnostic(Severity::Warning, "named mutex: " + error);
    NamedMutexResult result;
    result.failed = true;
    result.error = std::move(error);
    return result;
}

// Creates the folder (0700) when missing. The shared-memory fallback is a
// world-writable place, so there the folder must be a real directory of ours.
bool EnsureFolder(const std::string& folder, bool shared, std::string& error) {
    std::error_code ec;
    fs::path parent = fs::path(folder).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create the folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    int rc = shared ? ::lstat(folder.c_str(), &info) : ::stat(folder.c_str(), &info);
    if (rc != 0 || !S_ISDIR(info.st_mode)) {
        error = "the mutex folder " + folder + " is not a folder";
        return false;
    }
    if (shared && (info.st_uid != ::getuid() || (info.st_mode & 0077) != 0)) {
        error = "the mutex folder " + folder + " belongs to someone else or is open to others";
        return false;
    }
    return true;
}

struct MutexFolder {
    std::string path;
    bool shared;  // the world-writable shared-memory fallback, which must prove to be ours
};

MutexFolder LocateFolder() {
    const char* runtime = std::getenv("QEL_RUNTIME_DIR");
    if (runtime != nullptr && *runtime != '\0') return {runtime, false};
    const std::string name = CurrentApplicationIdentity().runtimeFolder;
    if (const std::string xdg = XdgFolder("XDG_RUNTIME_DIR", nullptr); !xdg.empty()) return {xdg + "/" + name, false};
    return {"/dev/shm/" + name + "-" + std::to_string(::getuid()), true};
}

}  // namespace

NamedMutex::NamedMutex(Token, std::string name, std::string path, int fd)
    : m_name(std::move(name)), m_path(std::move(path)), m_fd(fd), m_owner(::getpid()) {}

NamedMutex::~NamedMutex() { Close(); }

std::string NamedMutex::Folder() { return LocateFolder().path; }

NamedMutexResult NamedMutex::Create(const std::string& name) {
    if (name.empty()) return Failure("a named mutex needs a name");
    std::string fileName = FileNameOf(name);
    if (fileName.size() > 255) return Failure("the mutex name is too long: " + name);

    const MutexFolder folder = LocateFolder();
    std::string error;
    if (!EnsureFolder(folder.path, folder.shared, error)) return Failure(error);
    std::string path = folder.path + "/" + fileName;

    // A holder removes the file when it closes the mutex; a file opened just
    // before that removal is stale, so after locking check that the path
    // still names the locked file and start over when it does not.
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return Failure("cannot create " + path + ": " + std::strerror(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            int lockError = errno;
            ::close(fd);
            if (lockError == EINTR) continue;
            if (lockError == EWOULDBLOCK) {
                NamedMutexResult result;
                result.alreadyExists = true;
                return result;
            }
            return Failure("cannot lock " + path + ": " + std::strerror(lockError));
        }
        struct stat locked {};
        struct stat named {};
        if (::fstat(fd, &locked) == 0 && ::stat(path.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino) {
            NamedMutexResult result;
            result.handle = std::make_unique<NamedMutex>(Token{}, name, path, fd);
            return result;
        }
        ::close(fd);
    }
    return Failure("the mutex file " + path + " keeps being replaced");
}

void NamedMutex::Close() {
    if (m_fd < 0) return;
    // Only the creating process removes the file: a forked child that closes
    // its inherited copy must not free the name while the parent holds it.
    if (::getpid() == m_owner) ::unlink(m_path.c_str());
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace qel::platform

#include <qel/platform/SharedFile.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace qel::platform {

namespace {

namespace fs = std::filesystem;

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

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes go to the file a symbolic link points to, so a linked file stays
// linked.
std::string WriteTarget(const std::string& path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) {
        fs::path target = fs::weakly_canonical(path, ec);
        if (!ec) return target.string();
    }
    return path;
}

}  // namespace

std::string SharedFileLockPath(const std::string& path) { return WriteTarget(path) + ".lock"; }

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
    error.clear();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno != ENOENT) error = path + " cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
        error = path + " is a folder, not a file";
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = path + " cannot be read: " + std::strerror(errno);
            return std::nullopt;
        }
        if (n == 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

bool UpdateSharedFile(const std::string& givenPath, mode_t newFileMode,
                      const std::function<SharedFileEdit(const std::optional<std::string>&)>& edit,
                      std::string& error) {
    error.clear();
    if (givenPath.empty()) {
        error = "no file name";
        return false;
    }
    const std::string path = WriteTarget(givenPath);
    auto fail = [&](const std::string& what, int code) {
        error = path + ": " + what + ": " + std::strerror(code);
        return false;
    };

    const fs::path folder = fs::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty()) {
        fs::create_directories(folder, ec);
        if (ec) return fail("cannot create its folder", ec.value());
    }

    const std::string lockPath = path + ".lock";
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) return fail("cannot open the lock file", errno);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return fail("cannot lock", errno);
    }

    std::string readError;
    const std::optional<std::string> current = ReadWholeFile(path, readError);
    if (!readError.empty()) {
        error = readError + "; nothing is written";
        return false;
    }
    const SharedFileEdit change = edit(current);
    if (!change.error.empty()) {
        error = change.error;
        return false;
    }
    if (!change.bytes) return true;

    mode_t mode = newFileMode;
    struct stat info {};
    if (current && ::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
    if (change.ownerOnly) mode &= ~static_cast<mode_t>(S_IRWXG | S_IRWXO);

    std::string temporary = path + ".XXXXXX";
    Fd out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!out) return fail("cannot create a temporary file", errno);
    auto discard = [&](const std::string& what) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        return fail(what, saved);
    };
    if (::fchmod(out.get(), mode) != 0) return discard("cannot set the file mode");
    if (!WriteAll(out.get(), *change.bytes)) return discard("cannot write");
    if (::fsync(out.get()) != 0) return discard("cannot flush");
    // The folder is not synced: after a crash the file is the old or the new
    // version, both whole; a second sync per write would only add latency.
    if (::rename(temporary.c_str(), path.c_str()) != 0) return discard("cannot replace");
    return true;
}

}  // namespace qel::platform

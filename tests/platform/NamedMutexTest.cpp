#include <qel/platform/NamedMutex.h>

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/Files.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;
using qel::platform::NamedMutex;
using qel::platform::NamedMutexResult;

namespace {

bool Held(const NamedMutexResult& r) { return !r.failed && !r.alreadyExists && r.handle && r.handle->IsHeld(); }
bool Existing(const NamedMutexResult& r) { return !r.failed && r.alreadyExists && !r.handle; }

// A child process that takes the mutex, tells the parent whether it got it,
// and waits for a signal.
class Holder {
public:
    explicit Holder(const std::string& name) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            NamedMutexResult r = NamedMutex::Create(name);
            char answer = Held(r) ? 'y' : 'n';
            (void)!::write(pipeFds[1], &answer, 1);
            for (;;) ::pause();
        }
        ::close(pipeFds[1]);
        char answer = 'n';
        m_took = ::read(pipeFds[0], &answer, 1) == 1 && answer == 'y';
        ::close(pipeFds[0]);
    }
    ~Holder() { Stop(SIGTERM); }
    bool Took() const { return m_took; }
    // Ends the child; returns its wait status.
    int Stop(int signal) {
        int status = 0;
        if (m_pid > 0 && ::kill(m_pid, signal) == 0) ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

private:
    pid_t m_pid = -1;
    bool m_took = false;
};

TEST(NamedMutexTest, OneHolderPerNameWithinAProcess) {
    NamedMutexResult first = NamedMutex::Create("QEL_DB_MUTEX_3");
    ASSERT_TRUE(Held(first));
    EXPECT_EQ(first.handle->Name(), "QEL_DB_MUTEX_3");
    EXPECT_TRUE(Existing(NamedMutex::Create("QEL_DB_MUTEX_3")));
    EXPECT_TRUE(Held(NamedMutex::Create("QEL_DB_MUTEX_4")));  // taken and released at once
    EXPECT_TRUE(Held(NamedMutex::Create("qel_db_mutex_3")));  // names are case-sensitive

    first.handle->Close();
    EXPECT_FALSE(first.handle->IsHeld());
    first.handle->Close();
    NamedMutexResult second = NamedMutex::Create("QEL_DB_MUTEX_3");
    ASSERT_TRUE(Held(second));
    second.handle.reset();
    EXPECT_TRUE(Held(NamedMutex::Create("QEL_DB_MUTEX_3")));
}

TEST(NamedMutexTest, NamesMapToDistinctSafeFiles) {
    const std::string names[] = {"a/b", "a%2Fb", "..", "Global\\x", "Citt\xC3\xA0", ".hidden", "a b"};
    std::vector<qel::platform::MutexHandle> handles;
    for (const std::string& name : names) {
        NamedMutexResult r = NamedMutex::Create(name);
        ASSERT_TRUE(Held(r)) << name << ": " << r.error;
        handles.push_back(std::move(r.handle));
    }
    for (const std::string& name : names) EXPECT_TRUE(Existing(NamedMutex::Create(name))) << name;
    auto files = [] {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(qel::test::Sandbox::Current().Path("runtime")))
            if (entry.path().extension() == ".mutex") found.push_back(entry.path().filename().string());
        return found;
    };
    EXPECT_EQ(files().size(), std::size(names));
    for (const std::string& file : files()) EXPECT_TRUE(file.find_first_of("/\\ ") == std::string::npos && file[0] != '.') << file;
    handles.clear();
    EXPECT_TRUE(files().empty());  // closing removes the files
}

TEST(NamedMutexTest, FolderFromTheEnvironmentAndFailures) {
    std::string saved = qel::test::Env("QEL_RUNTIME_DIR");
    ::unsetenv("QEL_RUNTIME_DIR");
    std::string fallback = qel::test::Sandbox::Current().Path("runtime") + "/qel";
    EXPECT_EQ(NamedMutex::Folder(), fallback);
    EXPECT_TRUE(Held(NamedMutex::Create("QEL_DB_MUTEX_1")));
    struct stat info {};
    ASSERT_EQ(::stat(fallback.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    std::string blocker = qel::test::Sandbox::Current().Path("blocker");
    std::ofstream(blocker) << "file";
    ::setenv("QEL_RUNTIME_DIR", (blocker + "/mutexes").c_str(), 1);
    NamedMutexResult r = NamedMutex::Create("QEL_DB_MUTEX_1");
    ::setenv("QEL_RUNTIME_DIR", saved.c_str(), 1);
    EXPECT_TRUE(r.failed && !r.alreadyExists && !r.handle);
    EXPECT_NE(r.error.find("mutexes"), std::string::npos) << r.error;

    EXPECT_TRUE(NamedMutex::Create("").failed);
    EXPECT_TRUE(NamedMutex::Create(std::string(200, '/')).failed);
}

TEST(NamedMutexTest, OneHolderAcrossProcesses) {
    {
        Holder child("QEL_DB_MUTEX_7");
        ASSERT_TRUE(child.Took());
        EXPECT_TRUE(Existing(NamedMutex::Create("QEL_DB_MUTEX_7")));
        // A holder killed without any clean-up still releases it.
        const int status = child.Stop(SIGKILL);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_TRUE(Held(NamedMutex::Create("QEL_DB_MUTEX_7")));
    }
    NamedMutexResult mine = NamedMutex::Create("QEL_DB_MUTEX_7");
    ASSERT_TRUE(Held(mine));
    Holder child("QEL_DB_MUTEX_7");
    EXPECT_FALSE(child.Took());
}

TEST(NamedMutexTest, ForkedChildClosingItsCopyKeepsTheParentsMutex) {
    NamedMutexResult mine = NamedMutex::Create("QEL_DB_MUTEX_5");
    ASSERT_TRUE(Held(mine));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        mine.handle->Close();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(Existing(NamedMutex::Create("QEL_DB_MUTEX_5")));
    Holder other("QEL_DB_MUTEX_5");
    EXPECT_FALSE(other.Took());
}

}  // namespace

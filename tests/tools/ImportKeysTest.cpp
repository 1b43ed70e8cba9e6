// The patient import's key reservation through the qeldb program: a database
// that cannot hand out keys ends the import at once with the reason, and a
// counter another workstation holds is waited for, and said so.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include <qel/datasource/EngineDrivers.h>
#include <qel/outside/odbc/Database.h>

#include "support/Program.h"
#include "support/Sandbox.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace qel::test {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kHeader = "name,kanji_name,number,birth_date,sex,doctor\n";

// Makes a file read-only for this process for the guard's life: root ignores
// file modes, so for root the file is marked immutable instead (ext4 and the
// like). Ok() is false where neither can be done.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(std::string path) : m_path(std::move(path)) {
        if (::geteuid() != 0) {
            m_ok = ::chmod(m_path.c_str(), 0444) == 0;
            return;
        }
        m_ok = SetImmutable(true);
    }
    ~ReadOnlyFile() {
        if (!m_ok) return;
        if (::geteuid() != 0) ::chmod(m_path.c_str(), 0644);
        else SetImmutable(false);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    bool Ok() const { return m_ok; }

private:
    bool SetImmutable(bool on) {
        const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return done;
    }

    std::string m_path;
    bool m_ok = false;
};

class ImportKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = Sandbox::Current().Path(std::string("keys-") +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db");
        // The first command creates the database with every table and first row.
        ASSERT_EQ(RunQeldb(List()).exitCode, 0);
    }
    std::vector<std::string> List() const { return {"patients", "list", "--data-source", "QelKeys", "--path", m_path}; }
    ProgramResult Import(const std::string& rows, const std::map<std::string, std::optional<std::string>>& env = {}) {
        const std::string file = WriteSandboxFile("keys.csv", std::string(kHeader) + rows);
        return RunQeldb({"patients", "import", file, "--data-source", "QelKeys", "--path", m_path}, env);
    }
    void Execute(const std::string& sql) {
        CDatabase connection;
        connection.OpenEx(qel::datasource::FileEngineConnectString(m_path).c_str());
        connection.ExecuteSQL(sql.c_str());
        connection.Close();
    }
    // The patients' names as the listing prints them.
    std::string Listed() { return RunQeldb(List()).out; }
    static size_t Notices(const std::string& err) {
        size_t notices = 0;
        for (const std::string& line : Lines(err)) notices += line.find("; retrying (attempt ") != std::string::npos;
        return notices;
    }

    std::string m_path;
};

// Without a retry that cannot help, an import ends in seconds (120 attempts
// a second apart would take two minutes).
constexpr auto kAtOnce = std::chrono::seconds(30);

TEST_F(ImportKeysTest, AReadOnlyDatabaseEndsTheImportAtOnce) {
    ReadOnlyFile readOnly(m_path);
    if (!readOnly.Ok()) GTEST_SKIP() << "cannot make " << m_path << " read-only here";
    const auto start = Clock::now();
    const ProgramResult run = Import("Rossi Mario,,1,,,Dott. Verdi\n", {{"QEL_WAIT_SCALE", std::nullopt}});
    EXPECT_LT(Clock::now() - start, kAtOnce);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_THAT(run.err, HasSubstr("cannot allocate doctor keys: cannot update the key row of table 1 (DOC200): "));
    EXPECT_THAT(run.err, HasSubstr("attempt to write a readonly database"));
    EXPECT_THAT(run.err, HasSubstr("nothing was imported"));
    EXPECT_EQ(Notices(run.err), 0u);
}

TEST_F(ImportKeysTest, AMissingKeyRowEndsTheImportAtOnce) {
    Execute("DELETE FROM TBL200 WHERE TBLNUMBER = 4");
    const auto start = Clock::now();
    const ProgramResult run = Import("Rossi Mario,,1,,,\n", {{"QEL_WAIT_SCALE", std::nullopt}});
    EXPECT_LT(Clock::now() - start, kAtOnce);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_THAT(run.err, HasSubstr("cannot allocate patient keys: TBL200 has no key row for table 4 (PAT200)"));
    EXPECT_THAT(Listed(), Not(HasSubstr("Rossi Mario")));
}

// An update matching no row is what another workstation's allocation leaves;
// a trigger dropping the counter updates stands in for it.
TEST_F(ImportKeysTest, ABusyCounterIsWaitedForAndReported) {
    Execute("CREATE TABLE HITS (N INTEGER)");
    Execute("INSERT INTO HITS VALUES (0)");
    Execute("CREATE TRIGGER busy BEFORE UPDATE ON TBL200 WHEN OLD.TBLNUMBER = 4 AND (SELECT N FROM HITS) < 3 "
            "BEGIN UPDATE HITS SET N = N + 1; SELECT RAISE(IGNORE); END");
    const std::map<std::string, std::optional<std::string>> fast = {{"QEL_WAIT_SCALE", "0.01"}};
    const std::string retry =
        "another workstation changed the key row of table 4 (PAT200) first; retrying (attempt 2 of 120)";
    const ProgramResult run = Import("Rossi Mario,,1,,,\n", fast);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr(retry));
    EXPECT_EQ(Notices(run.err), 1u) << "three retries within a second give one notice\n" << run.err;
    EXPECT_THAT(Listed(), HasSubstr("Rossi Mario"));

    // A counter that stays busy through every attempt.
    Execute("UPDATE HITS SET N = -1000000");
    const auto start = Clock::now();
    const ProgramResult busy = Import("Bianchi Laura,,2,,,\n", fast);
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
    EXPECT_EQ(busy.exitCode, 3);
    EXPECT_THAT(busy.err, HasSubstr("cannot allocate patient keys: 120 attempts in a row: another workstation "
                                    "changed the key row of table 4 (PAT200) first"));
    const size_t notices = Notices(busy.err);
    EXPECT_GE(notices, 1u);
    EXPECT_LE(notices, static_cast<size_t>(seconds) + 1) << "at most one notice a second\n" << busy.err;
}

}  // namespace
}  // namespace qel::test

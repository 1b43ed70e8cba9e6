#include <qel/platform/Registry.h>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "CapturedDiagnostics.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;
using qel::platform::Registry;

namespace {

using qel::test::ReadFile;
using qel::test::WriteFile;

const std::string kKey = "Software\\Talveni\\Quorva\\DatabaseJ3";

using Diagnostics = qel::test::CapturedDiagnostics;

class RegistryTest : public ::testing::Test {
protected:
    // Tests share the sandbox when the program is run by hand rather than by ctest.
    void SetUp() override { fs::remove(path); }

    std::string path = qel::test::Sandbox::Current().RegistryFile();
    Registry reg{path};
};

TEST_F(RegistryTest, WritesUseTheRegeditFormat) {
    ASSERT_TRUE(reg.SetString(kKey, "Name", "Studio Rossi"));
    ASSERT_TRUE(reg.SetInt(kKey, "CurrentDoctor", 7));
    ASSERT_TRUE(reg.SetString(kKey, "Path", "C:\\Data \"x\""));
    ASSERT_TRUE(reg.SetString(kKey, "", "default"));
    ASSERT_TRUE(reg.SetInt("Software\\Other", "we\"ird\\name", INT32_MIN));
    ASSERT_TRUE(reg.SetInt(kKey, "CurrentDoctor", -1));  // replaces its line
    EXPECT_EQ(ReadFile(path),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Talveni\\Quorva\\DatabaseJ3]\n"
              "\"Name\"=\"Studio Rossi\"\n\"CurrentDoctor\"=dword:ffffffff\n\"Path\"=\"C:\\\\Data \\\"x\\\"\"\n"
              "@=\"default\"\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"we\\\"ird\\\\name\"=dword:80000000\n");

    // Text that would break the line structure is refused.
    Diagnostics diagnostics;
    EXPECT_FALSE(reg.SetString(kKey, "Name", "two\nlines"));
    EXPECT_FALSE(reg.SetString(kKey, "Name", std::string("nul\0inside", 10)));
    EXPECT_FALSE(reg.SetInt(kKey, "bad\rname", 1));
    EXPECT_EQ(reg.GetString(kKey, "Name"), "Studio Rossi");
    EXPECT_EQ(diagnostics.Messages().size(), 3u);
}

TEST_F(RegistryTest, ValuesRoundTrip) {
    const std::string strings[] = {"", "<@>", "say \"hi\"", "C:\\Data\\", "\\\\srv\\\"s\"\\",
                                   "Citt\xC3\xA0 \xE6\x97\xA5\xF0\x9F\xA6\xB7", "  spaces  ", "]=[;@"};
    const LONG ints[] = {0, 7, -1, INT32_MIN, INT32_MAX, 0x1234abcd};
    for (const std::string& s : strings) ASSERT_TRUE(reg.SetString(kKey, "S" + s, s));
    for (LONG i : ints) ASSERT_TRUE(reg.SetInt(kKey, "I" + std::to_string(i), i));
    for (const std::string& s : strings) EXPECT_EQ(reg.GetString(kKey, "S" + s), s);
    for (LONG i : ints) EXPECT_EQ(reg.GetInt(kKey, "I" + std::to_string(i)), i);
    EXPECT_EQ(reg.ValueNames(kKey).size(), std::size(strings) + std::size(ints));
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirCase) {
    ASSERT_TRUE(reg.SetString(kKey, "Name", "one"));
    EXPECT_EQ(reg.GetString("SOFTWARE\\talveni\\QUORVA\\databasej3", "nAME"), "one");
    ASSERT_TRUE(reg.SetString("software\\TALVENI\\quorva\\DATABASEJ3", "NAME", "two"));
    EXPECT_EQ(reg.GetString(kKey, "Name"), "two");
    // Beyond ASCII too.
    ASSERT_TRUE(reg.SetInt(kKey, "Citt\xC3\xA0", 1));
    EXPECT_EQ(reg.GetInt(kKey, "CITT\xC3\x80"), 1);
    // Escaped quotes and backslashes, a non-ASCII letter after them, and one
    // that folds to ASCII (KELVIN SIGN to k); a name that differs only past
    // the ASCII start is another name.
    ASSERT_TRUE(reg.SetInt(kKey, "a\"b\\\xC3\x84rzte", 2));
    ASSERT_TRUE(reg.SetInt(kKey, "\xE2\x84\xAA" "elvin", 3));
    EXPECT_EQ(reg.GetInt(kKey, "A\"B\\\xC3\xA4RZTE"), 2);
    EXPECT_EQ(reg.GetInt(kKey, "A\"B\\\xC3\xA4RZTX"), std::nullopt);
    EXPECT_EQ(reg.GetInt(kKey, "A\"B\\"), std::nullopt);
    EXPECT_EQ(reg.GetInt(kKey, "KELVIN"), 3);
    ASSERT_TRUE(reg.DeleteValue(kKey, "a\"b\\\xC3\x84rzte"));
    ASSERT_TRUE(reg.DeleteValue(kKey, "kelvin"));

    // A new key takes the written case of its existing parents.
    ASSERT_TRUE(reg.SetInt("SOFTWARE\\TALVENI\\NewKey", "V", 1));
    EXPECT_EQ(reg.SubKeys("software\\talveni"), (std::vector<std::string>{"Quorva", "NewKey"}));

    std::string text = ReadFile(path);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Talveni\\Quorva\\DatabaseJ3]\n\"Name\"=\"two\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Talveni\\NewKey]"), std::string::npos);
    EXPECT_EQ(text.find("NAME"), std::string::npos);
    EXPECT_EQ(reg.ValueNames(kKey), (std::vector<std::string>{"Name", "Citt\xC3\xA0"}));
}

TEST_F(RegistryTest, HandEditedFileIsReadAndKeptExactly) {
    const std::string original =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n"
        "; profiles of the practice\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Talveni\\Quorva\\DatabaseJ3]\r\n"
        "\"Name\"=\"machine-wide, not ours\"\r\n"
        "\r\n\r\n"
        "[hkey_current_user\\software\\talveni\\quorva\\DatabaseJ3]\r\n"
        "  \"CurrentDoctor\" = dword:7\r\n"
        "\"Blob\"=hex:01,02,03,\\\r\n"
        "  04,05\r\n"
        "\"Path\"=\"C:\\Data\"\r\n"
        "@=\"default\"\r\n"
        "\"Expand\"=hex(2):25,00,00,00\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Talveni\\Quorva\\DatabaseListJ]\r\n"
        "\"Current\"=dword:00000003";  // no line end at the end
    WriteFile(path, original);

    EXPECT_EQ(reg.GetInt(kKey, "CurrentDoctor"), 7);
    EXPECT_EQ(reg.GetString(kKey, "Path"), "C:\\Data");  // a lone backslash is kept
    EXPECT_EQ(reg.GetString(kKey, ""), "default");
    EXPECT_FALSE(reg.GetString(kKey, "Blob").has_value());
    EXPECT_EQ(reg.GetInt("Software\\Talveni\\Quorva\\DatabaseListJ", "Current"), 3);
    EXPECT_FALSE(reg.GetString(kKey, "Name").has_value());  // that one is in another root
    EXPECT_EQ(reg.ValueNames(kKey), (std::vector<std::string>{"CurrentDoctor", "Blob", "Path", "", "Expand"}));

    // An unchanged value leaves the file as it is; new values go after the
    // last value of their key with the file's line end.
    ASSERT_TRUE(reg.SetString(kKey, "Path", "C:\\Data"));
    ASSERT_TRUE(reg.DeleteValue(kKey, "Missing"));
    EXPECT_EQ(ReadFile(path), original);
    ASSERT_TRUE(reg.SetString(kKey, "DatabaseID", "abc"));
    std::string expected = original;
    expected.insert(expected.find("\r\n\r\n[HKEY_CURRENT_USER"), "\r\n\"DatabaseID\"=\"abc\"");
    EXPECT_EQ(ReadFile(path), expected);
    ASSERT_TRUE(reg.SetInt("Software\\Talveni\\Quorva\\DatabaseListJ", "Count", 1));
    EXPECT_EQ(ReadFile(path), expected + "\r\n\"Count\"=dword:00000001\r\n");
}

// A write after the file's last line must not change how that line or the
// written one reads back.
TEST_F(RegistryTest, WritesAfterTheLastLineKeepItAndAreReadBack) {
    // Binary data whose continuation the file ends: the new value would be
    // read as more of it.
    for (const std::string end : {"", "\n"}) {
        const std::string original = "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"Bin\"=hex:01,\\" + end;
        WriteFile(path, original);
        ASSERT_TRUE(reg.SetInt("A", "Count", 7));
        EXPECT_EQ(reg.GetInt("A", "Count"), 7) << ReadFile(path);
        EXPECT_EQ(reg.ValueNames("A"), (std::vector<std::string>{"Bin", "Count"}));
        EXPECT_EQ(ReadFile(path).rfind(original, 0), 0u);
    }

    // A last line ending in a bare CR, which is its text, not a line end: an
    // LF after it would turn it into a CRLF and the CR would be lost.
    Diagnostics diagnostics;
    const std::string original = "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"X\"=dword:00000001\nnot a value\r";
    WriteFile(path, original);
    ASSERT_TRUE(reg.SetInt("B", "Y", 2));
    ASSERT_TRUE(reg.SetInt("A", "Z", 3));
    const std::string written = ReadFile(path);
    EXPECT_NE(written.find("not a value\r\r\n"), std::string::npos) << written;
    EXPECT_EQ(reg.GetInt("A", "X"), 1);
    EXPECT_EQ(reg.GetInt("B", "Y"), 2);
    EXPECT_EQ(reg.GetInt("A", "Z"), 3);
}

// A "name"=- line removes the value for lookups and listings alike, and a
// value after it is there again.
TEST_F(RegistryTest, AValueDeletedLaterInTheFileIsNotListed) {
    WriteFile(path, "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"Bin\"=hex:\n\"Keep\"=dword:00000002\n\"Bin\"=-\n"
                    "\"Back\"=-\n\"Back\"=\"here\"\n");
    EXPECT_EQ(reg.ValueNames("A"), (std::vector<std::string>{"Keep", "Back"}));
    EXPECT_FALSE(reg.GetInt("A", "Bin").has_value());
    EXPECT_EQ(reg.GetString("A", "Back"), "here");
    ASSERT_TRUE(reg.SetInt("A", "Bin", 5));
    EXPECT_EQ(reg.ValueNames("A"), (std::vector<std::string>{"Bin", "Keep", "Back"}));
    EXPECT_EQ(reg.GetInt("A", "Bin"), 5);
}

TEST_F(RegistryTest, Utf16FilesKeepTheirEncoding) {
    auto utf16 = [](const std::string& ascii) {
        std::string out = "\xFF\xFE";
        for (char c : ascii) out += std::string{c, '\0'};
        return out;
    };
    WriteFile(path, utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"S\"=\"w\"\r\n"));
    EXPECT_EQ(reg.GetString("A", "S"), "w");
    ASSERT_TRUE(reg.SetString("A", "T", "\xC3\xA8"));
    EXPECT_EQ(ReadFile(path), utf16("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
                                    "\"S\"=\"w\"\r\n\"T\"=\"") +
                                  std::string("\xE8\0", 2) + utf16("\"\r\n").substr(2));

    // A broken UTF-16 file is never written over.
    Diagnostics diagnostics;
    const std::string broken = std::string("\xFF\xFE", 2) + std::string("\x00\xD8\x41\x00", 4);
    WriteFile(path, broken);
    EXPECT_FALSE(reg.SetInt("A", "X", 1));
    EXPECT_EQ(ReadFile(path), broken);
    EXPECT_GE(diagnostics.Messages().size(), 1u);
}

TEST_F(RegistryTest, GarbageIsReportedOnceAndSurvivesWrites) {
    const std::string original =
        "REGEDIT4\n"
        "stray text before any key\n"
        "\"Orphan\"=dword:00000001\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Talveni\\Quorva\\DatabaseJ3]\n"
        "\"Name\"=\"Studio Rossi\"\n"
        "\"Broken\"=\"no closing quote\n"
        "\"Big\"=dword:123456789\n"
        "\"Odd\"=qword:00\n"
        "= nonsense =\n"
        "[unclosed section\n"
        "\x01\x02\xff binary\n"
        "\"CurrentDoctor\"=dword:00000004\n";
    WriteFile(path, original);
    Diagnostics diagnostics;

    EXPECT_EQ(reg.GetString(kKey, "Name"), "Studio Rossi");
    EXPECT_EQ(reg.GetInt(kKey, "CurrentDoctor"), 4);
    EXPECT_FALSE(reg.GetString(kKey, "Broken").has_value());
    EXPECT_FALSE(reg.GetInt(kKey, "Big").has_value());
    EXPECT_EQ(diagnostics.Count("cannot be parsed"), 8u);  // each bad line once, however often read
    EXPECT_NE(diagnostics.Count("line 7 "), 0u);

    ASSERT_TRUE(reg.SetInt(kKey, "CurrentDoctor", 5));
    ASSERT_TRUE(reg.SetString(kKey, "DatabaseID", "x"));
    ASSERT_TRUE(reg.DeleteValue(kKey, "Name"));
    ASSERT_TRUE(reg.SetInt("Software\\New", "V", 1));
    std::string text = ReadFile(path);
    std::istringstream lines(original);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("Name") != std::string::npos || line.find("CurrentDoctor") != std::string::npos) continue;
        EXPECT_NE(text.find(line + "\n"), std::string::npos) << "lost: " << line;
    }
    EXPECT_EQ(reg.GetInt(kKey, "CurrentDoctor"), 5);
    EXPECT_EQ(reg.GetString(kKey, "DatabaseID"), "x");
    EXPECT_EQ(diagnostics.Count("cannot be parsed"), 8u);

    // Without its header the file is still read, and that is reported once.
    WriteFile(path, "[HKEY_CURRENT_USER\\A]\n\"X\"=dword:00000002\n");
    EXPECT_EQ(reg.GetInt("A", "X"), 2);
    EXPECT_EQ(reg.GetInt("A", "X"), 2);
    EXPECT_EQ(diagnostics.Count("REGEDIT4"), 1u);
}

TEST_F(RegistryTest, WrongTypeReadsAsAbsentAndIsReportedOnce) {
    WriteFile(path, "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"Num\"=\"12\"\n\"Text\"=dword:0000000c\n"
                    "\"Bin\"=hex:0c,00,00,00\n\"Gone\"=dword:00000001\n\"Gone\"=-\n");
    Diagnostics diagnostics;
    EXPECT_FALSE(reg.GetInt("A", "Num").has_value());
    EXPECT_FALSE(reg.GetInt("A", "Num").has_value());
    EXPECT_FALSE(reg.GetString("A", "Text").has_value());
    EXPECT_FALSE(reg.GetInt("A", "Bin").has_value());
    EXPECT_FALSE(reg.GetString("A", "Bin").has_value());
    EXPECT_FALSE(reg.GetInt("A", "Gone").has_value());  // a deletion line after it
    EXPECT_EQ(diagnostics.Messages().size(), 4u);

    // Writing the other type replaces the value.
    ASSERT_TRUE(reg.SetInt("A", "Num", 12));
    EXPECT_EQ(reg.GetInt("A", "Num"), 12);
    EXPECT_EQ(ReadFile(path).find("\"12\""), std::string::npos);
}

TEST_F(RegistryTest, DuplicateSectionsActLikeAnImport) {
    WriteFile(path, "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"X\"=dword:00000001\n\"Y\"=\"first\"\n\n"
                    "[HKEY_CURRENT_USER\\B]\n\n[HKEY_CURRENT_USER\\a]\n\"x\"=dword:00000002\n");
    EXPECT_EQ(reg.GetInt("A", "X"), 2);
    ASSERT_TRUE(reg.SetInt("A", "X", 3));  // the last one, which is the one read
    EXPECT_EQ(reg.GetInt("A", "X"), 3);
    EXPECT_EQ(reg.ValueNames("A"), (std::vector<std::string>{"X", "Y"}));
}

TEST_F(RegistryTest, KeysAreCreatedListedAndDeleted) {
    EXPECT_FALSE(reg.KeyExists("Software\\Talveni"));
    EXPECT_TRUE(reg.SubKeys("Software").empty());
    ASSERT_TRUE(reg.CreateKey("\\Software\\Talveni\\Quorva\\DatabaseJ1\\"));
    ASSERT_TRUE(reg.SetInt("Software\\Talveni\\Quorva\\DatabaseJ2\\Sub", "V", 1));
    ASSERT_TRUE(reg.SetInt("Software\\Talveni\\Quorva2", "V", 1));
    ASSERT_TRUE(reg.CreateKey("Software\\Talveni\\Quorva"));  // exists through its subkeys: nothing written
    EXPECT_TRUE(reg.KeyExists("Software\\Talveni"));
    EXPECT_TRUE(reg.KeyExists("software\\talveni\\quorva\\databasej2"));
    EXPECT_FALSE(reg.KeyExists("Software\\Talveni\\Quorv"));
    EXPECT_EQ(reg.SubKeys("Software\\Talveni\\Quorva"), (std::vector<std::string>{"DatabaseJ1", "DatabaseJ2"}));
    EXPECT_EQ(reg.SubKeys("Software\\Talveni"), (std::vector<std::string>{"Quorva", "Quorva2"}));
    EXPECT_EQ(ReadFile(path).find("[HKEY_CURRENT_USER\\Software\\Talveni\\Quorva]"), std::string::npos);

    ASSERT_TRUE(reg.DeleteKey("Software\\Talveni\\Quorva"));
    EXPECT_FALSE(reg.KeyExists("Software\\Talveni\\Quorva\\DatabaseJ2\\Sub"));
    EXPECT_EQ(reg.GetInt("Software\\Talveni\\Quorva2", "V"), 1);  // a sibling with the same prefix stays
    EXPECT_TRUE(reg.DeleteKey("Software\\Talveni\\Quorva"));
    EXPECT_FALSE(reg.DeleteKey(""));
    EXPECT_TRUE(reg.KeyExists("Software"));
}

TEST_F(RegistryTest, UnreadableOrUnwritableFilesFailCleanly) {
    Diagnostics diagnostics;
    // A folder where the file should be cannot be read (even by root).
    fs::create_directories(path);
    EXPECT_FALSE(reg.GetInt(kKey, "X").has_value());
    EXPECT_FALSE(reg.GetInt(kKey, "Y").has_value());
    EXPECT_EQ(diagnostics.Count("is a folder, not a file"), 1u);
    EXPECT_EQ(reg.Problem(), "registry file " + path + " is a folder, not a file");
    EXPECT_FALSE(reg.SetInt(kKey, "X", 1));
    EXPECT_EQ(diagnostics.Count("is a folder, not a file; nothing is written"), 1u);
    EXPECT_TRUE(fs::is_directory(path));

    // A file whose folder cannot be made: the system's words for it.
    WriteFile(path + "-file", "not a folder");
    Registry nowhere(path + "-file/registry.reg");
    EXPECT_EQ(nowhere.Problem(), "registry file " + path + "-file/registry.reg cannot be read: Not a directory");
    EXPECT_FALSE(nowhere.CreateKey(kKey));
    EXPECT_FALSE(nowhere.GetString(kKey, "Name").has_value());
    EXPECT_EQ(Registry(path + "-missing").Problem(), "") << "a file not made yet is usable";
}

TEST_F(RegistryTest, FileThatIsNotARegistryFileIsNeverWrittenInto) {
    // An executable that happens to hold a section line still is no registry file.
    const char kElf[] = "\x7f" "ELF\x02\x01\x01\0\0\0\n[HKEY_CURRENT_USER\\A]\n\"X\"=dword:1\n";
    const std::string binary(kElf, sizeof kElf - 1);
    const std::string others[] = {binary, "name,number\nRossi,17\n", "  \n<xml>\n"};
    for (const std::string& content : others) {
        Diagnostics diagnostics;
        WriteFile(path, content);
        EXPECT_NE(reg.Problem().find("is not a registry file: it does not start with REGEDIT4"), std::string::npos)
            << reg.Problem();
        EXPECT_FALSE(reg.GetInt("A", "X").has_value()) << "it reads as empty";
        EXPECT_FALSE(reg.SetString(kKey, "Name", "x"));
        EXPECT_FALSE(reg.SetValues(kKey, {{"Name", std::nullopt, std::string("x")}}));
        EXPECT_FALSE(reg.DeleteKey("A"));
        EXPECT_EQ(ReadFile(path), content) << "not a byte changed";
        EXPECT_EQ(diagnostics.Count("nothing is written into it"), 3u);
    }
    // Blank, a header, a comment or a section first: a registry file.
    for (const std::string& content : {std::string(), std::string("\n\nREGEDIT4\n"), std::string("; by hand\n"),
                                       std::string("[HKEY_CURRENT_USER\\A]\n")}) {
        WriteFile(path, content);
        EXPECT_EQ(reg.Problem(), "") << content;
        EXPECT_TRUE(reg.SetInt("A", "X", 1)) << content;
    }
}

TEST_F(RegistryTest, SetValuesWritesAllOrNothingInOneUpdate) {
    ASSERT_TRUE(reg.SetString(kKey, "Old", "gone soon"));
    ASSERT_TRUE(reg.SetValues(kKey, {{"Name", std::nullopt, std::string("Studio Rossi")},
                                     {"CurrentDoctor", 7, std::nullopt},
                                     {"Old", std::nullopt, std::nullopt}}));
    EXPECT_EQ(reg.GetString(kKey, "Name"), "Studio Rossi");
    EXPECT_EQ(reg.GetInt(kKey, "CurrentDoctor"), 7);
    EXPECT_FALSE(reg.GetString(kKey, "Old").has_value());
    const std::string before = ReadFile(path);

    Diagnostics diagnostics;
    EXPECT_FALSE(reg.SetValues(kKey, {{"Path", std::nullopt, std::string("/srv/a.db")},
                                      {"Name", std::nullopt, std::string("two\nlines")}}));
    EXPECT_EQ(ReadFile(path), before) << "the good value before the bad one is not written either";
    EXPECT_EQ(diagnostics.Count("one line of text"), 1u);
}

TEST_F(RegistryTest, WriteKeepsTheFileModeAndFollowsLinks) {
    ASSERT_TRUE(reg.SetInt("A", "X", 1));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(path, fs::perms::group_read, fs::perm_options::add);
    std::string link = qel::test::Sandbox::Current().Path("linked.reg");
    fs::create_symlink(path, link);
    ASSERT_TRUE(Registry(link).SetInt("A", "X", 3));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(reg.GetInt("A", "X"), 3);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(RegistryTest, CurrentUserFollowsTheEnvironment) {
    Registry& current = Registry::CurrentUser();
    EXPECT_EQ(current.FilePath(), path);
    std::string other = qel::test::Sandbox::Current().Path("other/registry.reg");
    ::setenv("QEL_REGISTRY_FILE", other.c_str(), 1);
    EXPECT_EQ(current.FilePath(), other);
    ASSERT_TRUE(current.SetInt("A", "X", 1));
    EXPECT_TRUE(fs::exists(other));
    EXPECT_FALSE(fs::exists(path));

    ::unsetenv("QEL_REGISTRY_FILE");
    EXPECT_EQ(current.FilePath(), qel::test::Sandbox::Current().Path("config") + "/talveni/registry.reg");
    ::unsetenv("XDG_CONFIG_HOME");
    std::string home = qel::test::Sandbox::Current().Path("home");
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(current.FilePath(), home + "/.config/talveni/registry.reg");
    ::setenv("QEL_REGISTRY_FILE", path.c_str(), 1);  // the rest of a hand-run program
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothing) {
    constexpr int kValues = 1000;
    std::vector<pid_t> children;
    for (char writer : {'A', 'B'}) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            Registry own(path);
            int failures = 0;
            for (int i = 0; i < kValues; ++i)
                failures += !own.SetInt(kKey, std::string(1, writer) + std::to_string(i), i);
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(reg.ValueNames(kKey).size(), 2u * kValues);
    for (char writer : {'A', 'B'})
        for (int i = 0; i < kValues; i += 97) EXPECT_EQ(reg.GetInt(kKey, std::string(1, writer) + std::to_string(i)), i);
    for (const auto& entry : fs::directory_iterator(fs::path(path).parent_path())) {
        std::string file = entry.path().filename().string();
        EXPECT_TRUE(file.find("registry.reg.") == std::string::npos || file == "registry.reg.lock")
            << "temporary left behind: " << file;
    }
}

}  // namespace

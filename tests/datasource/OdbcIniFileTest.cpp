// The component's own writer of the user data source file: edits touch only
// their section, equal writes leave the file alone, the mode follows the
// passwords it holds, and a file it cannot read as an ini file is never
// rewritten.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <qel/datasource/OdbcIniFileInternal.h>

#include "support/Program.h"
#include "support/Sandbox.h"

using namespace qel::datasource::ini;
using qel::test::ReadFile;
using qel::test::Sandbox;

namespace {

const char* const kForeignText =
    "# written by hand\n"
    "[ODBC]\n"
    "Trace = No\n"
    "\n"
    "[Lab]\n"
    "Driver      = PostgreSQL Unicode\n"
    "Servername  = lab.example\n"
    "; a note inside a section\n"
    "Password    = p;w{d}\n"
    "\n"
    "[clinic]\n"
    "Driver=SQLite3\n"
    "Database=/old.db\n"
    "\n"
    "[Clinic]\n"
    "Driver=Duplicate\n";

std::string Edited(const std::function<void(OdbcIniText&)>& edit, const std::string& text = kForeignText) {
    std::string error;
    auto parsed = OdbcIniText::Parse(text, error);
    EXPECT_TRUE(parsed) << error;
    if (!parsed) return {};
    edit(*parsed);
    return parsed->Text();
}

struct stat Stat(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

TEST(OdbcIniText, EditsChangeOnlyTheirSection) {
    EXPECT_EQ(Edited([](OdbcIniText&) {}), kForeignText) << "an unedited file comes back byte for byte";

    // Names compare without case; the first of two equal sections is the
    // one the driver manager reads and the one edited.
    const std::string replaced =
        Edited([](OdbcIniText& t) { t.ReplaceSection("CLINIC", {{"Driver", "SQLite3"}, {"Database", "/new.db"}}); });
    EXPECT_EQ(replaced, std::string(kForeignText).replace(std::string(kForeignText).find("Database=/old.db"),
                                                          16, "Database=/new.db"));

    const std::string added = Edited([](OdbcIniText& t) { t.ReplaceSection("New", {{"Driver", "SQLite3"}}); });
    EXPECT_EQ(added, std::string(kForeignText) + "\n[New]\nDriver=SQLite3\n\n");

    // A key set keeps the section's other keys and comments; a new key goes
    // behind its last key, before the blank line.
    const std::string driver = Edited([](OdbcIniText& t) {
        t.SetKey("lab", "Driver", "PostgreSQL ANSI");
        t.SetKey("Lab", "Port", "5433");
    });
    EXPECT_NE(driver.find("[Lab]\nDriver=PostgreSQL ANSI\nServername  = lab.example\n; a note inside a section\n"
                          "Password    = p;w{d}\nPort=5433\n\n[clinic]"),
              std::string::npos)
        << driver;

    // A removal takes every section of the name and nothing else.
    const std::string removed = Edited([](OdbcIniText& t) { EXPECT_TRUE(t.RemoveSection("Clinic")); });
    EXPECT_EQ(removed, std::string(kForeignText).substr(0, std::string(kForeignText).find("[clinic]")));

    std::string error;
    auto text = OdbcIniText::Parse(kForeignText, error);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->Section("LAB"), (Keys{{"Driver", "PostgreSQL Unicode"}, {"Servername", "lab.example"},
                                          {"Password", "p;w{d}"}}));
    EXPECT_EQ(text->Section("Missing"), std::nullopt);
    EXPECT_TRUE(text->HoldsPassword());
    EXPECT_FALSE(text->RemoveSection("Missing"));
}

TEST(OdbcIniText, LinesThatAreNotOursAreRefusedWithTheirNumber) {
    const std::pair<std::string, std::string> cases[] = {
        {"[A]\nDriver=x\n[B\n", "line 3"},
        {"Driver=x\n[A]\n", "line 1"},
        {"[A]\njust words\n", "line 2"},
        {"[]\n", "line 1"},
        {std::string("[A]\nDriver=x\0y\n", 14), "zero byte"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_FALSE(OdbcIniText::Parse(text, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
    std::string error;
    EXPECT_TRUE(OdbcIniText::Parse("", error));
    EXPECT_TRUE(OdbcIniText::Parse("\r\n  ; c\n[A] \r\n k = v \r\n", error)) << error;
}

TEST(OdbcIniFile, EqualWritesLeaveTheFileAloneAndTheModeFollowsPasswords) {
    const std::string path = Sandbox::Current().Path("inifile/odbc.ini");
    OdbcIniFile file(path);
    ASSERT_TRUE(file.WriteSection("A", {{"Driver", "SQLite3"}, {"Database", "/a.db"}})) << file.LastError();
    EXPECT_EQ(Stat(path).st_mode & 0777, 0600u) << "a new file is its owner's";
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

    const ino_t before = Stat(path).st_ino;
    ASSERT_TRUE(file.WriteSection("a", {{"Database", "/a.db"}, {"driver", "SQLite3"}}));
    ASSERT_TRUE(file.SetKey("A", "Driver", "SQLite3"));
    ASSERT_TRUE(file.RemoveSection("Missing"));
    EXPECT_EQ(Stat(path).st_ino, before) << "nothing changed, so the file was not replaced";

    ASSERT_TRUE(file.WriteSection("B", {{"Driver", "SQLite3"}, {"Database", "/b.db"}}));
    EXPECT_NE(Stat(path).st_ino, before);
    EXPECT_EQ(Stat(path).st_mode & 0777, 0640u) << "a rewrite keeps the mode";

    ASSERT_TRUE(file.WriteSection("P", {{"Driver", "PostgreSQL Unicode"}, {"PWD", "x"}}));
    EXPECT_EQ(Stat(path).st_mode & 0777, 0600u) << "a password is for the owner only";
    EXPECT_EQ(ReadFile(path), "[A]\nDriver=SQLite3\nDatabase=/a.db\n\n[B]\nDriver=SQLite3\nDatabase=/b.db\n\n"
                              "[P]\nDriver=PostgreSQL Unicode\nPWD=x\n\n");

    // Written through a link, the file stays linked.
    const std::string link = Sandbox::Current().Path("inifile/link.ini");
    std::filesystem::create_symlink(path, link);
    OdbcIniFile linked(link);
    ASSERT_TRUE(linked.RemoveSection("B"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(path).find("[B]"), std::string::npos);
}

TEST(OdbcIniFile, WhatCannotBeParsedOrWrittenIsNeverWritten) {
    const std::string path = Sandbox::Current().Path("broken/odbc.ini");
    std::filesystem::create_directories(Sandbox::Current().Path("broken"));
    const std::string broken = "[A]\nDriver=SQLite3\n\x01\x02 binary junk\n";
    std::ofstream(path, std::ios::binary) << broken;
    OdbcIniFile file(path);
    EXPECT_FALSE(file.WriteSection("B", {{"Driver", "SQLite3"}}));
    EXPECT_NE(file.LastError().find(path), std::string::npos) << file.LastError();
    EXPECT_NE(file.LastError().find("line 3"), std::string::npos) << file.LastError();
    EXPECT_FALSE(file.RemoveSection("A"));
    EXPECT_EQ(ReadFile(path), broken);

    // Names and values the driver manager would read back otherwise.
    OdbcIniFile fresh(Sandbox::Current().Path("broken/fresh.ini"));
    EXPECT_FALSE(fresh.WriteSection("a]b", {{"Driver", "x"}}));
    EXPECT_FALSE(fresh.WriteSection("A", {{"Dri=ver", "x"}}));
    EXPECT_FALSE(fresh.WriteSection("A", {{"Driver", "two\nlines"}}));
    EXPECT_FALSE(fresh.WriteSection("A", {{"Driver", " padded"}}));
    EXPECT_FALSE(std::filesystem::exists(Sandbox::Current().Path("broken/fresh.ini")));

    // A folder in the file's place is named as such.
    std::filesystem::create_directories(Sandbox::Current().Path("broken/folder.ini"));
    OdbcIniFile folder(Sandbox::Current().Path("broken/folder.ini"));
    EXPECT_FALSE(folder.WriteSection("A", {{"Driver", "x"}}));
    EXPECT_NE(folder.LastError().find("is a folder"), std::string::npos) << folder.LastError();
}

}  // namespace

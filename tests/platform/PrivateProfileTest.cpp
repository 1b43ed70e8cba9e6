// Private profile files: names without case, integers, quotes and duplicate
// keys read the Windows way, bounded text buffers, and writes that keep the
// key order.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <qel/platform/PrivateProfile.h>

#include "support/Files.h"
#include "support/Sandbox.h"

namespace {

using namespace qel::platform;

class PrivateProfile : public ::testing::Test {
protected:
    void Write(const std::string& text) { qel::test::WriteFile(m_file, text); }
    std::string Read() { return qel::test::ReadFile(m_file); }
    int Int(const char* key) { return GetPrivateProfileIntA("Sect", key, -999, m_file.c_str()); }

    std::string m_file = qel::test::Sandbox::Current().Path("profile.ini");
};

TEST_F(PrivateProfile, IntegersAndNamesReadTheWindowsWay) {
    Write("[sECT]\nPlain=42\nsigned= -7\ntail=12abc\nword=abc\nhex=0x1F\nhuge=4294967297\nempty=\n");
    EXPECT_EQ(Int("PLAIN"), 42);
    EXPECT_EQ(Int("Signed"), -7);
    EXPECT_EQ(Int("tail"), 12);
    EXPECT_EQ(Int("word"), 0);
    EXPECT_EQ(Int("hex"), 31);
    EXPECT_EQ(Int("huge"), 1) << "32 bits, wrapped";
    EXPECT_EQ(Int("empty"), 0);
    EXPECT_EQ(Int("absent"), -999);
    EXPECT_EQ(GetPrivateProfileIntA("Other", "Plain", -999, m_file.c_str()), -999);
    EXPECT_EQ(GetPrivateProfileIntA("Sect", "Plain", -999, (m_file + ".missing").c_str()), -999);
}

TEST_F(PrivateProfile, QuotesDuplicatesAndSectionsReadTheWindowsWay) {
    Write("\xEF\xBB\xBF; a comment\r\n[Sect]\r\nFormat=\"Q %i\"\r\nSingle = 'x y' \r\nInner=a \"b\" c\r\n"
          "Uneven=\"open\r\nMixed=\"x'\r\nTwice=\"\"q\"\"\r\nLone=\"\r\nNumber=\"12\"\r\n"
          "Dup=first\r\ndup=second\r\n# Hidden=1\r\nno equals sign\r\n"
          "[Other]\r\nOnlyOther=1\r\n[sect]\r\nDup=third\r\nLater=4\r\n");
    auto text = [&](const char* key) {
        char buffer[64];
        GetPrivateProfileStringA("Sect", key, "<none>", buffer, sizeof buffer, m_file.c_str());
        return std::string(buffer);
    };
    EXPECT_EQ(text("Format"), "Q %i") << "one pair of enclosing quotes comes off";
    EXPECT_EQ(text("Single"), "x y");
    EXPECT_EQ(text("Inner"), "a \"b\" c");
    EXPECT_EQ(text("Uneven"), "\"open");
    EXPECT_EQ(text("Mixed"), "\"x'");
    EXPECT_EQ(text("Twice"), "\"q\"") << "only one pair";
    EXPECT_EQ(text("Lone"), "\"");
    EXPECT_EQ(Int("Number"), 12);
    EXPECT_EQ(text("Dup"), "first") << "the first of equal keys";
    EXPECT_EQ(text("Hidden"), "<none>");
    EXPECT_EQ(text("Later"), "<none>") << "a second section of the same name is not read";
    EXPECT_EQ(GetPrivateProfileIntA("other", "OnlyOther", -999, m_file.c_str()), 1);
}

TEST_F(PrivateProfile, TextIsCutToTheBuffer) {
    Write("[S]\nlong=" + std::string(150, 'a') + "\nutf=" + std::string(98, 'b') + "\xc3\xa0" + "\n");
    char buffer[100];
    EXPECT_EQ(GetPrivateProfileStringA("s", "LONG", "", buffer, sizeof buffer, m_file.c_str()), 99u);
    EXPECT_EQ(std::string(buffer), std::string(99, 'a'));
    EXPECT_EQ(GetPrivateProfileStringA("s", "utf", "", buffer, sizeof buffer, m_file.c_str()), 98u)
        << "a character that does not fit is left out whole";
    EXPECT_EQ(GetPrivateProfileStringA("s", "none", "dflt", buffer, sizeof buffer, m_file.c_str()), 4u);
    EXPECT_STREQ(buffer, "dflt");
    EXPECT_EQ(GetPrivateProfileStringA("s", "none", nullptr, buffer, sizeof buffer, m_file.c_str()), 0u);
    EXPECT_EQ(GetPrivateProfileStringA("s", "long", "", nullptr, 10, m_file.c_str()), 0u);

    Write("[S]\nlong=1\n" + std::string(kMaxProfileFileSize, ';'));
    EXPECT_EQ(GetPrivateProfileIntA("S", "long", -999, m_file.c_str()), -999) << "an oversized file reads as empty";
}

TEST_F(PrivateProfile, WritesKeepOrderAndReplaceValues) {
    ASSERT_TRUE(WritePrivateProfileStringA("General", "B", "1", m_file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("General", "A", "2", m_file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("Next", "C", "3", m_file.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("general", "b", "4", m_file.c_str()));
    const std::string text = Read();
    EXPECT_LT(text.find("B = 4"), text.find("A = 2"));
    EXPECT_LT(text.find("A = 2"), text.find("[Next]"));
    EXPECT_TRUE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, m_file.c_str()));

    ASSERT_TRUE(WritePrivateProfileStringA("General", "A", nullptr, m_file.c_str()));
    EXPECT_EQ(GetPrivateProfileIntA("General", "A", -999, m_file.c_str()), -999);
    ASSERT_TRUE(WritePrivateProfileStringA("Next", nullptr, nullptr, m_file.c_str()));
    EXPECT_EQ(Read().find("Next"), std::string::npos);

    EXPECT_FALSE(WritePrivateProfileStringA("S", "K", "V", qel::test::Sandbox::Current().Path("no/dir.ini").c_str()));
}

}  // namespace

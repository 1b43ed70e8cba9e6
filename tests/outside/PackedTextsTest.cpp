#include <gtest/gtest.h>

#include <string>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/PackedTexts.h>

using qel::records::PackedTexts;

namespace {

// Texts of every length class the block encodes: empty, one-byte lengths,
// lengths that need two and three varint bytes, and bytes a C string cannot hold.
TEST(PackedTexts, KeepsEveryTextWholeAndNulTerminated) {
    const std::string withNul("A\0B", 3);
    const std::string twoBytes(200, 'x');
    const std::string threeBytes(20000, 'y');
    PackedTexts<5> texts({"", withNul, twoBytes, threeBytes, "ROSSI"});
    EXPECT_EQ(texts[0], "");
    EXPECT_EQ(texts[1], withNul);
    EXPECT_EQ(texts[2], twoBytes);
    EXPECT_EQ(texts[3], threeBytes);
    EXPECT_EQ(texts[4], "ROSSI");
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(texts[i].data()[texts[i].size()], '\0') << i;

    texts.Set(3, "short");
    EXPECT_EQ(texts[3], "short");
    EXPECT_EQ(texts[2], twoBytes);
    EXPECT_EQ(texts[4], "ROSSI");

    PackedTexts<5> copy = texts;
    texts.Set(4, "");
    EXPECT_EQ(copy[4], "ROSSI");
    EXPECT_EQ(texts[4], "");
}

TEST(PackedTexts, SettingATextFromAViewOfTheSameBlockKeepsIt) {
    PackedTexts<2> texts({"BIANCHI", ""});
    texts.Set(1, texts[0]);
    EXPECT_EQ(texts[0], "BIANCHI");
    EXPECT_EQ(texts[1], "BIANCHI");
    texts.Set(0, texts[0].substr(1));
    EXPECT_EQ(texts[0], "IANCHI");
    texts.Set(0, "");
    texts.Set(1, "");
    EXPECT_EQ(texts[0], "");
    EXPECT_EQ(texts[1], "");
}

// A patient's fields are independent of each other and of its dates' statuses.
TEST(PackedTexts, PatientFieldsReadBackAsSet) {
    CPatientData patient;
    EXPECT_EQ(patient.GetDateBirth().GetStatus(), CExtOleDateTime::null);
    patient.SetName("ROSSI MARIO");
    patient.SetNumber("A-1");
    patient.SetID(std::string(32, '7'));
    patient.SetKanjiName("\xE5\xB1\xB1\xE7\x94\xB0");
    patient.SetDateBirth(CExtOleDateTime(1980, 2, 29));
    CExtOleDateTime invalid;
    invalid.SetStatus(CExtOleDateTime::invalid);
    patient.SetDateCreated(invalid);
    EXPECT_EQ(patient.GetName(), "ROSSI MARIO");
    EXPECT_EQ(patient.GetNumber(), "A-1");
    EXPECT_EQ(patient.GetID(), std::string(32, '7'));
    EXPECT_EQ(patient.GetKanjiName(), "\xE5\xB1\xB1\xE7\x94\xB0");
    EXPECT_EQ(patient.GetDateBirth(), CExtOleDateTime(1980, 2, 29));
    EXPECT_EQ(patient.GetDateCreated().GetStatus(), CExtOleDateTime::invalid);
    EXPECT_EQ(patient.GetDateNewestImage().GetStatus(), CExtOleDateTime::null);
    EXPECT_LE(sizeof(CPatientData), 88u);
}

}  // namespace

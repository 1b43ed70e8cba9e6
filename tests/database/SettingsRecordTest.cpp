// The settings record's bytes, checked against records built by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <qel/database/SettingsRecord.h>

namespace {

using qel::settings::DatabaseSettings;
using qel::settings::DecodeSettings;
using qel::settings::EncodeSettings;

// Builds a record field by field, independent of the codec.
struct Bytes {
    std::vector<std::uint8_t> b;
    Bytes& Int(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        b.insert(b.end(), {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                           static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)});
        return *this;
    }
    Bytes& Str(const std::string& s) {
        Int(static_cast<std::int32_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& Date(int y, int m, int d) { return Int(y).Int(m).Int(d); }
};

DatabaseSettings Decode(const std::vector<std::uint8_t>& bytes, bool expectOk) {
    DatabaseSettings s;
    s.lImageMediaNumber = 99;  // whatever was there is replaced
    EXPECT_EQ(DecodeSettings(bytes.data(), bytes.size(), &s), expectOk);
    return s;
}

TEST(SettingsRecord, DefaultsWriteTheDocumentedNinetyTwoBytes) {
    const Bytes expected = Bytes()
                               .Int(5)
                               .Int(0)
                               .Int(0)    // current medium
                               .Int(1)    // duplicate patient IDs allowed
                               .Int(0)    // disk space check off
                               .Int(200)
                               .Int(100)
                               .Int(0)    // no entries
                               .Int(0)    // default media name off
                               .Str("%Y%m%d_%i")
                               .Date(1900, 1, 1)
                               .Int(1)
                               .Str("***")
                               .Date(1900, 1, 1)
                               .Int(0)
                               .Int(0);
    ASSERT_EQ(expected.b.size(), 92u);
    EXPECT_EQ(EncodeSettings(DatabaseSettings()), expected.b);
}

TEST(SettingsRecord, EveryFieldLandsInItsPlace) {
    DatabaseSettings s;
    s.bCompressGrayscaleImages = TRUE;
    s.bCompressColorImages = 2;  // kept as given
    s.bAllowDuplicatePatientIDs = FALSE;
    s.lCurrentMedia = 12;
    s.bDefaultImageMediaName = TRUE;
    s.strImageMediaNameFormat = "Disco_%i";
    s.dateImageMediaNumber = CExtOleDateTime(2024, 3, 15, 18, 30, 0);
    s.lImageMediaNumber = -3;
    s.dateLastImageMediaCreation.SetStatus(CExtOleDateTime::invalid);
    s.diskSpace.m_bEnabled = TRUE;
    s.diskSpace.m_lWarningThreshold = 500;
    s.diskSpace.m_lErrorThreshold = -1;
    CDiskSpaceItem item;
    item.m_lKey = 0x01020304;
    item.m_strPath = "/srv/città";
    item.m_lParam = 77;
    item.m_lNext = -1;
    s.diskSpace.m_aItems = {item};

    const Bytes expected = Bytes()
                               .Int(5)
                               .Int(0)
                               .Int(12)
                               .Int(0)
                               .Int(1)
                               .Int(500)
                               .Int(-1)
                               .Int(1)
                               .Int(0x01020304)
                               .Str("/srv/città")
                               .Int(77)
                               .Int(-1)
                               .Int(1)
                               .Str("Disco_%i")
                               .Date(2024, 3, 15)
                               .Int(-3)
                               .Str("***")
                               .Date(-1, -1, -1)
                               .Int(1)
                               .Int(2);
    const std::vector<std::uint8_t> written = EncodeSettings(s);
    EXPECT_EQ(written, expected.b);
    EXPECT_EQ(written[32], 0x04) << "integers are little-endian";

    DatabaseSettings read = Decode(written, true);
    EXPECT_EQ(read.dateImageMediaNumber.GetValue(), CExtOleDateTime(2024, 3, 15).GetValue()) << "midnight";
    s.dateImageMediaNumber = CExtOleDateTime(2024, 3, 15);
    EXPECT_EQ(read, s);
}

// Versions 0 and 6, huge counts and negative lengths are seeds of the
// fuzz corpus (SettingsCorpusTest); here the fields of older versions.
TEST(SettingsRecord, OlderVersionsReadTheirFieldsOnly) {
    Bytes v4 = Bytes().Int(4).Int(1).Int(4).Int(0).Int(1).Int(50).Int(20).Int(0).Int(1).Str("M%i").Date(2023, 2, 30);
    v4.Int(8).Str("whatever").Date(2024, 2, 29).Int(123456);  // trailing bytes are ignored
    DatabaseSettings read = Decode(v4.b, true);
    EXPECT_EQ(read.bCompressGrayscaleImages, TRUE) << "the legacy flag fills both";
    EXPECT_EQ(read.bCompressColorImages, TRUE);
    EXPECT_EQ(read.bAllowDuplicatePatientIDs, FALSE);
    EXPECT_EQ(read.diskSpace.m_lWarningThreshold, 50);
    EXPECT_EQ(read.strImageMediaNameFormat, "M%i");
    EXPECT_EQ(read.dateImageMediaNumber.GetStatus(), CExtOleDateTime::invalid) << "a bad date, not a bad record";
    EXPECT_EQ(read.lImageMediaNumber, 8);
    EXPECT_EQ(read.dateLastImageMediaCreation, CExtOleDateTime(2024, 2, 29));

    v4.b[0] = 3;
    EXPECT_EQ(Decode(v4.b, true).dateLastImageMediaCreation, qel::settings::DefaultSettingsDate());
}

TEST(SettingsRecord, ARecordCutAnywhereReadsAsDefaults) {
    const std::vector<std::uint8_t> good = EncodeSettings(DatabaseSettings());
    for (size_t n = 0; n < good.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Decode(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(n)), false),
                  DatabaseSettings());
    }
}

}  // namespace

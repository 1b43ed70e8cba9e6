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

TEST(SettingsRecord, OlderVersionsReadTheirFieldsAndKeepTheRestDefault) {
    DatabaseSettings v2 = Decode(Bytes().Int(2).Int(1).Int(7).b, true);
    EXPECT_EQ(v2.bCompressGrayscaleImages, TRUE);
    EXPECT_EQ(v2.bCompressColorImages, TRUE);
    EXPECT_EQ(v2.lCurrentMedia, 7);
    v2.bCompressGrayscaleImages = v2.bCompressColorImages = FALSE;
    v2.lCurrentMedia = 0;
    EXPECT_EQ(v2, DatabaseSettings());

    EXPECT_EQ(Decode(Bytes().Int(1).Int(3).b, true).bCompressColorImages, 3);

    const Bytes v3 = Bytes().Int(3).Int(0).Int(4).Int(0).Int(1).Int(50).Int(20).Int(0).Int(1).Str("M%i").Date(2023, 12,
                                                                                                              31);
    Bytes v4 = v3;
    v4.b[0] = 4;
    v4.Int(8).Str("whatever").Date(2024, 2, 29);
    DatabaseSettings read4 = Decode(v4.b, true);
    EXPECT_EQ(read4.bAllowDuplicatePatientIDs, FALSE);
    EXPECT_EQ(read4.diskSpace.m_lWarningThreshold, 50);
    EXPECT_EQ(read4.strImageMediaNameFormat, "M%i");
    EXPECT_EQ(read4.lImageMediaNumber, 8);
    EXPECT_EQ(read4.dateLastImageMediaCreation, CExtOleDateTime(2024, 2, 29));
    EXPECT_EQ(read4.bCompressColorImages, FALSE);

    // A version 3 record ends before the last creation date.
    Bytes v3Full = v3;
    v3Full.Int(8).Str("***");
    EXPECT_EQ(Decode(v3Full.b, true).dateLastImageMediaCreation, qel::settings::DefaultSettingsDate());
    // Bytes after the version's last field are ignored.
    v3Full.Int(123456);
    EXPECT_EQ(Decode(v3Full.b, true).lImageMediaNumber, 8);
}

TEST(SettingsRecord, MalformedRecordsReadAsDefaults) {
    const std::vector<std::uint8_t> good = EncodeSettings(DatabaseSettings());
    EXPECT_EQ(Decode(Bytes().Int(0).Int(1).Int(7).b, false), DatabaseSettings());
    EXPECT_EQ(Decode(Bytes().Int(6).Int(1).Int(7).b, false), DatabaseSettings());
    EXPECT_EQ(Decode({}, false), DatabaseSettings());
    // Cut at every length: inside the template string, inside a date, ...
    for (size_t n = 1; n < good.size(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(Decode(std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<long>(n)), false),
                  DatabaseSettings());
    }
    // Counts and lengths that claim more than there is.
    Bytes hugeCount = Bytes().Int(5).Int(1).Int(7).Int(1).Int(1).Int(1).Int(1).Int(0x7FFFFFFF);
    EXPECT_EQ(Decode(hugeCount.b, false), DatabaseSettings());
    Bytes negativeCount = Bytes().Int(5).Int(1).Int(7).Int(1).Int(1).Int(1).Int(1).Int(-1);
    EXPECT_EQ(Decode(negativeCount.b, false), DatabaseSettings());
    Bytes longString = Bytes().Int(3).Int(0).Int(0).Int(1).Int(0).Int(1).Int(1).Int(0).Int(0).Int(1000).Str("x");
    EXPECT_EQ(Decode(longString.b, false), DatabaseSettings());
    // A date that does not exist is a bad date, not a bad record.
    Bytes badDate = Bytes().Int(3).Int(0).Int(0).Int(1).Int(0).Int(1).Int(1).Int(0).Int(0).Str("").Date(2023, 2, 30);
    badDate.Int(1).Str("***");
    EXPECT_EQ(Decode(badDate.b, true).dateImageMediaNumber.GetStatus(), CExtOleDateTime::invalid);
}

}  // namespace

// The current medium, the day's media number and the naming options on a
// database opened end to end.
#include <gtest/gtest.h>

#include <qel/outside/ExtOleDateTime.h>

#include "support/EngineDatabase.h"

namespace {

using qel::test::Take;

class Media : public qel::test::OpenedDatabase {};

// Media type 1 of a new database is a network folder, 2 is "CD-ROM".
TEST_P(Media, CurrentMediumMustBeASingleNetworkFolderMedium) {
    InsertMedium(10, 1);
    InsertMedium(11, 2);

    EXPECT_EQ(m_db.GetLCurrentMedia(), 0);
    m_db.SetLCurrentMedia(11);
    EXPECT_EQ(m_db.GetLErrorCode(), 60);
    m_db.SetLCurrentMedia(12);
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);
    EXPECT_EQ(m_db.GetLCurrentMedia(), 0) << "a rejected key keeps the old value";

    m_db.SetLCurrentMedia(10);
    EXPECT_EQ(m_db.GetLErrorCode(), 0);
    EXPECT_EQ(m_db.GetLCurrentMedia(), 10);

    // A media type added behind the loaded media type set is not known.
    Exec("INSERT INTO IMT200 (IMTKEY, IMTNAME, IMTWARNING, IMTERROR) VALUES (99, 'Late', 0, 0)");
    InsertMedium(13, 99);
    m_db.SetLCurrentMedia(13);
    EXPECT_EQ(m_db.GetLErrorCode(), 8020);

    // Reading re-reads the record: another workstation's choice shows.
    CDatabaseObj other;
    ASSERT_TRUE(OpenDatabase(other, m_location, "QelMedia2"));
    EXPECT_EQ(other.GetLCurrentMedia(), 10);
    other.SetLCurrentMedia(0);
    EXPECT_EQ(other.GetLErrorCode(), 0);
    other.Close();
    EXPECT_EQ(m_db.GetLCurrentMedia(), 0);
}

TEST_P(Media, UnchangedOrZeroKeySavesNothing) {
    InsertMedium(10, 1);
    m_db.SetLCurrentMedia(10);
    ASSERT_EQ(m_db.GetLErrorCode(), 0);
    BreakSettingsRow();

    m_db.SetLCurrentMedia(10);
    EXPECT_EQ(m_db.GetLErrorCode(), 0) << "the same key is not saved again";
    m_db.SetLCurrentMedia(0);
    EXPECT_EQ(m_db.GetLErrorCode(), 10) << "0 passes every check and fails only in the save";
    EXPECT_EQ(m_db.lCurrentMedia, 10) << "a failed save puts the old value back";
}

TEST_P(Media, DeletedCurrentMediumReadsAsNone) {
    InsertMedium(10, 1);
    m_db.SetLCurrentMedia(10);
    ASSERT_TRUE(m_db.DeleteMediaData(10));
    EXPECT_EQ(m_db.GetLCurrentMedia(), 0);
    EXPECT_EQ(m_db.GetLErrorCode(), 0);
}

TEST_P(Media, NumberingRestartsEveryDay) {
    EXPECT_EQ(m_db.GetImageMediaNumber(), 1) << "1 January 1900 is never today";
    ASSERT_TRUE(m_db.IncrementImageMediaNumber());
    EXPECT_EQ(m_db.GetImageMediaNumber(), 2);
    ASSERT_TRUE(m_db.IncrementImageMediaNumber());
    EXPECT_EQ(m_db.GetImageMediaNumber(), 3);
    EXPECT_EQ(m_db.dateImageMediaNumber.GetValue(), CExtOleDateTime::Today().GetValue());

    // The stored day is yesterday: a new day starts again at 1.
    m_db.dateImageMediaNumber = CExtOleDateTime::Today().GetValue() - 1.0;
    EXPECT_EQ(m_db.GetImageMediaNumber(), 1);
    ASSERT_TRUE(m_db.IncrementImageMediaNumber());
    EXPECT_EQ(m_db.lImageMediaNumber, 2);
    EXPECT_EQ(m_db.GetImageMediaNumber(), 2);

    // An invalid date of the same value is not today.
    m_db.dateImageMediaNumber.SetStatus(CExtOleDateTime::invalid);
    EXPECT_EQ(m_db.GetImageMediaNumber(), 1);

    // The numbers survive a re-read of the settings.
    m_db.dateImageMediaNumber = CExtOleDateTime::Today();
    ASSERT_TRUE(m_db.IncrementImageMediaNumber());
    m_db.GetLCurrentMedia();
    EXPECT_EQ(m_db.GetImageMediaNumber(), 3);

    BreakSettingsRow();
    EXPECT_FALSE(m_db.IncrementImageMediaNumber());
    EXPECT_EQ(m_db.GetLErrorCode(), 0) << "a failed save is not reported as an error code";
    EXPECT_EQ(m_db.GetImageMediaNumber(), 4) << "the advanced number stays in memory";
}

TEST_P(Media, NamingOptions) {
    EXPECT_EQ(Take(m_db.GetStrImageMediaNameFormat()), "%Y%m%d_%i");
    BreakSettingsRow();
    m_db.SetStrImageMediaNameFormat("  %Y%m%d_%i \t");
    EXPECT_EQ(m_db.GetLErrorCode(), 0) << "equal after trimming: nothing is saved";
    m_db.SetStrImageMediaNameFormat("%y%M%D_%I");
    EXPECT_EQ(m_db.GetLErrorCode(), 10) << "the comparison is case-sensitive";
    EXPECT_EQ(Take(m_db.GetStrImageMediaNameFormat()), "%Y%m%d_%i") << "restored after the failed save";
    m_db.SetBDefaultImageMediaName(TRUE);
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
    EXPECT_FALSE(m_db.GetBDefaultImageMediaName());
    m_db.SetDateLastImageMediaCreation(45000.0);
    EXPECT_EQ(m_db.GetLErrorCode(), 10);
    EXPECT_EQ(m_db.GetDateLastImageMediaCreation(), CExtOleDateTime(1900, 1, 1).GetValue());
}

TEST_P(Media, NamingOptionsAreStored) {
    m_db.SetStrImageMediaNameFormat("  CD_%i ");
    m_db.SetBDefaultImageMediaName(TRUE);
    m_db.dateLastImageMediaCreation.SetStatus(CExtOleDateTime::invalid);
    m_db.SetDateLastImageMediaCreation(45000.75);
    EXPECT_EQ(m_db.dateLastImageMediaCreation.GetStatus(), CExtOleDateTime::valid);
    m_db.SetStrImageMediaNameFormat("");
    EXPECT_EQ(m_db.GetLErrorCode(), 0) << "the empty template is accepted";
    m_db.SetStrImageMediaNameFormat("  CD_%i ");

    m_db.GetLCurrentMedia();  // re-reads the record
    EXPECT_EQ(Take(m_db.GetStrImageMediaNameFormat()), "CD_%i");
    EXPECT_TRUE(m_db.GetBDefaultImageMediaName());
    EXPECT_EQ(m_db.GetDateLastImageMediaCreation(), 45000.0) << "the record keeps the day";
}

TEST(MediaClosed, EveryAccessorAnswers50) {
    CDatabaseObj db;
    EXPECT_EQ(db.GetLCurrentMedia(), -1);
    EXPECT_EQ(db.GetLErrorCode(), 50);
    EXPECT_EQ(db.GetDateLastImageMediaCreation(), 0.0);
    EXPECT_EQ(db.GetLErrorCode(), 50);
    EXPECT_EQ(Take(db.GetStrImageMediaNameFormat()), "");
    EXPECT_EQ(db.GetLErrorCode(), 50);
    EXPECT_FALSE(db.GetBDefaultImageMediaName());
    EXPECT_EQ(db.GetLErrorCode(), 50);
    db.SetLCurrentMedia(3);
    EXPECT_EQ(db.GetLErrorCode(), 50);
    EXPECT_FALSE(db.IncrementImageMediaNumber());
    EXPECT_EQ(db.GetLErrorCode(), 50);
    EXPECT_EQ(db.GetImageMediaNumber(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, Media, qel::test::BothEngines(), qel::test::EngineParamName);

}  // namespace

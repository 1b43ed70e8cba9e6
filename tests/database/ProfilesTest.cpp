#include <gtest/gtest.h>

#include <qel/platform/AppProfile.h>

#include "support/DatabaseObjTesting.h"

using qel::test::Take;

namespace {

qel::platform::AppProfile& Profile() { return qel::platform::AppProfile::Current(); }

void WriteProfile(LONG number, bool withDoctor = true, LONG multiUser = 0) {
    const std::string section = "DatabaseJ" + std::to_string(number);
    Profile().WriteProfileInt(section, "MultiUser", multiUser);
    Profile().WriteProfileInt(section, "Default", 1);
    Profile().WriteProfileString(section, "DataSource", "Clinic");
    Profile().WriteProfileString(section, "Path", "/srv/qel/clinic.db");
    Profile().WriteProfileString(section, "Name", "Studio Rossi");
    Profile().WriteProfileString(section, "DatabaseID", "0123456789ABCDEF0123456789ABCDEF");
    if (withDoctor) Profile().WriteProfileInt(section, "CurrentDoctor", 7);
}

TEST(Profiles, GetLoadsAStoredProfile) {
    WriteProfile(3);
    CDatabaseObj db;
    ASSERT_TRUE(db.Get(3));
    EXPECT_EQ(db.GetLErrorCode(), 0);
    EXPECT_EQ(db.GetLKey(), 3);
    EXPECT_EQ(db.GetLEngine(), 2);
    EXPECT_FALSE(db.GetBIsNew());
    EXPECT_EQ(db.GetLCurrentDoctor(), 7);
    EXPECT_EQ(Take(db.GetStrName()), "Studio Rossi");
    EXPECT_EQ(Take(db.GetStrDataSource()), "Clinic");
    EXPECT_EQ(Take(db.GetStrDirectory()), "/srv/qel/clinic.db");
    EXPECT_EQ(db.GetID(), "0123456789ABCDEF0123456789ABCDEF");
}

TEST(Profiles, MissingCurrentDoctorFailsStrictCheckButLoadsTheRest) {
    WriteProfile(4, /*withDoctor=*/false);
    CDatabaseObj db;
    EXPECT_FALSE(db.Get(4));
    EXPECT_EQ(db.GetLErrorCode(), 7000);
    EXPECT_EQ(db.lKey, 4);
    EXPECT_EQ(db.strName, "Studio Rossi");
    EXPECT_EQ(db.strDataSource, "Clinic");
    EXPECT_EQ(db.strDirectory, "/srv/qel/clinic.db");
}

TEST(Profiles, MultiUserProfileIsRefusedAfterTheDataSourceWasRead) {
    WriteProfile(5, true, /*multiUser=*/1);
    CDatabaseObj db;
    db.SetStrDirectory("/before");
    EXPECT_FALSE(db.Get(5));
    EXPECT_EQ(db.GetLErrorCode(), 20);
    EXPECT_EQ(db.strDataSource, "Clinic");
    EXPECT_EQ(db.strDirectory, "/before");
}

TEST(Profiles, AbsentSectionAndAbsentMarkers) {
    CDatabaseObj db;
    EXPECT_FALSE(db.Get(77));
    EXPECT_EQ(db.GetLErrorCode(), 7010);

    WriteProfile(6);
    Profile().WriteProfileString("DatabaseJ6", "DataSource", "<@>");
    EXPECT_FALSE(db.Get(6));
    EXPECT_EQ(db.GetLErrorCode(), 7010) << "a stored \"<@>\" counts as absent";

    WriteProfile(8);
    Profile().WriteProfileInt("DatabaseJ8", "CurrentDoctor", -1);
    EXPECT_FALSE(db.Get(8));
    EXPECT_EQ(db.GetLErrorCode(), 7000) << "a stored -1 counts as absent";

    Profile().WriteProfileInt("DatabaseJ9", "MultiUser", 0);
    EXPECT_FALSE(db.Get(9));
    EXPECT_EQ(db.GetLErrorCode(), 7010) << "no \"Default\"";
}

TEST(Profiles, AddNewNumbersTemporaryProfilesAndForgetsTheEarlierOne) {
    CDatabaseObj a;
    EXPECT_FALSE(a.AddNew(FALSE, FALSE));
    EXPECT_EQ(a.GetLErrorCode(), 20);
    WriteProfile(3);
    CDatabaseObj b;
    ASSERT_TRUE(b.Get(3));
    ASSERT_TRUE(a.AddNew(TRUE, FALSE));
    ASSERT_TRUE(b.AddNew(FALSE, TRUE));
    EXPECT_EQ(a.lKey, 1000);
    EXPECT_EQ(b.lKey, 1001);
    EXPECT_TRUE(a.GetBIsNew());
    EXPECT_EQ(a.GetLEngine(), 2);
    EXPECT_EQ(Take(b.GetStrDataSource()), "");
    EXPECT_EQ(b.GetLErrorCode(), 50);
    EXPECT_EQ(b.GetID(), "");
    EXPECT_EQ(b.GetLCurrentDoctor(), 0);

    // Update and Delete succeed without touching the error state.
    EXPECT_TRUE(b.Update());
    EXPECT_TRUE(b.Delete());
    EXPECT_EQ(b.GetLErrorCode(), 50);
}

TEST(Profiles, CurrentDoctorPutWritesIntoTheCurrentProfile) {
    WriteProfile(3);
    CDatabaseObj db;
    ASSERT_TRUE(db.Get(3));

    db.SetLCurrentDoctor(11);
    EXPECT_EQ(db.GetLCurrentDoctor(), 7) << "without \"Current\" nothing is written";
    EXPECT_EQ(Profile().GetProfileInt("DatabaseJ3", "CurrentDoctor", -1), 7);

    Profile().WriteProfileInt("DatabaseListJ", "Current", 5);
    db.SetLCurrentDoctor(11);
    EXPECT_EQ(db.GetLCurrentDoctor(), 11);
    EXPECT_EQ(Profile().GetProfileInt("DatabaseJ5", "CurrentDoctor", -1), 11);
    EXPECT_EQ(Profile().GetProfileInt("DatabaseJ3", "CurrentDoctor", -1), 7);
    EXPECT_EQ(db.GetLErrorCode(), 0);
}

TEST(Profiles, EngineValueSelectsTheClientServerEngineOrIsRefused) {
    WriteProfile(3);
    CDatabaseObj db;
    // Absent, a stored -1 (absent as well) and 2: the file engine.
    for (LONG stored : {-2, -1, 2}) {
        if (stored != -2) Profile().WriteProfileInt("DatabaseJ3", "Engine", stored);
        ASSERT_TRUE(db.Get(3)) << stored;
        EXPECT_EQ(db.GetLEngine(), 2) << stored;
    }

    Profile().WriteProfileInt("DatabaseJ3", "Engine", 1);
    ASSERT_TRUE(db.Get(3));
    EXPECT_EQ(db.GetLEngine(), 1);
    EXPECT_EQ(db.GetLKey(), 3);
    EXPECT_EQ(db.GetLCurrentDoctor(), 7);
    EXPECT_EQ(Take(db.GetStrDirectory()), "/srv/qel/clinic.db");

    // Unknown codes are refused before the profile number is taken over; the
    // object keeps the engine of the profile loaded before.
    WriteProfile(4);
    for (LONG stored : {0, 3, 7, 0x7fffffff}) {
        Profile().WriteProfileInt("DatabaseJ4", "Engine", stored);
        Profile().WriteProfileString("DatabaseJ4", "DataSource", "Other" + std::to_string(stored));
        EXPECT_FALSE(db.Get(4)) << stored;
        EXPECT_EQ(db.GetLErrorCode(), 20) << stored;
        EXPECT_EQ(db.GetLEngine(), 1) << stored;
        EXPECT_EQ(db.GetLKey(), 3) << stored;
        EXPECT_EQ(db.strDataSource, "Other" + std::to_string(stored)) << "read before the refusal";
    }

    // A string "Engine" is no engine code: read as absent.
    Profile().WriteProfileString("DatabaseJ4", "Engine", "1");
    ASSERT_TRUE(db.Get(4));
    EXPECT_EQ(db.GetLEngine(), 2);
}

}  // namespace

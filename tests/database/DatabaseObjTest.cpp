#include <gtest/gtest.h>

#include <qel/database/Resources.h>
#include <qel/platform/AppProfile.h>

#include "support/DatabaseObjTesting.h"

using qel::test::Take;

namespace {

const std::string kReadOnly = "Attenzione! Impossibile cambiare il valore della  propriet\u00e0 solo lettura";

TEST(DatabaseObj, ProfileStringsOfAFreshObjectAreUnknown) {
    CDatabaseObj db;
    for (auto getter : {&CDatabaseObj::GetStrName, &CDatabaseObj::GetStrDataSource, &CDatabaseObj::GetStrDirectory}) {
        EXPECT_EQ(Take((db.*getter)()), "");
        EXPECT_EQ(db.GetLErrorCode(), 50);
        EXPECT_EQ(db.GetLErrorCode(), 50) << "reading the code must not clear it";
        EXPECT_EQ(Take(db.GetStrError()), "");
    }
}

TEST(DatabaseObj, DataSourcePutKeepsTheErrorDirectoryPutClearsIt) {
    CDatabaseObj db;
    Take(db.GetStrName());
    ASSERT_EQ(db.GetLErrorCode(), 50);

    db.SetStrDataSource("  Clinic DSN \t");
    EXPECT_EQ(db.GetLErrorCode(), 50);
    db.SetStrDirectory("   /srv/qel/clinic.db  ");
    EXPECT_EQ(db.GetLErrorCode(), 0);

    EXPECT_EQ(Take(db.GetStrDataSource()), "Clinic DSN");
    EXPECT_EQ(Take(db.GetStrDirectory()), "/srv/qel/clinic.db");
    EXPECT_EQ(db.GetLErrorCode(), 0);
}

TEST(DatabaseObj, ReadOnlyPutsShowTheNoticeAndChangeNothing) {
    qel::test::RecordedUserInterface ui;
    CDatabaseObj db;
    Take(db.GetStrName());  // error 50 must survive the puts
    const LONG key = db.lKey;

    db.SetLKey(99);
    db.SetBIsOpen(TRUE);
    db.SetStrError("boom");
    db.SetLErrorCode(7);
    db.SetBIsNew(TRUE);
    db.SetLEngine(1);
    db.SetBMultiUser(TRUE);
    db.SetBDefaultEngine(FALSE);
    db.SetStrName("x");

    EXPECT_EQ(ui->Count("MessageBox"), 9u);
    for (const auto& event : ui->Events()) {
        EXPECT_EQ(event.text, kReadOnly);
        EXPECT_EQ(event.type, MB_OK);
    }
    EXPECT_EQ(db.GetLErrorCode(), 50);
    EXPECT_EQ(db.lKey, key);
    EXPECT_FALSE(db.bIsOpen);
    EXPECT_EQ(db.strError, "");
    EXPECT_EQ(db.GetLEngine(), -1);
}

TEST(DatabaseObj, IgnoredPutsShowNothingAndConstantsHold) {
    qel::test::RecordedUserInterface ui;
    CDatabaseObj db;
    db.SetStrServerOS("Linux");
    db.SetLNumber(42);
    db.SetStrProtocol("tcp");
    db.SetStrHostAddress("10.0.0.1");
    db.SetStrLoginID("admin");
    db.SetStrAppServer("srv");
    db.SetBServerObjectInUse(FALSE);
    EXPECT_EQ(ui->Events().size(), 0u);

    EXPECT_EQ(db.GetLNumber(), 0);
    for (auto getter : {&CDatabaseObj::GetStrServerOS, &CDatabaseObj::GetStrProtocol, &CDatabaseObj::GetStrHostAddress,
                        &CDatabaseObj::GetStrLoginID, &CDatabaseObj::GetStrAppServer})
        EXPECT_EQ(Take((db.*getter)()), "");
    EXPECT_TRUE(db.GetBServerObjectInUse());
    EXPECT_FALSE(db.GetBMultiUser());
    EXPECT_TRUE(db.GetBDefaultEngine());
}

TEST(DatabaseObj, GettersThatClearAndGettersThatDoNot) {
    CDatabaseObj db;
    Take(db.GetStrName());
    EXPECT_EQ(db.GetLEngine(), -1);
    EXPECT_EQ(db.GetLCurrentDoctor(), 0);
    EXPECT_FALSE(db.GetBMultiUser());
    EXPECT_EQ(db.GetLErrorCode(), 50);

    EXPECT_FALSE(db.GetBIsOpen());
    EXPECT_EQ(db.GetLErrorCode(), 0);
    Take(db.GetStrName());
    EXPECT_EQ(db.GetLKey(), 0);
    EXPECT_EQ(db.GetLErrorCode(), 0);
}

LONG KanaCharFor(const std::string& stored) {
    auto& profile = qel::platform::AppProfile::Current();
    if (!stored.empty()) profile.WriteProfileInt("General", "KanaChar", std::stoi(stored));
    CDatabaseObj db;
    return db.GetKanaChar();
}

TEST(DatabaseObj, KanaCharOutOfRangeOrAbsentBecomesTwo) {
    EXPECT_EQ(KanaCharFor(""), 2);
    EXPECT_EQ(KanaCharFor("5"), 2);
    EXPECT_EQ(KanaCharFor("-3"), 2);
    EXPECT_EQ(KanaCharFor("1"), 1);
    EXPECT_EQ(KanaCharFor("0"), 0);
}

TEST(DatabaseObj, GetPtrNamesOneObjectForItsLife) {
    auto* a = new CDatabaseObj;
    CDatabaseObj b;
    const LONG ptr = a->GetPtr();
    EXPECT_EQ(a->GetPtr(), ptr);
    EXPECT_NE(b.GetPtr(), ptr);
    EXPECT_EQ(CDatabaseObj::FromPtr(ptr), a);
    EXPECT_EQ(CDatabaseObj::FromPtr(b.GetPtr()), &b);
    a->ExternalRelease();
    EXPECT_EQ(CDatabaseObj::FromPtr(ptr), nullptr);
}

TEST(DatabaseObj, EachObjectHoldsAnApplicationLock) {
    const LONG before = AfxOleLockCount();
    {
        CDatabaseObj a;
        auto* b = new CDatabaseObj;
        EXPECT_EQ(AfxOleLockCount(), before + 2);
        b->ExternalAddRef();
        b->ExternalRelease();
        EXPECT_EQ(AfxOleLockCount(), before + 2);
        b->ExternalRelease();
        EXPECT_EQ(AfxOleLockCount(), before + 1);
    }
    EXPECT_EQ(AfxOleLockCount(), before);
}

TEST(DatabaseObj, WorkstationAndLockAnswers) {
    CDatabaseObj db;
    Take(db.GetStrName());
    EXPECT_TRUE(db.TouchUserTable());
    EXPECT_EQ(db.GetLErrorCode(), 50) << "TouchUserTable leaves the error state";

    EXPECT_TRUE(db.LockPatient(-1));
    EXPECT_EQ(db.GetLErrorCode(), 0);
    Take(db.GetStrName());
    EXPECT_TRUE(db.UnlockPatient(123456));
    EXPECT_EQ(db.GetLErrorCode(), 0);

    std::string locker = "unchanged";
    for (LONG key : {-1, 0, 17}) {
        EXPECT_FALSE(db.GetPatientLocker(key, &locker));
        EXPECT_EQ(db.GetLErrorCode(), 20);
    }
    EXPECT_EQ(locker, "unchanged");
}

TEST(DatabaseObj, DatabaseExceptionsNeverChangeTheErrorText) {
    std::string text = "kept";
    CDatabaseObj::CreateErrorString(nullptr, &text);
    EXPECT_EQ(text, "kept");
}

}  // namespace

// The live item registry and the release of per-patient image and status sets.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/DatabaseItem.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/DatabaseObjTesting.h"
#include "support/Engines.h"

namespace {

struct RecordingItem : CQELDatabaseItem {
    explicit RecordingItem(CQELObjectData* pData = nullptr, BOOL bOrphan = FALSE) {
        m_pData = pData;
        m_bOrphan = bOrphan;
    }
    void Invalidate() override { ++invalidated; }
    void Orphanize(LONG l1, LONG l2) override { orphanized.emplace_back(l1, l2); }

    int invalidated = 0;
    std::vector<std::pair<LONG, LONG>> orphanized;
};

template <class T>
std::unique_ptr<T> Owned(LONG key, LONG owner, LONG refs = 0) {
    auto data = std::make_unique<T>();
    data->m_lKey = key;
    data->m_lOwnerKey = owner;
    data->m_lRefCount = refs;
    return data;
}

TEST(LiveItems, SerialNumbersAreNeverReused) {
    CDatabaseObj db;
    RecordingItem first;
    RecordingItem second;
    RecordingItem third;
    db.RegisterItem(&first);
    db.RegisterItem(&second);
    EXPECT_EQ(first.m_lSerialNumber, 1);
    EXPECT_EQ(second.m_lSerialNumber, 2);
    db.UnregisterItem(&first);
    db.RegisterItem(&third);
    EXPECT_EQ(third.m_lSerialNumber, 3);

    RecordingItem stranger;
    db.UnregisterItem(&stranger);
    db.RegisterItem(nullptr);
    CStatusData status;
    second.m_pData = third.m_pData = first.m_pData = &status;
    db.OrphanizeItems(0, 0, CDatabaseObj::eItemStatus);
    EXPECT_EQ(first.orphanized.size(), 0u);
    EXPECT_EQ(second.orphanized.size() + third.orphanized.size(), 2u) << "the list kept both";
}

TEST(LiveItems, OrphanizeAndInvalidateFilterByTypeAndOwner) {
    CDatabaseObj db;
    CImageData imageOf5;
    imageOf5.m_lOwnerKey = 5;
    CImageData imageOf6;
    imageOf6.m_lOwnerKey = 6;
    CStatusData statusOf5;
    statusOf5.m_lOwnerKey = 5;

    RecordingItem image5(&imageOf5);
    RecordingItem image6(&imageOf6);
    RecordingItem status5(&statusOf5);
    RecordingItem orphanStatus5(&statusOf5, TRUE);
    RecordingItem empty;
    for (RecordingItem* item : {&image5, &image6, &status5, &orphanStatus5, &empty}) db.RegisterItem(item);

    db.OrphanizeItems(-7, 42, CDatabaseObj::eItemStatus);
    EXPECT_EQ(status5.orphanized, (std::vector<std::pair<LONG, LONG>>{{-7, 42}}));
    EXPECT_TRUE(orphanStatus5.orphanized.empty()) << "already orphaned";
    EXPECT_TRUE(image5.orphanized.empty());

    db.InvalidateItems(5, CDatabaseObj::eItemImage);
    EXPECT_EQ(image5.invalidated, 1);
    EXPECT_EQ(image6.invalidated, 0);
    EXPECT_EQ(status5.invalidated, 0);

    db.InvalidateItems(5, CDatabaseObj::eItemStatus);
    EXPECT_EQ(status5.invalidated, 1);
    EXPECT_EQ(orphanStatus5.invalidated, 1) << "the orphan flag does not matter here";

    const auto unknown = static_cast<CDatabaseObj::EItemType>(7);
    db.OrphanizeItems(1, 2, unknown);
    db.InvalidateItems(5, unknown);
    EXPECT_TRUE(image5.orphanized.empty());
    EXPECT_EQ(image5.invalidated, 1);
}

// A patient cache with patients whose image and status sets the tests fill.
class OwnersSets : public ::testing::Test {
protected:
    void SetUp() override { Patients() = std::make_unique<CPatientSet>(nullptr); }

    std::unique_ptr<CPatientSet>& Patients() { return DatabaseObjInternals::PatientSet(m_db); }

    CPatientData* AddPatient(LONG key, LONG refs = 0) {
        auto patient = Owned<CPatientData>(key, 0, refs);
        CPatientData* raw = patient.get();
        EXPECT_TRUE(Patients()->Add(key, patient.release()));
        return raw;
    }
    template <class T>
    T* AddTo(std::unique_ptr<CQELObjectSet>& set, LONG key, LONG owner, LONG refs = 0) {
        if (!set) set = std::make_unique<CKeyOrderedSet>();
        auto data = Owned<T>(key, owner, refs);
        T* raw = data.get();
        EXPECT_TRUE(set->Add(key, data.release()));
        return raw;
    }
    CImageData* AddImage(CPatientData* patient, LONG key, LONG refs = 0) {
        CImageData* image = AddTo<CImageData>(patient->m_pImageSet, key, patient->m_lKey, refs);
        image->m_normalImage.assign(16, 0xAB);
        return image;
    }

    qel::test::RecordedUserInterface m_ui;
    CDatabaseObj m_db;
};

TEST_F(OwnersSets, ReleasingAnImageFreesTheSetOnlyWhenNothingInItIsUsed) {
    CPatientData* patient = AddPatient(1);
    CImageData* released = AddImage(patient, 10);
    CImageData* held = AddImage(patient, 11, 1);

    m_db.CheckOwnersObjectSet(released);
    ASSERT_NE(patient->m_pImageSet, nullptr) << "image 11 is still held";
    EXPECT_FALSE(released->HasNormalImage()) << "the released image's buffer goes anyway";
    EXPECT_TRUE(held->HasNormalImage());

    held->m_lRefCount = 0;
    held->m_bWarning = TRUE;
    m_db.CheckOwnersObjectSet(released);
    EXPECT_EQ(patient->m_pImageSet, nullptr);
    ASSERT_EQ(m_ui->Count("MessageBeep"), 1u) << "a warning flag in the freed set";
    EXPECT_EQ(m_ui->Events()[0].type, MB_ICONEXCLAMATION);
}

TEST_F(OwnersSets, NothingIsFreedForAHeldPatientOrAForeignImage) {
    CPatientData* held = AddPatient(1, 1);
    CImageData* image = AddImage(held, 10);
    m_db.CheckOwnersObjectSet(image);
    EXPECT_NE(held->m_pImageSet, nullptr);
    EXPECT_FALSE(image->HasNormalImage());

    CPatientData* patient = AddPatient(2);
    AddImage(patient, 20)->m_bWarning = TRUE;
    CImageData foreign;
    foreign.m_lOwnerKey = 2;
    m_db.CheckOwnersObjectSet(&foreign);
    EXPECT_NE(patient->m_pImageSet, nullptr) << "the released image is not in the set";
    EXPECT_EQ(m_ui->Count("MessageBeep"), 1u) << "the warning still sounds";

    Patients().reset();
    CImageData withBuffer;
    withBuffer.m_normalImage.assign(4, 1);
    m_db.CheckOwnersObjectSet(&withBuffer);
    EXPECT_TRUE(withBuffer.HasNormalImage()) << "no patient cache: nothing at all is done";
}

TEST_F(OwnersSets, ReleasingAPatientFreesOnlyItsImageSet) {
    CPatientData* empty = AddPatient(1);
    empty->m_pImageSet = std::make_unique<CKeyOrderedSet>();
    m_db.CheckOwnersObjectSet(empty);
    EXPECT_EQ(empty->m_pImageSet, nullptr) << "an empty image set is freed";

    CPatientData* patient = AddPatient(2);
    AddImage(patient, 20);
    AddTo<CStatusData>(patient->m_pStatusSet, 30, 2);
    patient->m_lRefCount = 1;
    m_db.CheckOwnersObjectSet(patient);
    EXPECT_NE(patient->m_pImageSet, nullptr) << "the patient is still held";

    patient->m_lRefCount = 0;
    m_db.CheckOwnersObjectSet(patient);
    EXPECT_EQ(patient->m_pImageSet, nullptr);
    ASSERT_NE(patient->m_pStatusSet, nullptr) << "status sets go only through a released status";

    CStatusData* status = nullptr;
    ASSERT_TRUE(patient->m_pStatusSet->GetAs(30, &status));
    CStatusData* other = AddTo<CStatusData>(patient->m_pStatusSet, 31, 2, 1);
    m_db.CheckOwnersObjectSet(status);
    EXPECT_NE(patient->m_pStatusSet, nullptr) << "status 31 is held";
    other->m_lRefCount = 0;
    m_db.CheckOwnersObjectSet(status);
    EXPECT_EQ(patient->m_pStatusSet, nullptr);
    EXPECT_EQ(m_ui->Count("MessageBeep"), 0u);
}

TEST_F(OwnersSets, EnsureImageSetsDeletedBeepsOncePerPatientWithImages) {
    CPatientData* first = AddPatient(1);
    AddImage(first, 10);
    AddImage(first, 11);
    CPatientData* second = AddPatient(2, 3);
    second->m_pImageSet = std::make_unique<CKeyOrderedSet>();
    CPatientData* statusOnly = AddPatient(3);
    AddTo<CStatusData>(statusOnly->m_pStatusSet, 30, 3);
    AddPatient(4);

    m_db.EnsureImageSetsDeleted();
    EXPECT_EQ(m_ui->Count("MessageBeep"), 2u);
    EXPECT_EQ(first->m_pImageSet, nullptr);
    EXPECT_EQ(second->m_pImageSet, nullptr);
    EXPECT_NE(statusOnly->m_pStatusSet, nullptr);

    m_db.EnsureImageSetsDeleted();
    EXPECT_EQ(m_ui->Count("MessageBeep"), 2u) << "nothing left to free";
}

}  // namespace

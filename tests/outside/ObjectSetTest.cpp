#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>

#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/platform/Locale.h>

namespace {

CPatientData* Patient(LONG key, const std::string& name, const std::string& number = "") {
    auto* p = new CPatientData;
    p->m_lKey = key;
    p->SetName(name);
    p->SetNumber(number);
    return p;
}

std::vector<LONG> Keys(CQELObjectSet& set, int index) {
    std::vector<LONG> keys;
    LONG key = 0;
    for (int pos = 0; set.GetKey(index, pos, &key); ++pos) keys.push_back(key);
    return keys;
}

TEST(ObjectSet, AddGetReplaceDeleteOwnership) {
    CPatientSet set(nullptr);
    ASSERT_TRUE(set.Add(1, Patient(1, "ROSSI")));
    auto duplicate = std::unique_ptr<CPatientData>(Patient(1, "BIANCHI"));
    EXPECT_FALSE(set.Add(1, duplicate.get())) << "a taken key is refused; the caller keeps the object";
    auto doctor = std::make_unique<CDoctorData>();
    EXPECT_FALSE(set.Add(2, doctor.get())) << "a patient set holds patients only";

    CPatientData* got = nullptr;
    ASSERT_TRUE(set.GetAs(1, &got));
    EXPECT_EQ(got->GetName(), "ROSSI");
    EXPECT_FALSE(set.Get(7, reinterpret_cast<CQELObjectData**>(&got)));

    EXPECT_TRUE(set.Replace(1, duplicate.release()));
    ASSERT_TRUE(set.GetAs(1, &got));
    EXPECT_EQ(got->GetName(), "BIANCHI");
    EXPECT_EQ(Keys(set, 0), std::vector<LONG>{1});

    auto absent = std::unique_ptr<CPatientData>(Patient(9, "X"));
    EXPECT_FALSE(set.Replace(9, absent.get())) << "replacing needs the key present";
    EXPECT_TRUE(set.Delete(1, 0));
    EXPECT_FALSE(set.Delete(1, 0));
    EXPECT_EQ(set.GetCount(), 0);
    EXPECT_TRUE(Keys(set, 0).empty());
}

TEST(ObjectSet, IndexesOrderByFoldedNameAndNumberThenKey) {
    qel::platform::SetThreadLocale(qel::platform::LOCALE_ITALIAN);
    CPatientSet set(nullptr);
    set.Add(5, Patient(5, "romano", "003"));
    set.Add(3, Patient(3, "ROSSI", "001"));
    set.Add(4, Patient(4, "BARONE", "002"));
    set.Add(2, Patient(2, "rossi", "004"));
    EXPECT_EQ(Keys(set, 0), (std::vector<LONG>{4, 5, 2, 3}));
    EXPECT_EQ(Keys(set, 1), (std::vector<LONG>{3, 4, 5, 2}));
    EXPECT_FALSE(set.UpdateIndex(2));
    LONG key = 0;
    EXPECT_FALSE(set.GetKey(0, -1, &key));
    EXPECT_FALSE(set.GetKey(0, 4, &key));
    EXPECT_FALSE(set.GetKey(5, 0, &key));
}

TEST(ObjectSet, SearchFindsTheFirstEntryNotBeforeTheProbe) {
    CPatientSet set(nullptr);
    for (auto [key, name] : std::vector<std::pair<LONG, std::string>>{{1, "ROSSI"}, {2, "ROMANO"}, {3, "BARONE"}, {4, "ROSSI"}})
        set.Add(key, Patient(key, name));
    CPatientData probe;
    int pos = -1;
    probe.SetName("rossi");
    ASSERT_TRUE(set.Search(0, &probe, &pos));
    EXPECT_EQ(pos, 2);
    probe.SetName("RO");
    ASSERT_TRUE(set.Search(0, &probe, &pos));
    EXPECT_EQ(pos, 1);
    probe.SetName("ZZZ");
    ASSERT_TRUE(set.Search(0, &probe, &pos));
    EXPECT_EQ(pos, 4);
}

TEST(ObjectSet, FullWidthAndKanaVariantsSortTogether) {
    qel::platform::SetThreadLocale(qel::platform::LOCALE_JAPANESE);
    CPatientSet set(nullptr);
    set.Add(1, Patient(1, "\u30E4\u30DE\u30C0"));        // ヤマダ
    set.Add(2, Patient(2, "\u3084\u307E\u3060"));        // やまだ
    set.Add(3, Patient(3, "\uFF94\uFF8F\uFF80\uFF9E"));  // ﾔﾏﾀﾞ
    set.Add(4, Patient(4, "\u30A2"));                     // ア
    const auto keys = Keys(set, 0);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0], 4);
    EXPECT_EQ(std::set<LONG>(keys.begin() + 1, keys.end()), (std::set<LONG>{1, 2, 3}));
}

TEST(ObjectSet, InterleavedAddsAndDeletesKeepIndexesSorted) {
    CPatientSet set(nullptr);
    set.InitHashTable(30029);
    std::mt19937 rng(42);
    std::set<std::pair<std::string, LONG>> expected;
    for (LONG key = 0; key < 3000; ++key) {
        std::string name = "P" + std::to_string(rng() % 500);
        ASSERT_TRUE(set.Add(key, Patient(key, name)));
        expected.emplace(CPatientSet::SortKey(name), key);
        if (key % 7 == 3) {
            LONG victim = static_cast<LONG>(rng() % static_cast<unsigned>(key + 1));
            CPatientData* p = nullptr;
            if (set.GetAs(victim, &p)) {
                expected.erase({CPatientSet::SortKey(p->GetName()), victim});
                ASSERT_TRUE(set.Delete(victim, 0));
            }
        }
        if (key % 500 == 0) set.UpdateIndex(0);
    }
    std::vector<LONG> want;
    for (const auto& entry : expected) want.push_back(entry.second);
    EXPECT_EQ(Keys(set, 0), want);
    EXPECT_EQ(set.GetCount(), static_cast<LONG>(want.size()));
}

TEST(ObjectSet, ReplacingAnObjectInPlaceResortsIt) {
    CPatientSet set(nullptr);
    set.Add(1, Patient(1, "AAA"));
    set.Add(2, Patient(2, "BBB"));
    ASSERT_EQ(Keys(set, 0), (std::vector<LONG>{1, 2}));
    CPatientData* p = nullptr;
    ASSERT_TRUE(set.GetAs(1, &p));
    p->SetName("CCC");
    ASSERT_TRUE(set.Replace(1, p));
    EXPECT_EQ(Keys(set, 0), (std::vector<LONG>{2, 1}));
}

}  // namespace

namespace {

TEST(ObjectSet, IndexesStayRightWhenMostEntriesAreDeletedAndTheBufferShrinks) {
    CPatientSet set(nullptr);
    std::set<std::pair<std::string, LONG>> expected;
    for (LONG key = 0; key < 3000; ++key) {
        const std::string name = "NAME" + std::to_string((key * 7919) % 3000);
        ASSERT_TRUE(set.Add(key, Patient(key, name, std::to_string(key))));
        expected.emplace(name, key);
    }
    ASSERT_TRUE(set.UpdateIndex(0));
    const std::size_t before = set.GetSortedIndex(0)->MemoryUsed();
    // Deleting two thirds leaves more dead bytes than live ones: the buffer is rewritten.
    for (LONG key = 0; key < 3000; ++key) {
        if (key % 3 == 0) continue;
        CPatientData* p = nullptr;
        ASSERT_TRUE(set.GetAs(key, &p));
        expected.erase({std::string(p->GetName()), key});
        ASSERT_TRUE(set.Delete(key, 0));
    }
    const auto* index = set.GetSortedIndex(0);
    ASSERT_NE(index, nullptr);
    EXPECT_LT(index->MemoryUsed(), before);
    std::vector<LONG> want;
    for (const auto& entry : expected) want.push_back(entry.second);
    EXPECT_EQ(Keys(set, 0), want);
    for (std::size_t i = 0; i < index->Size(); ++i) {
        CPatientData* p = nullptr;
        ASSERT_TRUE(set.GetAs(index->Entries()[i].lKey, &p));
        EXPECT_EQ(index->TextOf(index->Entries()[i]), p->GetName());
    }
    CPatientData probe;
    probe.SetName("NAME3");
    int position = -1;
    ASSERT_TRUE(set.Search(0, &probe, &position));
    EXPECT_EQ(position, static_cast<int>(std::distance(expected.begin(), expected.lower_bound({"NAME3", -1}))));
}

TEST(ObjectSet, AFieldTooLongForAnIndexEntryIsRefusedAndChangesNothing) {
    CPatientSet set(nullptr);
    ASSERT_TRUE(set.Add(1, Patient(1, "ROSSI")));
    auto huge = std::unique_ptr<CPatientData>(Patient(2, std::string(CQELObjectSet::SortedIndex::kMaxSize + 1, 'A')));
    EXPECT_FALSE(set.Add(2, huge.get())) << "the caller keeps the object";
    EXPECT_FALSE(set.Exist(2));
    huge->m_lKey = 1;
    EXPECT_FALSE(set.Replace(1, huge.get()));
    CPatientData* kept = nullptr;
    ASSERT_TRUE(set.GetAs(1, &kept));
    EXPECT_EQ(kept->GetName(), "ROSSI");
    EXPECT_EQ(Keys(set, 0), std::vector<LONG>{1});
    EXPECT_EQ(Keys(set, 1), std::vector<LONG>{1});
}

TEST(ObjectSet, NumberKeysOrderLikeTheNumbers) {
    CKeyOrderedSet set;
    for (LONG key : {5, -3, 0, 2147483647, -2147483647 - 1, 70000, -1}) {
        auto* data = new CStatusData;
        data->m_lKey = key;
        ASSERT_TRUE(set.Add(key, data));
    }
    EXPECT_EQ(Keys(set, 0), (std::vector<LONG>{-2147483647 - 1, -3, -1, 0, 5, 70000, 2147483647}));
}

}  // namespace

namespace {

// Random adds and deletes over a small key range (negative keys too), so the
// table's probe runs wrap and its removals shift entries back often.
TEST(ObjectSet, KeyTableFindsEveryKeyThroughAddsAndDeletes) {
    CKeyOrderedSet set;
    std::mt19937 rng(7);
    std::set<LONG> expected;
    for (int step = 0; step < 40000; ++step) {
        const LONG key = static_cast<LONG>(rng() % 6000) - 3000;
        if (rng() % 3 == 0) {
            EXPECT_EQ(set.Delete(key, 0) == TRUE, expected.erase(key) == 1) << key;
        } else {
            auto data = std::make_unique<CStatusData>();
            data->m_lKey = key;
            const bool added = set.Add(key, data.get()) == TRUE;
            EXPECT_EQ(added, expected.insert(key).second) << key;
            if (added) data.release();
        }
        if (step % 5000 == 0) {
            for (LONG probe = -3000; probe < 3000; ++probe)
                ASSERT_EQ(set.Exist(probe) == TRUE, expected.count(probe) == 1) << "step " << step << " key " << probe;
        }
    }
    std::set<LONG> visited;
    set.ForEach([&](LONG key, CQELObjectData* pObject) {
        EXPECT_EQ(pObject->m_lKey, key);
        visited.insert(key);
    });
    EXPECT_EQ(visited, expected);
    EXPECT_EQ(set.GetCount(), static_cast<LONG>(expected.size()));
    EXPECT_EQ(Keys(set, 0), std::vector<LONG>(expected.begin(), expected.end()));
    set.RemoveAll();
    EXPECT_EQ(set.GetCount(), 0);
    EXPECT_EQ(set.First(), nullptr);
}

}  // namespace

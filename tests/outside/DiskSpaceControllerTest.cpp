// The disk space controller settings, the record handed to the application
// server, the class registry and the default application server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <qel/outside/DefaultAppServer.h>
#include <qel/outside/DiskSpaceController.h>
#include <qel/outside/QELServer.h>
#include <qel/platform/ClassRegistry.h>

#include "support/Sandbox.h"

namespace {

CDiskSpaceItem Item(LONG key, LONG next, const std::string& path = {}) {
    CDiskSpaceItem item;
    item.m_lKey = key;
    item.m_lNext = next;
    item.m_strPath = path.empty() ? "/p" + std::to_string(key) : path;
    item.m_lParam = key * 10;
    return item;
}

std::vector<std::pair<LONG, LONG>> KeysAndNext(const CDiskSpaceControllerData& data) {
    std::vector<std::pair<LONG, LONG>> out;
    for (const CDiskSpaceItem& item : data.m_aItems) out.emplace_back(item.m_lKey, item.m_lNext);
    return out;
}

using Chains = std::vector<std::pair<LONG, LONG>>;

CDiskSpaceControllerData Clean(std::vector<CDiskSpaceItem> items) {
    CDiskSpaceControllerData data;
    data.m_aItems = std::move(items);
    data.Clean();
    return data;
}

TEST(DiskSpaceControllerData, CleanDropsUnusedEntriesAndKeepsChainOrder) {
    // E0 -> E2 with E1 unused.
    auto a = Clean({Item(1, 2), Item(0, -1), Item(3, -1)});
    EXPECT_EQ(KeysAndNext(a), (Chains{{1, 1}, {3, -1}}));
    EXPECT_EQ(a.m_aItems[1].m_strPath, "/p3");
    EXPECT_EQ(a.m_aItems[1].m_lParam, 30);

    // An unused head: its successor stands alone.
    EXPECT_EQ(KeysAndNext(Clean({Item(0, 1), Item(5, -1)})), (Chains{{5, -1}}));

    // Two chains stored interleaved come out one after the other.
    EXPECT_EQ(KeysAndNext(Clean({Item(1, 2), Item(4, 3), Item(2, -1), Item(5, -1)})),
              (Chains{{1, 1}, {2, -1}, {4, 3}, {5, -1}}));

    // An unused entry inside a chain is skipped over.
    EXPECT_EQ(KeysAndNext(Clean({Item(1, 1), Item(0, 2), Item(2, -1)})), (Chains{{1, 1}, {2, -1}}));
}

TEST(DiskSpaceControllerData, CleanEndsOnBadIndexesAndCycles) {
    // Out-of-range and negative links end the chain.
    EXPECT_EQ(KeysAndNext(Clean({Item(1, 7), Item(2, -5)})), (Chains{{1, -1}, {2, -1}}));
    // A cycle is cut before the repeat; a self-link ends at once.
    EXPECT_EQ(KeysAndNext(Clean({Item(1, 1), Item(2, 0)})), (Chains{{1, 1}, {2, -1}}));
    EXPECT_EQ(KeysAndNext(Clean({Item(3, 0)})), (Chains{{3, -1}}));
    // A large ring of unused entries ends too.
    std::vector<CDiskSpaceItem> ring;
    for (LONG i = 0; i < 1000; ++i) ring.push_back(Item(0, (i + 1) % 1000));
    EXPECT_TRUE(Clean(ring).m_aItems.empty());
}

TEST(DiskSpaceItemRecord, PathIsCutToTheFieldWithItsNul) {
    DiskSpaceItemRecord records[2];
    std::memset(records, 0x5A, sizeof records);
    FillDiskSpaceItemRecord(Item(4, 1, std::string(300, 'x')), &records[0]);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&records[0]);
    EXPECT_EQ(std::strlen(records[0].m_szPath), 259u);
    EXPECT_EQ(bytes[0], 4);
    EXPECT_EQ(bytes[264], 40);
    EXPECT_EQ(bytes[268], 1);
    EXPECT_EQ(bytes[272], 0x5A) << "nothing written past the record";
}

TEST(ClassRegistry, FactoriesAreReplacedAndUnknownClassesRefused) {
    void* object = reinterpret_cast<void*>(1);
    const CLSID unknown = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(qel::platform::CreateInstance(unknown, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    IQELServer* server = nullptr;
    ASSERT_EQ(CreateQELServer(&server), S_OK) << "the default server is there without registration";
    server->Release();

    int calls = 0;
    EXPECT_TRUE(qel::platform::RegisterClassFactory(CLSID_QELServer, [&](REFIID, void**) -> HRESULT {
        ++calls;
        throw 1;
    })) << "the default server was registered";
    EXPECT_FALSE(qel::outside::RegisterDefaultAppServer()) << "a registered replacement is kept";
    EXPECT_EQ(CreateQELServer(&server), E_UNEXPECTED);
    EXPECT_EQ(server, nullptr);
    EXPECT_EQ(calls, 1);

    qel::platform::RegisterClassFactory(CLSID_QELServer, {});
    EXPECT_FALSE(qel::platform::IsClassRegistered(CLSID_QELServer));
}

TEST(DefaultAppServer, ReportsTheLeastFreeSpaceOfItsPaths) {
    IQELServer* server = nullptr;
    ASSERT_EQ(qel::outside::CreateDefaultAppServer(IID_IQELServer, reinterpret_cast<void**>(&server)), S_OK);
    void* other = nullptr;
    EXPECT_EQ(server->QueryInterface(IID_IQELServer, &other), S_OK);
    EXPECT_EQ(server->Release(), 1u);

    const std::string temp = std::filesystem::temp_directory_path().string();
    const std::optional<LONG> tempFree = qel::outside::FreeSpaceMiB(temp);
    ASSERT_TRUE(tempFree.has_value());
    EXPECT_GT(*tempFree, 0) << "a temporary folder has some room";

    // No entries: the image store, which need not exist yet.
    setenv("QEL_IMAGE_STORE", qel::test::Sandbox::Current().Path("no/such/store").c_str(), 1);
    LONG free = -1;
    ASSERT_EQ(server->GetFreeDiskSpace(&free), S_OK);
    EXPECT_GT(free, 0);

    DiskSpaceItemRecord records[2];
    FillDiskSpaceItemRecord(Item(1, -1, temp), &records[0]);
    FillDiskSpaceItemRecord(Item(2, -1, "/"), &records[1]);
    ASSERT_EQ(server->InitDiskSpaceController(TRUE, 300, 150, 2, records), S_OK);
    LONG on = 0, warning = 0, error = 0, count = 0;
    ASSERT_EQ(server->GetDiskSpaceController(&on, &warning, &error, &count), S_OK);
    EXPECT_EQ(on, TRUE);
    EXPECT_EQ(warning, 300);
    EXPECT_EQ(error, 150);
    EXPECT_EQ(count, 2);
    ASSERT_EQ(server->GetFreeDiskSpace(&free), S_OK);
    // Other processes write meanwhile: allow some drift.
    EXPECT_NEAR(free, std::min(*tempFree, *qel::outside::FreeSpaceMiB("/")), 256);

    EXPECT_EQ(server->InitDiskSpaceController(TRUE, 1, 1, 3, nullptr), E_INVALIDARG);
    EXPECT_EQ(server->GetFreeDiskSpace(nullptr), E_POINTER);
    EXPECT_EQ(server->Release(), 0u);
}

}  // namespace

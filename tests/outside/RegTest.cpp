#include <qel/outside/Reg.h>
#include <qel/platform/Diagnostics.h>
#include <qel/platform/Registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/Files.h"
#include "support/Sandbox.h"

using qel::platform::Registry;

namespace {

const char* const kKey = "Software\\Talveni\\Quorva\\DatabaseJ3";

class RegTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::remove(qel::test::Sandbox::Current().RegistryFile());
        qel::platform::SetDiagnosticSink([](qel::platform::Severity, const std::string&) {});
    }
    void TearDown() override { qel::platform::SetDiagnosticSink({}); }
};

TEST_F(RegTest, WritesIntoTheCurrentUsersKeyCreatingIt) {
    Registry& store = Registry::CurrentUser();
    CReg reg(HKEY_CURRENT_USER, kKey);
    EXPECT_FALSE(store.KeyExists(kKey));  // constructing alone writes nothing
    EXPECT_TRUE(reg.SetValue("DatabaseID", "0123456789abcdef0123456789abcdef"));
    EXPECT_TRUE(reg.SetValue("CurrentDoctor", 0));
    EXPECT_TRUE(reg.SetValue("Negative", LONG{-5}));
    EXPECT_EQ(store.GetString(kKey, "DatabaseID"), "0123456789abcdef0123456789abcdef");
    EXPECT_EQ(store.GetInt(kKey, "CurrentDoctor"), 0);
    EXPECT_EQ(store.GetInt(kKey, "Negative"), -5);
}

TEST_F(RegTest, RefusedWritesReturnFalse) {
    CReg reg(HKEY_CURRENT_USER, kKey);
    EXPECT_FALSE(reg.SetValue(nullptr, "x"));
    EXPECT_FALSE(reg.SetValue("Name", static_cast<const char*>(nullptr)));
    EXPECT_FALSE(reg.SetValue("Name", "two\nlines"));
    CReg machine(reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)), kKey);
    EXPECT_FALSE(machine.SetValue("Count", 1));
    EXPECT_FALSE(Registry::CurrentUser().KeyExists(kKey));

    std::string blocker = qel::test::Sandbox::Current().Path("blocker");
    std::ofstream(blocker) << "not a folder";
    std::string saved = qel::test::Env("QEL_REGISTRY_FILE");
    ::setenv("QEL_REGISTRY_FILE", (blocker + "/registry.reg").c_str(), 1);
    bool written = reg.SetValue("DatabaseID", "x") || reg.SetValue("CurrentDoctor", 0);
    ::setenv("QEL_REGISTRY_FILE", saved.c_str(), 1);
    EXPECT_FALSE(written);
}

}  // namespace

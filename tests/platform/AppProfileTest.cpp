#include <qel/platform/AppProfile.h>
#include <qel/platform/Registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "CapturedDiagnostics.h"
#include "support/Files.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;
using qel::platform::AppProfile;
using qel::platform::Registry;

namespace {

class AppProfileTest : public ::testing::Test {
protected:
    void SetUp() override { fs::remove(qel::test::Sandbox::Current().RegistryFile()); }

    qel::test::CapturedDiagnostics m_quiet;
};

TEST_F(AppProfileTest, CurrentProfileIsRootedAtTheComponentKey) {
    AppProfile& profile = AppProfile::Current();
    EXPECT_EQ(profile.RootKey(), "Software\\Talveni\\Quorva");
    EXPECT_EQ(profile.WriteProfileInt("General", "KanaChar", 1), TRUE);
    EXPECT_EQ(Registry::CurrentUser().GetInt("Software\\Talveni\\Quorva\\General", "KanaChar"), 1);
    EXPECT_EQ(profile.GetProfileInt("general", "kanachar", -1), 1);
}

TEST_F(AppProfileTest, AbsentMarkersRoundTripAsPlainValues) {
    AppProfile profile("Talveni", "Quorva");
    EXPECT_EQ(profile.GetProfileInt("DatabaseJ3", "CurrentDoctor", -1), -1);
    EXPECT_EQ(profile.GetProfileString("DatabaseJ3", "Name", "<@>"), "<@>");

    ASSERT_EQ(profile.WriteProfileInt("DatabaseJ3", "CurrentDoctor", -1), TRUE);
    ASSERT_EQ(profile.WriteProfileString("DatabaseJ3", "Name", "<@>"), TRUE);
    EXPECT_EQ(profile.GetProfileInt("DatabaseJ3", "CurrentDoctor", 99), -1);
    EXPECT_EQ(profile.GetProfileString("DatabaseJ3", "Name", "other"), "<@>");

    // A value of the other type gives the caller's default.
    EXPECT_EQ(profile.GetProfileInt("DatabaseJ3", "Name", 42), 42);
    EXPECT_EQ(profile.GetProfileString("DatabaseJ3", "CurrentDoctor", "dflt"), "dflt");
}

TEST_F(AppProfileTest, RegistryKeyAndNameSelectTheRoot) {
    Registry store(qel::test::Sandbox::Current().Path("own.reg"));
    AppProfile profile("Talveni", "Quorva", &store);
    profile.SetRegistryKey("Maker");
    profile.SetAppName("Tool");
    EXPECT_EQ(profile.RootKey(), "Software\\Maker\\Tool");
    ASSERT_EQ(profile.WriteProfileString("Columns", "Width0", "120"), TRUE);
    ASSERT_EQ(profile.WriteProfileInt("", "AtRoot", 3), TRUE);
    EXPECT_EQ(store.GetString("Software\\Maker\\Tool\\Columns", "Width0"), "120");
    EXPECT_EQ(store.GetInt("Software\\Maker\\Tool", "AtRoot"), 3);
    EXPECT_FALSE(fs::exists(qel::test::Sandbox::Current().RegistryFile()));
    profile.SetRegistryKey("");
    EXPECT_EQ(profile.RootKey(), "Software\\Tool");
}

TEST_F(AppProfileTest, WritesReportFailure) {
    std::string blocker = qel::test::Sandbox::Current().Path("blocker");
    std::ofstream(blocker) << "not a folder";
    std::string saved = qel::test::Env("QEL_REGISTRY_FILE");
    ::setenv("QEL_REGISTRY_FILE", (blocker + "/missing/registry.reg").c_str(), 1);
    AppProfile& profile = AppProfile::Current();
    EXPECT_EQ(profile.WriteProfileInt("DatabaseJ1", "CurrentDoctor", 1), FALSE);
    EXPECT_EQ(profile.WriteProfileString("DatabaseJ1", "DatabaseID", "x"), FALSE);
    EXPECT_EQ(profile.GetProfileInt("DatabaseJ1", "CurrentDoctor", -1), -1);
    ::setenv("QEL_REGISTRY_FILE", saved.c_str(), 1);
    EXPECT_EQ(profile.WriteProfileInt("DatabaseJ1", "CurrentDoctor", 1), TRUE);
}

}  // namespace

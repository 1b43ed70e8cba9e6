// Replays the settings fuzzer's seed corpus (tests/fuzz/corpus/settings).
// File names state what is expected: "ok-*" must read as a record and
// "bad-*" as the defaults; every file, including inputs the fuzzer found,
// must keep the reader's invariants.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <qel/database/SettingsRecord.h>

#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

using qel::settings::DatabaseSettings;

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SettingsCorpus, EveryCorpusFileReplays) {
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(qel::test::SourcePath("tests/fuzz/corpus/settings")))
        if (entry.is_regular_file()) files.push_back(entry.path());
    ASSERT_GE(files.size(), 15u);

    for (const fs::path& path : files) {
        const std::string name = path.filename().string();
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> bytes = ReadAll(path);
        DatabaseSettings read;
        read.lCurrentMedia = 1234;
        const bool ok = qel::settings::DecodeSettings(bytes.data(), bytes.size(), &read);
        if (name.starts_with("ok-")) {
            EXPECT_TRUE(ok);
        } else if (name.starts_with("bad-")) {
            EXPECT_FALSE(ok);
        }
        if (!ok) {
            EXPECT_EQ(read, DatabaseSettings());
            continue;
        }
        const std::vector<std::uint8_t> written = qel::settings::EncodeSettings(read);
        DatabaseSettings again;
        ASSERT_TRUE(qel::settings::DecodeSettings(written.data(), written.size(), &again));
        EXPECT_EQ(again, read);
        if (name == "ok-v5-defaults.bin") {
            EXPECT_EQ(bytes, written);
        }
    }
}

}  // namespace

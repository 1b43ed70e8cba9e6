// Replays the layout fuzzer's seed corpus (tests/fuzz/corpus/layout) and the
// shipped layouts through both readers. File names state what is expected:
// "ok-*" must be accepted and "bad-*" refused (".lay" by the text parser,
// ".bin" by Deserialize); every file, including inputs the fuzzer found,
// must keep the readers' invariants.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <qel/outside/records/LayoutData.h>

#include "support/Files.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

// What a successful read must allow: a stored form that reads back to the
// same content and the same bytes.
void ExpectStable(const CLayoutData& layout, const std::string& name) {
    const std::vector<unsigned char> blob = layout.Serialize();
    ASSERT_FALSE(blob.empty()) << name;
    CLayoutData copy;
    std::string message;
    ASSERT_TRUE(copy.Deserialize(blob.data(), blob.size(), &message)) << name << ": " << message;
    EXPECT_TRUE(copy.SameContent(layout)) << name;
    EXPECT_EQ(copy.Serialize(), blob) << name;
}

void Replay(const fs::path& path) {
    const std::string name = path.filename().string();
    const std::string bytes = qel::test::ReadFile(path);
    const bool ok = name.starts_with("ok-") || path.parent_path().filename() == "layouts";
    const bool bad = name.starts_with("bad-");
    const bool text = path.extension() == ".lay";
    SCOPED_TRACE(path.string());

    CLayoutData parsed;
    LONG page = 0;
    std::string message;
    if (parsed.ParseLayoutText(bytes, name.c_str(), 1, &page, &message)) {
        EXPECT_FALSE(text && bad) << "a bad file was accepted";
        EXPECT_EQ(page, parsed.m_nPageID);
        // The shipped files are named after their page.
        if (path.parent_path().filename() == "layouts") {
            EXPECT_EQ(name, "page" + std::to_string(page) + ".lay");
        }
        ExpectStable(parsed, name);
    } else {
        EXPECT_FALSE(text && ok) << message;
        EXPECT_EQ(page, -1);
        EXPECT_TRUE(parsed.SameContent(CLayoutData()));
        if (text) {
            // "name:line: reason"
            ASSERT_EQ(message.rfind(name + ":", 0), 0u) << message;
            EXPECT_TRUE(std::regex_match(message.substr(name.size()), std::regex(":[1-9][0-9]*: .+"))) << message;
        }
    }

    CLayoutData decoded;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (decoded.Deserialize(data, bytes.size(), &message)) {
        EXPECT_FALSE(!text && bad) << "bad stored data was accepted";
        EXPECT_EQ(decoded.Serialize(), std::vector<unsigned char>(data, data + bytes.size()));
    } else {
        EXPECT_FALSE(!text && ok) << message;
        EXPECT_EQ(message.rfind("layout data: ", 0), 0u) << message;
        EXPECT_TRUE(decoded.SameContent(CLayoutData()));
    }
}

TEST(LayoutCorpus, EveryCorpusFileAndShippedLayoutReplays) {
    std::vector<fs::path> files;
    for (const char* folder : {"tests/fuzz/corpus/layout", "layouts"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(qel::test::SourcePath(folder))) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
    }
    // The seeds: five shipped pages, their copies, stored forms and bad files.
    ASSERT_GE(files.size(), 15u);
    for (const fs::path& path : files) Replay(path);
}

}  // namespace

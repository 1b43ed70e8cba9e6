// The table of error codes: the library's texts, docs/errors.md and the
// codes the sources actually set must stay one and the same list.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include <qel/database/ErrorCodes.h>
#include <qel/qeldb.h>

#include "support/Files.h"
#include "support/Sandbox.h"

namespace fs = std::filesystem;

namespace {

// "| code | meaning | ..." rows of the docs table.
std::map<LONG, std::string> DocumentedMeanings() {
    std::map<LONG, std::string> rows;
    std::istringstream lines(qel::test::ReadFile(qel::test::SourcePath("docs/errors.md")));
    const std::regex row(R"(^\| (\d+) \| ([^|]+?) \|)");
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, row)) rows[std::stol(m[1].str())] = m[2].str();
    }
    return rows;
}

}  // namespace

TEST(ErrorCodes, DocsTableAndLibraryTextsAgreeCodeForCode) {
    const auto documented = DocumentedMeanings();
    const auto known = qel::database::KnownErrorCodes();
    ASSERT_FALSE(known.empty());
    EXPECT_TRUE(std::is_sorted(known.begin(), known.end()));
    for (LONG code : known) {
        const auto row = documented.find(code);
        ASSERT_NE(row, documented.end()) << "code " << code << " is missing from docs/errors.md";
        EXPECT_EQ(row->second, qel::database::ErrorText(code)) << "code " << code;
    }
    for (const auto& [code, meaning] : documented)
        EXPECT_NE(std::find(known.begin(), known.end(), code), known.end())
            << "docs/errors.md documents " << code << " (" << meaning << "), which ErrorText does not know";
}

TEST(ErrorCodes, EveryCodeTheSourcesSetHasAMeaning) {
    // Literal codes handed to the error helpers anywhere in the component.
    const std::regex literal(R"(\b(?:SetError|Fail)\((\d+)\b|\? (\d+) : (\d+)\))");
    std::set<LONG> used;
    for (const char* folder : {"database", "callback", "frame", "schema", "datasource"}) {
        for (const auto& entry : fs::recursive_directory_iterator(qel::test::SourcePath(folder))) {
            if (entry.path().extension() != ".cpp") continue;
            const std::string text = qel::test::ReadFile(entry.path());
            for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it)
                for (int group = 1; group <= 3; ++group)
                    if ((*it)[group].matched) used.insert(std::stol((*it)[group].str()));
        }
    }
    // The helpers of OpenClose.cpp alone set a dozen; finding few means the
    // pattern no longer matches the code.
    EXPECT_GE(used.size(), 20u);
    const auto known = qel::database::KnownErrorCodes();
    for (LONG code : used)
        EXPECT_NE(std::find(known.begin(), known.end(), code), known.end()) << "code " << code << " has no meaning";
}

TEST(ErrorCodes, SuccessAndForeignCodesGetTheirOwnWords) {
    EXPECT_STREQ(qel::database::ErrorText(0), "success");
    const std::string foreign = qel::database::ErrorText(4242);
    EXPECT_NE(foreign.find("not a code of this component"), std::string::npos) << foreign;
    EXPECT_EQ(std::string(qel::database::ErrorText(-1)), foreign);
    EXPECT_NE(std::string(qel::database::ErrorText(7020)), foreign);
}

TEST(ErrorCodes, EachOperationStartsWithoutTheCauseOfAnEarlierOne) {
    qel::outside::LogWarning("left over from before");
    CDatabaseObj db;
    db.GetLKey();  // clears the error state, and with it the cause
    EXPECT_EQ(qel::outside::LastFailureCause(), "");
}

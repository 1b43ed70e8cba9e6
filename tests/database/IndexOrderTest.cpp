// Differential test of the name search against a full scan: for random
// names and texts mixing ASCII, blanks, hyphens and accented letters
// (precomposed and with combining marks), the exact and prefix searches,
// which walk the patient set's name index and stop early where they may,
// find exactly the patients a scan of every name with the match comparison
// finds. Printed lists may sort by the user's
// collation; this is what keeps the index order itself tied to the search.
#include <algorithm>
#include <random>
#include <set>

#include <qel/outside/records/CachedData.h>

#include "support/EngineDatabase.h"

namespace {

using namespace qel::platform;
using Keys = std::set<LONG>;

constexpr DWORD kCompareFlags = NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | SORT_STRINGSORT;

// Pieces names are made of, as UTF-8.
const std::vector<std::string> kPieces = {
    "R", "O", "S", "I", "a", "o", "s", "i", " ", "-",
    "\xC3\xA9",          // é
    "\xC3\x89",          // É
    "e\xCC\x81",         // e + combining acute
    "\xC3\x80",          // À
    "\xC3\xB1",          // ñ
};

class IndexOrder : public qel::test::OpenedDatabase {
protected:
    static std::string RandomText(std::mt19937& random, size_t most) {
        std::uniform_int_distribution<size_t> length(1, most), piece(0, kPieces.size() - 1);
        std::string text;
        for (size_t n = length(random); n > 0; --n) text += kPieces[piece(random)];
        return text;
    }

    // What a scan of every name finds: both sides upper-cased, an exact
    // match equal under the comparison, a prefix match equal over the
    // text's length in bytes.
    static Keys Scan(const std::vector<qel::test::PatientRow>& rows, const std::string& text, SHORT mode) {
        const std::string wanted = CharUpper(text);
        Keys keys;
        for (const auto& row : rows) {
            const std::string field = CharUpper(row.name);
            const std::string_view compared =
                mode == 0 ? std::string_view(field) : std::string_view(field).substr(0, wanted.size());
            if (CompareStringA(GetThreadLocale(), kCompareFlags, wanted, compared) == CSTR_EQUAL) keys.insert(row.key);
        }
        return keys;
    }

    Keys Search(const std::string& text, SHORT mode) {
        LONG count = -1;
        EXPECT_TRUE(m_db.SearchPatient(text.c_str(), mode, "", 0, FALSE, FALSE, &count)) << m_db.GetLErrorCode();
        const std::vector<LONG> found = Found();
        EXPECT_EQ(count, static_cast<LONG>(found.size()));
        return {found.begin(), found.end()};
    }
};

TEST_P(IndexOrder, IndexWalksFindWhatAFullScanFinds) {
    SetThreadLocale(LOCALE_ITALIAN);
    std::mt19937 random(20261208);
    std::vector<qel::test::PatientRow> rows;
    for (LONG key = 1; key <= 400; ++key) rows.push_back({key, RandomText(random, 6), std::to_string(key)});
    Insert(rows);
    // The scan reads the names as the cache holds them (trailing blanks of
    // the stored text dropped), as the search does.
    for (auto& row : rows) {
        CPatientData* patient = nullptr;
        ASSERT_TRUE(m_db.GetPatientData(row.key, &patient)) << row.key;
        row.name = patient->GetName();
    }

    int prefixHits = 0;
    for (int round = 0; round < 300; ++round) {
        // Half the texts are beginnings of stored names, so that most find something.
        std::string text = RandomText(random, 3);
        if (round % 2 == 0) {
            const std::string& name = rows[static_cast<size_t>(round) % rows.size()].name;
            size_t cut = std::min(name.size(), static_cast<size_t>(1 + round % 4));
            while (cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) ++cut;  // whole characters
            text = name.substr(0, cut);
        }
        if (text.find_first_not_of(' ') == std::string::npos) continue;  // a blank text means "no criterion"
        const std::string trimmed = text.substr(text.find_first_not_of(' '), text.find_last_not_of(' ') -
                                                                               text.find_first_not_of(' ') + 1);
        for (SHORT mode : {SHORT{0}, SHORT{1}}) {
            const Keys expected = Scan(rows, trimmed, mode);
            EXPECT_EQ(Search(text, mode), expected) << "mode " << mode << " text \"" << text << "\"";
            if (mode == 1 && !expected.empty()) ++prefixHits;
        }
    }
    EXPECT_GT(prefixHits, 100) << "the texts should mostly find patients";
}

INSTANTIATE_TEST_SUITE_P(Engines, IndexOrder, qel::test::BothEngines(), qel::test::EngineParamName);

}  // namespace

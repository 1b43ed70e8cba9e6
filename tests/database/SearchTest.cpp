// The patient and doctor searches: match modes, the criteria table, the
// Japanese rules, the selection hook and the found list.
#include <qel/database/SelectPatientModel.h>
#include <qel/outside/records/CachedData.h>

#include "support/EngineDatabase.h"

namespace {

using namespace qel::platform;
using Keys = std::vector<LONG>;

class Search : public qel::test::OpenedDatabase {
protected:
    // The found keys of SearchPatient(2) without selection, or {-code}.
    Keys Find(const char* name, SHORT nameMode, const char* number = "", SHORT numberMode = 0,
              BOOL emptyNumber = FALSE) {
        LONG count = -1;
        if (!m_db.SearchPatient(name, nameMode, number, numberMode, emptyNumber, FALSE, &count))
            return {-m_db.GetLErrorCode()};
        return count == static_cast<LONG>(Found().size()) ? Found() : Keys{-1};
    }
    Keys Find2(const char* name, SHORT nameMode, const char* kanji, SHORT kanjiMode, BOOL emptyKanji = FALSE) {
        LONG count = -1;
        if (!m_db.SearchPatient2(name, nameMode, kanji, kanjiMode, emptyKanji, "", 0, FALSE, FALSE, &count))
            return {-m_db.GetLErrorCode()};
        return Found();
    }
};

TEST_P(Search, MatchModesIgnoreCaseAndFollowTheNameIndex) {
    Insert({{1, "ROSSI", "1"}, {2, "rossi", "2"}, {3, "ROMANO", "3"}, {4, "BARONE", "4"}, {5, "ROSSINI", "5"},
            {6, "ROSSE\u0301", "6"}, {7, "ROSSEZ", "7"}, {8, "ROSSF", "8"}});
    EXPECT_EQ(Find(" rossi ", 0), (Keys{1, 2}));
    EXPECT_EQ(Find("RO", 1), (Keys{3, 7, 8, 1, 2, 5, 6}));
    EXPECT_EQ(Find("RO", 2), (Keys{4, 3, 7, 8, 1, 2, 5, 6}));
    EXPECT_EQ(Find("ROSSI", 1), (Keys{1, 2, 5}));
    // The decomposed accent sorts as a precomposed letter after ROSSF and
    // ROSSINI, but its bytes begin with ROSSE: a prefix scan must not stop at ROSSF.
    EXPECT_EQ(Find("ROSSE", 1), (Keys{7, 6}));
    EXPECT_EQ(Find("ROSSO", 1), Keys{});
}

TEST_P(Search, CriteriaTable) {
    Insert({{1, "ROSSI", "X2"}, {2, "ROSSI", "X1"}, {3, "ROSSI", "Y3"}, {4, "VERDI", "X0"}, {5, "ARDITO", ""},
            {6, "BIANCHI", ""}});
    EXPECT_EQ(Find("", 0), (Keys{5, 6, 1, 2, 3, 4})) << "no criterion: everyone in name order";
    EXPECT_EQ(Find("", 0, "", 0, TRUE), (Keys{5, 6})) << "empty number criterion";
    EXPECT_EQ(Find("", 0, "X", 1), (Keys{4, 2, 1}));
    EXPECT_EQ(Find("ROSSI", 0, "X", 1), (Keys{2, 1})) << "both: the intersection in number order";
    EXPECT_EQ(Find("I", 2, "", 0, TRUE), (Keys{5, 6}));
    EXPECT_EQ(Find("ROSSI", 3), Keys{-60});
    EXPECT_EQ(Find("ROSSI", 0, "", -1), Keys{-60});
}

TEST_P(Search, JapaneseNamesAndKanji) {
    Insert({{1, "YAMADA@TARO", "12-3", "\u5C71\u7530\u592A\u90CE"}, {2, "YAMADA@HANAKO", "7", "\u9234\u6728"},
            {3, "SUZUKI@ICHIRO", "8", "YAMADA"}, {4, "MORI\uFF70@KEN", "9", ""}});
    ASSERT_TRUE(SetThreadLocale(LOCALE_ITALIAN));
    EXPECT_EQ(Find2("YAMADA", 1, "", 0), (Keys{-8090}));
    EXPECT_EQ(Find("YAMADA", 1), (Keys{2, 1}));
    EXPECT_EQ(Find("MORI- KEN", 0), Keys{}) << "neither the hyphen nor the \"@\" rule outside Japanese";

    ASSERT_TRUE(SetThreadLocale(LOCALE_JAPANESE));
    EXPECT_EQ(Find("YAMADA TARO", 0), (Keys{1})) << "family@given compares as family given";
    EXPECT_EQ(Find("\uFF39\uFF21\uFF2D\uFF21\uFF24\uFF21\u3000\uFF34\uFF21\uFF32\uFF2F", 0), (Keys{1}));
    EXPECT_EQ(Find("YAMADA", 0), (Keys{3})) << "no whole name is YAMADA; one Kanji name is";
    EXPECT_EQ(Find("YAMADA", 1), (Keys{2, 1, 3})) << "name matches, then Kanji name matches";
    EXPECT_EQ(Find("MORI- KEN", 0), (Keys{4}));
    EXPECT_EQ(Find("", 0, "12\u30FC3", 0), (Keys{1})) << "number hyphens become '-'";
    EXPECT_EQ(Find2("YAMADA", 1, "\u5C71\u7530", 1), (Keys{1})) << "name and Kanji name: the intersection";
    EXPECT_EQ(Find2("YAMADA", 1, "", 0, TRUE), Keys{}) << "with the empty flag only empty Kanji names qualify";
    EXPECT_EQ(Find2("YAMADA", 1, "X", 7), (Keys{2, 1})) << "an unknown Kanji mode restricts nothing";
}

// Where the index order cannot bound the matches the scan covers it all: a
// decomposed accent composing into a letter that sorts before the text, and
// the Japanese rewriting, under which "@" and blanks compare alike (leading
// ones trimmed away) while the index tells them apart.
TEST_P(Search, UnboundedScansReachEveryMatch) {
    Insert({{1, "\u0391\u0301\u0398\u0397\u039D\u0391", "1"}, {2, "\u0391\u0398\u0397\u039D\u0391", "2"},
            {3, "@SATO", "3"}, {4, "SATO", "4"}, {5, "YAMADA TARO", "5"}, {6, "YAMADA@TARO", "6"},
            {7, "YAMADA@TARO@JIRO", "7"}, {8, "YAMADA@TARO JIRO", "8"}, {9, "SATO@@", "9"}});
    ASSERT_TRUE(SetThreadLocale(LOCALE_ITALIAN));
    EXPECT_EQ(Find("\u0391", 1), (Keys{1, 2})) << "alpha and a combining acute sort before alpha";

    ASSERT_TRUE(SetThreadLocale(LOCALE_JAPANESE));
    EXPECT_EQ(Find("SATO", 0), (Keys{3, 4, 9}));
    EXPECT_EQ(Find("YAMADA TARO", 0), (Keys{5, 6}));
    EXPECT_EQ(Find("YAMADA TARO JIRO", 0), (Keys{8, 7}));
    EXPECT_EQ(Find("YAMADA T", 1), (Keys{5, 6, 8, 7}));
}

TEST_P(Search, SelectionDialogChoosesOrCancels) {
    Insert({{1, "ROSSI", "1"}, {2, "ROSSI", "2"}, {3, "VERDI", "3"}});
    LONG count = 0;
    EXPECT_FALSE(m_db.SearchPatient("ROSSI", 0, "", 0, FALSE, TRUE, &count));
    EXPECT_EQ(m_db.GetLErrorCode(), 40) << "the default user interface cancels";
    EXPECT_EQ(Found(), (Keys{1, 2}));
    m_ui->modalHandler = [&](const DialogRequest& request) {
        auto* model = static_cast<qel::ui::SelectPatientModel*>(request.model);
        CPatientData* missing = nullptr;
        EXPECT_FALSE(model->pDatabase->GetPatientData(99, &missing));  // a dialog's failed read is not the search's
        model->lPatientKey = request.kind == "SelectPatient" && model->pDatabase == &m_db ? 2 : 0;
        return IDOK;
    };
    ASSERT_TRUE(m_db.SearchPatient("ROSSI", 0, "", 0, FALSE, TRUE, &count));
    EXPECT_EQ(m_db.GetLErrorCode(), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Found(), (Keys{2}));
    ASSERT_TRUE(m_db.SearchPatient("VERDI", 0, "", 0, FALSE, TRUE, &count));
    EXPECT_EQ(m_ui->Count("RunModal"), 2u) << "one patient needs no choice";
}

TEST_P(Search, FoundListPositionsAndDeletedKeys) {
    m_db.GetDatabase()->ExecuteSQL("INSERT INTO DOC200 (DOCID, DOCKEY, DOCNAME) VALUES ('D7', 7, 'DR NERI')");
    Insert({{1, "ROSSI", "1", "", 7}, {2, "ROMANO", "2", "", 7}, {3, "VERDI", "3", "", 0}});
    LONG count = 0, key = -1;
    ASSERT_EQ(Find("RO", 1), (Keys{2, 1}));
    for (LONG position : {-1, 2}) {
        EXPECT_FALSE(m_db.GetFoundPatient(position, &key));
        EXPECT_EQ(m_db.GetLErrorCode(), 10);
    }
    ASSERT_TRUE(m_db.DeletePatientData(1));
    EXPECT_FALSE(m_db.GetFoundPatient(1, &key));
    EXPECT_EQ(m_db.GetLErrorCode(), 50);
    EXPECT_EQ(key, 1) << "the key is written all the same";

    ASSERT_TRUE(m_db.SearchDoctor(7, &count) && count == 1 && m_db.GetDoctorOwnerKey(0, &key));
    EXPECT_EQ(Found(), (Keys{key}));
    EXPECT_FALSE(m_db.GetDoctorOwnerKey(count, &key));
    EXPECT_EQ(m_db.GetLErrorCode(), 60);
    ASSERT_TRUE(m_db.SearchDoctor(0, &count));
    EXPECT_EQ(Found(), (Keys{3})) << "the placeholder doctor's patients";
    EXPECT_FALSE(m_db.SearchDoctor(-1, &count));
    EXPECT_EQ(m_db.GetLErrorCode(), 60);
    EXPECT_TRUE(count == 0 && m_db.GetFoundPatients().empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, Search, qel::test::BothEngines(), qel::test::EngineParamName);

}  // namespace

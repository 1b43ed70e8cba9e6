// The patient search: name, Kanji name and number criteria over the patient
// set's two sorted indexes (0 by name, 1 by number), and the found list.
//
// Matching follows the rules on the upper-cased field: an exact match
// compares width- and kana-type-insensitively (CompareStringA), a prefix
// match compares the text with as many leading bytes of the field, a contains
// match is a plain substring search. The index orders patients by
// CPatientSet::SortKey, the fold an exact match compares, and holds every
// sort key in one buffer with flags saying whether key and field are ASCII.
// The sort key stands in for the field only where that gives the same
// answer: in an exact match, and in the other modes when the field is itself
// ASCII (its sort key is then its upper-cased bytes); under the Japanese
// name rewriting also only when the field holds no "@" and no blank at an
// end, which the rewriting would change. A full-width field's sort key is
// ASCII too, but its bytes are not, so a prefix or contains text is looked
// for in the field, never in the key. Entries the key cannot answer read
// their patient from the set and fold its field, as the rules say.
//
// Where a scan may start late or stop early, and why that finds the same
// patients as a scan of the whole index:
//
// - Exact, outside the Japanese name rewriting: a field matches exactly when
//   its sort key equals the text's fold, so the matches are one contiguous
//   run starting at the first entry not before the text; the scan stops at
//   the first entry after it.
// - Prefix, outside the rewriting and for an ASCII text: a field matches only
//   if its upper-cased bytes begin with the text (a fold that is ASCII is
//   shorter than its source unless the source is ASCII, so no other prefix
//   of as many bytes folds to the text). Its sort key then either begins with
//   the text or (a combining mark after the text composing with its last
//   letter) with the text minus its last character followed by a precomposed
//   character, which is never below U+00C0. Both groups are contiguous in the
//   index; everything between and after them cannot match.
// - Under the Japanese rewriting "@" and blanks compare alike, and leading
//   ones are trimmed away, while the index tells them apart; a non-ASCII
//   prefix may compose with what follows it into a character that sorts
//   before the text (Greek alpha and a combining acute). No position bounds
//   the matches there, and those scans cover the whole index.
#include <qel/database/DatabaseObj.h>

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include <qel/database/SelectPatientModel.h>
#include <qel/outside/ExtString.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/platform/Locale.h>
#include <qel/platform/UserInterface.h>

namespace {

using namespace qel::platform;

constexpr DWORD kCompareFlags = NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | SORT_STRINGSORT;
// Size of the temporary key maps that combine the steps' results.
constexpr std::size_t kKeyMapBuckets = 2309;
// The code page 932 half-width prolonged sound mark that name hyphens become.
constexpr char kNameHyphen = static_cast<char>(0xB0);
// UTF-8 of U+00C0, the lowest precomposed character an ASCII letter can become.
constexpr const char* kLowestComposed = "\xC3\x80";

enum : int { kNumberKind = 0, kNameKind = 1 };

// Both sides are upper-cased by the caller.
bool Matches(std::string_view field, std::string_view text, int nMode) {
    switch (nMode) {
        case 0:
            return CompareStringA(GetThreadLocale(), kCompareFlags, text, field) == CSTR_EQUAL;
        case 1:
            return CompareStringA(GetThreadLocale(), kCompareFlags, text, field.substr(0, text.size())) == CSTR_EQUAL;
        case 2:
            return field.find(text) != std::string_view::npos;
        default:
            return true;  // an unknown Kanji mode restricts nothing
    }
}

// Matches for upper-cased ASCII texts, byte by byte.
bool AsciiMatches(std::string_view field, std::string_view text, int nMode) {
    switch (nMode) {
        case 0: return field == text;
        case 1: return field.starts_with(text);
        case 2: return field.find(text) != std::string_view::npos;
        default: return true;
    }
}

std::string Trimmed(std::string text) {
    CExtString ext(std::move(text));
    ext.Trim();
    return ext.Str();
}

// Whether Trimmed would change the text (blanks as CExtString::Trim takes them).
bool HasEdgeBlank(std::string_view text) {
    if (text.empty()) return false;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";
    return blank(text.front()) || blank(text.back()) || text.starts_with(kIdeographicSpace) ||
           text.ends_with(kIdeographicSpace);
}

std::string WithBlanksForAt(std::string text) {
    std::replace(text.begin(), text.end(), '@', ' ');
    return Trimmed(std::move(text));
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void PrepareText(CExtString& text, char hyphen) {
    text.Modify(CExtString::eHalfToFullKatakana);
    text.Modify(CExtString::eFullwidthToAscii);
    text.ConvertHyphens(hyphen);
}

std::unordered_set<LONG> KeyMap(const std::vector<LONG>& keys) {
    std::unordered_set<LONG> map(kKeyMapBuckets);
    map.insert(keys.begin(), keys.end());
    return map;
}

}  // namespace

BOOL CDatabaseObj::SearchPatient(LPCSTR szName, SHORT nNameMode, LPCSTR szNumber, SHORT nNumberMode,
                                 BOOL bEmptyNumber, BOOL bSelect, LONG* plCount) {
    m_bCompatibleSearch = TRUE;
    BOOL bResult = FALSE;
    try {
        bResult = SearchPatient2(szName, nNameMode, nullptr, 0, FALSE, szNumber, nNumberMode, bEmptyNumber, bSelect,
                                 plCount);
    } catch (...) {
        bResult = FALSE;
    }
    m_bCompatibleSearch = FALSE;
    return bResult;
}

BOOL CDatabaseObj::SearchPatient2(LPCSTR szName, SHORT nNameMode, LPCSTR szKanjiName, SHORT nKanjiMode,
                                  BOOL bEmptyKanji, LPCSTR szNumber, SHORT nNumberMode, BOOL bEmptyNumber,
                                  BOOL bSelect, LONG* plCount) try {
    ClearError();
    m_arrFoundPatients.clear();
    if (!CheckPatientSet(nullptr) || !m_pPatientSet) return SetError(10);
    auto validMode = [](SHORT nMode) { return nMode >= 0 && nMode <= 2; };
    if (!validMode(nNameMode) || !validMode(nNumberMode) || plCount == nullptr) return SetError(60);
    const bool japanese = IsJapaneseThreadLocale();
    if (!m_bCompatibleSearch && !japanese) return SetError(8090);

    CExtString name(szName), number(szNumber), kanji;
    name.Trim();
    number.Trim();
    if (!m_bCompatibleSearch) {
        kanji = CExtString(szKanjiName);
        kanji.Trim();
    }
    if (japanese) {
        PrepareText(name, kNameHyphen);
        PrepareText(kanji, kNameHyphen);
        PrepareText(number, '-');
    }

    bool bNameOn = !name.IsEmpty();
    if (!bNameOn && !m_bCompatibleSearch) bNameOn = !kanji.IsEmpty() || bEmptyKanji;
    const bool bNumberOn = !number.IsEmpty() || bEmptyNumber;

    auto nameStep = [&](std::vector<LONG>& result) {
        if (m_bCompatibleSearch)
            return SearchPatientHelper(kNameKind, name.Str(), nNameMode, FALSE, name.Str(), nNameMode, FALSE, result);
        return SearchPatientHelper(kNameKind, name.Str(), nNameMode, FALSE, kanji.Str(), nKanjiMode, bEmptyKanji,
                                   result);
    };
    auto numberStep = [&](std::vector<LONG>& result) {
        return SearchPatientHelper(kNumberKind, number.Str(), nNumberMode, bEmptyNumber, std::string(), 0, FALSE,
                                   result);
    };
    auto stepFailed = [&](BOOL bOk) { return !bOk || lErrorCode != 0; };

    if (!bNameOn && !bNumberOn) {
        const CQELObjectSet::SortedIndex* index = m_pPatientSet->GetSortedIndex(0);
        if (index == nullptr) return SetError(10);
        m_arrFoundPatients.resize(index->Size());
        std::transform(index->Entries(), index->Entries() + index->Size(), m_arrFoundPatients.begin(),
                       [](const CQELObjectSet::SortedIndex::Entry& e) { return e.lKey; });
    } else if (bNameOn && !bNumberOn) {
        if (stepFailed(nameStep(m_arrFoundPatients))) return PassOnError();
    } else if (!bNameOn) {
        if (stepFailed(numberStep(m_arrFoundPatients))) return PassOnError();
    } else {
        std::vector<LONG> byName, byNumber;
        if (stepFailed(nameStep(byName))) return PassOnError();
        if (stepFailed(numberStep(byNumber))) return PassOnError();
        const auto named = KeyMap(byName);
        for (LONG key : byNumber)
            if (named.count(key) != 0) m_arrFoundPatients.push_back(key);
    }

    *plCount = static_cast<LONG>(m_arrFoundPatients.size());
    if (*plCount >= 2 && bSelect) {
        qel::ui::SelectPatientModel model{this};
        if (UserInterface().RunModal(DialogRequest{qel::ui::kSelectPatientDialog, &model}) != IDOK) return SetError(40);
        // The dialog reads patients through this object's own calls, which
        // leave their error state behind; the search itself succeeded.
        ClearError();
        m_arrFoundPatients.assign(1, model.lPatientKey);
        *plCount = 1;
    }
    return TRUE;
} catch (...) {
    return FALSE;
}

BOOL CDatabaseObj::SearchPatientHelper(int nKind, const std::string& strText, int nMode, int bEmpty,
                                       const std::string& strSecond, int nSecondMode, int bSecondEmpty,
                                       std::vector<LONG>& result) {
    if (!SearchPatientHelper2(nKind, strText, nMode, bEmpty, result) || lErrorCode != 0) return PassOnError();
    if (nKind == kNumberKind || !IsJapaneseThreadLocale()) return TRUE;

    // The Kanji step.
    const std::string second = CharUpper(Trimmed(strSecond));
    int nMatchMode = nSecondMode;
    if (second.empty()) {
        if (!bSecondEmpty) return TRUE;
        nMatchMode = 0;
    }
    const auto found = KeyMap(result);
    if (!m_bCompatibleSearch) result.clear();

    const CQELObjectSet::SortedIndex* index = m_pPatientSet->GetSortedIndex(0);
    if (index == nullptr) return SetError(10);
    for (const auto* e = index->Entries(), *end = e + index->Size(); e != end; ++e) {
        const LONG key = e->lKey;
        CPatientData* pPatient = nullptr;
        if (!m_pPatientSet->GetAs(key, &pPatient)) return SetError(10);
        if (!Matches(CharUpper(pPatient->GetKanjiName()), second, nMatchMode)) continue;
        // Compatible: the union, name matches first; otherwise the intersection.
        if ((found.count(key) != 0) != static_cast<bool>(m_bCompatibleSearch)) result.push_back(key);
    }
    return TRUE;
}

BOOL CDatabaseObj::SearchPatientHelper2(int nKind, const std::string& strText, int nMode, int bEmpty,
                                        std::vector<LONG>& result) {
    using Entry = CQELObjectSet::SortedIndex::Entry;
    const int nIndex = nKind == kNameKind ? 0 : 1;
    const std::string text = CharUpper(HasEdgeBlank(strText) ? Trimmed(strText) : strText);
    if (bEmpty && text.empty()) nMode = 0;
    if (nKind == kNameKind && text.empty()) return TRUE;
    const bool bRewriteNames = nKind == kNameKind && IsJapaneseThreadLocale();
    const CQELObjectSet::SortedIndex* index = m_pPatientSet->GetSortedIndex(nIndex);
    if (index == nullptr) return SetError(10);
    const Entry* const first = index->Entries();
    const Entry* const end = first + index->Size();
    const bool textAscii = IsAscii(text);
    // The first entry not ordered before a patient with that text. An
    // upper-cased ASCII text is its own sort key (upper-casing it again and
    // folding it change nothing).
    auto lowerBound = [&](const std::string& probeText, bool ascii) {
        return first + (ascii ? index->LowerBound(probeText) : index->LowerBound(CPatientSet::SortKey(probeText)));
    };

    // Exact and ASCII prefix searches start where the text would sort (see
    // the top of the file); every other scan starts at the first entry.
    const bool bFromProbe = !bRewriteNames && (nMode == 0 || (nMode == 1 && textAscii));
    const Entry* e = bFromProbe ? lowerBound(text, textAscii) : first;
    result.clear();

    std::string rewritten;
    if (bRewriteNames) rewritten = WithBlanksForAt(text);
    const std::string& compared = bRewriteNames ? rewritten : text;
    // Entries whose sort key answers for the field (see the top of the file)
    // have all these flags set.
    std::uint8_t keyAnswers = 0xFF;  // none: no entry has every bit
    if (IsAscii(compared)) {
        if (bRewriteNames)
            keyAnswers = CPatientSet::kAsciiKey | CPatientSet::kAsciiField | CPatientSet::kPlainField;
        else
            keyAnswers = nMode == 0 ? CPatientSet::kAsciiKey : CPatientSet::kAsciiKey | CPatientSet::kAsciiField;
    }
    auto keyAnswersFor = [keyAnswers](const Entry& entry) {
        return (CQELObjectSet::SortedIndex::FlagsOf(entry) & keyAnswers) == keyAnswers;
    };
    // The rules themselves, on the patient's field.
    bool missing = false;  // an entry whose patient the set does not have
    auto fieldMatches = [&](const Entry& entry) {
        CPatientData* pPatient = nullptr;
        if (!m_pPatientSet->GetAs(entry.lKey, &pPatient)) {
            missing = true;
            return false;
        }
        const std::string_view value = nKind == kNameKind ? pPatient->GetName() : pPatient->GetNumber();
        return Matches(bRewriteNames ? CharUpper(WithBlanksForAt(std::string(value))) : CharUpper(value), compared, nMode);
    };
    auto done = [&] { return missing ? SetError(10) : TRUE; };

    if (nMode == 0 && bFromProbe) {
        // One contiguous run of equal sort keys; sorted: nothing after it can be equal.
        for (; e != end; ++e) {
            if (keyAnswersFor(*e) ? index->TextOf(*e) != compared : !fieldMatches(*e)) break;
            result.push_back(e->lKey);
        }
        return done();
    }
    if (nMode == 1 && bFromProbe && !text.empty()) {
        // Early stop of a prefix scan (see the top of the file): first the
        // entries whose sort key begins with the text, then those beginning
        // with its stem and a precomposed character.
        const std::string stem = text.substr(0, text.size() - 1);
        const std::string composedProbe = stem + kLowestComposed;
        if (CPatientSet::SortKey(composedProbe) == composedProbe) {
            // A key beginning with the text answers a prefix match by itself.
            for (; e != end && index->TextOf(*e).starts_with(text); ++e)
                if (keyAnswersFor(*e) || fieldMatches(*e)) result.push_back(e->lKey);
            if (const Entry* composed = lowerBound(composedProbe, false); composed > e) e = composed;
            for (; e != end && index->TextOf(*e).starts_with(stem); ++e)
                if (keyAnswersFor(*e) ? index->TextOf(*e).starts_with(compared) : fieldMatches(*e))
                    result.push_back(e->lKey);
            return done();
        }
    }
    const std::string_view wanted = compared;
    for (; e != end; ++e) {
        bool match = false;
        if (keyAnswersFor(*e)) [[likely]] {
            const std::string_view key = index->TextOf(*e);
            match = nMode == 2 ? key.find(wanted) != std::string_view::npos : AsciiMatches(key, wanted, nMode);
        } else {
            match = fieldMatches(*e);
        }
        if (match) result.push_back(e->lKey);
    }
    return done();
}

BOOL CDatabaseObj::ReadFoundPatient(LONG lPosition, LONG* plKey, LONG lBadPositionCode) {
    ClearError();
    if (!CheckPatientSet(nullptr) || !m_pPatientSet) return SetError(10);
    if (lPosition < 0 || static_cast<std::size_t>(lPosition) >= m_arrFoundPatients.size() || plKey == nullptr)
        return SetError(lBadPositionCode);
    *plKey = m_arrFoundPatients[static_cast<std::size_t>(lPosition)];
    if (!m_pPatientSet->Exist(*plKey)) return SetError(50);
    return TRUE;
}

BOOL CDatabaseObj::GetFoundPatient(LONG lPosition, LONG* plKey) { return ReadFoundPatient(lPosition, plKey, 10); }

// The patient search against a plain reference of its matching rules: every
// step is a scan of the whole index with the match of each mode written out,
// so any shortcut of the real search (a start position, an early stop, a
// comparison on the sort key) that changes the outcome shows up as a
// difference. Random patients and search texts mix ASCII, accented Latin
// (precomposed and decomposed), full-width and half-width letters and digits,
// hiragana, katakana and Kanji, "@" and blanks, on a real SQLite database.
// A second round runs after patients were added, replaced (in place and by a
// new object) and deleted in the built set, so the sorted indexes are checked
// after their merges and removals too, and their order against the sort keys.
//
// The seed is printed with every difference; QEL_SEARCH_SEED=<n> repeats a run.
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include <qel/outside/ExtString.h>
#include <qel/outside/records/CachedData.h>
#include <qel/outside/records/ObjectSets.h>
#include <qel/database/DatabaseObjInternal.h>

#include "support/EngineDatabase.h"

namespace {

using namespace qel::platform;
using Keys = std::vector<LONG>;

constexpr DWORD kFlags = NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | SORT_STRINGSORT;

// --- The reference --------------------------------------------------------

std::string Trim(std::string text) {
    CExtString ext(std::move(text));
    ext.Trim();
    return ext.Str();
}

std::string Prepared(const std::string& text, char hyphen, bool japanese) {
    CExtString ext(Trim(text));
    if (japanese) {
        ext.Modify(CExtString::eHalfToFullKatakana);
        ext.Modify(CExtString::eFullwidthToAscii);
        ext.ConvertHyphens(hyphen);
    }
    return ext.Str();
}

std::string BlanksForAt(std::string text) {
    for (char& c : text)
        if (c == '@') c = ' ';
    return Trim(std::move(text));
}

// Both sides upper-cased.
bool Match(const std::string& field, const std::string& text, int mode) {
    switch (mode) {
        case 0: return CompareStringA(GetThreadLocale(), kFlags, text, field) == CSTR_EQUAL;
        case 1: return CompareStringA(GetThreadLocale(), kFlags, text, field.substr(0, text.size())) == CSTR_EQUAL;
        case 2: return field.find(text) != std::string::npos;
        default: return true;
    }
}

struct Patient {
    LONG key;
    std::string name, number, kanji;
};

struct Reference {
    std::map<LONG, Patient> patients;
    Keys byName, byNumber;          // the two index orders
    bool compatible = false;

    const Patient& Of(LONG key) const { return patients.at(key); }

    Keys Scan(bool nameKind, std::string text, int mode, bool empty) const {
        text = CharUpper(Trim(text));
        if (empty && text.empty()) mode = 0;
        if (nameKind && text.empty()) return {};
        const bool rewrite = nameKind && IsJapaneseThreadLocale();
        if (rewrite) text = BlanksForAt(text);
        Keys found;
        for (LONG key : nameKind ? byName : byNumber) {
            std::string field = nameKind ? Of(key).name : Of(key).number;
            if (rewrite) field = BlanksForAt(field);
            if (Match(CharUpper(field), text, mode)) found.push_back(key);
        }
        return found;
    }

    Keys Step(bool nameKind, const std::string& text, int mode, bool empty, const std::string& second,
              int secondMode, bool secondEmpty) const {
        Keys found = Scan(nameKind, text, mode, empty);
        if (!nameKind || !IsJapaneseThreadLocale()) return found;
        const std::string kanji = CharUpper(Trim(second));
        if (kanji.empty()) {
            if (!secondEmpty) return found;
            secondMode = 0;
        }
        const std::unordered_set<LONG> named(found.begin(), found.end());
        Keys result = compatible ? found : Keys{};
        for (LONG key : byName) {
            if (!Match(CharUpper(Of(key).kanji), kanji, secondMode)) continue;
            if ((named.count(key) != 0) != compatible) result.push_back(key);
        }
        return result;
    }

    Keys Search(std::string name, int nameMode, std::string kanji, int kanjiMode, bool emptyKanji,
                std::string number, int numberMode, bool emptyNumber) const {
        const bool japanese = IsJapaneseThreadLocale();
        name = Prepared(name, '\xB0', japanese);
        kanji = compatible ? std::string() : Prepared(kanji, '\xB0', japanese);
        number = Prepared(number, '-', japanese);
        bool nameOn = !name.empty();
        if (!nameOn && !compatible) nameOn = !kanji.empty() || emptyKanji;
        const bool numberOn = !number.empty() || emptyNumber;

        auto nameStep = [&] {
            return compatible ? Step(true, name, nameMode, false, name, nameMode, false)
                              : Step(true, name, nameMode, false, kanji, kanjiMode, emptyKanji);
        };
        auto numberStep = [&] { return Step(false, number, numberMode, emptyNumber, "", 0, false); };
        if (!nameOn && !numberOn) return byName;
        if (!numberOn) return nameStep();
        if (!nameOn) return numberStep();
        const Keys named = nameStep();
        const std::unordered_set<LONG> inName(named.begin(), named.end());
        Keys both;
        for (LONG key : numberStep())
            if (inName.count(key) != 0) both.push_back(key);
        return both;
    }
};

// --- Random texts ---------------------------------------------------------

// Pieces a field is made of. Each has variants that fold alike (case, width,
// kana type, composition), so random texts meet the folding often.
const std::vector<std::vector<std::string>> kPieces = {
    {"RO", "ro", "Ro", "\uFF32\uFF2F", "\uFF52\uFF4F"},
    {"SS", "ss", "\uFF33\uFF33", "\uFF53s"},
    {"I", "i", "\uFF29"},
    {"A", "a", "\uFF21", "\uFF41"},
    {"MA", "ma", "\uFF2D\uFF21"},
    {"E", "e"},
    {"\u00C9", "\u00E9", "E\u0301", "e\u0301"},
    {"\u00DC", "\u00FC", "U\u0308"},
    {"\u00C5", "A\u030A", "\u00E5"},
    {"N", "n", "\u00D1", "N\u0303"},
    {"12", "\uFF11\uFF12", "1\uFF12"},
    {"3", "\uFF13"},
    {"-", "\uFF0D", "\u30FC", "\uFF70"},
    {" ", "@", "\u3000", "\uFF20"},
    {"\u30AB", "\u304B", "\uFF76"},
    {"\u30AC", "\u304C", "\uFF76\uFF9E"},
    {"\u30D1", "\u3071", "\uFF8A\uFF9F"},
    {"\u30BF", "\u305F", "\uFF80"},
    {"\u5C71", "\u7530"},
    {"\u592A", "\u90CE"},
    {"\u9234", "\u6728"},
};

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    bool Chance(int percent) { return Below(100) < percent; }

    // A sequence of piece numbers: a name, number or Kanji name in the raw.
    std::vector<int> Shape(int minPieces, int maxPieces, const std::vector<int>& from) {
        std::vector<int> shape(static_cast<size_t>(minPieces + Below(maxPieces - minPieces + 1)));
        for (int& piece : shape) piece = from[static_cast<size_t>(Below(static_cast<int>(from.size())))];
        return shape;
    }
    // One spelling of a shape, each piece in a random variant.
    std::string Spell(const std::vector<int>& shape) {
        std::string text;
        for (int piece : shape) {
            const auto& variants = kPieces[static_cast<size_t>(piece)];
            text += variants[static_cast<size_t>(Below(static_cast<int>(variants.size())))];
        }
        return text;
    }
    // A search text taken from a stored shape (a prefix, a middle part or
    // all of it, spelled afresh), or made up.
    std::string TextFrom(const std::vector<int>& shape, const std::vector<int>& from) {
        if (shape.empty() || Chance(20)) return Spell(Shape(1, 3, from));
        const int start = Chance(50) ? 0 : Below(static_cast<int>(shape.size()));
        const int length = 1 + Below(static_cast<int>(shape.size()) - start);
        std::string text = Spell(std::vector<int>(shape.begin() + start, shape.begin() + start + length));
        if (Chance(10)) text = " " + text + " ";
        return text;
    }

private:
    std::mt19937 m_random;
};

const std::vector<int> kNamePieces = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13, 14, 15, 16, 17};
const std::vector<int> kNumberPieces = {10, 11, 12, 3, 0};
const std::vector<int> kKanjiPieces = {18, 19, 20, 14, 15, 3};

unsigned Seed() {
    if (const char* text = std::getenv("QEL_SEARCH_SEED"); text != nullptr && *text != '\0')
        return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
    return std::random_device{}();
}

std::string Quoted(const std::string& text) {
    std::string sql = "'";
    for (char c : text) sql += c == '\'' ? std::string("''") : std::string(1, c);
    return sql + "'";
}

std::string Describe(const Keys& keys, const Reference& ref) {
    std::ostringstream out;
    for (LONG key : keys) {
        if (ref.patients.count(key) == 0) {
            out << " [" << key << "]";
            continue;
        }
        const Patient& p = ref.Of(key);
        out << " " << key << "(" << p.name << "|" << p.number << "|" << p.kanji << ")";
    }
    return out.str();
}

class SearchDifferential : public qel::test::OpenedDatabase {
protected:
    void InsertRandom(Generator& gen, int count) {
        std::vector<std::vector<int>> nameShapes, numberShapes, kanjiShapes;
        std::string values;
        std::unordered_set<std::string> used;
        for (LONG key = 1; key <= count; ++key) {
            nameShapes.push_back(gen.Shape(1, 6, kNamePieces));
            numberShapes.push_back(gen.Chance(10) ? std::vector<int>{} : gen.Shape(1, 4, kNumberPieces));
            kanjiShapes.push_back(gen.Chance(15) ? std::vector<int>{} : gen.Shape(1, 4, kKanjiPieces));
            Patient p{key, gen.Spell(nameShapes.back()), gen.Spell(numberShapes.back()),
                      gen.Spell(kanjiShapes.back())};
            // Name and number are unique together in PAT200.
            while (!used.insert(p.name + '\n' + p.number).second) {
                numberShapes.back().push_back(kNumberPieces[static_cast<size_t>(gen.Below(3))]);
                p.number = gen.Spell(numberShapes.back());
            }
            if (!values.empty()) values += ",";
            values += "('P" + std::to_string(key) + "', " + std::to_string(key) + ", 0, " + Quoted(p.name) + ", " +
                      Quoted(p.kanji) + ", " + Quoted(p.number) + ")";
            m_ref.patients.emplace(key, std::move(p));
            if (key % 200 == 0 || key == count) {
                m_db.GetDatabase()->ExecuteSQL(
                    ("INSERT INTO PAT200 (PATID, PATKEY, PATDOCKEY, PATNAME, PATKANJINAME, PATNUMBER) VALUES " +
                     values)
                        .c_str());
                values.clear();
            }
        }
        m_nameShapes = std::move(nameShapes);
        m_numberShapes = std::move(numberShapes);
        m_kanjiShapes = std::move(kanjiShapes);
    }

    // The index orders, once the search has built the patient set, checked
    // against the sort keys of the cached fields.
    void ReadIndexes() {
        LONG count = 0;
        ASSERT_TRUE(m_db.SearchPatient("", 0, "", 0, FALSE, FALSE, &count));
        auto& set = DatabaseObjInternals::PatientSet(m_db);
        ASSERT_TRUE(set);
        ASSERT_EQ(count, set->GetCount());
        // The fields as the database gave them back (the record set drops
        // trailing blanks, for one).
        for (auto& [key, patient] : m_ref.patients) {
            CPatientData* cached = nullptr;
            ASSERT_TRUE(set->GetAs(key, &cached)) << key;
            patient.name = cached->GetName();
            patient.number = cached->GetNumber();
            patient.kanji = cached->GetKanjiName();
        }
        for (int index = 0; index < 2; ++index) {
            Keys& order = index == 0 ? m_ref.byName : m_ref.byNumber;
            order.clear();
            std::string previous;
            LONG previousKey = 0;
            for (int position = 0; position < count; ++position) {
                LONG key = 0;
                ASSERT_TRUE(set->GetKey(index, position, &key));
                ASSERT_EQ(m_ref.patients.count(key), 1u) << "index " << index << " holds an unknown key " << key;
                const Patient& p = m_ref.Of(key);
                const std::string sortKey = CPatientSet::SortKey(index == 0 ? p.name : p.number);
                if (position > 0) {
                    ASSERT_TRUE(previous < sortKey || (previous == sortKey && previousKey < key))
                        << "index " << index << " out of order at " << position;
                }
                previous = sortKey;
                previousKey = key;
                order.push_back(key);
            }
        }
        ASSERT_EQ(m_ref.byName.size(), m_ref.patients.size());
    }

    // Adds, replaces and deletes patients in the built set (the cache alone,
    // as the record library's clients do), and keeps the reference in step.
    void ChangeTheSet(Generator& gen, int changes) {
        auto& set = DatabaseObjInternals::PatientSet(m_db);
        ASSERT_TRUE(set);
        auto newPatient = [&](LONG key) {
            m_nameShapes.push_back(gen.Shape(1, 6, kNamePieces));
            m_numberShapes.push_back(gen.Shape(1, 4, kNumberPieces));
            m_kanjiShapes.push_back(gen.Shape(1, 4, kKanjiPieces));
            return Patient{key, gen.Spell(m_nameShapes.back()), gen.Spell(m_numberShapes.back()),
                           gen.Spell(m_kanjiShapes.back())};
        };
        auto fill = [](CPatientData& data, const Patient& p) {
            data.m_lKey = p.key;
            data.SetName(p.name);
            data.SetNumber(p.number);
            data.SetKanjiName(p.kanji);
        };
        LONG nextKey = m_ref.patients.rbegin()->first + 1;
        for (int i = 0; i < changes; ++i) {
            auto it = m_ref.patients.begin();
            std::advance(it, gen.Below(static_cast<int>(m_ref.patients.size())));
            const LONG key = it->first;
            switch (gen.Below(4)) {
                case 0: {
                    ASSERT_TRUE(set->Delete(key, 0));
                    m_ref.patients.erase(it);
                    break;
                }
                case 1: {  // a new object in the key's place
                    Patient p = newPatient(key);
                    auto data = std::make_unique<CPatientData>();
                    fill(*data, p);
                    ASSERT_TRUE(set->Replace(key, data.get()));
                    data.release();
                    it->second = std::move(p);
                    break;
                }
                case 2: {  // the cached object changed in place
                    Patient p = newPatient(key);
                    CPatientData* cached = nullptr;
                    ASSERT_TRUE(set->GetAs(key, &cached));
                    fill(*cached, p);
                    ASSERT_TRUE(set->Replace(key, cached));
                    it->second = std::move(p);
                    break;
                }
                default: {
                    Patient p = newPatient(nextKey);
                    auto data = std::make_unique<CPatientData>();
                    fill(*data, p);
                    ASSERT_TRUE(set->Add(nextKey, data.get()));
                    data.release();
                    m_ref.patients.emplace(nextKey++, std::move(p));
                    break;
                }
            }
            // Now and then a read in between, so that later changes meet a
            // sorted index as well as a pending run.
            if (i % 97 == 0) {
                LONG first = 0;
                set->GetKey(0, 0, &first);
                set->GetKey(1, 0, &first);
            }
        }
    }

    // Random searches of one kind under the current locale; false after
    // too many differences.
    void Compare(Generator& gen, unsigned seed, int searches, bool compatible) {
        for (int i = 0; i < searches && m_differences < 5; ++i) {
            const size_t someone = static_cast<size_t>(gen.Below(static_cast<int>(m_nameShapes.size())));
            const bool useName = gen.Chance(70), useNumber = gen.Chance(35), useKanji = !compatible && gen.Chance(50);
            const std::string name = useName ? gen.TextFrom(m_nameShapes[someone], kNamePieces) : "";
            const std::string number = useNumber ? gen.TextFrom(m_numberShapes[someone], kNumberPieces) : "";
            const std::string kanji = useKanji ? gen.TextFrom(m_kanjiShapes[someone], kKanjiPieces) : "";
            const int nameMode = gen.Below(3), numberMode = gen.Below(3), kanjiMode = gen.Below(4);
            const bool emptyNumber = gen.Chance(10), emptyKanji = !compatible && gen.Chance(10);

            LONG count = -1;
            const BOOL ok = compatible ? m_db.SearchPatient(name.c_str(), static_cast<SHORT>(nameMode),
                                                            number.c_str(), static_cast<SHORT>(numberMode),
                                                            emptyNumber, FALSE, &count)
                                       : m_db.SearchPatient2(name.c_str(), static_cast<SHORT>(nameMode),
                                                             kanji.c_str(), static_cast<SHORT>(kanjiMode), emptyKanji,
                                                             number.c_str(), static_cast<SHORT>(numberMode),
                                                             emptyNumber, FALSE, &count);
            const Keys found = ok ? Found() : Keys{-m_db.GetLErrorCode()};
            m_ref.compatible = compatible;
            const Keys expected = m_ref.Search(name, nameMode, kanji, kanjiMode, emptyKanji, number, numberMode,
                                               emptyNumber);
            if (found == expected && (!ok || count == static_cast<LONG>(found.size()))) continue;
            ++m_differences;
            ADD_FAILURE() << "seed " << seed << " (QEL_SEARCH_SEED), locale " << std::hex << GetThreadLocale()
                          << std::dec << ", " << (compatible ? "SearchPatient" : "SearchPatient2") << "(name \""
                          << name << "\" mode " << nameMode << ", kanji \"" << kanji << "\" mode " << kanjiMode
                          << " empty " << emptyKanji << ", number \"" << number << "\" mode " << numberMode
                          << " empty " << emptyNumber << ")\n  found:   " << Describe(found, m_ref)
                          << "\n  expected:" << Describe(expected, m_ref);
        }
    }

    Reference m_ref;
    std::vector<std::vector<int>> m_nameShapes, m_numberShapes, m_kanjiShapes;
    int m_differences = 0;
};

TEST_P(SearchDifferential, SearchesFindWhatTheRulesSay) {
    const unsigned seed = Seed();
    RecordProperty("seed", std::to_string(seed));
    Generator gen(seed);
    InsertRandom(gen, 3000);
    ReadIndexes();
    if (HasFatalFailure()) return;

    ASSERT_TRUE(SetThreadLocale(LOCALE_ITALIAN));
    Compare(gen, seed, 400, true);
    ASSERT_TRUE(SetThreadLocale(LOCALE_JAPANESE));
    Compare(gen, seed, 400, true);
    Compare(gen, seed, 400, false);

    // The same after changes to the built set: merged additions, removals
    // from the sorted entries and from the pending run.
    ASSERT_TRUE(SetThreadLocale(LOCALE_ITALIAN));
    ChangeTheSet(gen, 1200);
    if (HasFatalFailure()) return;
    ReadIndexes();
    if (HasFatalFailure()) return;
    Compare(gen, seed, 300, true);
    ASSERT_TRUE(SetThreadLocale(LOCALE_JAPANESE));
    Compare(gen, seed, 300, true);
    Compare(gen, seed, 300, false);
}

INSTANTIATE_TEST_SUITE_P(Engines, SearchDifferential, ::testing::Values(qel::datasource::kEngineFile),
                         qel::test::EngineParamName);

}  // namespace

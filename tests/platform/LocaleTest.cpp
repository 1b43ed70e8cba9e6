#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <qel/platform/Locale.h>

using namespace qel::platform;

namespace {

constexpr DWORD kSearchFlags = NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH | SORT_STRINGSORT;

// Expected forms from the Unicode data (NFKC of the half-width block, NFC
// of each kana with U+3099 / U+309A, else the kana and the spacing mark).
constexpr const char* kHalfwidthKatakana = "｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝ";
constexpr const char* kHalfwidthKatakanaWide = "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン";
constexpr const char* kKanaBases = "ぁあぃいぅうぇえぉおかがきぎくぐけげこごさざしじすずせぜそぞただちぢっつづてでとどなにぬねのはばぱひびぴふぶぷへべぺほぼぽまみむめもゃやゅゆょよらりるれろゎわゐゑをんゔゕゖゝゞァアィイゥウェエォオカガキギクグケゲコゴサザシジスズセゼソゾタダチヂッツヅテデトドナニヌネノハバパヒビピフブプヘベペホボポマミムメモャヤュユョヨラリルレロヮワヰヱヲンヴヵヶヷヸヹヺヽヾ";
constexpr const char* kVoicedExpected =
    "ぁ゛|あ゛|ぃ゛|い゛|ぅ゛|ゔ|ぇ゛|え゛|ぉ゛|お゛|が|が゛|ぎ|ぎ゛|ぐ|ぐ゛|げ|げ゛|ご|ご゛|ざ|ざ゛|じ|じ゛|ず|ず゛|ぜ|ぜ゛|ぞ|ぞ゛|だ|だ゛|ぢ|ぢ゛|っ゛|づ|づ゛|で|で゛|ど|ど゛|な゛|に゛|ぬ゛|ね゛|の゛|ば|ば゛|ぱ゛|び|び゛|ぴ゛|ぶ|ぶ゛|ぷ゛|べ|べ゛|ぺ゛|ぼ|ぼ゛|ぽ゛|ま゛|み゛|む゛|め゛|も゛|ゃ゛|や゛|ゅ゛|ゆ゛|ょ゛|よ゛|ら゛|り゛|る゛|れ゛|ろ゛|ゎ゛|わ゛|ゐ゛|ゑ゛|を゛|ん゛|ゔ゛|ゕ゛|ゖ゛|ゞ|ゞ゛|ァ゛|ア゛|ィ゛|イ゛|ゥ゛|ヴ|ェ゛|エ゛|ォ゛|オ゛|ガ|ガ゛|ギ|ギ゛|グ|グ゛|ゲ|ゲ゛|ゴ|ゴ゛|ザ|ザ゛|ジ|ジ゛|ズ|ズ゛|ゼ|ゼ゛|ゾ|ゾ゛|ダ|ダ゛|ヂ|ヂ゛|ッ゛|ヅ|ヅ゛|デ|デ゛|ド|ド゛|ナ゛|ニ゛|ヌ゛|ネ゛|ノ゛|バ|バ゛|パ゛|ビ|ビ゛|ピ゛|ブ|ブ゛|プ゛|ベ|ベ゛|ペ゛|ボ|ボ゛|ポ゛|マ゛|ミ゛|ム゛|メ゛|モ゛|ャ゛|ヤ゛|ュ゛|ユ゛|ョ゛|ヨ゛|ラ゛|リ゛|ル゛|レ゛|ロ゛|ヮ゛|ヷ|ヸ|ヹ|ヺ|ン゛|ヴ゛|ヵ゛|ヶ゛|ヷ゛|ヸ゛|ヹ゛|ヺ゛|ヾ|ヾ゛|";
constexpr const char* kSemiVoicedExpected =
    "ぁ゜|あ゜|ぃ゜|い゜|ぅ゜|う゜|ぇ゜|え゜|ぉ゜|お゜|か゜|が゜|き゜|ぎ゜|く゜|ぐ゜|け゜|げ゜|こ゜|ご゜|さ゜|ざ゜|し゜|じ゜|す゜|ず゜|せ゜|ぜ゜|そ゜|ぞ゜|た゜|だ゜|ち゜|ぢ゜|っ゜|つ゜|づ゜|て゜|で゜|と゜|ど゜|な゜|に゜|ぬ゜|ね゜|の゜|ぱ|ば゜|ぱ゜|ぴ|び゜|ぴ゜|ぷ|ぶ゜|ぷ゜|ぺ|べ゜|ぺ゜|ぽ|ぼ゜|ぽ゜|ま゜|み゜|む゜|め゜|も゜|ゃ゜|や゜|ゅ゜|ゆ゜|ょ゜|よ゜|ら゜|り゜|る゜|れ゜|ろ゜|ゎ゜|わ゜|ゐ゜|ゑ゜|を゜|ん゜|ゔ゜|ゕ゜|ゖ゜|ゝ゜|ゞ゜|ァ゜|ア゜|ィ゜|イ゜|ゥ゜|ウ゜|ェ゜|エ゜|ォ゜|オ゜|カ゜|ガ゜|キ゜|ギ゜|ク゜|グ゜|ケ゜|ゲ゜|コ゜|ゴ゜|サ゜|ザ゜|シ゜|ジ゜|ス゜|ズ゜|セ゜|ゼ゜|ソ゜|ゾ゜|タ゜|ダ゜|チ゜|ヂ゜|ッ゜|ツ゜|ヅ゜|テ゜|デ゜|ト゜|ド゜|ナ゜|ニ゜|ヌ゜|ネ゜|ノ゜|パ|バ゜|パ゜|ピ|ビ゜|ピ゜|プ|ブ゜|プ゜|ペ|ベ゜|ペ゜|ポ|ボ゜|ポ゜|マ゜|ミ゜|ム゜|メ゜|モ゜|ャ゜|ヤ゜|ュ゜|ユ゜|ョ゜|ヨ゜|ラ゜|リ゜|ル゜|レ゜|ロ゜|ヮ゜|ワ゜|ヰ゜|ヱ゜|ヲ゜|ン゜|ヴ゜|ヵ゜|ヶ゜|ヷ゜|ヸ゜|ヹ゜|ヺ゜|ヽ゜|ヾ゜|";

// Each kana of kKanaBases followed by `mark` and "|".
std::string EachKanaFollowedBy(const char* mark) {
    std::string out;
    const std::string bases = kKanaBases;
    for (std::size_t i = 0; i < bases.size(); i += 3) out += bases.substr(i, 3) + mark + "|";
    return out;
}

LCID LocaleOfNewThread() {
    LCID seen = 0;
    std::thread([&] { seen = GetThreadLocale(); }).join();
    return seen;
}

}  // namespace

TEST(LocaleTest, LocaleNamesMapToLcids) {
    // Unknown territories take the language's default; unknown or empty names US English.
    const std::pair<const char*, LCID> cases[] = {
        {"ja_JP.UTF-8", 0x0411}, {"it_IT", 0x0410}, {"it_CH.UTF-8@euro", 0x0810}, {"en_US", 0x0409},
        {"en_GB.UTF-8", 0x0809}, {"de-AT", 0x0C07},  {"de_LU", 0x0407},           {"zh_TW", 0x0404},
        {"ja", 0x0411},          {"C", 0x0409},      {"POSIX", 0x0409},           {"C.UTF-8", 0x0409},
        {"", 0x0409},            {"xx_YY", 0x0409}};
    for (auto [name, lcid] : cases) EXPECT_EQ(LcidFromLocaleName(name), lcid) << name;
}

TEST(LocaleTest, ThreadDefaultFollowsLcAllThenLcCtypeThenLang) {
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_CTYPE");
    ::unsetenv("LANG");
    EXPECT_EQ(LocaleOfNewThread(), 0x0409u);
    ::setenv("LANG", "it_IT.UTF-8", 1);
    EXPECT_EQ(LocaleOfNewThread(), 0x0410u);
    ::setenv("LC_CTYPE", "de_DE.UTF-8", 1);
    EXPECT_EQ(LocaleOfNewThread(), 0x0407u);
    ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(LocaleOfNewThread(), 0x0411u);
    ::setenv("LC_ALL", "", 1);  // empty counts as unset
    EXPECT_EQ(LocaleOfNewThread(), 0x0407u);
}

TEST(LocaleTest, ThreadLocaleIsPerThread) {
    ASSERT_TRUE(SetThreadLocale(LOCALE_JAPANESE));
    EXPECT_TRUE(IsJapaneseThreadLocale());
    ::setenv("LC_ALL", "it_IT.UTF-8", 1);
    LCID other = 0;
    bool otherJapanese = true;
    std::thread([&] {
        other = GetThreadLocale();
        otherJapanese = IsJapaneseThreadLocale();
    }).join();
    EXPECT_EQ(other, LOCALE_ITALIAN);
    EXPECT_FALSE(otherJapanese);
    EXPECT_EQ(GetThreadLocale(), LOCALE_JAPANESE);

    EXPECT_FALSE(SetThreadLocale(0x0000));
    EXPECT_FALSE(SetThreadLocale(0x007F));  // no such language here
    EXPECT_EQ(GetThreadLocale(), LOCALE_JAPANESE);
    EXPECT_TRUE(SetThreadLocale(LOCALE_USER_DEFAULT));
    EXPECT_EQ(GetThreadLocale(), LOCALE_ITALIAN);
    EXPECT_TRUE(SetThreadLocale(0x00010411));  // sort bits are kept, language is Japanese
    EXPECT_TRUE(IsJapaneseThreadLocale());
}

TEST(LocaleTest, CharUpperFollowsTheThreadLocale) {
    SetThreadLocale(LOCALE_ITALIAN);
    EXPECT_EQ(CharUpper("rossi mario"), "ROSSI MARIO");
    EXPECT_EQ(CharUpper("niccolò strauß"), "NICCOLÒ STRAUSS");
    EXPECT_EQ(CharUpper("ｒｏｓｓｉ やまだ"), "ＲＯＳＳＩ やまだ");
    EXPECT_EQ(CharUpper("a\xFF" "b"), "A\xFF" "B");  // ill-formed byte kept
    SetThreadLocale(0x041F);                          // Turkish: dotted capital I
    EXPECT_EQ(CharUpper("istanbul"), "İSTANBUL");
    std::string inPlace = "yılmaz";
    CharUpperInPlace(inPlace);
    EXPECT_EQ(inPlace, "YILMAZ");
}

TEST(LocaleTest, CharUpperFastPathsAgreeWithIcu) {
    // "é" sends the whole text through ICU; the cheap paths must give the
    // same result for the rest of it.
    const std::vector<std::string> samples = {
        "rossi", "Mario Rossi-Bianchi 12", "abc_xyz~", "ｶﾞｷﾞ ﾔﾏﾀﾞ", "やまだ たろう", "山田 太郎", "",
    };
    for (LCID lcid : {LOCALE_ENGLISH_US, LOCALE_ITALIAN, LOCALE_JAPANESE, 0x0408u, 0x0427u}) {
        ASSERT_TRUE(SetThreadLocale(lcid));
        for (const auto& sample : samples) {
            EXPECT_EQ(CharUpper(sample + "é"), CharUpper(sample) + "É") << sample << " lcid " << lcid;
        }
    }
    SetThreadLocale(LOCALE_ITALIAN);
    EXPECT_EQ(CharUpper("ﬁne ǆ"), "FINE Ǆ");
    SetThreadLocale(0x0408);  // Greek upper case drops the accents
    EXPECT_EQ(CharUpper("όλα"), "ΟΛΑ");
}

TEST(LocaleTest, KanaTypeAndWidthCompareEqual) {
    const LCID ja = LOCALE_JAPANESE;
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "やまだ", "ヤマダ"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ﾔﾏﾀﾞ", "ヤマダ"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ｶﾞ", "ガ"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ﾊﾟﾊﾞ", "ぱば"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ｳﾞｧ", "ヴァ"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ROSSI　MARIO", "ＲＯＳＳＩ MARIO"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ｰ", "ー"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "か\u3099", "ガ"), CSTR_EQUAL);  // combining mark composes
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "e\u0301", "é"), CSTR_EQUAL);
    // A mark after a kana that takes none stays a mark.
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ｱﾞ", "ア゛"), CSTR_EQUAL);
    EXPECT_NE(CompareStringA(ja, kSearchFlags, "ｶ", "ガ"), CSTR_EQUAL);

    // Each flag does only its own folding, and case matters without NORM_IGNORECASE.
    EXPECT_NE(CompareStringA(ja, NORM_IGNOREWIDTH, "やまだ", "ヤマダ"), CSTR_EQUAL);
    EXPECT_NE(CompareStringA(ja, NORM_IGNOREKANATYPE, "ﾔﾏﾀﾞ", "ヤマダ"), CSTR_EQUAL);
    EXPECT_NE(CompareStringA(ja, kSearchFlags, "rossi", "ROSSI"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags | NORM_IGNORECASE, "rossi", "ROSSI"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags | NORM_IGNORECASE, "ｒｏｓｓｉ", "ROSSI"), CSTR_EQUAL);
    EXPECT_EQ(CompareStringA(ja, NORM_IGNORECASE, "STRASSE", "straße"), CSTR_EQUAL);

    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ROSSA", "ROSSI"), CSTR_LESS_THAN);
    EXPECT_EQ(CompareStringA(ja, kSearchFlags, "ROSSI", "ROSS"), CSTR_GREATER_THAN);
    EXPECT_EQ(CompareStringA(ja, 0x80000000u, "A", "A"), 0);  // unknown flag
}

TEST(LocaleTest, FoldOrderMatchesCompareOverMixedTexts) {
    const std::vector<std::string> texts = {
        "",        "ROSSI",   "rossi",    "ROSSI MARIO", "ROSSI　MARIO", "ＲＯＳＳＩ", "ROMANO",  "BARONE",
        "BARONE-", "ヤマダ",  "やまだ",   "ﾔﾏﾀﾞ",       "ﾔﾏﾀ",          "ヤマタ",     "山田",    "山田@太郎",
        "ガ",      "ｶﾞ",      "か\u3099", "é",          "e\u0301",      "Ë",          "ÉCOLE",   "straße",
        "STRASSE", "\xFF",    "a\xC3",    "Ω",          "ω",            "ﾊﾟ",         "ぱ",      "ﾞ",
    };
    for (DWORD flags : {DWORD{0}, kSearchFlags, kSearchFlags | NORM_IGNORECASE}) {
        std::vector<std::string> folds;
        for (const auto& t : texts) folds.push_back(FoldForCompare(t, flags));
        for (std::size_t i = 0; i < texts.size(); ++i) {
            for (std::size_t j = 0; j < texts.size(); ++j) {
                const int expected = folds[i] < folds[j]    ? CSTR_LESS_THAN
                                     : folds[i] == folds[j] ? CSTR_EQUAL
                                                            : CSTR_GREATER_THAN;
                ASSERT_EQ(CompareStringA(LOCALE_JAPANESE, flags, texts[i], texts[j]), expected)
                    << '"' << texts[i] << "\" vs \"" << texts[j] << "\" flags " << flags;
            }
            // A stored fold folds to itself, so probes and entries agree.
            EXPECT_EQ(FoldForCompare(folds[i], flags), folds[i]) << texts[i];
        }
    }
}

TEST(LocaleTest, AsciiFoldAgreesWithGeneralPath) {
    // An ASCII text and the same text with a non-ASCII tail fold to the same
    // prefix: the fast path and the general path agree on ASCII.
    for (DWORD flags : {DWORD{0}, kSearchFlags | NORM_IGNORECASE}) {
        for (const std::string ascii : {"Rossi Mario", "a-Z_09~!", "MiXeD CaSe"}) {
            const std::string fast = FoldForCompare(ascii, flags);
            const std::string general = FoldForCompare(ascii + "山", flags);
            EXPECT_EQ(general, fast + "山");
        }
    }
    EXPECT_EQ(FoldForCompare("Rossi", NORM_IGNORECASE), "rossi");
    EXPECT_EQ(FoldForCompare("Rossi", 0), "Rossi");
}

TEST(LocaleTest, KanaTablesMatchUnicodeData) {
    EXPECT_EQ(FoldForCompare(kHalfwidthKatakana, NORM_IGNOREWIDTH), kHalfwidthKatakanaWide);
    EXPECT_EQ(FoldForCompare(EachKanaFollowedBy("ﾞ"), NORM_IGNOREWIDTH), kVoicedExpected);
    EXPECT_EQ(FoldForCompare(EachKanaFollowedBy("ﾟ"), NORM_IGNOREWIDTH), kSemiVoicedExpected);
    EXPECT_EQ(FoldForCompare("！～Ａｚ０　￥", NORM_IGNOREWIDTH), "!~Az0 ¥");
    EXPECT_EQ(FoldForCompare("ぁゖゝゞ", NORM_IGNOREKANATYPE), "ァヶヽヾ");
}

TEST(LocaleTest, ShortDatePatterns) {
    // Unknown German variant: German default; unknown language: US English.
    const std::pair<LCID, const char*> cases[] = {{LOCALE_ITALIAN, "%d/%m/%Y"}, {LOCALE_JAPANESE, "%Y/%m/%d"},
                                                  {LOCALE_ENGLISH_US, "%m/%d/%Y"}, {0x0407, "%d.%m.%Y"},
                                                  {0x0809, "%d/%m/%Y"}, {0x1407, "%d.%m.%Y"}, {0x007F, "%m/%d/%Y"}};
    for (auto [lcid, pattern] : cases) EXPECT_EQ(ShortDatePattern(lcid), pattern) << lcid;
}

#include <gtest/gtest.h>

#include <string>

#include <qel/outside/ExtString.h>
#include <qel/platform/Locale.h>

namespace {

std::string Modified(const char* text, CExtString::EModify mode) {
    CExtString s(text);
    EXPECT_TRUE(s.Modify(mode));
    return s.Str();
}

std::string Hyphens(const char* text, char ch) {
    CExtString s(text);
    EXPECT_TRUE(s.ConvertHyphens(ch));
    return s.Str();
}

}  // namespace

TEST(ExtStringTest, TrimRemovesAsciiAndIdeographicSpace) {
    CExtString s(" \t　ROSSI MARIO　\r\n ");
    s.Trim();
    EXPECT_EQ(s, "ROSSI MARIO");
    CExtString blank("　 \t　");
    EXPECT_TRUE(blank.Trim().IsEmpty());
    CExtString inner("山田　太郎");
    EXPECT_EQ(inner.Trim(), "山田　太郎");
    CExtString lone("\xE3\x80");  // a cut ideographic space is not white space
    EXPECT_EQ(lone.Trim(), "\xE3\x80");
}

TEST(ExtStringTest, Mode3WidensHalfwidthKatakana) {
    EXPECT_EQ(Modified("ﾔﾏﾀﾞ ﾀﾛｳ", CExtString::eHalfToFullKatakana), "ヤマダ タロウ");
    EXPECT_EQ(Modified("ﾊﾟﾋﾟｭｰ", CExtString::eHalfToFullKatakana), "パピュー");
    EXPECT_EQ(Modified("ｳﾞｨ", CExtString::eHalfToFullKatakana), "ヴィ");
    EXPECT_EQ(Modified("ﾜﾞｦﾞ", CExtString::eHalfToFullKatakana), "ヷヺ");
    EXPECT_EQ(Modified("ﾞｱﾟ", CExtString::eHalfToFullKatakana), "゛ア゜");  // marks without a partner
    EXPECT_EQ(Modified("｢ｶ｣･｡", CExtString::eHalfToFullKatakana), "「カ」・。");
    EXPECT_EQ(Modified("ROSSI ﾏﾘｵ\xFF", CExtString::eHalfToFullKatakana), "ROSSI マリオ\xFF");
    EXPECT_EQ(Modified("ガ ｶ", CExtString::eHalfToFullKatakana), "ガ カ");
}

TEST(ExtStringTest, Mode5NarrowsFullwidthAscii) {
    EXPECT_EQ(Modified("ＲＯＳＳＩ　ｍａｒｉｏ　１２３－４", CExtString::eFullwidthToAscii), "ROSSI mario 123-4");
    EXPECT_EQ(Modified("！＂～", CExtString::eFullwidthToAscii), "!\"~");
    // Kana and other full-width signs are left alone.
    EXPECT_EQ(Modified("ヤマダ￥ｶ", CExtString::eFullwidthToAscii), "ヤマダ￥ｶ");
}

TEST(ExtStringTest, OtherModes) {
    EXPECT_EQ(Modified("やまだ ゞ", CExtString::eHiraganaToKatakana), "ヤマダ ヾ");
    EXPECT_EQ(Modified("ヤマダ ヽ ヷ", CExtString::eKatakanaToHiragana), "やまだ ゝ ヷ");
    qel::platform::SetThreadLocale(qel::platform::LOCALE_ITALIAN);
    EXPECT_EQ(Modified("rossi niccolò", CExtString::eUpper), "ROSSI NICCOLÒ");
    EXPECT_EQ(Modified("abc", CExtString::eNone), "abc");
    CExtString s("abc");
    EXPECT_FALSE(s.Modify(static_cast<CExtString::EModify>(9)));
    EXPECT_EQ(s, "abc");
}

TEST(ExtStringTest, SearchPreparationOfAJapaneseName) {
    CExtString name(" ﾔﾏﾀﾞ－ﾀﾛｰ　ＴＡＲＯ ");
    name.Trim();
    name.Modify(CExtString::EModify(3));
    name.Modify(CExtString::EModify(5));
    name.ConvertHyphens('\xB0');
    EXPECT_EQ(name, "ヤマダｰタロｰ TARO");
}

TEST(ExtStringTest, ConvertHyphensReplacesEveryHyphenLikeCharacter) {
    const char* all = "a-b‐c‑d‒e–f—g―h−i－jーkｰl⁃m﹣n";
    EXPECT_EQ(Hyphens(all, '-'), "a-b-c-d-e-f-g-h-i-j-k-l-m-n");
    EXPECT_EQ(Hyphens(all, '\xB0'), "aｰbｰcｰdｰeｰfｰgｰhｰiｰjｰkｰlｰmｰn");
    EXPECT_EQ(Hyphens("12-34", '\xA1'), "12｡34");
    EXPECT_EQ(Hyphens("12-34", '\xDF'), "12ﾟ34");
    EXPECT_EQ(Hyphens("A~B_C", '/'), "A~B_C");

    for (char bad : {'\0', '\x80', '\xA0', '\xE0', '\xFF'}) {
        CExtString s("12-34");
        EXPECT_FALSE(s.ConvertHyphens(bad)) << static_cast<int>(static_cast<unsigned char>(bad));
        EXPECT_EQ(s, "12-34");
    }
}

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <string>

#include <qel/outside/records/LayoutData.h>

#include "support/Sandbox.h"

namespace {

// The buttons the default page 1 layout must hold, in three rows of 17.
constexpr std::array<LONG, 51> kPage1Buttons = {
    118, 117, 116, 115, 114, 113, 112, 111, 100, 121, 122, 123, 124, 125, 126, 127, 128,
    248, 247, 246, 245, 244, 243, 242, 241, 200, 231, 232, 233, 234, 235, 236, 237, 238,
    358, 357, 356, 355, 354, 353, 352, 351, 300, 361, 362, 363, 364, 365, 366, 367, 368};

constexpr const char* kSmall =
    "QEL-LAYOUT 1\n"
    "[page]\n"
    "id = 7\n"
    "title = Prova  pagina\n"
    "size = 800 600\n"
    "colour.background = #0a0B0c\n"
    "font.caption = DejaVu Sans, 12, italic, bold\n"
    "[button 5]\n"
    "rect = 0 0 800 600\n"
    "caption = Dente # 5\n"
    "font = caption\n"
    "command = SelectTooth   5 upper \n"
    "command = Acquire\n"
    "[end]\n";

std::string WriteFile(const std::string& name, const std::string& bytes) {
    const std::string path = qel::test::Sandbox::Current().Path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string Message(const std::string& text) {
    CLayoutData layout;
    LONG parsed = 0;
    std::string message;
    EXPECT_FALSE(layout.ParseLayoutText(text, "t.lay", 1, &parsed, &message)) << text;
    EXPECT_EQ(parsed, -1);
    return message;
}

std::vector<unsigned char> SmallBlob() {
    CLayoutData layout;
    EXPECT_TRUE(layout.ParseLayoutText(kSmall, "small", 1, nullptr, nullptr));
    return layout.Serialize();
}

std::uint32_t Crc32(const unsigned char* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1u) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

// Rewrites the checksum so that a payload change reaches the decoder.
void Reseal(std::vector<unsigned char>& blob) {
    const std::uint32_t crc = Crc32(blob.data() + 16, blob.size() - 16);
    for (int i = 0; i < 4; ++i) blob[12 + i] = static_cast<unsigned char>(crc >> (8 * i));
}

TEST(LayoutFiles, ShippedPage1HoldsExactlyThe51Buttons) {
    CLayoutData layout;
    LONG parsed = -5;
    std::string message = "stale";
    ASSERT_TRUE(layout.ParseLayoutFile(qel::test::SourcePath("layouts/page1.lay").c_str(), 1, &parsed, &message))
        << message;
    EXPECT_EQ(parsed, 1);
    EXPECT_EQ(layout.m_nPageID, 1);
    EXPECT_EQ(message, "");
    EXPECT_EQ(layout.m_mapButtons.size(), kPage1Buttons.size());
    for (LONG id : kPage1Buttons) {
        const CLayoutButton* button = layout.LookupButton(id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_EQ(button->nID, id);
        EXPECT_FALSE(button->commands.empty()) << id;
    }
    EXPECT_EQ(layout.LookupButton(101), nullptr);
}

TEST(LayoutFiles, ValuesAreReadAsWritten) {
    CLayoutData layout;
    // BOM and CRLF line ends are accepted.
    std::string text = std::string("\xEF\xBB\xBF") + kSmall;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2)) text.insert(at, "\r");
    ASSERT_TRUE(layout.ParseLayoutText(text, "small", 1, nullptr, nullptr));
    EXPECT_EQ(layout.m_strTitle, "Prova  pagina");
    EXPECT_EQ(layout.m_nWidth, 800);
    EXPECT_EQ(layout.m_nHeight, 600);
    EXPECT_EQ(layout.m_mapColours.at("background"), 0x0A0B0Cu);
    const CLayoutFont& font = layout.m_mapFonts.at("caption");
    EXPECT_EQ(font.strFace, "DejaVu Sans");
    EXPECT_EQ(font.nPointSize, 12);
    EXPECT_TRUE(font.bBold);
    EXPECT_TRUE(font.bItalic);
    const CLayoutButton& b = *layout.LookupButton(5);
    EXPECT_EQ((std::array<LONG, 4>{b.x, b.y, b.cx, b.cy}), (std::array<LONG, 4>{0, 0, 800, 600}));
    EXPECT_EQ(b.strCaption, "Dente # 5");
    EXPECT_EQ(b.strFont, "caption");
    ASSERT_EQ(b.commands.size(), 2u);
    EXPECT_EQ(b.commands[0], (CLayoutCommand{"SelectTooth", "5 upper"}));
    EXPECT_EQ(b.commands[1], (CLayoutCommand{"Acquire", ""}));
}

// Files refused outright (no header, wrong version, a button twice, no [end])
// are seeds of the corpus that LayoutCorpusTest replays.
TEST(LayoutFiles, MalformedTextIsRefusedNamingTheLine) {
    const std::string head = "QEL-LAYOUT 1\n[page]\nid = 1\nsize = 100 100\n";  // lines 1-4
    const std::string button = "[button 3]\nrect = 0 0 10 10\n";
    struct Case {
        std::string text;
        const char* expected;
    } cases[] = {
        {"", "t.lay:1: empty file"},
        {"QEL-LAYOUT 99999999999999999999999\n", "t.lay:1: format version '99999999999999999999999' is out of range"},
        {"QEL-LAYOUT 1\nid = 1\n", "t.lay:2: key 'id' before the [page] section"},
        {head + "[button 4x]\n", "t.lay:5: button ID '4x' is not a whole number"},
        {head + "[button 0]\n", "t.lay:5: button ID '0' is out of range (1 to 32767)"},
        {head + "[button 4294967299]\n", "t.lay:5: button ID '4294967299' is out of range"},
        {head + "[button 3]\nrect = 0 0 -1 10\n", "t.lay:6: rect '-1' is not a whole number"},
        {head + "[button 3]\nrect = 1 2 3\n", "t.lay:6: 'rect' needs 4 numbers"},
        {head + "[button 3]\nrect = 95 0 10 10\n", "t.lay:6: button 3 does not fit on the page: x + width = 105"},
        {head + "[button 3]\ncaption = x\n[end]\n", "t.lay:5: button 3 has no 'rect'"},
        {head + button + "rect = 0 0 5 5\n", "t.lay:7: 'rect' is given twice in this section (first at line 6)"},
        {head + button + "font = caption\n", "t.lay:7: font 'caption' is not defined"},
        {head + button + "colour = #000000\n", "t.lay:7: unknown key 'colour' in [button 3]"},
        {head + button + "command = 9lives\n", "t.lay:7: command name '9lives' must start with a letter"},
        {head + "colour.back = red\n", "t.lay:5: colour 'red' is not written as #RRGGBB"},
        {head + "font.caption = Sans, 12, heavy\n", "t.lay:5: font style 'heavy'"},
        {head + "font.x = Sans, 200\n", "t.lay:5: font size '200' is out of range"},
        {head + "just words\n", "t.lay:5: expected 'key = value'"},
        {head + "[chapter]\n", "t.lay:5: unknown section"},
        {"QEL-LAYOUT 1\n[page]\nid = 1\n[end]\n", "t.lay:2: [page] has no 'size'"},
        {head + button + "[end]\nid = 2\n", "t.lay:8: text after the closing [end] line"},
        {head + "title = a\x01" "b\n", "t.lay:5: line contains the control character 0x01"},
        {head + "title = caf\xE9\n", "t.lay:5: line is not valid UTF-8"},
        {head + "title = " + std::string(256, 'x') + "\n", "t.lay:5: title is longer than 255 bytes"},
        {head + std::string(5000, '#') + "\n", "t.lay:5: line is longer than 4096 bytes"},
        {std::string("QEL-LAYOUT 1\n\0\xFF\xFE garbage", 24), "t.lay:2: line contains the control character 0x00"},
    };
    for (const Case& c : cases) {
        const std::string message = Message(c.text);
        EXPECT_EQ(message.rfind(c.expected, 0), 0u) << "expected: " << c.expected << "\nactual:   " << message;
    }
}

TEST(LayoutFiles, CommandLimitAndButtonLimitAreEnforcedAtTheirLine) {
    std::string text = "QEL-LAYOUT 1\n[page]\nid = 1\nsize = 100 100\n[button 1]\nrect = 0 0 1 1\n";
    for (int i = 0; i < 9; ++i) text += "command = Step\n";
    EXPECT_EQ(Message(text).rfind("t.lay:15: button 1 has more than 8 commands", 0), 0u);

    // 4096 buttons is the most a page holds; they fit exactly on a 16384 x 4 page.
    std::string page = "QEL-LAYOUT 1\n[page]\nid = 2\nsize = 16384 4\n";
    for (int i = 0; i < 4096; ++i) {
        page += "[button " + std::to_string(i + 1) + "]\nrect = " + std::to_string(i * 4) + " 0 4 4\n";
    }
    CLayoutData layout;
    ASSERT_TRUE(layout.ParseLayoutText(page + "[end]\n", "big", 1, nullptr, nullptr));
    CLayoutData copy;
    const std::vector<unsigned char> blob = layout.Serialize();
    ASSERT_TRUE(copy.Deserialize(blob.data(), blob.size(), nullptr));
    EXPECT_TRUE(copy.SameContent(layout));
    EXPECT_EQ(Message(page + "[button 9999]\n").rfind("t.lay:8197: more than 4096 buttons", 0), 0u);
}

TEST(LayoutFiles, ParsingReplacesTheContentOnlyOnSuccess) {
    CLayoutData layout;
    ASSERT_TRUE(layout.ParseLayoutFile(qel::test::SourcePath("layouts/page1.lay").c_str(), 1, nullptr, nullptr));
    layout.m_lKey = 12;
    layout.m_bLoaded = TRUE;
    ASSERT_TRUE(layout.ParseLayoutText(kSmall, "small", 1, nullptr, nullptr));
    EXPECT_EQ(layout.m_mapButtons.size(), 1u);
    EXPECT_EQ(layout.m_mapFonts.count("title"), 0u);
    EXPECT_EQ(layout.m_lKey, -1) << "a parsed layout belongs to no row";
    EXPECT_FALSE(layout.m_bLoaded);

    layout.m_lKey = 3;
    const CLayoutData before = layout;
    std::string broken = kSmall;
    broken.replace(broken.find("[end]"), 5, "[button 5]");
    LONG parsed = 0;
    EXPECT_FALSE(layout.ParseLayoutText(broken, "x", 1, &parsed, nullptr));
    EXPECT_FALSE(layout.ParseLayoutText(kSmall, "x", 2, &parsed, nullptr));
    EXPECT_TRUE(layout.SameContent(before));
    EXPECT_EQ(layout.m_lKey, 3);
}

TEST(LayoutFiles, FileProblemsAreReportedWithTheFileName) {
    CLayoutData layout;
    std::string message;
    const std::string missing = qel::test::Sandbox::Current().Path("missing.lay");
    EXPECT_FALSE(layout.ParseLayoutFile(missing.c_str(), 1, nullptr, &message));
    EXPECT_EQ(message.rfind(missing + ": cannot open the file", 0), 0u) << message;

    EXPECT_FALSE(layout.ParseLayoutFile(qel::test::Sandbox::Current().Root().c_str(), 1, nullptr, &message));
    EXPECT_NE(message.find("not a regular file"), std::string::npos) << message;

    EXPECT_FALSE(layout.ParseLayoutFile(nullptr, 1, nullptr, &message));
    EXPECT_EQ(message, "no layout file name given");

    // A comment line repeated past 1 MiB: refused as a whole, not line by line.
    std::string huge = "QEL-LAYOUT 1\n";
    while (huge.size() <= 1024 * 1024) huge += "# padding padding padding padding padding padding\n";
    const std::string path = WriteFile("huge.lay", huge);
    EXPECT_FALSE(layout.ParseLayoutFile(path.c_str(), 1, nullptr, &message));
    EXPECT_EQ(message, path + ": file is larger than 1048576 bytes (1048577 bytes)");
}

// Content and byte stability of stored forms is replayed by LayoutCorpusTest.
TEST(LayoutStoredForm, DecodingReplacesTheContentAndKeepsTheKey) {
    CLayoutData page1;
    ASSERT_TRUE(page1.ParseLayoutFile(qel::test::SourcePath("layouts/page1.lay").c_str(), 1, nullptr, nullptr));
    page1.m_lKey = 42;
    std::string message = "stale";
    const std::vector<unsigned char> smallBlob = SmallBlob();
    ASSERT_TRUE(page1.Deserialize(smallBlob.data(), smallBlob.size(), &message)) << message;
    EXPECT_EQ(message, "");
    EXPECT_EQ(page1.m_lKey, 42);
    EXPECT_EQ(page1.m_nPageID, 7);
    EXPECT_EQ(page1.m_mapButtons.size(), 1u);
}

TEST(LayoutStoredForm, EveryTruncationAndEveryBitFlipIsDetected) {
    const std::vector<unsigned char> blob = SmallBlob();
    CLayoutData layout;
    ASSERT_TRUE(layout.ParseLayoutText(kSmall, "small", 1, nullptr, nullptr));
    const CLayoutData before = layout;
    std::string message;
    for (std::size_t size = 0; size < blob.size(); ++size) {
        EXPECT_FALSE(layout.Deserialize(blob.data(), size, &message)) << size;
        EXPECT_NE(message.find("truncated"), std::string::npos) << size << ": " << message;
    }
    for (std::size_t at = 0; at < blob.size(); ++at) {
        for (int bit = 0; bit < 8; ++bit) {
            std::vector<unsigned char> damaged = blob;
            damaged[at] ^= static_cast<unsigned char>(1u << bit);
            EXPECT_FALSE(layout.Deserialize(damaged.data(), damaged.size(), &message)) << at << "/" << bit;
            EXPECT_EQ(message.rfind("layout data: ", 0), 0u);
        }
    }
    std::vector<unsigned char> longer = blob;
    longer.push_back(0);
    EXPECT_FALSE(layout.Deserialize(longer.data(), longer.size(), &message));
    EXPECT_EQ(message, "layout data: corrupted: 1 bytes follow the payload");
    EXPECT_TRUE(layout.SameContent(before));
}

TEST(LayoutStoredForm, ForeignVersionsAndUnsoundContentAreRefused) {
    CLayoutData layout;
    std::string message;
    std::vector<unsigned char> blob = SmallBlob();
    blob[4] = 2;
    EXPECT_FALSE(layout.Deserialize(blob.data(), blob.size(), &message));
    EXPECT_EQ(message, "layout data: unsupported version 2 (this program reads version 1)");

    const std::string text = "not a layout at all";
    EXPECT_FALSE(layout.Deserialize(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &message));
    EXPECT_EQ(message, "layout data: not layout data (wrong signature)");

    // Payload offsets of the small layout: page ID at 16, width at 18.
    blob = SmallBlob();
    blob[18] = 0x10;  // width 800 -> 784: the button no longer fits
    blob[19] = 0x03;
    Reseal(blob);
    EXPECT_FALSE(layout.Deserialize(blob.data(), blob.size(), &message));
    EXPECT_EQ(message.rfind("layout data: corrupted: button 5 does not fit", 0), 0u) << message;

    blob = SmallBlob();
    blob[17] = 0x80;  // page ID 32775
    Reseal(blob);
    EXPECT_FALSE(layout.Deserialize(blob.data(), blob.size(), &message));
    EXPECT_EQ(message, "layout data: corrupted: page ID 32775 is outside 0..32767");

    EXPECT_FALSE(layout.Deserialize(nullptr, 0, &message));
    EXPECT_TRUE(CLayoutData().Serialize().empty()) << "an empty layout has no page size, so no stored form";
}

}  // namespace

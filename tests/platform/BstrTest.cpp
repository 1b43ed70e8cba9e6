#include <qel/platform/Bstr.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

using namespace qel::platform;

namespace {

std::uint32_t PrefixOf(BSTR bstr) {
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(bstr) - 4, sizeof bytes);
    return bytes;
}

std::u16string Units(BSTR bstr) { return std::u16string(bstr, SysStringLen(bstr)); }

}  // namespace

TEST(BstrTest, AllocationHasWindowsLayout) {
    BstrPtr text(SysAllocString(u"abc"));
    ASSERT_TRUE(text);
    EXPECT_EQ(PrefixOf(text.Get()), 6u);
    EXPECT_EQ(text.Get()[3], u'\0');
    EXPECT_EQ(SysStringLen(text.Get()), 3u);
    EXPECT_EQ(SysStringByteLen(text.Get()), 6u);

    const char16_t withNul[] = {u'a', 0, u'b'};
    BstrPtr embedded(SysAllocStringLen(withNul, 3));
    EXPECT_EQ(SysStringLen(embedded.Get()), 3u);
    EXPECT_EQ(Units(embedded.Get()), std::u16string(withNul, 3));
    EXPECT_EQ(embedded.Utf8(), std::string("a\0b", 3));

    BstrPtr zeroed(SysAllocStringLen(nullptr, 4));
    EXPECT_EQ(Units(zeroed.Get()), std::u16string(4, u'\0'));
    EXPECT_EQ(zeroed.Get()[4], u'\0');
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFF0u), nullptr);
}

TEST(BstrTest, NullIsTheEmptyString) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    EXPECT_EQ(Utf8FromBstr(nullptr), "");
    SysFreeString(nullptr);

    BstrPtr empty(BstrFromUtf8(""));
    ASSERT_TRUE(empty) << "an empty result is still an allocation the caller frees";
    EXPECT_EQ(empty.Length(), 0u);
    EXPECT_EQ(empty.Get()[0], u'\0');
}

TEST(BstrTest, Utf8RoundTripIncludingSurrogatePairs) {
    const std::string text = "Società 日本 \xF0\x9D\x84\x9E \xF0\x9F\x98\x80";  // U+1D11E, U+1F600
    BstrPtr bstr = BstrPtr::FromUtf8(text);
    const std::u16string expected = u"Società 日本 \xD834\xDD1E \xD83D\xDE00";
    EXPECT_EQ(Units(bstr.Get()), expected);
    EXPECT_EQ(bstr.Utf8(), text);

    const std::string withNul("x\0y", 3);
    EXPECT_EQ(BstrPtr::FromUtf8(withNul).Utf8(), withNul);
}

TEST(BstrTest, InvalidInputIsReplaced) {
    EXPECT_EQ(Units(BstrPtr::FromUtf8("a\xFF" "b").Get()), u"a\uFFFDb");
    EXPECT_EQ(Units(BstrPtr::FromUtf8("\xC3\x28").Get()), u"\uFFFD(");
    EXPECT_EQ(Units(BstrPtr::FromUtf8("end\xE2\x82").Get()), u"end\uFFFD");
    EXPECT_EQ(Units(BstrPtr::FromUtf8("\xED\xA0\x80").Get()).find_first_not_of(u'\uFFFD'), std::u16string::npos)
        << "an encoded surrogate is not valid UTF-8";

    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00};
    BstrPtr bstr(SysAllocStringLen(lone, 4));
    EXPECT_EQ(bstr.Utf8(), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
}

TEST(BstrTest, BstrPtrOwnsExactlyOneString) {
    BstrPtr a = BstrPtr::FromUtf8("one");
    BSTR raw = a.Get();
    BstrPtr b(std::move(a));
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), raw);

    BSTR copy = b.Copy();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, raw);
    EXPECT_EQ(Utf8FromBstr(copy), "one");
    b.Reset(copy);  // the old string is freed: the sanitizer run sees a leak or double free

    BSTR* slot = b.Out();
    EXPECT_EQ(*slot, nullptr);
    *slot = SysAllocString(u"two");
    EXPECT_EQ(b.Utf8(), "two");

    BSTR released = b.Release();
    EXPECT_FALSE(b);
    EXPECT_EQ(b.Copy(), nullptr);
    SysFreeString(released);

    a = BstrPtr::FromUtf8("three");
    a = std::move(a);
    EXPECT_EQ(a.Utf8(), "three");
}

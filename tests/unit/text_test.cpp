#include <gtest/gtest.h>

#include "platform/text.h"

using platform::FromUtf8;
using platform::ToUtf8;
using platform::Utf8Decoder;

TEST(Text, RoundTripsAllPlanes) {
    std::wstring w = L"a\u00e9\u65e5\U0001F600z";
    EXPECT_EQ(FromUtf8(ToUtf8(w)), w);
    EXPECT_EQ(ToUtf8(w).size(), 1u + 2 + 3 + 4 + 1);
}

TEST(Text, InvalidBytesBecomeReplacement) {
    EXPECT_EQ(FromUtf8("a\xff"
                       "b"),
              L"a\uFFFD"
              L"b");
    EXPECT_EQ(FromUtf8("\xc3"), L"\uFFFD");                      // truncated at end
    EXPECT_EQ(FromUtf8("\xed\xa0\x80"), L"\uFFFD\uFFFD\uFFFD");  // surrogate
    EXPECT_EQ(FromUtf8("\xc0\xaf"), L"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(FromUtf8("\xe6\x97"
                       "x"),
              L"\uFFFDx");  // cut sequence, then ASCII
    EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
}

TEST(Text, DecoderJoinsCharactersSplitAcrossPieces) {
    std::string all = ToUtf8(L"x\u65e5\U0001F600y\u00e9");
    // Every split point, and one byte at a time.
    for (size_t cut = 0; cut <= all.size(); ++cut) {
        Utf8Decoder d;
        std::wstring out = d.Feed(all.substr(0, cut));
        out += d.Feed(all.substr(cut));
        d.Finish(out);
        EXPECT_EQ(out, L"x\u65e5\U0001F600y\u00e9") << cut;
    }
    Utf8Decoder d;
    std::wstring out;
    for (char c : all) d.Feed(std::string_view(&c, 1), out);
    EXPECT_FALSE(d.HasPending());
    EXPECT_EQ(out, L"x\u65e5\U0001F600y\u00e9");
}

TEST(Text, DecoderReportsBrokenSequenceOnce) {
    Utf8Decoder d;
    std::wstring out = d.Feed("a\xe6\x97");
    EXPECT_EQ(out, L"a");
    out += d.Feed("b");  // the pending bytes cannot be completed
    d.Finish(out);
    EXPECT_EQ(out,
              L"a\uFFFD"
              L"b");
    Utf8Decoder e;
    std::wstring tail = e.Feed("\xf0\x9f");
    e.Finish(tail);
    EXPECT_EQ(tail, L"\uFFFD");
}

TEST(Text, FormatCutsAtLimitWithoutOverrun) {
    std::string big(5000, 'x');
    va_list dummy;
    (void)dummy;
    EXPECT_EQ(platform::Format("%s", big.c_str()).size(), 5000u);
    EXPECT_EQ(platform::FormatW(L"%ls=%d", L"k", 5), L"k=5");
    EXPECT_EQ(platform::FormatW(L"%ls", std::wstring(3000, L'y').c_str()).size(), 3000u);
}

TEST(Text, TrimCutsOnlyTheGivenCharactersAtTheEnds) {
    using platform::Trim;
    EXPECT_EQ(Trim(" \ta b\t "), "a b");
    EXPECT_EQ(Trim("x\r\n"), "x\r\n") << "line ends are not blanks unless asked";
    EXPECT_EQ(Trim("\r\n x \r\n", " \r\n"), "x");
    EXPECT_EQ(Trim(" \t \t"), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim(L"\t\u3000key = v\u00e9 \t"), L"\u3000key = v\u00e9");
    EXPECT_EQ(Trim(L" \r\nurl=x\t\r\n", L" \t\r\n"), L"url=x");
}

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/profile.h"
#include "platform/text.h"

using platform::GetPrivateProfileString;

namespace {

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/cv-profile-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        path_ = platform::FromUtf8(dir_ + "/language_lookup.ini");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    void Write(const std::string& bytes) {
        std::ofstream(platform::ToUtf8(path_), std::ios::binary | std::ios::trunc) << bytes;
    }
    std::wstring Get(const std::wstring& section, const std::wstring& key,
                     const std::wstring& def = L"-", size_t size = 10200) {
        return GetPrivateProfileString(section, key, def, size, path_);
    }

    std::string dir_;
    std::wstring path_;
};

// UTF-16 bytes of text, BOM first.
std::string Utf16(const std::wstring& text, bool bigEndian) {
    std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    auto unit = [&](uint32_t u) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xff);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    };
    for (wchar_t c : text) {
        uint32_t u = static_cast<uint32_t>(c);
        if (u >= 0x10000) {
            unit(0xD800 + ((u - 0x10000) >> 10));
            unit(0xDC00 + ((u - 0x10000) & 0x3ff));
        } else {
            unit(u);
        }
    }
    return out;
}

TEST_F(ProfileTest, WindowsLineRules) {
    Write(
        "top=before any section\n"
        "; [LANGUAGE] in a comment\n"
        "  [ Language ]  \r\n"
        "  0x0411  =  ja  \r\n"
        "0X0409=\"  en  \"\n"
        "single='it'\n"
        "mismatched=\"fr'\n"
        "lone=\"\n"
        "inline=de ; not a comment\n"
        "url=a=b=c\n"
        "no equals sign here\n"
        ";0x0804=commented\n"
        "empty=\n"
        "dup=first\n"
        "DUP=second\n"
        "[Other]\n"
        "0x0804=zh_cn\n");
    EXPECT_EQ(Get(L"LANGUAGE", L"0x0411"), L"ja");
    EXPECT_EQ(Get(L"language", L"0x0409"), L"  en  ");  // quotes keep inner blanks
    EXPECT_EQ(Get(L"LANGUAGE", L"single"), L"it");
    EXPECT_EQ(Get(L"LANGUAGE", L"mismatched"), L"\"fr'");
    EXPECT_EQ(Get(L"LANGUAGE", L"lone"), L"\"");
    EXPECT_EQ(Get(L"LANGUAGE", L"inline"), L"de ; not a comment");
    EXPECT_EQ(Get(L"LANGUAGE", L"url"), L"a=b=c");
    EXPECT_EQ(Get(L"LANGUAGE", L"no equals sign here"), L"-");
    EXPECT_EQ(Get(L"LANGUAGE", L";0x0804"), L"-");
    EXPECT_EQ(Get(L"LANGUAGE", L"0x0804"), L"-");  // in another section
    EXPECT_EQ(Get(L"other", L"0x0804"), L"zh_cn");
    EXPECT_EQ(Get(L"LANGUAGE", L"empty"), L"");
    EXPECT_EQ(Get(L"LANGUAGE", L"dup"), L"first");
    EXPECT_EQ(Get(L"LANGUAGE", L"top"), L"-");
    EXPECT_EQ(Get(L"", L"top"), L"-");
    EXPECT_EQ(Get(L"Missing", L"0x0411", L"fallback  "), L"fallback");
}

TEST_F(ProfileTest, Encodings) {
    const std::wstring text = L"[LANGUAGE]\r\n0x0411=\u65e5\u672c\U0001F600\r\n";
    const std::pair<const char*, std::string> files[] = {
        {"UTF-8", platform::ToUtf8(text)},
        {"UTF-8 with BOM", "\xEF\xBB\xBF" + platform::ToUtf8(text)},
        {"UTF-16 LE", Utf16(text, false)},
        {"UTF-16 BE", Utf16(text, true)},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        Write(bytes);
        EXPECT_EQ(Get(L"language", L"0x0411"), L"\u65e5\u672c\U0001F600");
    }
    // A broken surrogate and an odd last byte do not end the file early.
    std::string broken = Utf16(L"[L]\nk=a", false);
    broken += std::string("\x00\xD8", 2);  // a high surrogate with nothing after it
    broken += "b";
    Write(broken);
    EXPECT_EQ(Get(L"L", L"k"), L"a\uFFFD\uFFFD");
}

TEST_F(ProfileTest, SizeLimitCountsTheTerminator) {
    const std::wstring longValue(12000, L'x');
    Write("[LANGUAGE]\nlong=" + platform::ToUtf8(longValue) + "\nshort=abc\n");
    EXPECT_EQ(Get(L"LANGUAGE", L"long").size(), 10199u);
    EXPECT_EQ(Get(L"LANGUAGE", L"short", L"", 4), L"abc");
    EXPECT_EQ(Get(L"LANGUAGE", L"short", L"", 3), L"ab");
    EXPECT_EQ(Get(L"LANGUAGE", L"short", L"", 1), L"");
    EXPECT_EQ(Get(L"LANGUAGE", L"short", L"", 0), L"");
    EXPECT_EQ(Get(L"LANGUAGE", L"absent", L"default", 4), L"def");
}

TEST_F(ProfileTest, FileIsReadAfreshEachCall) {
    EXPECT_EQ(Get(L"LANGUAGE", L"0x0411", L""), L"");  // no file yet
    Write("[LANGUAGE]\n0x0411=ja\n");
    EXPECT_EQ(Get(L"LANGUAGE", L"0x0411", L""), L"ja");
    Write("[LANGUAGE]\n0x0411=en\n");  // same size, same second
    EXPECT_EQ(Get(L"LANGUAGE", L"0x0411", L""), L"en");
    std::filesystem::remove(platform::ToUtf8(path_));
    EXPECT_EQ(Get(L"LANGUAGE", L"0x0411", L"gone"), L"gone");
}

TEST_F(ProfileTest, UnusableFilesGiveTheDefault) {
    EXPECT_EQ(GetPrivateProfileString(L"LANGUAGE", L"k", L"d", 10200,
                                      platform::FromUtf8(dir_)),  // a directory
              L"d");
    EXPECT_EQ(GetPrivateProfileString(L"LANGUAGE", L"k", L"d", 10200, L""), L"d");
    Write("");
    EXPECT_EQ(Get(L"LANGUAGE", L"k", L"d"), L"d");
}

}  // namespace

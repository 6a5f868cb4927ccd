// Site recognition, character references and output naming on real folders.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/helpers.h"
#include "download/partial_file.h"
#include "download/site_helpers.h"
#include "platform/text.h"
#include "platform/unique_fd.h"
#include "support/process_harness.h"

using platform::FromUtf8;
using platform::ToUtf8;

TEST(GetSiteKind, RecognisesTheFourSitesByHost) {
    EXPECT_EQ(GetSiteKind(L"http://www.youtube.com/watch?v=abc"), kSiteYouTube);
    EXPECT_EQ(GetSiteKind(L"http://UK.YouTube.com/watch?v=abc"), kSiteYouTube);
    EXPECT_EQ(GetSiteKind(L"http://video.google.com/anything"), kSiteGoogleVideo);
    EXPECT_EQ(GetSiteKind(L"http://www.metacafe.com/watch/1/x/"), kSiteMetaCafe);
    EXPECT_EQ(GetSiteKind(L"http://www.nicovideo.jp/watch/sm9"), kSiteNicoVideo);
    EXPECT_EQ(GetSiteKind(L"http://example.com/youtube"), kSiteOther);
    EXPECT_EQ(GetSiteKind(L"www.youtube.com/watch?v=abc"), kSiteUnknown);
    EXPECT_EQ(GetSiteKind(L""), kSiteUnknown);
    // Percent escapes in the host are decoded before the test.
    EXPECT_EQ(GetSiteKind(L"http://www.%79outube.com/"), kSiteYouTube);
}

TEST(GetSiteKind, GoogleAddressCarryingAnotherSite) {
    EXPECT_EQ(GetSiteKind(L"http://video.google.com/url?srcurl=http://www.youtube.com/watch?v=1"),
              kSiteYouTube);
    EXPECT_EQ(GetSiteKind(L"http://video.google.com/url?srcurl=&x=1"), kSiteGoogleVideo);
    // A value that is no address leaves a page for the handler of other sites.
    EXPECT_EQ(GetSiteKind(L"http://video.google.com/url?srcurl=junk"), kSiteOther);
    // A value naming the same address again does not recurse for ever.
    EXPECT_EQ(GetSiteKind(L"http://google.com/?srcurl=http://google.com/?srcurl=x"), kSiteOther);
}

// Duplicate checks see one video however its address is written.
TEST(AddressKey, SameVideoSameKey) {
    const std::wstring key = AddressKey(L"http://www.youtube.com/watch?v=abc");
    for (const wchar_t* same :
         {L"http://www.youtube.com/watch?v=abc ", L"\t http://www.youtube.com/watch?v=abc\r\n",
          L"http://WWW.YOUTUBE.COM/watch?v=abc", L"HTTP://youtube.com/watch?v=abc",
          L"http://youtube.com:80/watch?v=abc#t=30", L"http://www.youtube.com/watch?v=abc\u00a0"})
        EXPECT_EQ(AddressKey(same), key) << ToUtf8(same);
    for (const wchar_t* other :
         {L"http://www.youtube.com/watch?v=ABC", L"https://www.youtube.com/watch?v=abc",
          L"http://uk.youtube.com/watch?v=abc", L"http://www.youtube.com:8080/watch?v=abc"})
        EXPECT_NE(AddressKey(other), key) << ToUtf8(other);
    EXPECT_EQ(AddressKey(L"http://www.metacafe.com/watch/1/x/"),
              AddressKey(L"http://METACAFE.com/watch/1/x/"));
    EXPECT_EQ(AddressKey(L"http://nicovideo.jp/watch/sm9"),
              AddressKey(L"http://www.nicovideo.jp/watch/sm9"));
    EXPECT_EQ(AddressKey(L"http://www.video.google.com/videoplay?docid=-1"),
              AddressKey(L"http://video.google.com/videoplay?docid=-1"));
    // "www." is the same host only on the four sites.
    EXPECT_NE(AddressKey(L"http://www.example.com/v"), AddressKey(L"http://example.com/v"));
    EXPECT_NE(AddressKey(L"http://www.notyoutube.com/v"), AddressKey(L"http://notyoutube.com/v"));
    EXPECT_EQ(AddressKey(L"  not an address "), L"not an address");
}

TEST(ExtractQueryValue, Rules) {
    std::wstring v;
    EXPECT_TRUE(ExtractQueryValue(L"a?k=1&b=2", L"k=", v));
    EXPECT_EQ(v, L"1");
    EXPECT_TRUE(ExtractQueryValue(L"a?k=rest", L"k=", v));
    EXPECT_EQ(v, L"rest");
    EXPECT_FALSE(ExtractQueryValue(L"k=1", L"k=", v));     // at position 0
    EXPECT_FALSE(ExtractQueryValue(L"a?k=&b", L"k=", v));  // empty value
    EXPECT_FALSE(ExtractQueryValue(L"a?b=1", L"k=", v));
}

TEST(DecodeEntities, NamedNumericUnknownAndUnterminated) {
    EXPECT_EQ(DecodeEntities(L"plain"), L"plain");
    EXPECT_EQ(DecodeEntities(L"a&amp;b&bogus;c"), L"a&bc");
    EXPECT_EQ(DecodeEntities(L"&lt;&gt;&quot;&nbsp;"), L"<>\" ");
    EXPECT_EQ(DecodeEntities(L"x&#65;&#26085;"), L"xA\u65e5");
    EXPECT_EQ(DecodeEntities(L"Tom & Jerry"), L"Tom & Jerry");
    EXPECT_EQ(DecodeEntities(L"a&amp;b & c; d"), L"a&b  d");
    // The hexadecimal form reads as code 0; codes are 16 bits.
    EXPECT_EQ(DecodeEntities(L"ab&#x41;cd"), std::wstring(L"ab\0cd", 5));
    EXPECT_EQ(DecodeEntity(L"&#65601;"), L"A");
}

TEST(FileNames, IllegalCharactersAndHostileTitles) {
    std::wstring t = L"a:b?c*d\"e<f>g|h/i\\j";
    ReplaceIllegalFileChars(t, L'_');
    EXPECT_EQ(t, L"a_b_c_d_e_f_g_h_i_j");
    // No name is ever hidden: leading dots, or nothing, become one "_".
    EXPECT_EQ(MakeSafeFileName(L"..", L'_'), L"_");
    EXPECT_EQ(MakeSafeFileName(L".", L'_'), L"_");
    EXPECT_EQ(MakeSafeFileName(L"...", L'_'), L"_");
    EXPECT_EQ(MakeSafeFileName(L"", L'_'), L"_");
    EXPECT_EQ(MakeSafeFileName(L".hidden.clip", L'_'), L"_hidden.clip");
    EXPECT_EQ(MakeSafeFileName(L"a.b.", L'_'), L"a.b.");
    EXPECT_EQ(MakeSafeFileName(L"../../etc/passwd", L'_'), L"__.._etc_passwd");
    // Marks that disguise a name: a right-to-left override, zero-width
    // characters, isolates and C1 controls.
    EXPECT_EQ(MakeSafeFileName(L"clip\u202Eexe.flv", L'_'), L"clip_exe.flv");
    EXPECT_EQ(MakeSafeFileName(L"a\u200Bb\u2066c\uFEFFd\u0085e\u009Bf", L'_'), L"a_b_c_d_e_f");
    EXPECT_EQ(MakeSafeFileName(L"日本語 – ok", L'_'), L"日本語 – ok");
    EXPECT_EQ(MakeSafeFileName(std::wstring(L"cut\0here", 8), L'_'), L"cut");
    EXPECT_EQ(MakeSafeFileName(L"line\nbreak\ttab", L'_'), L"line_break_tab");
}

TEST(FileNames, FitBytesCutsOnCharacterBoundary) {
    std::wstring cjk(200, L'\u65e5');  // three bytes each
    std::wstring cut = FitNameBytes(cjk, L".flv.cvt", 255);
    EXPECT_EQ(cut.size(), 82u);  // 82 * 3 + 8 = 254
    EXPECT_LE(ToUtf8(cut).size() + 8, 255u);
    EXPECT_EQ(FitNameBytes(L"short", L".flv", 255), L"short");
}

class OutputNaming : public ::testing::Test {
  protected:
    std::wstring Folder() const { return FromUtf8(dir_.path()); }
    testsupport::TempDir dir_;
};

TEST_F(OutputNaming, CollisionsAreNumbered) {
    std::wstring site = Folder() + L"/YouTube";
    std::wstring f, t;
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"clip", L"flv", f, t));
    EXPECT_EQ(f, site + L"/clip.flv");
    testsupport::WriteFile(ToUtf8(site + L"/clip.flv"), "x");
    testsupport::WriteFile(ToUtf8(site + L"/clip_001.flv"), "x");
    // The temporary file of a running download reserves its name.
    testsupport::WriteFile(ToUtf8(site + L"/clip_002.flv.cvt"), "theirs");
    platform::UniqueFd running(::open(ToUtf8(site + L"/clip_002.flv.cvt").c_str(), O_RDONLY));
    ASSERT_EQ(::flock(running.get(), LOCK_EX | LOCK_NB), 0);
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"clip", L"flv", f, t));
    EXPECT_EQ(f, site + L"/clip_003.flv");
    EXPECT_EQ(t, site + L"/clip_003.flv.cvt");
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(t)), "");  // reserved, empty
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(site + L"/clip_002.flv.cvt")), "theirs");
    // The reservation holds against the next naming.
    std::wstring f2, t2;
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"clip", L"flv", f2, t2));
    EXPECT_EQ(f2, site + L"/clip_004.flv");
}

TEST_F(OutputNaming, TemporaryFileNobodyHoldsIsTakenOver) {
    std::wstring site = Folder() + L"/YouTube";
    std::wstring f, t;
    // Left by a run that was killed: no lock, no record.
    CreateFolderTree(site);
    testsupport::WriteFile(ToUtf8(site + L"/clip.flv.cvt"), "stale bytes");
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"clip", L"flv", f, t));
    EXPECT_EQ(f, site + L"/clip.flv");
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(t)), "") << "taken over empty";
    EXPECT_TRUE(HoldsTempLock(t));
    // Now it is held: the next naming numbers around it.
    std::wstring f2, t2;
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"clip", L"flv", f2, t2));
    EXPECT_EQ(f2, site + L"/clip_001.flv");

    // One kept for resuming a page keeps its bytes for that page alone.
    testsupport::WriteFile(ToUtf8(site + L"/part.flv.cvt"), "half");
    PartialRecord r;
    r.pageAddress = L"http://www.youtube.com/watch?v=part";
    r.validator = "\"v1\"";
    r.length = 8;
    r.written = 4;
    ASSERT_TRUE(WritePartialRecord(site + L"/part.flv.cvt", r));
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"part", L"flv", f, t,
                                 L"http://www.youtube.com/watch?v=other"));
    EXPECT_EQ(f, site + L"/part_001.flv");
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"part", L"flv", f, t, r.pageAddress));
    EXPECT_EQ(f, site + L"/part.flv");
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(t)), "half");
    // Finishing it lets go of the lock and the record.
    EXPECT_EQ(FinishOutputFile(t, f), f);
    EXPECT_FALSE(HoldsTempLock(t));
    EXPECT_FALSE(std::filesystem::exists(ToUtf8(PartialRecordPath(t))));
}

TEST(PartialRecord, RoundTripsAndRefusesDamage) {
    testsupport::TempDir dir;
    std::wstring temp = FromUtf8(dir / "v.mp4.cvt");
    EXPECT_EQ(PartialRecordPath(temp), FromUtf8(dir / "v.mp4.cvr"));
    PartialRecord r, back;
    r.pageAddress = L"https://media.example.org/\u4e2d.mp4";
    r.mediaAddress = L"https://cdn.example.org/v.mp4?x=1";
    r.validator = "W/\"no\"";
    r.length = 5ull << 32;
    r.written = 12345;
    r.playlistDigest = "abc";
    r.segmentsDone = 7;
    ASSERT_TRUE(WritePartialRecord(temp, r));
    ASSERT_TRUE(ReadPartialRecord(temp, back));
    EXPECT_EQ(back.pageAddress, r.pageAddress);
    EXPECT_EQ(back.mediaAddress, r.mediaAddress);
    EXPECT_EQ(back.validator, r.validator);
    EXPECT_EQ(back.length, r.length);
    EXPECT_EQ(back.written, r.written);
    EXPECT_EQ(back.segmentsDone, 7u);
    // Only the record is in the folder: its scratch file was renamed.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    for (const char* bad : {"", "{", "[]", "{\"page\": 5}", "{\"page\": \"x\"}"}) {
        testsupport::WriteFile(ToUtf8(PartialRecordPath(temp)), bad);
        EXPECT_FALSE(ReadPartialRecord(temp, back)) << bad;
    }
    // Without a usable record a partial is not kept.
    testsupport::WriteFile(ToUtf8(temp), "bytes");
    EXPECT_FALSE(SetTempFileAside(temp));
    EXPECT_FALSE(std::filesystem::exists(ToUtf8(temp)));
    EXPECT_FALSE(std::filesystem::exists(ToUtf8(PartialRecordPath(temp))));
    testsupport::WriteFile(ToUtf8(temp), "bytes");
    ASSERT_TRUE(WritePartialRecord(temp, r));
    EXPECT_TRUE(SetTempFileAside(temp));
    EXPECT_TRUE(RemovePartialDownload(temp));
    EXPECT_FALSE(std::filesystem::exists(ToUtf8(temp)));
    EXPECT_FALSE(std::filesystem::exists(ToUtf8(PartialRecordPath(temp))));
}

TEST_F(OutputNaming, LinksAreNeverFollowed) {
    std::wstring site = Folder() + L"/YouTube";
    std::wstring f, t;
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"x", L"flv", f, t));
    ::unlink(ToUtf8(t).c_str());
    testsupport::WriteFile(dir_ / "outside", "keep");
    // A dangling link at the final name and a link at a temporary name.
    ASSERT_EQ(::symlink((dir_ / "nowhere").c_str(), ToUtf8(site + L"/clip.flv").c_str()), 0);
    ASSERT_EQ(::symlink((dir_ / "outside").c_str(), ToUtf8(site + L"/clip_001.flv.cvt").c_str()),
              0);
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"clip", L"flv", f, t));
    EXPECT_EQ(f, site + L"/clip_002.flv");
    EXPECT_EQ(testsupport::ReadFile(dir_ / "outside"), "keep");
}

TEST_F(OutputNaming, FinishingNeverReplacesAFile) {
    std::wstring site = Folder() + L"/YouTube";
    std::wstring f, t;
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"clip", L"flv", f, t));
    testsupport::WriteFile(ToUtf8(t), "video");
    // Files appear at the final name and at the next one meanwhile, and
    // another download reserves the one after.
    testsupport::WriteFile(ToUtf8(f), "planted");
    testsupport::WriteFile(ToUtf8(site + L"/clip_001.flv"), "planted 1");
    testsupport::WriteFile(ToUtf8(site + L"/clip_002.flv.cvt"), "");
    EXPECT_EQ(FinishOutputFile(t, f), site + L"/clip_003.flv");
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(f)), "planted");
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(site + L"/clip_001.flv")), "planted 1");
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(site + L"/clip_003.flv")), "video");
    EXPECT_FALSE(std::filesystem::exists(ToUtf8(t)));
    // A numbered name goes on counting from its number.
    testsupport::WriteFile(ToUtf8(site + L"/clip_003.flv.cvt"), "again");
    EXPECT_EQ(FinishOutputFile(site + L"/clip_003.flv.cvt", site + L"/clip_003.flv"),
              site + L"/clip_004.flv");
    EXPECT_EQ(FinishOutputFile(site + L"/missing.cvt", site + L"/x.flv"), L"");
}

TEST_F(OutputNaming, LongCjkTitleFitsOneComponent) {
    std::wstring f, t;
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", std::wstring(240, L'\u4e2d'), L"flv", f, t));
    std::string name = ToUtf8(t.substr(t.rfind(L'/') + 1));
    EXPECT_LE(name.size(), 255u);
    EXPECT_EQ(name.substr(name.size() - 8), ".flv.cvt");
    EXPECT_EQ(platform::FromUtf8(name).find(platform::kReplacementChar), std::wstring::npos);
    // The file can really be made.
    testsupport::WriteFile(ToUtf8(t), "data");
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(t)), "data");
}

TEST_F(OutputNaming, FolderOf240CharactersLeavesTwelve) {
    std::wstring folder = Folder() + L"/";
    folder += std::wstring(240 - folder.size(), L'f');
    ASSERT_EQ(folder.size(), 240u);
    std::wstring f, t;
    ASSERT_TRUE(BuildOutputPaths(folder, L"YouTube", std::wstring(100, L'a'), L"flv", f, t));
    EXPECT_EQ(f, folder + L"/YouTube/" + std::wstring(12, L'a') + L".flv");
    std::wstring tooLong = Folder() + L"/" + std::wstring(252, L'g');
    EXPECT_FALSE(BuildOutputPaths(tooLong, L"YouTube", L"x", L"flv", f, t));
}

TEST_F(OutputNaming, HostileTitleStaysInSiteFolder) {
    std::wstring f, t;
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"../../escape", L"flv", f, t));
    EXPECT_EQ(f, Folder() + L"/YouTube/__.._escape.flv");
    ASSERT_TRUE(BuildOutputPaths(Folder(), L"YouTube", L"..", L"flv", f, t));
    EXPECT_EQ(f, Folder() + L"/YouTube/_.flv");
}

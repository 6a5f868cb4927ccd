// Address import from real files, and from web files served by the stand-in
// sites over loopback.
#include "download/address_import.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <tuple>

#include "download/pattern.h"
#include "fakesites_harness.h"
#include "platform/text.h"

using platform::FromUtf8;
using testsupport::FakeSites;
using testsupport::TempDir;
using testsupport::WriteFile;
using List = std::vector<std::wstring>;

namespace {

const char kImportAgent[] =
    "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.8.1) Gecko/20061010 Firefox/2.0";

// A page with every kind of link the import meets.
const char kPage[] =
    "<html><body>\n"
    "<a href=\"http://video.google.com/videoplay?docid=-12345\">g1</a>\n"
    "<a href=\"/watch?v=abc123\">bare</a>\n"
    "<a href=\"http://www.youtube.com/watch?v=Q-x_9|z&feature=related\">full</a>\n"
    "<a href=\"HTTP://WWW.YOUTUBE.COM/WATCH?V=Up1\">upper</a>\n"
    "<a href=\"https://www.youtube.com/watch?v=sec1\">secure</a>\n"
    "<a href=\"http://www.metacafe.com/watch/1234567/a_walk/\">mc</a>\n"
    "<a href=\"http://www.nicovideo.jp/watch/sm123456\">nico</a>\n"
    "<a href=\"http://video.google.com/videoplay?docid=777\">g2</a>\n"
    "<a href=\"/watch?v=abc123\">bare again</a>\n"
    "</body></html>\n";

const List kPageAddresses = {
    L"http://www.youtube.com/watch?v=abc123",
    L"http://www.youtube.com/watch?v=Q-x_9|z",
    L"HTTP://WWW.YOUTUBE.COM/WATCH?V=Up1",
    L"http://www.youtube.com/watch?v=sec1",
    L"http://www.youtube.com/watch?v=abc123",
    L"http://video.google.com/videoplay?docid=-12345",
    L"http://video.google.com/videoplay?docid=777",
};

std::string Utf16(const std::wstring& text, bool le) {
    std::string out = le ? "\xFF\xFE" : "\xFE\xFF";
    auto put = [&](unsigned u) {
        char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += le ? lo : hi;
        out += le ? hi : lo;
    };
    for (wchar_t c : text) {
        auto u = static_cast<unsigned>(c);
        if (u >= 0x10000) {
            put(0xD800 + ((u - 0x10000) >> 10));
            put(0xDC00 + ((u - 0x10000) & 0x3FF));
        } else {
            put(u);
        }
    }
    return out;
}

// A loopback port that was free a moment ago.
int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(AddressImport, FindsYouTubeThenGoogleInTextOrderWithDuplicates) {
    TempDir dir;
    WriteFile(dir / "page.html", kPage);
    EXPECT_EQ(ExtractAddresses(FromUtf8(dir / "page.html")), kPageAddresses);
    // A docid may begin with a minus ("docid=-12345" above), nowhere else.
    EXPECT_EQ(ExtractAddressesFromText(L"http://video.google.com/videoplay?docid=-4431-x "
                                       L"http://video.google.com/videoplay?docid=--1"),
              List{L"http://video.google.com/videoplay?docid=-4431"});
    EXPECT_EQ(ExtractAddressesFromText(L"no links here http://www.metacafe.com/watch/1/x/"),
              List{});
    EXPECT_EQ(ExtractAddressesFromText(L"/watch?v="), List{}) << "an id needs a character";
    // An id ends at the first character outside the class, also a non-ASCII one.
    EXPECT_EQ(ExtractAddressesFromText(L"x/watch?v=ab\u00e9c\r\n/watch?v=d"),
              (List{L"http://www.youtube.com/watch?v=ab", L"http://www.youtube.com/watch?v=d"}));
}

TEST(AddressImport, ReadsByteOrderMarksAndFallsBackToUtf8) {
    TempDir dir;
    const std::wstring text =
        L"\U0001F600 caf\u00e9 /watch?v=w1\r\n\u4e2d http://video.google.com/videoplay?docid=9";
    const List want = {L"http://www.youtube.com/watch?v=w1",
                       L"http://video.google.com/videoplay?docid=9"};
    WriteFile(dir / "le.txt", Utf16(text, true));
    WriteFile(dir / "be.txt", Utf16(text, false));
    WriteFile(dir / "bom8.txt", "\xEF\xBB\xBF" + platform::ToUtf8(text));
    // Invalid bytes become U+FFFD and do not hide what follows them.
    WriteFile(dir / "plain.txt",
              "\xFF\xC3/watch?v=w1 \x80http://video.google.com/videoplay?docid=9");
    for (const char* name : {"le.txt", "be.txt", "bom8.txt", "plain.txt"})
        EXPECT_EQ(ExtractAddresses(FromUtf8(dir / name)), want) << name;

    // A mark without its text, a lone surrogate and an odd last byte.
    EXPECT_EQ(DecodeImportText("\xEF\xBB\xBF"
                               "a\xC3"),
              L"a\uFFFD");
    EXPECT_EQ(DecodeImportText(std::string("\xFF\xFE\x00\xD8"
                                           "a\x00"
                                           "b",
                                           7)),
              L"\uFFFDa\uFFFD");
    EXPECT_EQ(DecodeImportText(std::string("\xFE\xFF\xDC\x00\x00"
                                           "a",
                                           6)),
              L"\uFFFDa");
}

TEST(AddressImport, LargeFilesFindWhatTheWholeTextHolds) {
    TempDir dir;
    const size_t kMiB = 1 << 20;
    // Links, a two-byte and a four-byte character across the first 1 MiB
    // boundaries, and one id longer than 3 MiB.
    std::string bytes;
    for (size_t at : {kMiB - 5, 2 * kMiB - 1, 3 * kMiB - 40}) {
        bytes.append(at - bytes.size(), ' ');
        bytes += "/watch?v=id" + std::to_string(at) +
                 " http://video.google.com/videoplay?docid=" + std::to_string(at) +
                 " \xc3\xa9\xf0\x9f\x98\x80";
    }
    bytes += "\n/watch?v=" + std::string(3 * kMiB + 7, 'a') + "\n";
    WriteFile(dir / "big8.html", bytes);
    List whole = ExtractAddressesFromText(FromUtf8(bytes));
    ASSERT_EQ(whole.size(), 7u);
    EXPECT_EQ(whole.back(),
              L"http://video.google.com/videoplay?docid=" + std::to_wstring(3 * kMiB - 40));
    EXPECT_EQ(whole[3].size(), 22 + 9 + 3 * kMiB + 7);
    EXPECT_EQ(ExtractAddresses(FromUtf8(dir / "big8.html")), whole);
    EXPECT_EQ(DecodeImportText(bytes), FromUtf8(bytes));

    // UTF-16 with a surrogate pair and a link across a read boundary.
    std::wstring text(kMiB / 2 - 2, L' ');
    text += L"\U0001F600/watch?v=u16 ";
    text += std::wstring(kMiB / 2, L'\u00e9') + L"/watch?v=u17";
    for (bool le : {true, false}) {
        WriteFile(dir / "big16.txt", Utf16(text, le));
        EXPECT_EQ(
            ExtractAddresses(FromUtf8(dir / "big16.txt")),
            (List{L"http://www.youtube.com/watch?v=u16", L"http://www.youtube.com/watch?v=u17"}))
            << le;
        EXPECT_EQ(DecodeImportText(Utf16(text, le)), text);
    }

    // Broken UTF-8 of every kind decodes as the shared decoder does.
    std::string junk;
    uint32_t seed = 7;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        unsigned char c = static_cast<unsigned char>(seed >> 16);
        junk += static_cast<char>(c % 3 ? c : c & 0x7F);
    }
    EXPECT_EQ(DecodeImportText("x" + junk), FromUtf8("x" + junk));
}

TEST(AddressImport, UnreadableSourcesFindNothingAndNeverBlock) {
    TempDir dir;
    EXPECT_EQ(ExtractAddresses(FromUtf8(dir / "missing.html")), List{});
    EXPECT_EQ(ExtractAddresses(FromUtf8(dir.path())), List{}) << "a folder";
    EXPECT_EQ(ExtractAddresses(L"/dev/zero"), List{});
    EXPECT_EQ(ExtractAddresses(L""), List{});
    WriteFile(dir / "empty.txt", "");
    EXPECT_EQ(ExtractAddresses(FromUtf8(dir / "empty.txt")), List{});
    // A FIFO with no writer: reading it would block for ever.
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ImportAddresses(FromUtf8(dir / "fifo")), List{});
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    // One byte over the bound, sparse, with a link at its start.
    std::string big = dir / "big.html";
    WriteFile(big, "/watch?v=big");
    ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(kMaxImportFileBytes + 1)), 0);
    EXPECT_EQ(ExtractAddresses(FromUtf8(big)), List{});
    ASSERT_EQ(::truncate(big.c_str(), 64 << 10), 0);
    EXPECT_EQ(ExtractAddresses(FromUtf8(big)), List{L"http://www.youtube.com/watch?v=big"});
}

TEST(AddressImport, MediaLinksFollowTheSiteAddressesEachOnce) {
    const std::wstring text =
        L"<a href=\"/watch?v=y1\">y</a> <video src='https://m.example/a.mp4?t=1&amp;u=2'>"
        L"<a href=https://m.example/b.WEBM>b</a> see https://m.example/c.mp3, or "
        L"https://m.example/a.mp4?t=1&u=2 again <a href=\"relative/d.mkv\">"
        L"<a href=\"https://m.example/not.mp4x\"> <img src=\"https://m.example/e.jpg\"> "
        L"<a href=\"ftp://m.example/f.m4a\"> https://m.example/live.m3u8#x "
        L"http://video.google.com/videoplay?docid=5";
    // A local file has no address: relative links are left out.
    EXPECT_EQ(
        ExtractAddressesFromText(text),
        (List{L"http://www.youtube.com/watch?v=y1", L"http://video.google.com/videoplay?docid=5",
              L"https://m.example/a.mp4?t=1&u=2", L"https://m.example/b.WEBM",
              L"https://m.example/c.mp3", L"https://m.example/live.m3u8#x"}));
    EXPECT_EQ(ExtractAddressesFromText(text, L"https://pages.example/dir/page.html")[5],
              L"https://pages.example/dir/relative/d.mkv");
}

TEST(AddressImport, FindAllWalksEveryOccurrence) {
    CPattern p(L"(x)?a*");
    std::vector<std::tuple<size_t, size_t, bool>> seen;
    EXPECT_TRUE(p.FindAll(L"aab xa", [&](const CPattern::Span* g, size_t n) {
        seen.emplace_back(g[0].begin, g[0].end, n == 2 && g[1].Matched());
        return seen.size() < 10;
    }));
    // Empty matches move on by one character and never loop.
    EXPECT_EQ(seen, (std::vector<std::tuple<size_t, size_t, bool>>{
                        {0, 2, false}, {2, 2, false}, {3, 3, false}, {4, 6, true}, {6, 6, false}}));
    int calls = 0;
    EXPECT_TRUE(p.FindAll(L"a a a", [&](const CPattern::Span*, size_t) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2) << "the visitor ends the walk";
    EXPECT_FALSE(p.FindAll(std::wstring(1, static_cast<wchar_t>(0xD800)),
                           [](const CPattern::Span*, size_t) { return true; }));
}

namespace {

class AddressImportWeb : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* t = std::getenv("TMPDIR");
        if (t) oldTmp_ = t, hadTmp_ = true;
        setenv("TMPDIR", tmp_.path().c_str(), 1);
    }
    void TearDown() override {
        if (hadTmp_)
            setenv("TMPDIR", oldTmp_.c_str(), 1);
        else
            unsetenv("TMPDIR");
        // No temporary file outlives an import.
        EXPECT_TRUE(std::filesystem::is_empty(tmp_.path()));
    }
    void Serve(const std::string& routes) {
        ASSERT_TRUE(sites_.Start("{\"routes\": [" + routes + "]}"));
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
        unsetenv("no_proxy");
    }
    static std::string Json(const std::string& s) {
        std::string out = "\"";
        for (char c : s) {
            if (c == '"' || c == '\\') out += '\\';
            if (c == '\n')
                out += "\\n";
            else
                out += c;
        }
        return out + "\"";
    }
    FakeSites sites_;
    TempDir tmp_, dir_;
    std::string oldTmp_;
    bool hadTmp_ = false;
};

}  // namespace

TEST_F(AddressImportWeb, FetchesOnPort80WithTheImportHeaders) {
    Serve(R"({"host": "www.example.com", "path": "/list.html?a=1", "body": )" + Json(kPage) + "}");
    EXPECT_EQ(ImportAddresses(L"http://www.example.com:8080/list.html?a=1#top"), kPageAddresses);
    auto reqs = sites_.Requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "GET");
    EXPECT_EQ(reqs[0].target, "http://www.example.com/list.html?a=1")
        << "the written port is not used";
    EXPECT_EQ(reqs[0].Header("Host"), "www.example.com");
    EXPECT_EQ(reqs[0].Header("User-Agent"), kImportAgent);
    EXPECT_EQ(reqs[0].Header("Accept-Charset"), "utf-8;q=0.7,*;q=0.7");
    EXPECT_EQ(reqs[0].Header("Accept"),
              "text/xml,application/xml,application/xhtml+xml,text/html;q=0.9,text/plain;q=0.8,"
              "image/png,*/*;q=0.5");
    EXPECT_EQ(reqs[0].Header("Accept-Language"), "en-us,en;q=0.5");
    EXPECT_EQ(reqs[0].Header("Content-Type"), "");
    EXPECT_EQ(reqs[0].Header("Cache-Control"), "");
}

TEST_F(AddressImportWeb, FollowsRedirectsAndReadsErrorPages) {
    Serve(R"({"host": "www.example.com", "path": "/old", "status": 302,
              "headers": {"Location": "/new"}, "body": "/watch?v=moved"},
             {"host": "www.example.com", "path": "/new", "status": 301,
              "headers": {"Location": "http://lists.example.org/final"}, "body": ""},
             {"host": "lists.example.org", "path": "/final", "body": "a /watch?v=r1 b"},
             {"host": "www.example.com", "path": "/gone", "status": 404,
              "body": "<a href=/watch?v=e404>"})");
    EXPECT_EQ(ImportAddresses(L"http://www.example.com/old"),
              List{L"http://www.youtube.com/watch?v=r1"});
    EXPECT_EQ(ImportAddresses(L"http://www.example.com/gone"),
              List{L"http://www.youtube.com/watch?v=e404"});
    EXPECT_EQ(sites_.Requests().size(), 4u);
}

TEST_F(AddressImportWeb, HttpsPagesAreFetchedWithoutALengthAndLinksResolveAgainstTheFinalAddress) {
    Serve(R"({"host": "pages.clipvane.test", "path": "/old", "status": 302,
              "headers": {"Location": "/list/new.html"}, "body": ""},
             {"host": "pages.clipvane.test", "path": "/list/new.html", "content_length": false,
              "body": "<a href=\"clip.mp4\">c</a> <a href=\"/watch?v=w1\">y</a>"})");
    setenv("https_proxy", sites_.ProxyUrl().c_str(), 1);
    setenv("CURL_CA_BUNDLE", sites_.CaBundle().c_str(), 1);
    List found = ImportAddresses(L"https://pages.clipvane.test/old#top");
    unsetenv("https_proxy");
    unsetenv("CURL_CA_BUNDLE");
    EXPECT_EQ(found, (List{L"http://www.youtube.com/watch?v=w1",
                           L"https://pages.clipvane.test/list/clip.mp4"}));
}

TEST_F(AddressImportWeb, LengthRulesDecideTheDownload) {
    const std::string links = Json("/watch?v=part1 " + std::string(3000, 'x') + " /watch?v=part2");
    Serve(R"({"host": "www.example.com", "path": "/nolength", "content_length": false, "body": )" +
          links + R"(},
             {"host": "www.example.com", "path": "/short", "content_length": 9000, "body": )" +
          links + R"(},
             {"host": "www.example.com", "path": "/reset", "reset_after": 1000, "body": )" +
          links +
          R"(},
             {"host": "www.example.com", "path": "/huge", "content_length": 300000000, "body": )" +
          links + R"(},
             {"host": "www.example.com", "path": "/empty", "body": ""},
             {"host": "www.example.com", "path": "/ok", "body": )" +
          links + "}");
    auto out = [&](const char* name) { return FromUtf8(dir_ / name); };
    // No length: fails before the file is made, so nothing is found.
    EXPECT_FALSE(DownloadToFile(L"www.example.com", L"/nolength", out("nolength")));
    EXPECT_FALSE(Exists(dir_ / "nolength"));
    EXPECT_EQ(ImportAddresses(L"http://www.example.com/nolength"), List{});
    // Over the bound: fails before the file is made.
    EXPECT_FALSE(DownloadToFile(L"www.example.com", L"/huge", out("huge")));
    EXPECT_FALSE(Exists(dir_ / "huge"));
    // A short answer fails, but what did arrive is still searched.
    EXPECT_FALSE(DownloadToFile(L"www.example.com", L"/short", out("short")));
    EXPECT_EQ(
        ImportAddresses(L"http://www.example.com/short"),
        (List{L"http://www.youtube.com/watch?v=part1", L"http://www.youtube.com/watch?v=part2"}));
    EXPECT_FALSE(DownloadToFile(L"www.example.com", L"/reset", out("reset")));
    EXPECT_EQ(ImportAddresses(L"http://www.example.com/reset"),
              List{L"http://www.youtube.com/watch?v=part1"});
    EXPECT_TRUE(DownloadToFile(L"www.example.com", L"/empty", out("empty")));
    EXPECT_TRUE(Exists(dir_ / "empty"));
    EXPECT_TRUE(DownloadToFile(L"www.example.com", L"/ok", out("ok")));
    EXPECT_EQ(testsupport::ReadFile(dir_ / "ok").size(), 3000u + 30u);
    // An output file that can not be made.
    EXPECT_FALSE(DownloadToFile(L"www.example.com", L"/ok", out("no/such/folder/file")));
    EXPECT_FALSE(DownloadToFile(L"", L"/ok", out("nohost")));
}

TEST_F(AddressImportWeb, AStalledAnswerEndsOnCancelAndARefusedConnectionFails) {
    Serve(R"({"host": "www.example.com", "path": "/stall", "content_length": 100000,
              "stall_after": 10, "body_size": 100000})");
    std::atomic<bool> cancel{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ImportAddresses(L"http://www.example.com/stall", &cancel), List{});
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    std::atomic<bool> already{true};
    EXPECT_FALSE(DownloadToFile(L"www.example.com", L"/stall", FromUtf8(dir_ / "s"), &already));

    // A proxy port where nobody listens.
    int closed = FreePort();
    ASSERT_GT(closed, 0);
    setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(closed)).c_str(), 1);
    EXPECT_FALSE(DownloadToFile(L"www.example.com", L"/stall", FromUtf8(dir_ / "r")));
    EXPECT_EQ(ImportAddresses(L"http://www.example.com/stall"), List{});
}

TEST(AddressImport, CountsWhatTheHistoryAlreadyHoldsAsTheSameVideo) {
    const List history = {L"http://www.youtube.com/watch?v=abc123",
                          L"http://video.google.com/videoplay?docid=-4431",
                          L"http://www.nicovideo.jp/watch/sm9"};
    EXPECT_EQ(CountAlreadyDownloaded(
                  {L"http://www.youtube.com/watch?v=abc123", L"http://YOUTUBE.com/watch?v=abc123 ",
                   L"http://www.youtube.com/watch?v=ABC123",
                   L"http://video.google.com/videoplay?docid=-4431",
                   L"http://video.google.com/videoplay?docid=4431"},
                  history),
              3u);
    EXPECT_EQ(CountAlreadyDownloaded({L"http://www.youtube.com/watch?v=new"}, history), 0u);
    EXPECT_EQ(CountAlreadyDownloaded({L"http://www.youtube.com/watch?v=abc123"}, {}), 0u);
}

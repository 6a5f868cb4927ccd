// Addresses of any site through clipvane-get: direct media links and pages
// of each kind, over https through the stand-in sites (tests/fakesites,
// scenario web.json), with a real video made at test time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "clipvane_get_run.h"
#include "download/codes.h"
#include "download/http_transfer.h"
#include "fakesites_harness.h"
#include "history/history.h"
#include "platform/text.h"
#include "site_owner.h"
#include "support/process_harness.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// A short video with sound, made once per test process.
const std::string& ParkVideo() {
    static TempDir dir;
    static const std::string path = [] {
        std::string out = dir / "park.mp4";
        std::string cmd =
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi "
            "-i sine=frequency=440:sample_rate=22050 -t 2 -c:v mpeg4 -q:v 5 -c:a aac -b:a 64k "
            "-shortest '" +
            out + "'";
        return std::system(cmd.c_str()) == 0 ? out : std::string();
    }();
    return path;
}

class WebSites : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(ParkVideo().empty()) << "ffmpeg could not make the test video";
        sites_.filesDir = fs::path(ParkVideo()).parent_path();
        ASSERT_TRUE(sites_.StartFile("web.json"));
    }

    std::unique_ptr<ProgramRun> Get(std::vector<std::string> addresses) {
        auto r = std::make_unique<ProgramRun>(ClipvaneGetPath(), home_.path());
        r->env["http_proxy"] = sites_.ProxyUrl();
        r->env["https_proxy"] = sites_.ProxyUrl();
        r->env["CURL_CA_BUNDLE"] = sites_.CaBundle();
        r->env.erase("no_proxy");
        r->args = {"-o", Out(), "--use-title"};
        r->args.insert(r->args.end(), addresses.begin(), addresses.end());
        return r;
    }

    std::string Out() const { return home_ / "out"; }

    // The history rows of one profile, as the site panel lists them.
    std::vector<std::wstring> HistoryFiles(const ProgramRun& run, const std::wstring& profile) {
        CHistoryDb* db = nullptr;
        std::vector<std::wstring> files;
        if (!OpenHistory(db, platform::FromUtf8(run.DataDir() + "/history.db"))) return files;
        std::vector<std::unique_ptr<Task>> rows;
        LoadHistory(db, profile.c_str(), rows);
        for (const auto& t : rows) files.push_back(t->source);
        db->close();
        delete db;
        return files;
    }

    FakeSites sites_;
    TempDir home_;
};

}  // namespace

TEST_F(WebSites, DirectMediaLinksAreSavedUnderTheirNamesInTheHostsFolder) {
    const std::string folder = Out() + "/media.clipvane.test";
    fs::create_directories(folder);
    WriteFile(folder + "/park.mp4", "the user's own file");
    auto run =
        Get({"https://media.clipvane.test/clips/park.mp4",
             "https://media.clipvane.test/norange/park.mp4", "https://media.clipvane.test/get?id=7",
             "https://media.clipvane.test/get?id=8", "https://media.clipvane.test/moved"});
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    const std::string video = ReadFile(ParkVideo());
    EXPECT_EQ(ReadFile(folder + "/park.mp4"), "the user's own file");
    for (const char* name :
         {"park_001.mp4", "park_002.mp4", "park_003.mp4", "night.mp4", "plain name.mp4"})
        EXPECT_EQ(ReadFile(folder + "/" + name), video) << name << "\n" << run->Output();
    EXPECT_EQ(HistoryFiles(*run, L"media.clipvane.test").size(), 5u);
    for (const auto& e : fs::directory_iterator(folder))
        EXPECT_NE(e.path().extension(), ".cvt") << e.path();
    EXPECT_NE(run->Output().find("Connecting..."), std::string::npos) << run->Output();
    // The history tool lists the host like a site.
    ProgramRun history(std::string(CLIPVANE_PROGRAM_DIR) + "/clipvane-history", home_.path());
    ASSERT_EQ(RunTool(history), 0);
    EXPECT_NE(history.Output().find("\nmedia.clipvane.test (5)\n"), std::string::npos)
        << history.Output();
}

TEST_F(WebSites, PagesOfEachKindGiveTheirVideoUnderThePageTitle) {
    auto run =
        Get({"https://www.clipvane.test/old.html", "https://www.clipvane.test/og.html",
             "https://www.clipvane.test/twitter.html", "https://www.clipvane.test/jsonld.html"});
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    const std::string folder = Out() + "/clipvane.test";
    const std::string video = ReadFile(ParkVideo());
    for (const char* name : {"A walk & a talk.mp4", "Open graph page.mp4", "Twitter card.mp4",
                             "Structured \u2013 data.mp4"})
        EXPECT_EQ(ReadFile(folder + "/" + name), video) << name << "\n" << run->Output();
    std::vector<std::wstring> rows = HistoryFiles(*run, L"clipvane.test");
    EXPECT_EQ(rows.size(), 4u);
    // The tallest file of the <video>, the trusted og:video resolved against
    // <base>, the JSON-LD block that parses.
    std::vector<std::string> fetched;
    for (const auto& r : sites_.Requests()) fetched.push_back(r.target);
    auto was = [&](const std::string& t) {
        return std::find(fetched.begin(), fetched.end(), t) != fetched.end();
    };
    EXPECT_TRUE(was("https://media.clipvane.test/v/high.mp4"));
    EXPECT_FALSE(was("https://www.clipvane.test/v/low.mp4?a=1&b=2"));
    EXPECT_TRUE(was("https://media.clipvane.test/v/og-clip.mp4"));
    EXPECT_TRUE(was("https://media.clipvane.test/v/card.mp4"));
    EXPECT_TRUE(was("https://www.clipvane.test/v/structured.mp4"));
    EXPECT_FALSE(was("https://www.clipvane.test/v/bad.mp4"));
}

TEST_F(WebSites, NoVideoErrorAnswersDowngradesAndOtherSchemesFailAndWriteNothing) {
    auto none = Get({"https://www.clipvane.test/none.html"});
    EXPECT_EQ(RunTool(*none), 1);
    EXPECT_NE(none->Output().find("No video was found on https://www.clipvane.test/none.html"),
              std::string::npos)
        << none->Output();
    auto missing = Get({"https://www.clipvane.test/missing.html"});
    EXPECT_EQ(RunTool(*missing), 1);
    EXPECT_NE(missing->Output().find("https://www.clipvane.test/missing.html answered 404"),
              std::string::npos)
        << missing->Output();
    // Media moved from https to http is not fetched from there.
    auto down = Get({"https://media.clipvane.test/down"});
    EXPECT_EQ(RunTool(*down), 1);
    EXPECT_NE(down->Output().find("http://media.clipvane.test/clips/park.mp4"), std::string::npos)
        << down->Output();
    for (const auto& r : sites_.Requests())
        EXPECT_NE(r.target, "http://media.clipvane.test/clips/park.mp4");
    auto ftp = Get({"ftp://media.clipvane.test/a.mp4"});
    EXPECT_EQ(RunTool(*ftp), 1);
    EXPECT_NE(ftp->Output().find("not an http or https address"), std::string::npos)
        << ftp->Output();
    EXPECT_FALSE(fs::exists(Out() + "/clipvane.test"));
    EXPECT_FALSE(fs::exists(Out() + "/media.clipvane.test"));
}

TEST_F(WebSites, HostileTitlesAndNamesNeitherReachTheTerminalNorLeaveTheFolder) {
    // A temporary name planted as a link to a file of the user's is passed by.
    const std::string folder = Out() + "/media.clipvane.test";
    fs::create_directories(folder);
    WriteFile(home_ / "precious", "keep");
    fs::create_symlink(home_ / "precious", folder + "/_bashrc_[2J.mp4.cvt");
    auto run =
        Get({"https://www.clipvane.test/evil.html", "https://media.clipvane.test/evil/name"});
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    EXPECT_EQ(run->Output().find('\x1b'), std::string::npos) << run->Output();
    EXPECT_EQ(run->Output().find("\u202e"), std::string::npos) << run->Output();
    EXPECT_EQ(ReadFile(home_ / "precious"), "keep");
    // Controls and marks become "_"; the name stays inside the host's folder.
    EXPECT_TRUE(fs::exists(folder + "/_bashrc_[2J_001.mp4")) << run->Output();
    int pages = 0;
    for (const auto& e : fs::directory_iterator(Out() + "/clipvane.test")) {
        ++pages;
        EXPECT_EQ(e.path().filename().string().find('\x1b'), std::string::npos);
    }
    EXPECT_EQ(pages, 1);
    EXPECT_FALSE(fs::exists(home_ / ".bashrc"));
}

// The handler of other sites on its own, against hostile pages.
TEST(WebSiteHandler, OversizedDrippingAndEmptyPagesEndWithAClearFailure) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(R"({"routes": [
  {"host": "big.clipvane.test", "path": "/page", "headers": {"Content-Type": "text/html"},
   "body_size": 67108865},
  {"host": "drip.clipvane.test", "path": "/page", "headers": {"Content-Type": "text/html"},
   "body_size": 100000, "drip": 0.01},
  {"host": "empty.clipvane.test", "path": "/page", "headers": {"Content-Type": "text/html"},
   "body": ""}
]})"));
    setenv("http_proxy", sites.ProxyUrl().c_str(), 1);
    SetPageDeadline(3);
    testsupport::SiteOwner owner;
    std::unique_ptr<CVideoSite> site;
    EXPECT_EQ(testsupport::ProcessSite(L"http://big.clipvane.test/page", owner, site),
              kResultFailed);
    EXPECT_NE(owner.lastError.find(L"64 MiB"), std::wstring::npos) << owner.lastError;
    EXPECT_EQ(owner.statuses.back(), kStatusFailed);

    auto t0 = std::chrono::steady_clock::now();
    EXPECT_GT(testsupport::ProcessSite(L"http://drip.clipvane.test/page", owner, site), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(20));
    EXPECT_EQ(owner.statuses.back(), kStatusFailed);

    EXPECT_EQ(testsupport::ProcessSite(L"http://empty.clipvane.test/page", owner, site),
              kResultNoVideo);
    EXPECT_EQ(owner.lastError, L"No video was found on http://empty.clipvane.test/page");
    EXPECT_EQ(owner.statuses.back(), kStatusNoVideo);
    EXPECT_TRUE(site->flvAddress.empty());
    SetPageDeadline(120);
    unsetenv("http_proxy");
}

TEST(WebSiteHandler, PlaylistsAreStreamsWhateverTheirType) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(R"({"routes": [
  {"host": "tv.clipvane.test", "path": "/plain/list.m3u8", "headers": {"Content-Type": "text/plain"},
   "body": "#EXTM3U\n#EXTINF:1,\nseg0.ts\n#EXT-X-ENDLIST\n"},
  {"host": "tv.clipvane.test", "path": "/hls", "headers": {"Content-Type": "application/x-mpegURL"},
   "body": "#EXTM3U\n"},
  {"host": "tv.clipvane.test", "path": "/page.html", "headers": {"Content-Type": "text/html"},
   "body": "<title>Live</title><link rel=alternate type=application/vnd.apple.mpegurl href=/hls>"}
]})"));
    setenv("http_proxy", sites.ProxyUrl().c_str(), 1);
    testsupport::SiteOwner owner;
    std::unique_ptr<CVideoSite> site;
    for (const wchar_t* address :
         {L"http://tv.clipvane.test/plain/list.m3u8", L"http://tv.clipvane.test/hls",
          L"http://tv.clipvane.test/page.html"}) {
        ASSERT_EQ(testsupport::ProcessSite(address, owner, site), kResultOk) << address;
        EXPECT_TRUE(site->hls) << address;
        EXPECT_EQ(site->extension, L"ts");
        EXPECT_EQ(site->siteName, L"tv.clipvane.test");
    }
    EXPECT_EQ(site->flvAddress, L"http://tv.clipvane.test/hls");
    EXPECT_EQ(site->title, L"Live");
    unsetenv("http_proxy");
}

// Streams found on pages and given directly, made with ffmpeg at test time.
TEST_F(WebSites, StreamsOnPagesAndDirectPlaylistsBecomeOneFileInTheHostsFolder) {
    TempDir streams;
    const std::string cmd = "cd '" + streams.path() +
                            "' && ffmpeg -nostdin -loglevel error -f lavfi -i "
                            "testsrc=size=320x240:rate=25 -f lavfi -i sine -t 3 -c:v mpeg2video "
                            "-c:a mp2 -g 25 -f hls -hls_time 1 -hls_list_size 0 "
                            "-hls_playlist_type vod -hls_segment_filename 'seg_%03d.ts' list.m3u8";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    FakeSites tv;
    tv.filesDir = streams.path();
    ASSERT_TRUE(tv.Start(R"({"routes": [
  {"host": "tv.clipvane.test", "path": "/show.html", "headers": {"Content-Type": "text/html"},
   "body": "<title>Evening show</title><link rel=\"alternate\" type=\"application/x-mpegURL\" href=\"/hls/list.m3u8\">"},
  {"host": "tv.clipvane.test", "path": "/hls/list.m3u8", "headers": {"Content-Type": "text/plain"},
   "body_file": "list.m3u8"},
  {"host": "tv.clipvane.test", "path_prefix": "/hls/", "serve_files": true,
   "headers": {"Content-Type": "video/mp2t"}}
]})"));
    auto run = std::make_unique<ProgramRun>(ClipvaneGetPath(), home_.path());
    run->env["http_proxy"] = tv.ProxyUrl();
    run->env["https_proxy"] = tv.ProxyUrl();
    run->env["CURL_CA_BUNDLE"] = tv.CaBundle();
    run->env.erase("no_proxy");
    run->args = {"-o", Out(), "--use-title", "https://tv.clipvane.test/show.html",
                 "https://tv.clipvane.test/hls/list.m3u8"};
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(Out() + "/tv.clipvane.test"))
        files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    // Copied into MP4 where ffmpeg is installed, as it is for the tests.
    EXPECT_EQ(files, (std::vector<std::string>{"Evening show.mp4", "list.mp4"})) << run->Output();
}

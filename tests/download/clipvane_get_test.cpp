// The command-line downloader as a user runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "clipvane_get_run.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;

namespace {

std::string Tool() {
    return ClipvaneGetPath();
}

}  // namespace

TEST(ClipvaneGet, UsageAndHelp) {
    TempDir home;
    ProgramRun bare(Tool(), home.path());
    EXPECT_EQ(RunTool(bare), 2) << "no address is bad usage";
    ProgramRun bad(Tool(), home.path());
    bad.args = {"--retries", "many", "http://www.youtube.com/watch?v=abc123"};
    EXPECT_EQ(RunTool(bad), 2) << bad.Output();
    ProgramRun help(Tool(), home.path());
    help.args = {"--help"};
    EXPECT_EQ(RunTool(help), 0);
    for (const char* opt : {"-o, --output-folder DIR", "-r, --retries N", "--use-title", "--use-id",
                            "--format flv|mp4|3gp", "--cache", "--no-cache", "-h, --help"})
        EXPECT_NE(help.Output().find(opt), std::string::npos) << opt;
    // Each option that takes a value complains when it is missing.
    for (const char* opt : {"-o", "-r", "--format", "-i"}) {
        ProgramRun missing(Tool(), home.path());
        missing.args = {"http://www.youtube.com/watch?v=abc123", opt};
        EXPECT_EQ(RunTool(missing), 2) << opt << "\n" << missing.Output();
        EXPECT_EQ(missing.Output().find("unknown option"), std::string::npos) << missing.Output();
    }
}

TEST(ClipvaneGet, DownloadsThroughTheProxyAndFailsOnAnUnknownSite) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartFile("youtube.json"));
    TempDir home;
    ProgramRun run(Tool(), home.path());
    UseStandIn(run, sites);
    run.args = {"-o", home / "out", "--use-id", "http://www.youtube.com/watch?v=abc123"};
    ASSERT_EQ(RunTool(run), 0) << run.Output();
    bool found = false;
    for (auto& e : std::filesystem::directory_iterator(home / "out/YouTube")) {
        found = true;
        EXPECT_NE(e.path().extension(), ".cvt");
        EXPECT_NE(run.Output().find(e.path().string()), std::string::npos) << "final path printed";
    }
    EXPECT_TRUE(found);
    // The run's flags are never saved.
    EXPECT_EQ(ReadFile(run.HivePath()).find(home / "out"), std::string::npos);

    ProgramRun other(Tool(), home.path());
    other.env["http_proxy"] = sites.ProxyUrl();
    other.args = {"-o", home / "out", "ftp://example.com/video"};
    EXPECT_EQ(RunTool(other), 1) << other.Output();
}

TEST(ClipvaneGet, EachOtherSiteThroughTheStandIn) {
    FakeSites nico, cafe, google;
    ASSERT_TRUE(nico.StartFile("nicovideo.json"));
    ASSERT_TRUE(cafe.StartFile("metacafe.json"));
    ASSERT_TRUE(google.StartFile("googlevideo.json"));
    TempDir home;
    auto run = [&](const FakeSites& sites, std::vector<std::string> args) {
        auto r = std::make_unique<ProgramRun>(Tool(), home.path());
        r->env["http_proxy"] = sites.ProxyUrl();
        r->env["https_proxy"] = sites.ProxyUrl();
        r->env["CURL_CA_BUNDLE"] = sites.CaBundle();
        r->env.erase("no_proxy");
        r->args = {"-o", home / "out", "--use-id", "-r", "1", "--format", "flv"};
        r->args.insert(r->args.end(), args.begin(), args.end());
        return r;
    };

    // No account: the hint once on standard error, and nobody is waited for.
    auto n = run(nico, {"http://www.nicovideo.jp/watch/sm9", "http://www.nicovideo.jp/watch/sm10"});
    ASSERT_EQ(RunTool(*n), 0) << n->Output();
    const std::string hint = "usually needs a NicoVideo account";
    size_t first = n->Output().find(hint);
    ASSERT_NE(first, std::string::npos) << n->Output();
    EXPECT_EQ(n->Output().find(hint, first + 1), std::string::npos) << "hint shown twice";
    EXPECT_TRUE(std::filesystem::exists(home / "out/NicoVideo/sm9.flv"));
    EXPECT_TRUE(std::filesystem::exists(home / "out/NicoVideo/sm10.swf"));

    auto c = run(cafe, {"http://www.metacafe.com/watch/123/funny_cat/"});
    ASSERT_EQ(RunTool(*c), 0) << c->Output();
    EXPECT_TRUE(std::filesystem::exists(home / "out/MetaCafe/123.flv"));

    // A Google page framing a YouTube page ends in the YouTube folder.
    auto g = run(google, {"http://video.google.com/videoplay?docid=-4431",
                          "http://video.google.com/videoplay?docid=framed"});
    ASSERT_EQ(RunTool(*g), 0) << g->Output();
    EXPECT_TRUE(std::filesystem::exists(home / "out/Google/-4431.flv"));
    EXPECT_TRUE(std::filesystem::exists(home / "out/YouTube/abc123.flv"));
}

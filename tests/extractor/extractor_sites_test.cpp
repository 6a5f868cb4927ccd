// Debian's real yt-dlp finds the videos of the stand-in pages, through
// clipvane-get as a user runs it.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>

#include "clipvane_get_run.h"
#include "extractor_media.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// clipvane-get into home/out, naming the files by their titles.
std::unique_ptr<ProgramRun> TitledRun(const FakeSites& sites, const TempDir& home,
                                      std::vector<std::string> args) {
    args.insert(args.begin(), {"-o", home / "out", "--use-title"});
    return GetRun(sites, home, std::move(args));
}

// Every file below `folder`, as paths relative to it.
std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(folder, ec))
        out.push_back(fs::relative(e.path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

class ExtractorSites : public ::testing::Test {
  protected:
    void SetUp() override {
        sites.filesDir = extractortest::MediaDir();
        ASSERT_TRUE(sites.StartFile("extractor_pages.json"));
    }
    FakeSites sites;
    TempDir home;
};

}  // namespace

TEST_F(ExtractorSites, OpenGraphVideoTagAndJsonLdPagesEndAsPlayableFiles) {
    auto run = TitledRun(sites, home,
                         {"http://og.clipvane.test/watch/park", "http://tag.clipvane.test/v/river",
                          "http://ld.clipvane.test/clips/hill"});
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    for (const char* file :
         {"og.clipvane.test/Park at noon.mp4", "tag.clipvane.test/River bend (1).mp4",
          "ld.clipvane.test/Hill at dusk.mp4"}) {
        EXPECT_EQ(extractortest::Streams(home / "out/" + file), "video,audio") << file;
        EXPECT_NE(run->Output().find(home / "out/" + file), std::string::npos) << run->Output();
    }
    EXPECT_EQ(FilesBelow(home / "out").size(), 6u) << "three folders, three files, nothing else";
    EXPECT_NE(run->Output().find("[0] Asking yt-dlp"), std::string::npos);
    // The plain files came through our engine, so progress was ours.
    EXPECT_NE(run->Output().find("progress 100.0% "), std::string::npos) << run->Output();
    std::string log = ReadFile(run->LogPath());
    EXPECT_NE(log.find("Found by yt-dlp (Generic), downloaded by Clipvane"), std::string::npos)
        << log;
}

TEST_F(ExtractorSites, AReferrerProtectedFileGetsTheHeadersOfTheAnswer) {
    auto run = TitledRun(sites, home, {"http://guard.clipvane.test/watch/meadow"});
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    EXPECT_EQ(extractortest::Streams(home / "out/guard.clipvane.test/Meadow.mp4"), "video,audio");
    int fetches = 0;
    for (const RecordedRequest& r : sites.Requests()) {
        if (r.target.find("/m/meadow.mp4") == std::string::npos) continue;
        ++fetches;
        EXPECT_EQ(r.Header("Referer"), "http://guard.clipvane.test/watch/meadow");
        EXPECT_NE(r.Header("User-Agent").find("Chrome/"), std::string::npos) << "the answer's own";
        EXPECT_EQ(r.Header("Accept-Encoding").find("gzip"), std::string::npos);
    }
    EXPECT_EQ(fetches, 1);
}

TEST_F(ExtractorSites, ARefusedFileIsAskedForAgainThenHandedToYtDlpAndTold) {
    auto run = TitledRun(sites, home, {"http://deny.clipvane.test/watch/fence"});
    EXPECT_EQ(RunTool(*run), 1) << run->Output();
    EXPECT_NE(run->Output().find("The site refused access (HTTP 403)"), std::string::npos)
        << run->Output();
    int pages = 0, files = 0;
    for (const RecordedRequest& r : sites.Requests()) {
        pages += r.target.find("/watch/fence") != std::string::npos;
        files += r.target.find("/m/fence.mp4") != std::string::npos;
    }
    EXPECT_EQ(pages, 3) << "looked at by us once, asked of yt-dlp twice";
    EXPECT_GE(files, 3) << "ours twice, then yt-dlp's";
    EXPECT_EQ(FilesBelow(home / "out"), std::vector<std::string>{"deny.clipvane.test"});
    EXPECT_NE(ReadFile(run->LogPath()).find("HTTP Error 403"), std::string::npos)
        << "the raw line stays in the log";
}

TEST_F(ExtractorSites, ADashManifestIsDownloadedAndMergedByYtDlp) {
    auto run = TitledRun(sites, home, {"http://dash.clipvane.test/show/lake"});
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    EXPECT_EQ(extractortest::Streams(home / "out/dash.clipvane.test/Lake in two streams.mp4"),
              "video,audio");
    EXPECT_EQ(FilesBelow(home / "out"),
              (std::vector<std::string>{"dash.clipvane.test",
                                        "dash.clipvane.test/Lake in two streams.mp4"}));
    EXPECT_NE(run->Output().find("yt-dlp is downloading"), std::string::npos);
    EXPECT_NE(run->Output().find("progress 100.0%"), std::string::npos) << run->Output();
}

TEST_F(ExtractorSites, AStopEndsYtDlpWithinTheBoundAndLeavesNothing) {
    auto run = TitledRun(sites, home, {"http://slow.clipvane.test/show/pond"});
    ASSERT_TRUE(run->Start());
    ASSERT_TRUE(WaitFor([&] { return run->Output().find("progress") != std::string::npos; },
                        std::chrono::seconds(60)))
        << run->Output();
    auto asked = std::chrono::steady_clock::now();
    run->Signal(SIGINT);
    int status = run->Wait(std::chrono::seconds(10));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(5000));
    EXPECT_EQ(ExitStatus(status), 1) << run->Output();
    EXPECT_EQ(FilesBelow(home / "out"), std::vector<std::string>{"slow.clipvane.test"})
        << "no .part, .ytdl, fragments or private folder";
}

TEST_F(ExtractorSites, WithoutYtDlpThePageScannerServesWhatItCan) {
    auto run = TitledRun(sites, home,
                         {"--no-extractor", "http://og.clipvane.test/watch/park",
                          "http://dash.clipvane.test/show/lake"});
    EXPECT_EQ(RunTool(*run), 1) << run->Output();
    EXPECT_EQ(extractortest::Streams(home / "out/og.clipvane.test/Park at noon.mp4"), "video,audio")
        << run->Output();
    EXPECT_EQ(run->Output().find("Asking yt-dlp"), std::string::npos) << run->Output();
    EXPECT_NE(run->Output().find("[1] "), std::string::npos) << run->Output();
    EXPECT_FALSE(fs::exists(home / "out/dash.clipvane.test/Lake in two streams.mp4"));
    EXPECT_NE(run->Output().find("This page may need yt-dlp: install the yt-dlp package"),
              std::string::npos)
        << run->Output();
}

TEST_F(ExtractorSites, WithoutYtDlpThePageSaysWhatToInstall) {
    for (std::vector<std::string> how :
         {std::vector<std::string>{"--no-extractor"},
          std::vector<std::string>{"--extractor", home / "missing/yt-dlp"}}) {
        how.push_back("http://plain.clipvane.test/about");
        auto run = TitledRun(sites, home, how);
        EXPECT_EQ(RunTool(*run), 1) << run->Output();
        EXPECT_NE(run->Output().find("No video was found on http://plain.clipvane.test/about; "
                                     "for this site install the yt-dlp package"),
                  std::string::npos)
            << run->Output();
    }
    // With yt-dlp, a page neither it nor the scanner knows has no video;
    // what yt-dlp said is in the log.
    auto run = TitledRun(sites, home, {"http://plain.clipvane.test/about"});
    EXPECT_EQ(RunTool(*run), 1) << run->Output();
    EXPECT_NE(run->Output().find("No video was found on http://plain.clipvane.test/about\n"),
              std::string::npos)
        << run->Output();
    EXPECT_NE(ReadFile(run->LogPath()).find("ERROR: Unsupported URL"), std::string::npos);
}

namespace {

// The private folders below `folder` whose names begin with `prefix`.
std::vector<std::string> PrivateFolders(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(folder, ec))
        if (e.path().filename().string().rfind(prefix, 0) == 0) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Whether a running process names `text` in its command line.
bool AnyProcessNames(const std::string& text) {
    std::error_code ec;
    for (auto& e : fs::directory_iterator("/proc", ec)) {
        std::string cmd = ReadFile(e.path().string() + "/cmdline");
        if (cmd.find(text) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

TEST_F(ExtractorSites, AKilledRunsFoldersAreSweptByTheNextRunButALiveRunsNever) {
    const std::string site = home / "out/slow.clipvane.test", tmp = home / "tmp";
    fs::create_directories(tmp);
    auto slowRun = [&] {
        auto r = TitledRun(sites, home, {"http://slow.clipvane.test/show/pond"});
        r->env["TMPDIR"] = tmp;
        return r;
    };
    auto first = slowRun();
    ASSERT_TRUE(first->Start());
    ASSERT_TRUE(WaitFor([&] { return first->Output().find("progress") != std::string::npos; },
                        std::chrono::seconds(60)))
        << first->Output();
    const std::vector<std::string> firstFolders = PrivateFolders(site, ".clipvane-extractor-");
    ASSERT_EQ(firstFolders.size(), 1u);
    ASSERT_EQ(PrivateFolders(tmp, "clipvane-extractor-").size(), 1u) << "the saved answer";

    // A second run in the same site folder leaves the first one's alone.
    auto second = slowRun();
    ASSERT_TRUE(second->Start());
    ASSERT_TRUE(WaitFor([&] { return second->Output().find("progress") != std::string::npos; },
                        std::chrono::seconds(60)))
        << second->Output();
    EXPECT_EQ(PrivateFolders(site, ".clipvane-extractor-").size(), 2u);
    EXPECT_EQ(PrivateFolders(tmp, "clipvane-extractor-").size(), 2u);

    // Killed outright, the first run leaves its folders; its yt-dlp ends with it.
    first->Signal(SIGKILL);
    first->Wait(std::chrono::seconds(10));
    EXPECT_TRUE(WaitFor([&] { return !AnyProcessNames(firstFolders[0]); }, std::chrono::seconds(2)))
        << "yt-dlp outlived the run that started it";
    EXPECT_TRUE(fs::exists(firstFolders[0]));

    // Stopped, the second takes its own away.
    second->Signal(SIGINT);
    EXPECT_EQ(ExitStatus(second->Wait(std::chrono::seconds(10))), 1) << second->Output();
    EXPECT_EQ(PrivateFolders(site, ".clipvane-extractor-"), firstFolders);
    EXPECT_EQ(PrivateFolders(tmp, "clipvane-extractor-").size(), 1u);

    // The next run that needs yt-dlp, in another site folder, sweeps what
    // the killed one left.
    auto third = TitledRun(sites, home, {"http://dash.clipvane.test/show/lake"});
    third->env["TMPDIR"] = tmp;
    ASSERT_EQ(RunTool(*third), 0) << third->Output();
    // The killed run's reserved name stays for the next download of it to take over.
    EXPECT_EQ(FilesBelow(home / "out"),
              (std::vector<std::string>{
                  "dash.clipvane.test", "dash.clipvane.test/Lake in two streams.mp4",
                  "slow.clipvane.test", "slow.clipvane.test/Pond, slowly.mp4.cvt"}));
    EXPECT_EQ(FilesBelow(tmp), std::vector<std::string>{});
    EXPECT_NE(ReadFile(third->LogPath()).find("left by a run that ended"), std::string::npos);
}

// clipvane-get -i: addresses imported from files and web files, as a user
// runs it, through the stand-in sites.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <set>

#include "clipvane_get_run.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;

namespace {

std::string Tool() {
    return ClipvaneGetPath();
}

// The watch pages the run asked for, in order.
std::vector<std::string> PageRequests(const FakeSites& sites) {
    std::vector<std::string> out;
    for (const auto& r : sites.Requests())
        if (r.target.find("/watch?v=") != std::string::npos) out.push_back(r.target);
    return out;
}

size_t VideoFiles(const std::string& folder) {
    size_t n = 0;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(folder, ec)) n += e.is_regular_file();
    return n;
}

}  // namespace

TEST(ClipvaneGetImport, HelpBadUsageAndManyAddresses) {
    TempDir home;
    ProgramRun help(Tool(), home.path());
    help.args = {"--help"};
    EXPECT_EQ(RunTool(help), 0);
    EXPECT_NE(help.Output().find("-i, --import FILE-OR-URL"), std::string::npos) << help.Output();
    ProgramRun bare(Tool(), home.path());
    bare.args = {"-i"};
    EXPECT_EQ(RunTool(bare), 2) << bare.Output();
    EXPECT_NE(bare.Output().find("missing file or address to import"), std::string::npos);

    // Rows are not limited to 16 bits: a list longer than that is taken
    // whole (the run is stopped once it has begun).
    std::string many;
    for (int i = 0; i <= 65536; ++i) many += "/watch?v=n" + std::to_string(i) + "\n";
    WriteFile(home / "many.txt", many);
    ProgramRun longList(Tool(), home.path());
    longList.env["http_proxy"] = "http://127.0.0.1:9";
    longList.args = {"-i", home / "many.txt"};
    ASSERT_TRUE(longList.Start());
    ASSERT_TRUE(WaitFor(
        [&] {
            return ReadFile(longList.LogPath()).find("Downloading 65537 addresses") !=
                   std::string::npos;
        },
        std::chrono::seconds(60)))
        << longList.Output();
    longList.Signal(SIGINT);
    EXPECT_EQ(ExitStatus(longList.Wait(std::chrono::seconds(30))), 1) << longList.Output();
    EXPECT_EQ(longList.Output().find("at most"), std::string::npos) << longList.Output();
}

TEST(ClipvaneGetImport, MergesFilesAndArgumentsInOrderOnce) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenarioWith(
        R"({"host": "www.youtube.com", "path_prefix": "/watch?v=x", "status": 404, "body": "gone"})")));
    TempDir home;
    WriteFile(
        home / "list.html",
        "<a href=\"http://video.google.com/videoplay?docid=g1\">g</a>\n"
        "<a href=\"/watch?v=abc123\">a</a> <a href=\"/watch?v=xfirst\">dup of an argument</a>\n"
        "<a href=\"http://www.youtube.com/watch?v=x2\"></a><a href=\"/watch?v=x2\"></a>\n");
    // UTF-16 LE with its mark.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("/watch?v=x3 http://www.youtube.com/watch?v=x2")) {
        utf16 += c;
        utf16 += '\0';
    }
    WriteFile(home / "list2.txt", utf16);
    ProgramRun run(Tool(), home.path());
    UseStandIn(run, sites);
    run.args = {"-r",
                "0",
                "-o",
                home / "out",
                "--use-id",
                "http://www.youtube.com/watch?v=xfirst",
                "-i",
                home / "list.html",
                "http://www.youtube.com/watch?v=abc123",
                "--import",
                home / "list2.txt"};
    EXPECT_EQ(RunTool(run), 1) << "the 404 pages fail\n" << run.Output();
    EXPECT_EQ(PageRequests(sites),
              (std::vector<std::string>{
                  "http://www.youtube.com/watch?v=xfirst", "http://www.youtube.com/watch?v=abc123",
                  "http://www.youtube.com/watch?v=x2", "http://www.youtube.com/watch?v=x3"}))
        << run.Output();
    // The Google Video address holds row 3, after the YouTube ones of its
    // file and before x3.
    EXPECT_NE(run.Output().find("[4] "), std::string::npos) << run.Output();
    EXPECT_EQ(run.Output().find("[5] "), std::string::npos) << run.Output();
    EXPECT_EQ(VideoFiles(home / "out/YouTube"), 1u);
}

TEST(ClipvaneGetImport, WebImportAndImportsThatFindNothing) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenarioWith(
        R"({"host": "lists.example.com", "path": "/videos.html", "body": "<a href='/watch?v=abc123'>"},
           {"host": "lists.example.com", "path": "/empty.html", "body": "<p>nothing</p>"},
           {"host": "lists.example.com", "path": "/stall", "content_length": 1000,
            "stall_after": 1, "body_size": 1000})")));
    TempDir home;
    ProgramRun run(Tool(), home.path());
    UseStandIn(run, sites);
    run.args = {"-o", home / "out", "--use-id", "-i", "http://lists.example.com/videos.html"};
    EXPECT_EQ(RunTool(run), 0) << run.Output();
    EXPECT_EQ(VideoFiles(home / "out/YouTube"), 1u);

    // Nothing found anywhere: told so, nothing fetched, status 1.
    size_t before = sites.Requests().size();
    ProgramRun none(Tool(), home.path());
    UseStandIn(none, sites);
    none.args = {"-i", "http://lists.example.com/empty.html",  "-i", home / "missing.txt",
                 "-i", "https://lists.example.com/videos.html"};
    EXPECT_EQ(RunTool(none), 1) << none.Output();
    EXPECT_NE(none.Output().find("no video address found in " + home / "missing.txt"),
              std::string::npos)
        << none.Output();
    EXPECT_NE(none.Output().find("nothing to download"), std::string::npos);
    EXPECT_EQ(sites.Requests().size(), before + 1) << "only the http file was fetched";

    // Ctrl-C ends an import that hangs.
    ProgramRun stalled(Tool(), home.path());
    UseStandIn(stalled, sites);
    stalled.args = {"-i", "http://lists.example.com/stall"};
    ASSERT_TRUE(stalled.Start());
    ASSERT_TRUE(
        WaitFor([&] { return sites.Requests().size() > before + 1; }, std::chrono::seconds(20)));
    stalled.Signal(SIGINT);
    EXPECT_EQ(ExitStatus(stalled.Wait(std::chrono::seconds(20))), 1) << stalled.Output();
    EXPECT_NE(stalled.Output().find("stopped"), std::string::npos) << stalled.Output();
}

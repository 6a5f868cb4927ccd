// The command-line downloader as a user runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;

namespace {

std::string Tool() {
    return std::string(CLIPVANE_PROGRAM_DIR) + "/clipvane-get";
}

int Exit(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + status;
}

int RunTool(ProgramRun& run) {
    if (!run.Start()) return -1;
    return Exit(run.Wait(std::chrono::seconds(60)));
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
    for (const char* opt : {"--output-folder", "--retries", "--use-title", "--format", "--cache"})
        EXPECT_NE(help.Output().find(opt), std::string::npos) << opt;
}

TEST(ClipvaneGet, DownloadsThroughTheProxyAndFailsOnAnUnknownSite) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartFile("youtube.json"));
    TempDir home;
    ProgramRun run(Tool(), home.path());
    run.env["http_proxy"] = sites.ProxyUrl();
    run.env.erase("https_proxy");
    run.env.erase("no_proxy");
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
    other.args = {"-o", home / "out", "http://example.com/video"};
    EXPECT_EQ(RunTool(other), 1) << other.Output();
}

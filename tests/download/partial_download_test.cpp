// Temporary files across runs of clipvane-get: one left by a killed run,
// partials kept for a resume, and files that change on the server.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "clipvane_get_run.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// A YouTube page whose video answers with `video` (the JSON of a route's
// answer fields: status, headers, body_size, stall_after ...).
std::string YouTubeScenario(const std::string& video) {
    return R"({"routes": [
  {"host": "www.youtube.com", "method": "GET", "path": "/watch?v=part1",
   "headers": {"Content-Type": "text/html; charset=utf-8"},
   "body": "<html><head><title>YouTube - Part</title></head><body><script>var swfArgs = {\"video_id\": \"part1\", \"t\": \"tok\"};</script></body></html>"},
  {"host": "www.youtube.com", "method": "GET", "path_prefix": "/get_video.php?video_id=part1",
   "status": 303, "headers": {"Location": "http://v1.lscache1.c.youtube.com/videoplayback?id=part1"}, "body": ""},
  {"host": "v1.lscache1.c.youtube.com", "method": "GET", "path_prefix": "/videoplayback", )" +
           video + "}\n]}";
}

constexpr const char* kPage = "http://www.youtube.com/watch?v=part1";

std::unique_ptr<ProgramRun> Get(const TempDir& home, const FakeSites& sites) {
    auto r = std::make_unique<ProgramRun>(ClipvaneGetPath(), home.path());
    r->env["http_proxy"] = sites.ProxyUrl();
    r->env.erase("no_proxy");
    r->args = {"-o", home / "out", "--use-id", "-r", "0", "--format", "flv", kPage};
    return r;
}

// Waits until the file exists with at least `bytes` bytes.
bool WaitForBytes(const std::string& path, uintmax_t bytes) {
    for (int i = 0; i < 300; ++i) {
        std::error_code ec;
        if (fs::file_size(path, ec) >= bytes && !ec) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

TEST(PartialDownload, TemporaryFileOfAKilledRunIsTakenOver) {
    TempDir home;
    const std::string temp = home / "out/YouTube/part1.flv.cvt";
    {
        FakeSites stalling;
        ASSERT_TRUE(stalling.Start(YouTubeScenario(
            R"("headers": {"Content-Type": "video/x-flv"}, "body_size": 400000, "stall_after": 100000)")));
        auto killed = Get(home, stalling);
        ASSERT_TRUE(killed->Start());
        ASSERT_TRUE(WaitForBytes(temp, 0)) << killed->Output();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        killed->Signal(SIGKILL);
        killed->Wait(std::chrono::seconds(10));
    }
    ASSERT_TRUE(fs::exists(temp));
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenario(
        R"("headers": {"Content-Type": "video/x-flv"}, "body_size": 40000)")));
    auto again = Get(home, sites);
    ASSERT_EQ(RunTool(*again), 0) << again->Output();
    // The same name, not one numbered around what the killed run left.
    EXPECT_EQ(fs::file_size(home / "out/YouTube/part1.flv"), 40000u);
    EXPECT_FALSE(fs::exists(home / "out/YouTube/part1_001.flv"));
    EXPECT_FALSE(fs::exists(temp));
}

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
        R"("headers": {"Content-Type": "video/x-flv"}, "body_size": 40000, "media": true)")));
    auto again = Get(home, sites);
    ASSERT_EQ(RunTool(*again), 0) << again->Output();
    // The same name, not one numbered around what the killed run left.
    EXPECT_EQ(fs::file_size(home / "out/YouTube/part1.flv"), 40000u);
    EXPECT_FALSE(fs::exists(home / "out/YouTube/part1_001.flv"));
    EXPECT_FALSE(fs::exists(temp));
}

namespace {

// The stand-in's body_size pattern: byte p of a file of seed s.
bool IsPattern(const std::string& bytes, int seed) {
    for (size_t p = 0; p < bytes.size(); ++p)
        if (static_cast<unsigned char>(bytes[p]) != (p + static_cast<size_t>(seed)) % 251)
            return false;
    return true;
}

// The requests for the video, in order.
std::vector<RecordedRequest> VideoRequests(const FakeSites& sites) {
    std::vector<RecordedRequest> out;
    for (const RecordedRequest& r : sites.Requests())
        if (r.target.find("/videoplayback") != std::string::npos) out.push_back(r);
    return out;
}

constexpr int kSize = 400000;

}  // namespace

TEST(PartialDownload, ResumesInTheSameRunAndInALaterOne) {
    // Broken off after 150,000 bytes twice, then whole.
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenario(
        R"("headers": {"Content-Type": "video/x-flv", "ETag": "\"v1\""}, "ranges": true,
           "body_size": 400000, "versions": [{"reset_after": 150000}, {"reset_after": 150000}, {}])")));
    TempDir home;
    const std::string temp = home / "out/YouTube/part1.flv.cvt";
    // The first run fails twice; the second attempt goes on from the first.
    auto first = Get(home, sites);
    first->args[4] = "1";  // -r 1
    EXPECT_EQ(RunTool(*first), 1) << first->Output();
    ASSERT_TRUE(fs::exists(temp)) << "the part is kept";
    ASSERT_TRUE(fs::exists(home / "out/YouTube/part1.flv.cvr"));
    auto kept = fs::file_size(temp);
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, static_cast<uintmax_t>(kSize));
    EXPECT_TRUE(IsPattern(ReadFile(temp), 0));

    auto second = Get(home, sites);
    ASSERT_EQ(RunTool(*second), 0) << second->Output();
    std::string whole = ReadFile(home / "out/YouTube/part1.flv");
    EXPECT_EQ(whole.size(), static_cast<size_t>(kSize));
    EXPECT_TRUE(IsPattern(whole, 0));
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(fs::exists(home / "out/YouTube/part1.flv.cvr"));

    auto asked = VideoRequests(sites);
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].Header("Range"), "");
    EXPECT_EQ(asked[1].Header("Range").rfind("bytes=", 0), 0u);
    EXPECT_NE(asked[1].Header("Range"), "bytes=0-");
    EXPECT_EQ(asked[1].Header("If-Range"), "\"v1\"");
    EXPECT_EQ(asked[2].Header("Range"), "bytes=" + std::to_string(kept) + "-");
}

TEST(PartialDownload, AFileChangedOnTheServerIsNeverJoined) {
    TempDir home;
    // Same size, a new ETag and other bytes; then a server that announces
    // ranges but ignores them; then one whose Content-Range lies.
    struct Case {
        const char* name;
        const char* second;
        int seed;
    } cases[] = {
        {"changed", R"({"seed": 7, "headers": {"Content-Type": "video/x-flv", "ETag": "\"v2\""}})",
         7},
        {"ignores ranges",
         R"({"ranges": false, "headers": {"Content-Type": "video/x-flv", "Accept-Ranges": "bytes", "ETag": "\"v1\""}})",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(home / "out");
        FakeSites sites;
        ASSERT_TRUE(sites.Start(YouTubeScenario(
            std::string(
                R"("headers": {"Content-Type": "video/x-flv", "ETag": "\"v1\""}, "ranges": true,
               "body_size": 400000, "versions": [{"reset_after": 150000}, )") +
            c.second + "]")));
        auto first = Get(home, sites);
        EXPECT_EQ(RunTool(*first), 1) << first->Output();
        ASSERT_TRUE(fs::exists(home / "out/YouTube/part1.flv.cvt"));
        auto kept = fs::file_size(home / "out/YouTube/part1.flv.cvt");
        auto second = Get(home, sites);
        ASSERT_EQ(RunTool(*second), 0) << second->Output();
        std::string whole = ReadFile(home / "out/YouTube/part1.flv");
        EXPECT_EQ(whole.size(), static_cast<size_t>(kSize));
        EXPECT_TRUE(IsPattern(whole, c.seed)) << "old bytes joined to the new file";
        EXPECT_EQ(VideoRequests(sites).at(1).Header("Range"),
                  "bytes=" + std::to_string(kept) + "-");
    }

    // A 206 that does not continue the bytes kept: said, the part dropped,
    // and the next attempt fetches the whole file.
    fs::remove_all(home / "out");
    FakeSites liar;
    ASSERT_TRUE(liar.Start(YouTubeScenario(
        R"("headers": {"Content-Type": "video/x-flv", "ETag": "\"v1\""}, "ranges": true,
           "body_size": 400000, "versions": [{"reset_after": 150000}, {"content_range_shift": 10}, {}])")));
    auto first = Get(home, liar);
    EXPECT_EQ(RunTool(*first), 1);
    auto second = Get(home, liar);
    EXPECT_EQ(RunTool(*second), 1);
    EXPECT_NE(second->Output().find("Content-Range"), std::string::npos) << second->Output();
    EXPECT_FALSE(fs::exists(home / "out/YouTube/part1.flv"));
    auto third = Get(home, liar);
    ASSERT_EQ(RunTool(*third), 0) << third->Output();
    EXPECT_TRUE(IsPattern(ReadFile(home / "out/YouTube/part1.flv"), 0));
    EXPECT_EQ(VideoRequests(liar).at(2).Header("Range"), "");
}

TEST(PartialDownload, AWholeFileKeptIsFinishedOnA416) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenario(
        R"("headers": {"Content-Type": "video/x-flv", "ETag": "\"v1\""}, "ranges": true, "body_size": 400000)")));
    TempDir home;
    // Killed after the last byte was written, before the rename.
    fs::create_directories(home / "out/YouTube");
    std::string bytes(kSize, '\0');
    for (size_t p = 0; p < bytes.size(); ++p) bytes[p] = static_cast<char>(p % 251);
    WriteFile(home / "out/YouTube/part1.flv.cvt", bytes);
    WriteFile(
        home / "out/YouTube/part1.flv.cvr",
        R"({"page": "http://www.youtube.com/watch?v=part1", "media": "x", "validator": "\"v1\"",
                  "length": 400000, "written": 400000})");
    auto run = Get(home, sites);
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    EXPECT_EQ(ReadFile(home / "out/YouTube/part1.flv"), bytes);
    ASSERT_EQ(VideoRequests(sites).size(), 1u);
    EXPECT_EQ(VideoRequests(sites)[0].Header("Range"), "bytes=400000-");
}

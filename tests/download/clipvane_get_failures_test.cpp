// Failures clipvane-get must tell as failures: answers that are no video,
// error pages, redirects, a history file and a settings file it cannot use,
// an output folder it cannot write.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "clipvane_get_run.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;

namespace {

// A watch page whose video address leads to the route of `id` on the video host.
std::string WatchAndVideo(const std::string& id, const std::string& video) {
    return R"({"host": "www.youtube.com", "path": "/watch?v=)" + id +
           R"(", "body": "<title>YouTube - )" + id + R"(</title>, \"t\": \"tok\""},
           {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=)" +
           id + R"(&", "status": 302,
            "headers": {"Location": "http://v7.lscache3.c.youtube.com/videoplayback?id=)" +
           id +
           R"("}},
           {"host": "v7.lscache3.c.youtube.com", "path": "/videoplayback?id=)" +
           id + "\", " + video + "}";
}

// A run that saves the video by its id as FLV into home/out.
std::unique_ptr<ProgramRun> FlvRun(const FakeSites& sites, const TempDir& home,
                                   std::vector<std::string> args) {
    args.insert(args.begin(), {"-o", home / "out", "--use-id", "--format", "flv"});
    return GetRun(sites, home, std::move(args));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Sqlite(const std::string& db, const std::string& sql) {
    std::string out;
    FILE* p = popen(("sqlite3 '" + db + "' \"" + sql + "\" 2>&1").c_str(), "r");
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
    return out;
}

std::string HistoryCount(const ProgramRun& run) {
    return Sqlite(run.DataDir() + "/history.db", "SELECT COUNT(*) FROM history;");
}

// Runs clipvane-get as `run` would, with `path` read-only: through a
// read-only bind mount in a mount namespace of its own when we are root (who
// may write anything), else by taking the write permission away. The exit
// status; the output in `out`.
int RunWithReadOnly(const ProgramRun& run, const std::string& path, std::string& out) {
    const bool root = geteuid() == 0;
    std::vector<std::string> args;
    if (root)
        args = {"-m",
                "sh",
                "-c",
                "mount --bind -o ro \"$1\" \"$1\" && shift && exec \"$@\"",
                "sh",
                path,
                ClipvaneGetPath()};
    args.insert(args.end(), run.args.begin(), run.args.end());
    TempDir scratch;  // for the output only: the environment is the run's
    ProgramRun ro(root ? "/usr/bin/unshare" : ClipvaneGetPath(), scratch.path());
    ro.env = run.env;
    ro.args = args;
    namespace fs = std::filesystem;
    if (!root) fs::permissions(path, fs::perms::owner_write, fs::perm_options::remove);
    int status = RunTool(ro);
    if (!root) fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    out = ro.Output();
    return status;
}

}  // namespace

// A 200 answer that is a web page fails before anything is written; random
// bytes with a video type are downloaded, but the row says they are no
// video, the file stays and the history gets no row.
TEST(ClipvaneGetFailures, AnswersThatAreNoVideo) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenarioWith(
        WatchAndVideo("page", R"("headers": {"Content-Type": "text/html; charset=utf-8"},
                                 "body": "<html><body>Sign in to watch</body></html>")") +
        "," +
        WatchAndVideo("noise",
                      R"("headers": {"Content-Type": "video/x-flv"}, "body_random": 60000)"))));
    TempDir home;
    auto page = FlvRun(sites, home, {"http://www.youtube.com/watch?v=page"});
    EXPECT_EQ(RunTool(*page), 1) << page->Output();
    EXPECT_TRUE(Has(page->Output(),
                    "[0] Download failed: The video server "
                    "v7.lscache3.c.youtube.com sent a web page instead of the video\n"))
        << page->Output();
    EXPECT_FALSE(Has(page->Output(), "Download complete")) << page->Output();
    EXPECT_TRUE(std::filesystem::is_empty(home / "out/YouTube"));

    auto noise =
        FlvRun(sites, home,
               {"http://www.youtube.com/watch?v=noise", "http://www.youtube.com/watch?v=abc123"});
    EXPECT_EQ(RunTool(*noise), 1) << noise->Output();
    const std::string out = noise->Output();
    EXPECT_TRUE(Has(out, "[0] Downloaded, but the file is not a video the player can read\n"))
        << out;
    EXPECT_TRUE(Has(out, "[1] Download complete\n")) << out;
    EXPECT_EQ(ReadFile(home / "out/YouTube/noise.flv").size(), 60000u) << "the file stays";
    EXPECT_EQ(HistoryCount(*noise), "1\n") << "only the video is recorded";
}

// Error pages say which page answered what; redirects of every relative form
// arrive where the browser would.
TEST(ClipvaneGetFailures, ErrorPagesAndRelativeRedirects) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenarioWith(
        R"({"host": "www.youtube.com", "path": "/watch?v=busy", "status": 503, "body": "later"},
           {"host": "www.youtube.com", "path": "/watch?v=moved", "status": 301,
            "headers": {"Location": "watch?v=rel"}},
           {"host": "www.youtube.com", "path": "/watch?v=rel", "status": 302,
            "headers": {"Location": "/x/../watch?v=abc123"}},
           {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=hop&", "status": 303,
            "headers": {"Location": "//v7.lscache3.c.youtube.com/a/b/../../videoplayback?id=hop"}},
           {"host": "www.youtube.com", "path": "/watch?v=hop",
            "body": "<title>YouTube - hop</title>, \"t\": \"tok\""})")));
    TempDir home;
    auto run =
        FlvRun(sites, home,
               {"http://www.youtube.com/watch?v=gone", "http://www.youtube.com/watch?v=busy",
                "http://www.youtube.com/watch?v=moved", "http://www.youtube.com/watch?v=hop"});
    EXPECT_EQ(RunTool(*run), 1) << run->Output();
    const std::string out = run->Output();
    EXPECT_TRUE(Has(out,
                    "[0] Connection failed: The page http://www.youtube.com/watch?v=gone "
                    "answered 404 Not Found\n"))
        << out;
    EXPECT_TRUE(Has(out,
                    "[1] Connection failed: The page http://www.youtube.com/watch?v=busy "
                    "answered 503 Service Unavailable\n"))
        << out;
    EXPECT_TRUE(Has(out, "[3] Download complete")) << out;
    EXPECT_TRUE(std::filesystem::exists(home / "out/YouTube/hop.flv")) << out;
    bool followed = false;
    for (const auto& r : sites.Requests())
        followed |= r.target == "http://www.youtube.com/watch?v=abc123";
    EXPECT_TRUE(followed) << "the page redirects resolve against the page that sent them";
}

// A damaged history is said once, moved aside and replaced, so this run and
// the next record again; one that can only be read is said once, and the
// downloads are kept all the same.
TEST(ClipvaneGetFailures, AHistoryItCannotUse) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenarioWith(WatchAndVideo(
        "two",
        R"("headers": {"Content-Type": "video/x-flv"}, "body_size": 3000, "media": true)"))));
    TempDir home;
    auto first = FlvRun(sites, home, {"http://www.youtube.com/watch?v=abc123"});
    ASSERT_EQ(RunTool(*first), 0) << first->Output();
    const std::string db = first->DataDir() + "/history.db";
    std::string garbage(8192, '\0');
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 7 + 3);
    WriteFile(db, "SQLite format 3" + garbage);

    auto damaged = FlvRun(sites, home, {"http://www.youtube.com/watch?v=abc123"});
    ASSERT_EQ(RunTool(*damaged), 0) << damaged->Output();
    const std::string warning =
        "clipvane-get: warning: The download history was damaged. It was "
        "moved aside to " +
        db + ".damaged and a new history was started.\n";
    EXPECT_TRUE(Has(damaged->Output(), warning)) << damaged->Output();
    EXPECT_EQ(ReadFile(db + ".damaged").substr(15), garbage);
    EXPECT_EQ(HistoryCount(*damaged), "1\n");
    EXPECT_TRUE(std::filesystem::exists(home / "out/YouTube/abc123_001.flv"));

    // Read-only: one warning for the run, however many rows it could not write.
    std::string out;
    auto ro =
        FlvRun(sites, home,
               {"http://www.youtube.com/watch?v=abc123", "http://www.youtube.com/watch?v=two"});
    EXPECT_EQ(RunWithReadOnly(*ro, db, out), 0) << out;
    size_t at = out.find("clipvane-get: warning: The download history cannot be saved (");
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.find("clipvane-get: warning:", at + 1), std::string::npos) << "told once\n"
                                                                             << out;
    EXPECT_EQ(HistoryCount(*ro), "1\n");
    EXPECT_TRUE(std::filesystem::exists(home / "out/YouTube/abc123_002.flv")) << out;
    EXPECT_TRUE(std::filesystem::exists(home / "out/YouTube/two.flv")) << out;
}

// A damaged settings file is said, moved aside, and the defaults are used.
TEST(ClipvaneGetFailures, ADamagedSettingsFile) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartFile("youtube.json"));
    TempDir home;
    auto run = FlvRun(sites, home, {"http://www.youtube.com/watch?v=abc123"});
    std::filesystem::create_directories(std::filesystem::path(run->HivePath()).parent_path());
    WriteFile(run->HivePath(), "\x01\x02 not a hive [[[");
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    EXPECT_TRUE(Has(run->Output(),
                    "clipvane-get: warning: The settings file was damaged. It was "
                    "moved aside to " +
                        run->HivePath() + ".damaged and the default settings are used.\n"))
        << run->Output();
    EXPECT_EQ(ReadFile(run->HivePath() + ".damaged"), "\x01\x02 not a hive [[[");
    EXPECT_FALSE(std::filesystem::exists(run->HivePath()));
    EXPECT_TRUE(Has(ReadFile(run->LogPath()), "The settings file was damaged"));

    // Said once: the next run finds nothing to say.
    auto again = FlvRun(sites, home, {"http://www.youtube.com/watch?v=abc123"});
    ASSERT_EQ(RunTool(*again), 0) << again->Output();
    EXPECT_FALSE(Has(again->Output(), "warning")) << again->Output();
}

// An output folder that cannot be written names the reason.
TEST(ClipvaneGetFailures, AnOutputFolderItCannotWrite) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartFile("youtube.json"));
    TempDir home;
    std::filesystem::create_directories(home / "ro");
    auto ro = FlvRun(sites, home, {"http://www.youtube.com/watch?v=abc123"});
    ro->args[1] = home / "ro/out";
    std::string out;
    EXPECT_EQ(RunWithReadOnly(*ro, home / "ro", out), 1) << out;
    EXPECT_TRUE(Has(out, "[0] Download failed: The output folder " + home / "ro/out/YouTube" +
                             (geteuid() == 0 ? " is on a read-only disk\n"
                                             : " may not be written to (permission denied)\n")))
        << out;

    WriteFile(home / "file", "not a folder");
    auto file = FlvRun(sites, home, {"http://www.youtube.com/watch?v=abc123"});
    file->args[1] = home / "file";
    EXPECT_EQ(RunTool(*file), 1) << file->Output();
    EXPECT_TRUE(Has(file->Output(), "[0] Download failed: The output folder " +
                                        home / "file/YouTube is not a folder\n"))
        << file->Output();
    EXPECT_FALSE(Has(file->Output(), "No such file")) << file->Output();
}

// One video given in several spellings is downloaded once; an import that
// brings addresses already in the history says how many.
TEST(ClipvaneGetFailures, SameVideoOnceAndImportsAlreadyDownloadedCounted) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartFile("youtube.json"));
    TempDir home;
    auto run =
        FlvRun(sites, home,
               {"http://www.youtube.com/watch?v=abc123 ", "http://WWW.YouTube.com/watch?v=abc123",
                "http://youtube.com/watch?v=abc123"});
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    EXPECT_FALSE(Has(run->Output(), "[1] ")) << "one row only\n" << run->Output();
    EXPECT_EQ(HistoryCount(*run), "1\n");

    WriteFile(home / "list.txt",
              "see http://www.youtube.com/watch?v=abc123 and /watch?v=abc123 and /watch?v=fresh\n");
    auto import = FlvRun(sites, home, {"-i", home / "list.txt"});
    RunTool(*import);
    EXPECT_TRUE(Has(import->Output(),
                    "clipvane-get: 1 of the imported addresses are already in the download "
                    "history.\n"))
        << import->Output();
}

// Ctrl-C during a download: the row says "Stopped" once, and the log tells a
// stop, not a network error.
TEST(ClipvaneGetFailures, AStopIsToldOnceAndLoggedAsAStop) {
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenarioWith(
        WatchAndVideo("long", R"("headers": {"Content-Type": "video/x-flv"}, "body_size": 400000,
                   "stall_after": 100000)"))));
    TempDir home;
    auto run = FlvRun(sites, home, {"http://www.youtube.com/watch?v=long"});
    ASSERT_TRUE(run->Start());
    ASSERT_TRUE(WaitFor([&] { return Has(run->Output(), "progress "); }, std::chrono::seconds(30)))
        << run->Output();
    run->Signal(SIGINT);
    EXPECT_EQ(ExitStatus(run->Wait(std::chrono::seconds(10))), 1);
    const std::string out = run->Output();
    size_t first = out.find("[0] Stopped\n");
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_EQ(out.find("Stopped", first + 12), std::string::npos) << out;
    EXPECT_FALSE(Has(out, "failed")) << out;
    const std::string log = ReadFile(run->LogPath());
    EXPECT_TRUE(Has(log, "stopped by the user")) << log;
    for (const std::string& line : SplitLines(log))
        EXPECT_FALSE(Has(line, "ERROR") && (Has(line, "Network error") || Has(line, "aborted")))
            << line;
}

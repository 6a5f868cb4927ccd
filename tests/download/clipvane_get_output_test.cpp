// What clipvane-get tells the user and the log: outside texts made safe for
// the terminal, addresses it does not know, and its steps in the log file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "clipvane_get_run.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;

namespace {

// The bytes a terminal acts on, or that hide or turn text around.
void ExpectNothingForTheTerminal(const std::string& out) {
    for (char c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\n') ADD_FAILURE() << "control byte " << int(u) << " in:\n" << out;
        EXPECT_NE(u, 0x7F) << out;
    }
    for (const char* hidden : {"\u202E", "\u200B", "\u2066", "\u0085", "\u009B"})
        EXPECT_EQ(out.find(hidden), std::string::npos) << out;
}

}  // namespace

TEST(ClipvaneGetOutput, ControlCharactersFromOutsideNeverReachTheTerminal) {
    // A title that would set the terminal's window title, return the cursor
    // and print a false success line; then a reversed and a hidden part.
    const std::string hostileTitle =
        "Nice cat\\u001b]0;owned\\u0007\\r[0] Download complete\\u009b2J "
        "\\u202Egpj.exe\\u200B\\u2066x\\u007F";
    FakeSites sites;
    ASSERT_TRUE(sites.Start(YouTubeScenarioWith(
        R"({"host": "www.youtube.com", "path": "/watch?v=evil",
            "headers": {"Content-Type": "text/html; charset=utf-8"},
            "body": "<html><head><title>YouTube - )" +
        hostileTitle +
        R"(</title></head><script>var swfArgs = {\"video_id\": \"evil\", \"t\": \"tok\"};</script></html>"},
           {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=evil",
            "status": 303, "headers": {"Location": "http://v7.lscache3.c.youtube.com/videoplayback?id=evil"},
            "body": ""})")));
    TempDir home;
    auto run = GetRun(sites, home,
                      {"-o", home / "out", "--use-title", "http://www.youtube.com/watch?v=evil"});
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    ExpectNothingForTheTerminal(run->Output());
    // The title is still shown, its controls marked.
    EXPECT_NE(run->Output().find("[0] Nice cat\uFFFD]0;owned\uFFFD\uFFFD[0] Download complete"),
              std::string::npos)
        << run->Output();
    // The one line of success is the run's own.
    for (const std::string& line : SplitLines(run->Output()))
        if (line.rfind("[0] Download complete", 0) == 0) {
            EXPECT_EQ(line, "[0] Download complete");
        }

    // Texts of the command line and of files: an unknown option, an address
    // of no supported site and an import file that finds nothing.
    auto args = GetRun(
        sites, home,
        {"-o", home / "out", "-i", home / "list\x1b[2J.txt",
         "ftp://example.com/\x1b]0;x\x07\xE2\x80\xAE", "http://www.youtube.com/watch?v=abc123"});
    EXPECT_EQ(RunTool(*args), 1) << args->Output();
    ExpectNothingForTheTerminal(args->Output());
    EXPECT_NE(args->Output().find("no video address found in " + home / "list\uFFFD[2J.txt"),
              std::string::npos)
        << args->Output();
    auto option = GetRun(sites, home, {"--\x1b[31mred"});
    EXPECT_EQ(RunTool(*option), 2);
    ExpectNothingForTheTerminal(option->Output());
    EXPECT_NE(option->Output().find("unknown option --\uFFFD[31mred"), std::string::npos)
        << option->Output();
}

TEST(ClipvaneGetOutput, AnAddressOfNoSupportedSiteIsToldAndFailsTheRun) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartFile("youtube.json"));
    TempDir home;
    // The supported address after it still downloads, in its own row.
    auto run =
        GetRun(sites, home,
               {"-o", home / "out", "--use-id", "--format", "flv", "ftp://example.com/video",
                "http://www.youtube.com/watch?v=abc123", "gopher://example.org/watch?v=abc"});
    EXPECT_EQ(RunTool(*run), 1) << run->Output();
    const std::string out = run->Output();
    EXPECT_NE(out.find("not an http or https address: ftp://example.com/video\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("not an http or https address: gopher://example.org/watch?v=abc\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("[1] "), std::string::npos) << out;
    EXPECT_TRUE(std::filesystem::exists(home / "out/YouTube/abc123.flv")) << out;
    for (const auto& r : sites.Requests())
        EXPECT_EQ(r.target.find("example.com"), std::string::npos) << r.target;

    // Nothing left to download: told so, nothing fetched.
    size_t before = sites.Requests().size();
    auto none = GetRun(sites, home, {"-o", home / "out", "ftp://videos.example.net/x"});
    EXPECT_EQ(RunTool(*none), 1) << none->Output();
    EXPECT_NE(none->Output().find("not an http or https address: ftp://videos.example.net/x"),
              std::string::npos)
        << none->Output();
    EXPECT_NE(none->Output().find("nothing to download"), std::string::npos) << none->Output();
    EXPECT_EQ(sites.Requests().size(), before);
}

TEST(ClipvaneGetOutput, ARunWritesItsStepsIntoTheLog) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartFile("youtube.json"));
    TempDir home;
    auto run = GetRun(sites, home,
                      {"-o", home / "out", "--use-title", "ftp://example.com/video",
                       "http://www.youtube.com/watch?v=abc123"});
    EXPECT_EQ(RunTool(*run), 1) << run->Output();
    std::string log = ReadFile(run->LogPath());
    for (const char* step :
         {"Logger initialized.", "clipvane-get started",
          "not an http or https address: ftp://example.com/video", "[1] A walk in the park",
          "Saved " /* the final path */, "ends with status 1", "Logger uninitialized."})
        EXPECT_NE(log.find(step), std::string::npos) << step << "\n" << log;

    // A second run appends; a log past 1 MiB starts afresh, as the window's does.
    auto again = GetRun(sites, home, {"-o", home / "out", "ftp://example.com/video"});
    RunTool(*again);
    std::string twice = ReadFile(run->LogPath());
    EXPECT_EQ(twice.rfind(log, 0), 0u) << "appended";
    WriteFile(run->LogPath(), std::string(1100000, 'x'));
    auto fresh = GetRun(sites, home, {"-o", home / "out", "ftp://example.com/video"});
    RunTool(*fresh);
    std::string restarted = ReadFile(run->LogPath());
    EXPECT_LT(restarted.size(), 100000u);
    EXPECT_NE(restarted.find("clipvane-get started"), std::string::npos) << restarted;

    // Help and bad usage are not steps of a run: no log is written.
    TempDir quiet;
    ProgramRun help(ClipvaneGetPath(), quiet.path());
    help.args = {"--help"};
    EXPECT_EQ(RunTool(help), 0);
    EXPECT_FALSE(std::filesystem::exists(help.LogPath()));
}

TEST(ClipvaneGetOutput, MeasurementsOnlyWhenAskedFor) {
    FakeSites sites;
    ASSERT_TRUE(sites.StartFile("youtube.json"));
    TempDir home;
    const std::vector<std::string> args = {"-o", home / "out", "--use-id",
                                           "http://www.youtube.com/watch?v=abc123"};
    auto plain = GetRun(sites, home, args);
    ASSERT_EQ(RunTool(*plain), 0) << plain->Output();
    EXPECT_EQ(plain->Output().find("stats:"), std::string::npos) << plain->Output();

    auto measured = GetRun(sites, home, args);
    measured->env["CLIPVANE_GET_STATS"] = "1";
    ASSERT_EQ(RunTool(*measured), 0) << measured->Output();
    unsigned long long messages = 0, peak = 0;
    double gap = -1, gapToFile = -1, fileAt = -1;
    size_t at = measured->Output().find("clipvane-get stats: ");
    ASSERT_NE(at, std::string::npos) << measured->Output();
    ASSERT_EQ(std::sscanf(measured->Output().c_str() + at,
                          "clipvane-get stats: %llu messages, longest gap %lf ms (%lf ms up to "
                          "the last file), last file at %lf s, peak RSS %llu KiB",
                          &messages, &gap, &gapToFile, &fileAt, &peak),
              5)
        << measured->Output();
    // Page, address, title, progress, done, status and the end at least.
    EXPECT_GE(messages, 7u);
    EXPECT_GE(gap, gapToFile);
    EXPECT_GE(gapToFile, 0);
    EXPECT_GT(fileAt, 0);
    EXPECT_GT(peak, 0u);
}

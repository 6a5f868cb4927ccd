// What clipvane-get tells the user: outside texts made safe for the terminal.
#include <gtest/gtest.h>

#include <filesystem>

#include "clipvane_get_run.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;

namespace {

// The YouTube scenario (abc123 downloads) with further routes in front.
std::string YouTubeScenarioWith(const std::string& routes) {
    std::string base =
        ReadFile(std::string(CLIPVANE_TEST_SRC_DIR) + "/tests/fakesites/scenarios/youtube.json");
    return base.insert(base.find('[') + 1, routes + ",");
}

std::unique_ptr<ProgramRun> GetRun(const FakeSites& sites, const TempDir& home,
                                   std::vector<std::string> args) {
    auto run = std::make_unique<ProgramRun>(ClipvaneGetPath(), home.path());
    run->env["http_proxy"] = sites.ProxyUrl();
    run->env.erase("https_proxy");
    run->env.erase("no_proxy");
    run->args = std::move(args);
    return run;
}

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
        hostileTitle + R"(</title></head><script>var swfArgs = {\"video_id\": \"evil\", \"t\": \"tok\"};</script></html>"},
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
        if (line.rfind("[0] Download complete", 0) == 0) EXPECT_EQ(line, "[0] Download complete");

    // Texts of the command line and of files: an unknown option, an address
    // of no supported site and an import file that finds nothing.
    auto args = GetRun(sites, home,
                       {"-o", home / "out", "-i", home / "list\x1b[2J.txt",
                        "http://example.com/\x1b]0;x\x07\xE2\x80\xAE",
                        "http://www.youtube.com/watch?v=abc123"});
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

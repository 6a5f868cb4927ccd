// clipvane-probe as a user runs it: each refusal says its own reason, and
// names reach the terminal with their controls marked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "support/process_harness.h"

using namespace testsupport;

namespace {

int Probe(const TempDir& home, std::vector<std::string> files, std::string& out) {
    ProgramRun run(std::string(CLIPVANE_PROGRAM_DIR) + "/clipvane-probe", home.path());
    run.args = std::move(files);
    if (!run.Start()) return -1;
    int status = run.Wait(std::chrono::seconds(60));
    out = run.Output();
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + status;
}

}  // namespace

TEST(ClipvaneProbe, RefusalsSayWhyAndNamesAreMadeSafe) {
    TempDir home;
    const std::string video = home / "clip.flv";
    ASSERT_EQ(std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                           "testsrc=size=64x48:rate=5 -t 1 -c:v flv '" +
                           video + "'")
                              .c_str()),
              0);
    std::filesystem::create_directories(home / "folder.flv");
    ASSERT_EQ(mkfifo((home / "pipe.flv").c_str(), 0600), 0);
    const std::string hostile = home / "a\x1b]0;owned\x07\xE2\x80\xAEvlf.exe";
    WriteFile(hostile, "<html>no video</html>");

    std::string out;
    EXPECT_EQ(
        Probe(home, {video, home / "missing.flv", home / "folder.flv", home / "pipe.flv", hostile},
              out),
        1);
    auto after = [&](const std::string& name, const std::string& line) {
        size_t at = out.find(name + "\n" + line + "\n");
        EXPECT_NE(at, std::string::npos) << name << " / " << line << "\n" << out;
    };
    after(video, "  duration: 00:00:01");
    after(home / "missing.flv", "  refused: no such file");
    after(home / "folder.flv", "  refused: a folder, not a file");
    after(home / "pipe.flv", "  refused: not a plain file");
    after(home / "a\uFFFD]0;owned\uFFFD\uFFFDvlf.exe", "  refused: no video stream found");
    for (char c : out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << out;
}

// The console runner on real processes, and the output parser.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "media/cmd_mplayer.h"
#include "media/cmd_opts.h"
#include "media/command_line.h"
#include "media_files.h"

using namespace mediatest;

namespace {
class Collect : public CConsoleRedirector {
  public:
    ~Collect() override { Stop(); }
    std::vector<std::string> chunks;
    std::vector<std::string> errors;
    std::string All() {
        std::lock_guard<std::mutex> g(lock_);
        std::string s;
        for (const auto& c : chunks) s += c;
        return s;
    }

  protected:
    void OnOutput(const char* t) override {
        std::lock_guard<std::mutex> g(lock_);
        chunks.emplace_back(t);
    }
    void OnError(const char* t) override { errors.emplace_back(t); }
};

bool WaitUntil(const std::function<bool()>& f) {
    for (int i = 0; i < 500; ++i) {
        if (f()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool Alive(pid_t p) {
    return kill(p, 0) == 0;
}
}  // namespace

TEST(CommandLine, SplitAndEscapeRoundTrip) {
    EXPECT_EQ(media::SplitCommandLine(L"\"/x/mplayer\" \"a b.avi\" -frames 0"),
              (std::vector<std::wstring>{L"/x/mplayer", L"a b.avi", L"-frames", L"0"}));
    // The assembled input file's closing pair adds nothing.
    EXPECT_EQ(media::SplitCommandLine(L"p -slave  -quiet  \"a.avi\"\""),
              (std::vector<std::wstring>{L"p", L"-slave", L"-quiet", L"a.avi"}));
    EXPECT_EQ(media::SplitCommandLine(L"a\\\\b \\\"q\\\" \"\""),
              (std::vector<std::wstring>{L"a\\\\b", L"\"q\"", L""}));
    for (std::wstring n :
         std::vector<std::wstring>{L"plain", L"q\"uote", L"tail\\", L"\\\"mix\\\\\"",
                                   L"new\nline\t", L"$(x);`y`", std::wstring(L"bad\xdcff")}) {
        auto args = media::SplitCommandLine(L"p \"" + media::EscapeForQuotes(n) + L"\" z");
        ASSERT_EQ(args.size(), 3u);
        EXPECT_EQ(args[1], n);
    }
    EXPECT_EQ(media::EscapeForQuotes(L"a b\\c.flv"), L"a b\\c.flv");
    std::string raw = "x\xff\xc3(\xe6\x97\xa5";
    EXPECT_EQ(media::WideToBytes(media::BytesToWide(raw)), raw);
}

TEST(PlayerOptions, Assembly) {
    CMPlayerOpts o;
    std::wstring prefix = o.GetCommandLine();
    EXPECT_EQ(prefix.front(), L'"');
    o.SetFlag(L"-slave");
    o.SetFlag(L"-quiet");
    o.SetOption(L"-vo", L"%ls", L"x11");
    o.SetOption(L"-af", L"volnorm");
    o.AppendOption(L"-af", L",", L"volume=%d", 5);
    o.AppendOption(L"-vf-add", L",", L"scale");
    o.SetOption(L"-slave", L"1");  // keeps its place
    o.SetInputFile(L"a.avi");
    EXPECT_EQ(std::wstring(o.GetCommandLine()),
              prefix + L" -slave 1 -quiet  -vo x11 -af volnorm,volume=5 -vf-add scale \"a.avi\"\"");
    o.RemoveOption(L"-af");
    o.ClearOptions();
    o.SetInputFile(L"");
    EXPECT_EQ(std::wstring(o.GetCommandLine()), prefix);
}

TEST(Runner, SilentChildKeepsExitCode) {
    Collect r;
    ASSERT_TRUE(r.Start(L"sh -c \"exit 7\""));
    ASSERT_TRUE(r.WaitForReader(-1));
    EXPECT_EQ(r.readerResult(), 0);
    EXPECT_EQ(r.exitCode(), 7u);
    EXPECT_TRUE(r.chunks.empty());
}

TEST(Runner, OneMegabyteInOrderInSmallChunks) {
    Collect r;
    ASSERT_TRUE(r.Start(L"sh -c \"head -c 1048576 /dev/zero | tr '\\0' x; printf END\""));
    ASSERT_TRUE(r.WaitForReader(-1));
    std::string all = r.All();
    ASSERT_EQ(all.size(), 1048576u + 3);
    EXPECT_EQ(all.substr(all.size() - 3), "END");
    EXPECT_EQ(all.find_first_not_of('x'), 1048576u);
    for (const auto& c : r.chunks) ASSERT_LE(c.size(), 255u);
}

TEST(Runner, OutputJustBeforeExitArrives) {
    Collect r;
    ASSERT_TRUE(r.Start(L"sh -c \"sleep 0.2; printf last\""));
    ASSERT_TRUE(r.WaitForReader(-1));
    EXPECT_EQ(r.All(), "last");
    EXPECT_EQ(r.exitCode(), 0u);
}

TEST(Runner, WaitForReaderTimesOutThenSeesTheEnd) {
    Collect r;
    ASSERT_TRUE(r.Start(L"sh -c \"sleep 0.5; exit 4\""));
    EXPECT_FALSE(r.WaitForReader(50));
    EXPECT_TRUE(r.readerRunning());
    // The end is noticed when it happens, not at the limit.
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(r.WaitForReader(60000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_FALSE(r.readerRunning());
    EXPECT_EQ(r.exitCode(), 4u);
    EXPECT_TRUE(r.WaitForReader(0)) << "no reader left to wait for";
}

TEST(Runner, StopTwiceFailedStartAndSendAfterStop) {
    Collect bad;
    EXPECT_FALSE(bad.Start(L"\"/nonexistent/tool\" x"));
    ASSERT_EQ(bad.errors.size(), 1u);
    EXPECT_EQ(bad.errors[0].rfind("Redirect console error: ", 0), 0u);
    bad.Stop();
    bad.Stop();
    EXPECT_FALSE(bad.SendCommand(L"quit\n"));

    Collect r;
    ASSERT_TRUE(r.Start(L"cat"));
    EXPECT_TRUE(r.SendCommand(L"hello %d\n", 5));
    EXPECT_TRUE(WaitUntil([&] { return r.All() == "hello 5\n"; }));
    r.Stop();
    r.Stop();
    EXPECT_FALSE(r.SendCommand(L"again\n"));
}

TEST(Runner, KillChildProcessesLeavesNothing) {
    Collect r;
    ASSERT_TRUE(r.Start(L"sh -c \"sleep 60 & sleep 61; echo done\""));
    pid_t sh = r.childProcessId();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(r.ChildExitCode(), kStillActive);
    r.KillChildProcesses();
    ASSERT_TRUE(r.WaitForReader(5000));
    r.Stop();
    EXPECT_FALSE(Alive(sh));
    // Killed members may linger briefly as zombies of init.
    EXPECT_TRUE(WaitUntil([&] { return kill(-sh, 0) == -1; })) << "a process of the group is left";
}

TEST(Runner, ChildIgnoringTermIsStopped) {
    Collect r;
    ASSERT_TRUE(r.Start(L"sh -c \"trap '' TERM; echo up; sleep 60\""));
    pid_t p = r.childProcessId();
    EXPECT_TRUE(WaitUntil([&] { return r.All() == "up\n"; }));
    kill(p, SIGTERM);
    auto start = std::chrono::steady_clock::now();
    r.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(Alive(p));
    EXPECT_TRUE(WaitUntil([&] { return kill(-p, 0) == -1; }));
}

TEST(Parser, ValuesLastOccurrenceAndBufferRestart) {
    CCmdMplayer m;
    EXPECT_EQ(m.GetPercentPosition(), 0);
    m.OnOutput("ID_VIDEO_FORMAT=H264\nID_VIDEO_WIDTH=320\nID_LENGTH=12.5\n");
    m.OnOutput(
        "ID_AUDIO_ID=0\nID_AUDIO_ID=1\nID_AUDIO_ID=2\nID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=48");
    EXPECT_EQ(m.GetPercentPosition(), -1);
    ASSERT_TRUE(m.ParseVideoInfo());
    EXPECT_EQ(m.videoWidth, 640);
    EXPECT_EQ(m.videoHeight, 0) << "a line not yet ended is not read";
    EXPECT_EQ(m.lengthMs, 12500);
    std::vector<std::wstring> ids;
    EXPECT_EQ(m.CollectAudioIds(ids), 3);
    EXPECT_EQ(ids, (std::vector<std::wstring>{L"0", L"1", L"2"}));
    m.OnOutput((std::string(130, '.') + "ANS_PERCENT_POSITION=42\n").c_str());
    EXPECT_EQ(m.GetPercentPosition(), 42);
    // The newest ended answer counts (after a seek the older ones are stale).
    m.OnOutput("ANS_PERCENT_POSITION=78\nANS_PERCENT_POSITION=7");
    EXPECT_EQ(m.GetPercentPosition(), 78);
    m.OnOutput("9\n");
    EXPECT_EQ(m.GetPercentPosition(), 79);
    m.OnOutput((std::string(200, '.') + "\n").c_str());
    EXPECT_EQ(m.GetPercentPosition(), -1);
    // A character split between two chunks is decoded whole.
    m.OnOutput("ID_CLIP_INFO_VALUE0=\xe6\x97");
    m.OnOutput("\xa5\n");
    EXPECT_NE(m.OutputText().find(L"=\u65e5\n"), std::wstring::npos);
    // Past 8192 characters only the newest chunk stays.
    std::string filler(250, 'f');
    for (int i = 0; i < 40; ++i) m.OnOutput(filler.c_str());
    m.OnOutput("ID_LENGTH=3\n");
    EXPECT_LE(m.OutputText().size(), CCmdMplayer::kBufferChars);
    m.ParseVideoInfo();
    EXPECT_LT(m.OutputText().size(), 8192u);
    EXPECT_EQ(m.OutputText().find(L"ID_VIDEO_FORMAT"), std::wstring::npos);
    EXPECT_FALSE(m.ParseVideoInfo());
}

TEST(SlaveMode, PercentPositionFromTheRealPlayer) {
    CMPlayerOpts o;
    o.SetFlag(L"-slave");
    o.SetFlag(L"-quiet");
    o.SetFlag(L"-idle");
    o.SetOption(L"-vo", L"null");
    o.SetOption(L"-ao", L"null");
    o.SetInputFile(media::BytesToWide(Media("a.flv")));
    CCmdMplayer m;
    ASSERT_TRUE(m.Start(o.GetCommandLine()));
    int pos = -1;
    for (int i = 0; i < 100 && pos < 0; ++i) {
        m.SendCommand(L"pausing_keep_force get_percent_pos\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (m.OutputText().find(L"ANS_PERCENT_POSITION=") != std::wstring::npos) {
            for (int k = 0; k < 3; ++k) m.OnOutput(std::string(60, ' ').c_str());
            m.SendCommand(L"pausing_keep_force get_percent_pos\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            pos = m.GetPercentPosition();
        }
    }
    EXPECT_GE(pos, 0);
    EXPECT_LE(pos, 100);
    m.SendCommand(L"quit\n");
    m.WaitForReader(5000);
}

TEST(Runner, TheProgramEndsWhenWhatStartedItIsKilled) {
    // Orphans come to this test process, which can then see them end.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t starter = fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        // Starts a long program as the player would be started, then waits
        // to be killed.
        // Its first words mean the wrapper has set the signal up.
        Collect r;
        pid_t p = r.Start(L"sh -c \"echo up; exec sleep 60\"") &&
                          WaitUntil([&] { return r.All() == "up\n"; })
                      ? r.childProcessId()
                      : -1;
        (void)!write(fds[1], &p, sizeof p);
        pause();
        _exit(0);
    }
    close(fds[1]);
    pid_t program = -1;
    ASSERT_EQ(read(fds[0], &program, sizeof program), static_cast<ssize_t>(sizeof program));
    close(fds[0]);
    ASSERT_GT(program, 0);
    EXPECT_TRUE(Alive(program));
    kill(starter, SIGKILL);
    waitpid(starter, nullptr, 0);
    // The program ends, and is reaped here as an orphan.
    EXPECT_TRUE(WaitUntil([&] { return waitpid(program, nullptr, WNOHANG) == program; }))
        << "the program outlived what started it";
    kill(program, SIGKILL);
    prctl(PR_SET_CHILD_SUBREAPER, 0);
}

TEST(Runner, AMissingProgramFailsToStart) {
    Collect r;
    EXPECT_FALSE(r.Start(L"/nonexistent/mplayer -identify"));
    EXPECT_FALSE(r.Start(L"clipvane-no-such-program -x"));
}

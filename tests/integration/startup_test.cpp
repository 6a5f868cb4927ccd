// The program as a user starts it: its log, its settings hive, its closing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <regex>

#include "support/process_harness.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const char* const kSettingNames[] = {"OutputFolder",
                                     "YTUser",
                                     "YTPasswd",
                                     "NicoUser",
                                     "NicoPasswd",
                                     "ShutdownFlag",
                                     "UseTitleAsFileName",
                                     "UseInternalCache",
                                     "RetryTimes",
                                     "YoutubeFMT",
                                     "DonotSepDVD",
                                     "MPLAYER_VO",
                                     "ProcessPriority",
                                     "EncodeThreads",
                                     "OUT_VOLUME",
                                     "VOLUME_NORM",
                                     "AAC_MPEG",
                                     "AAC_OBJECT",
                                     "MP3_ENCODE",
                                     "MP3_VOLUME",
                                     "MP3_AQ",
                                     "MP3_VBRQ",
                                     "DEINT",
                                     "IVTC",
                                     "Fit2Width",
                                     "Fit2Height",
                                     "ExpandSize",
                                     "ExpandRound16",
                                     "HighestQuality",
                                     "LangID"};

// The message part of each log line ("... - message").
std::vector<std::string> Messages(const std::string& log) {
    std::vector<std::string> out;
    for (const auto& l : SplitLines(log)) {
        size_t p = l.find("> - ");
        if (p != std::string::npos) out.push_back(l.substr(p + 4));
    }
    return out;
}

// Finds each expected message in order, after the previous one.
::testing::AssertionResult InOrder(const std::vector<std::string>& msgs,
                                   const std::vector<std::string>& expected) {
    size_t at = 0;
    for (const auto& e : expected) {
        while (at < msgs.size() && msgs[at] != e) ++at;
        if (at == msgs.size())
            return ::testing::AssertionFailure() << "missing or out of order: " << e;
        ++at;
    }
    return ::testing::AssertionSuccess();
}

int ExitCode(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + status;
}

}  // namespace

TEST(ProgramStartup, FirstAndSecondStartWriteLogAndSettings) {
    TempDir home;
    {
        ProgramRun run(ProgramPath(), home.path());
        int st = RunUntilShownAndClose(run);
        ASSERT_EQ(ExitCode(st), 0) << run.Output();

        std::string log = ReadFile(run.LogPath());
        auto lines = SplitLines(log);
        ASSERT_GE(lines.size(), 3u);
        std::regex shape(R"(^\d\d-\d\d-\d\d \d\d:\d\d:\d\d, (AM|PM) \[\d+\] INFO main <> - .*$)");
        EXPECT_TRUE(std::regex_match(lines[0], shape)) << lines[0];
        EXPECT_EQ(Messages(log)[0], std::string(75, '-'));
        EXPECT_EQ(Messages(log)[1], "Logger initialized.");
        EXPECT_EQ(Messages(log).back(), "Logger uninitialized.");
        std::string bundle = std::string(CLIPVANE_PROGRAM_DIR) + "/cvres.bundle";
        EXPECT_TRUE(InOrder(
            Messages(log),
            {"Windows Version Information:", "Loading program Clipvane ...",
             "Loading resource dll [" + bundle + "] ...",
             "Set resource handle as resource DLL successfully.", "Loading program Clipvane ...",
             "Winsock and OLE initialized.", "Common controls and shell manager initialized.",
             "BCG library initialized.", "Loading profiles...", "Starting main dialog ...",
             "Initializing main dialog ...", "Main dialog shown.", "Exiting...",
             "Logger uninitialized."}));
        // Lines of the main window's initialisation carry its context.
        EXPECT_NE(log.find("INFO CClipvaneDlg <OnInitDialog> - Initializing main dialog ..."),
                  std::string::npos);
        EXPECT_NE(log.find("Version : Clipvane 2.0.8"), std::string::npos);

        std::string hive = ReadFile(run.HivePath());
        ASSERT_FALSE(hive.empty());
        struct stat stt;
        ASSERT_EQ(stat(run.HivePath().c_str(), &stt), 0);
        EXPECT_EQ(stt.st_mode & 0777, 0600u);
        EXPECT_NE(hive.find("[Software\\Clipvane\\Setting\\Output]"), std::string::npos) << hive;
        for (const char* name : kSettingNames)
            EXPECT_NE(hive.find(std::string("\"") + name + "\"="), std::string::npos) << name;
        EXPECT_NE(hive.find("\"YoutubeFMT\"=dword:00000001"), std::string::npos) << hive;
        EXPECT_NE(hive.find("\"MP3_VBRQ\"=dword:00000004"), std::string::npos);
        EXPECT_NE(hive.find("\"LangID\"=sz:\"en\""), std::string::npos);
        EXPECT_NE(hive.find("\"OutputFolder\"=sz:\"" + home.path() + "/Documents/Clipvane\""),
                  std::string::npos);
        EXPECT_TRUE(fs::exists(run.DataDir() + "/history.db"));
    }
    // A second start reads the values back: a changed one survives the next save.
    ProgramRun probe(ProgramPath(), home.path());
    std::string hive = ReadFile(probe.HivePath());
    size_t at = hive.find("\"RetryTimes\"=dword:00000000");
    ASSERT_NE(at, std::string::npos);
    hive.replace(at, std::string("\"RetryTimes\"=dword:00000000").size(),
                 "\"RetryTimes\"=dword:00000007");
    at = hive.find("\"LangID\"=sz:\"en\"");
    hive.replace(at, std::string("\"LangID\"=sz:\"en\"").size(), "\"LangID\"=sz:\"ja\"");
    WriteFile(probe.HivePath(), hive);
    probe.env["LANG"] = "zh_CN.UTF-8";  // a stored language wins over the locale
    ASSERT_EQ(ExitCode(RunUntilShownAndClose(probe)), 0) << probe.Output();
    std::string after = ReadFile(probe.HivePath());
    EXPECT_NE(after.find("\"RetryTimes\"=dword:00000007"), std::string::npos) << after;
    EXPECT_NE(after.find("\"LangID\"=sz:\"ja\""), std::string::npos) << after;
    // Two runs, two separator lines: the log is appended to.
    auto msgs = Messages(ReadFile(probe.LogPath()));
    EXPECT_EQ(std::count(msgs.begin(), msgs.end(), std::string(75, '-')), 2);
}

TEST(ProgramStartup, LanguageComesFromLocaleThroughLookupFile) {
    // Ctrl-C closes the program as the termination request does.
    struct Case {
        const char* lang;
        const char* expected;
        int sig;
    } cases[] = {{"ja_JP.UTF-8", "ja", SIGTERM},
                 {"zh_CN.UTF-8", "zh_cn", SIGINT},
                 {"de_DE.UTF-8", "en", SIGTERM}};
    for (const auto& c : cases) {
        TempDir home;
        ProgramRun run(ProgramPath(), home.path());
        run.env["LANG"] = c.lang;
        ASSERT_EQ(ExitCode(RunUntilShownAndClose(run, c.sig)), 0) << run.Output();
        EXPECT_NE(
            ReadFile(run.HivePath()).find(std::string("\"LangID\"=sz:\"") + c.expected + "\""),
            std::string::npos)
            << c.lang;
    }
}

TEST(ProgramStartup, LogFileIsDeletedOnlyPastOneMebibyte) {
    for (size_t size : {size_t(1048576), size_t(1048577)}) {
        TempDir home;
        ProgramRun run(ProgramPath(), home.path());
        std::string old(size - 1, 'o');
        old += '\n';
        WriteFile(run.LogPath(), old);
        ASSERT_EQ(ExitCode(RunUntilShownAndClose(run)), 0) << run.Output();
        std::string log = ReadFile(run.LogPath());
        if (size == 1048576) {
            EXPECT_EQ(log.compare(0, old.size(), old), 0) << "kept and appended to";
            EXPECT_GT(log.size(), old.size());
        } else {
            EXPECT_LT(log.size(), 1048576u);
            EXPECT_EQ(Messages(log)[0], std::string(75, '-'));
        }
    }
}

TEST(ProgramStartup, DamagedHiveStartsWithDefaultsAndIsRepaired) {
    for (int variant = 0; variant < 2; ++variant) {
        TempDir home;
        ProgramRun first(ProgramPath(), home.path());
        ASSERT_EQ(ExitCode(RunUntilShownAndClose(first)), 0);
        std::string good = ReadFile(first.HivePath());
        std::string bad = variant == 0 ? good.substr(0, good.size() / 2)
                                       : std::string("\x01\xfe garbage \x00\xff\n[[[", 18);
        // A damaged file must not be read: a changed value in it stays unused.
        if (variant == 0) {
            size_t at = bad.find("dword:00000001");
            if (at != std::string::npos) bad.replace(at, 14, "dword:00000002");
        }
        WriteFile(first.HivePath(), bad);

        ProgramRun run(ProgramPath(), home.path());
        ASSERT_EQ(ExitCode(RunUntilShownAndClose(run)), 0) << run.Output();
        std::string repaired = ReadFile(run.HivePath());
        EXPECT_EQ(repaired, good) << "variant " << variant;
        // Said, and kept beside the new one for the user to look at.
        EXPECT_EQ(ReadFile(run.HivePath() + ".damaged"), bad);
        EXPECT_NE(ReadFile(run.LogPath()).find("was damaged; moved to"), std::string::npos);
    }
}

TEST(ProgramStartup, MissingBundleShowsBoxAndEndsInOrder) {
    TempDir home;
    // A copy of the program in a folder of its own, without its bundle.
    fs::path dir = fs::path(home.path()) / "prog";
    fs::create_directories(dir);
    fs::copy_file(ProgramPath(), dir / "clipvane");
    ProgramRun run((dir / "clipvane").string(), home.path());
    ASSERT_TRUE(run.Start());
    std::string bundleLine = "Loading resource dll [" + (dir / "cvres.bundle").string() + "] ...";
    ASSERT_TRUE(
        WaitFor([&] { return ReadFile(run.LogPath()).find(bundleLine) != std::string::npos; },
                std::chrono::seconds(60)));
    // The box waits for the user; a termination request answers it.
    int st = -1;
    for (int i = 0; i < 100 && st == -1; ++i) {
        run.Signal(SIGTERM);
        st = run.Wait(std::chrono::milliseconds(300));
    }
    ASSERT_EQ(ExitCode(st), 0) << run.Output();
    auto msgs = Messages(ReadFile(run.LogPath()));
    ASSERT_FALSE(msgs.empty());
    EXPECT_EQ(msgs.back(), bundleLine);
    EXPECT_FALSE(fs::exists(run.HivePath())) << "nothing was saved";
}

TEST(ProgramStartup, PendingRowsAreKeptForTheNextStart) {
    TempDir home;
    ProgramRun run(ProgramPath(), home.path());
    const std::string pending = run.DataDir() + "/pending.txt";
    WriteFile(pending,
              "http://www.youtube.com/watch?v=p1\nnot an address\n"
              "http://www.youtube.com/watch?v=p2\nhttp://www.youtube.com/watch?v=p1\n");
    ASSERT_EQ(ExitCode(RunUntilShownAndClose(run)), 0) << run.Output();
    EXPECT_EQ(ReadFile(pending),
              "http://www.youtube.com/watch?v=p1\nhttp://www.youtube.com/watch?v=p2\n");
    EXPECT_NE(ReadFile(run.LogPath()).find("2 pending rows restored"), std::string::npos);
}

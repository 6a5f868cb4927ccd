#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/logging.h"
#include "app/ttc_layout.h"

namespace fs = std::filesystem;
using ::testing::MatchesRegex;

namespace {

// "12-07-08 14:05:09, PM [1234] INFO main <ctx> - message\r"
constexpr const char* kLinePrefix =
    "[0-9]{2}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}, (AM|PM) \\[[0-9]+\\] ";

std::string Line(const std::string& levelTagCtx, const std::string& message) {
    return std::string(kLinePrefix) + levelTagCtx + " - " + message + "\r";
}

class LoggingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "cvlogXXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        path_ = (dir_ / "vuzeziv.log").string();
    }
    void TearDown() override {
        ShutdownLogging();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string ReadAll() const {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Lines split at '\n'; each keeps its '\r'.
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        std::string all = ReadAll();
        size_t start = 0;
        for (size_t nl; (nl = all.find('\n', start)) != std::string::npos; start = nl + 1)
            out.push_back(all.substr(start, nl - start));
        EXPECT_EQ(start, all.size()) << "text after the last line end";
        return out;
    }
    // The message part of a line ("... - message\r").
    static std::string MessageOf(const std::string& line) {
        size_t dash = line.find("> - ");
        if (dash == std::string::npos || line.empty() || line.back() != '\r') return "<bad line>";
        return line.substr(dash + 4, line.size() - dash - 5);
    }
    static std::string ThreadIdOf(const std::string& line) {
        size_t open = line.find(" [");
        size_t close = line.find("] ", open);
        if (open == std::string::npos || close == std::string::npos) return {};
        return line.substr(open + 2, close - open - 2);
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(LoggingTest, StartAndStopWriteTheirLinesInTheLineLayout) {
    InitLogging(path_);
    LogInfo("CVideoDownloader", "Downloading %d of %s", 3, "abc");
    ShutdownLogging();

    auto lines = Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_THAT(lines[0], MatchesRegex(Line("INFO main <>", std::string(75, '-'))));
    EXPECT_EQ(MessageOf(lines[0]), std::string(75, '-'));
    EXPECT_THAT(lines[1], MatchesRegex(Line("INFO main <>", "Logger initialized\\.")));
    EXPECT_THAT(lines[2], MatchesRegex(Line("INFO CVideoDownloader <>", "Downloading 3 of abc")));
    EXPECT_THAT(lines[3], MatchesRegex(Line("INFO main <>", "Logger uninitialized\\.")));
    EXPECT_EQ(ThreadIdOf(lines[2]), std::to_string(::gettid()));
}

TEST_F(LoggingTest, TimeIsLocalWithTwoDigitFieldsAndEnglishDesignator) {
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    EXPECT_EQ(TTCLayout::FormatTime(0), "01-01-70 00:00:00, AM");
    EXPECT_EQ(TTCLayout::FormatTime(1228658709), "12-07-08 14:05:09, PM");
    EXPECT_EQ(TTCLayout::FormatTime(946684799), "12-31-99 23:59:59, PM");
    EXPECT_EQ(TTCLayout::FormatTime(43200 - 1), "01-01-70 11:59:59, AM");
    EXPECT_EQ(TTCLayout::FormatTime(43200), "01-01-70 12:00:00, PM");
    setenv("TZ", "EST5", 1);
    tzset();
    EXPECT_EQ(TTCLayout::FormatTime(1228658709), "12-07-08 09:05:09, AM");
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(LoggingTest, TagsAndLevels) {
    InitLogging(path_);
    LogInfo(nullptr, "null tag");
    LogError("CClipvaneDlg", "an error");
    LogInfoW(nullptr, L"wide %d", 1);
    LogWarnW("CCheckUpdateDlg::GetFile", L"a warning");
    LogErrorW("X", L"wide error");
    ShutdownLogging();

    auto lines = Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_THAT(lines[2], MatchesRegex(Line("INFO main <>", "null tag")));
    EXPECT_THAT(lines[3], MatchesRegex(Line("ERROR CClipvaneDlg <>", "an error")));
    EXPECT_THAT(lines[4], MatchesRegex(Line("INFO main <>", "wide 1")));
    EXPECT_THAT(lines[5], MatchesRegex(Line("WARN CCheckUpdateDlg::GetFile <>", "a warning")));
    EXPECT_THAT(lines[6], MatchesRegex(Line("ERROR X <>", "wide error")));
}

TEST_F(LoggingTest, FinishedMessageIsNotExpandedAgain) {
    InitLogging(path_);
    LogInfo("t", "%s", "http://a/b%20c?q=100%&x=%s%n%d");
    LogInfo("t", "done 100%%");
    LogInfoW("t", L"%ls", L"wide %20 and %s");
    LogErrorW("t", L"%d%%", 50);
    ShutdownLogging();

    auto lines = Lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(MessageOf(lines[2]), "http://a/b%20c?q=100%&x=%s%n%d");
    EXPECT_EQ(MessageOf(lines[3]), "done 100%");
    EXPECT_EQ(MessageOf(lines[4]), "wide %20 and %s");
    EXPECT_EQ(MessageOf(lines[5]), "50%");
}

TEST_F(LoggingTest, LongMessagesAreCutTo1023Characters) {
    InitLogging(path_);
    std::string narrow(5000, 'x');
    std::wstring wide(5000, L'y');
    LogInfo("t", "%s", narrow.c_str());
    LogInfoW("t", L"%ls", wide.c_str());
    // Cut on a character boundary: a two-byte character at 1022..1023 goes.
    std::string utf8 = std::string(1022, 'a') + "\xc3\xa9" + "tail";
    LogError("t", "%s", utf8.c_str());
    // The wide limit counts characters, the file gets their UTF-8 bytes.
    std::wstring wideCjk = std::wstring(1022, L'b') + L"\u65e5\u672c";
    LogWarnW("t", L"%ls", wideCjk.c_str());
    std::string exact(1023, 'z');
    LogInfo("t", "%s", exact.c_str());
    ShutdownLogging();

    auto lines = Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(MessageOf(lines[2]), std::string(1023, 'x'));
    EXPECT_EQ(MessageOf(lines[3]), std::string(1023, 'y'));
    EXPECT_EQ(MessageOf(lines[4]), std::string(1022, 'a'));
    EXPECT_EQ(MessageOf(lines[5]), std::string(1022, 'b') + "\xe6\x97\xa5");
    EXPECT_EQ(MessageOf(lines[6]), exact);
}

TEST_F(LoggingTest, WideTextIsWrittenAsUtf8) {
    InitLogging(path_);
    LogInfoW("t", L"Title [%ls]", L"Gr\u00fc\u00dfe \u65e5\u672c \U0001F600");
    LogInfo("t", "%s", "caf\xc3\xa9");
    ShutdownLogging();

    auto lines = Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(MessageOf(lines[2]),
              "Title [Gr\xc3\xbc\xc3\x9f"
              "e \xe6\x97\xa5\xe6\x9c\xac \xf0\x9f\x98\x80]");
    EXPECT_EQ(MessageOf(lines[3]), "caf\xc3\xa9");
}

TEST_F(LoggingTest, ContextIsShownBetweenAngleBrackets) {
    InitLogging(path_);
    LogPopContext();  // nothing pushed: harmless
    LogPushContext("OnInitDialog");
    LogInfo("t", "one");
    LogPushContext("inner");
    LogInfo("t", "two");
    LogPopContext();
    LogInfo("t", "three");
    LogPopContext();
    LogInfo("t", "four");
    {
        LogContextScope scope("Scoped");
        LogInfo("t", "five");
    }
    LogInfo("t", "six");
    // A context belongs to the thread that pushed it.
    LogPushContext("main thread");
    std::thread([] { LogInfo("t", "seven"); }).join();
    LogPopContext();
    ShutdownLogging();

    auto lines = Lines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_THAT(lines[2], MatchesRegex(Line("INFO t <OnInitDialog>", "one")));
    EXPECT_THAT(lines[3], MatchesRegex(Line("INFO t <OnInitDialog inner>", "two")));
    EXPECT_THAT(lines[4], MatchesRegex(Line("INFO t <OnInitDialog>", "three")));
    EXPECT_THAT(lines[5], MatchesRegex(Line("INFO t <>", "four")));
    EXPECT_THAT(lines[6], MatchesRegex(Line("INFO t <Scoped>", "five")));
    EXPECT_THAT(lines[7], MatchesRegex(Line("INFO t <>", "six")));
    EXPECT_THAT(lines[8], MatchesRegex(Line("INFO t <>", "seven")));
}

TEST_F(LoggingTest, NothingIsWrittenOutsideARun) {
    LogInfo("t", "before start");
    InitLogging(path_);
    ShutdownLogging();
    std::string afterFirst = ReadAll();
    LogInfo("t", "after stop");
    LogErrorW(nullptr, L"after stop %d", 1);
    ShutdownLogging();  // a second stop is harmless too
    EXPECT_EQ(ReadAll(), afterFirst);

    // A second run appends to the same file.
    InitLogging(path_);
    LogInfo("t", "second run");
    ShutdownLogging();
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(MessageOf(lines[3]), std::string(75, '-'));
    EXPECT_EQ(MessageOf(lines[4]), "Logger initialized.");
    EXPECT_EQ(MessageOf(lines[5]), "second run");
    EXPECT_EQ(ReadAll().find("stop"), std::string::npos);
}

TEST_F(LoggingTest, AppendsToAnExistingFileCreatedWithMode0644) {
    {
        std::ofstream out(path_, std::ios::binary);
        out << "old line\r\n";
    }
    InitLogging(path_);
    ShutdownLogging();
    EXPECT_EQ(ReadAll().rfind("old line\r\n", 0), 0u);

    std::string fresh = (dir_ / "fresh.log").string();
    mode_t mask = umask(022);
    umask(mask);
    InitLogging(fresh);
    ShutdownLogging();
    struct stat st {};
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u & ~mask);
}

TEST_F(LoggingTest, UnopenableFileMakesCallsDoNothing) {
    std::string bad = (dir_ / "missing" / "x.log").string();
    InitLogging(bad);
    LogInfo("t", "lost");
    LogInfoW("t", L"lost");
    LogPushContext("c");
    LogPopContext();
    ShutdownLogging();
    EXPECT_FALSE(fs::exists(bad));

    // A folder in place of the file.
    InitLogging(dir_.string());
    LogInfo("t", "lost");
    ShutdownLogging();
    EXPECT_TRUE(fs::is_directory(dir_));
}

TEST_F(LoggingTest, LinesFromTwoThreadsNeverInterleave) {
    InitLogging(path_);
    constexpr int kPerThread = 400;
    // Long enough that a split write would show.
    std::string pad(300, '.');
    auto worker = [&](const char* tag, bool wide) {
        for (int i = 0; i < kPerThread; ++i) {
            if (wide)
                LogInfoW(tag, L"%d %s", i, pad.c_str());
            else
                LogInfo(tag, "%d %s", i, pad.c_str());
        }
    };
    std::thread a(worker, "A", false);
    std::thread b(worker, "B", true);
    a.join();
    b.join();
    ShutdownLogging();

    std::map<std::string, std::set<std::string>> tids;
    std::map<std::string, int> counts;
    auto lines = Lines();
    ASSERT_EQ(lines.size(), 3u + 2 * kPerThread);
    for (size_t i = 2; i + 1 < lines.size(); ++i) {
        ASSERT_THAT(lines[i], MatchesRegex(Line("INFO (A|B) <>", "[0-9]+ \\.{300}")));
        std::string tag = lines[i].substr(lines[i].find("INFO ") + 5, 1);
        tids[tag].insert(ThreadIdOf(lines[i]));
        ++counts[tag];
    }
    EXPECT_EQ(counts["A"], kPerThread);
    EXPECT_EQ(counts["B"], kPerThread);
    ASSERT_EQ(tids["A"].size(), 1u);
    ASSERT_EQ(tids["B"].size(), 1u);
    EXPECT_NE(*tids["A"].begin(), *tids["B"].begin());
    EXPECT_NE(*tids["A"].begin(), std::to_string(::gettid()));
}

TEST_F(LoggingTest, StartAndStopWhileOtherThreadsLog) {
    std::atomic<bool> stop{false};
    auto worker = [&] {
        while (!stop) {
            LogInfo("busy", "%s", "line");
            LogPushContext("ctx");
            LogWarnW("busy", L"%ls", L"wide");
            LogPopContext();
        }
    };
    std::thread a(worker), b(worker);
    for (int i = 0; i < 30; ++i) {
        InitLogging(path_);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ShutdownLogging();
    }
    stop = true;
    a.join();
    b.join();

    auto lines = Lines();
    int starts = 0;
    for (const auto& line : lines) {
        ASSERT_THAT(line,
                    MatchesRegex(std::string(kLinePrefix) + "(INFO|WARN) [a-z]+ <(ctx)?> - .*\r"));
        if (MessageOf(line) == "Logger initialized.") ++starts;
    }
    EXPECT_EQ(starts, 30);
}

}  // namespace

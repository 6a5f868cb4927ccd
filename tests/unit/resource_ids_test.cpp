// The build's namer of resource numbers on small resource folders: the names
// it makes and takes, and the mistakes that stop the build.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>

#include "support/process_harness.h"

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

class ResourceIds : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* d : {"res/dialogs", "res/menus", "res/accelerators"})
            std::filesystem::create_directories(dir_ / d);
        Write("res/strings.txt",
              "# c; args: none\n254=You are using the latest version.\n"
              "# c; args: %ls size; name: DownloadProgress\n32827=%ls: %ls of %ls bytes\n"
              "# c; args: %d count\n33011=%d of the imported addresses are known; 100%%\n");
        Write("res/dialogs/154.dlg",
              "DIALOG 154 440 300 \"General\" name=GeneralPage\n"
              "CONTROL 1194 edit 26 60 388 26 \"\" name=OutputFolder\n"
              "CONTROL 1195 button 186 96 110 28 \"&Browse...\"\n"
              "CONTROL 1402 static 26 36 388 20 \"\"\n");
        Write("res/menus/184.menu",
              "MENU 184 name=Context\nPOPUP \"Tasks\"\n"
              "  ITEM 32796 \"Show in &Folder\\tCtrl+E\"\n"
              "  ITEM 32774 \"Show in &Folder\" name=HistoryShowInFolder\nEND\n");
        Write("res/accelerators/249.acc", "ACCELERATORS 249\nKEY F10 33500 name=MainMenu\n");
        Write("ja.ini", "[STRING]\n254=x\n32827=%ls: %ls / %ls\n33011=%d 件; 100%%\n");
    }
    void Write(const std::string& rel, const std::string& text) {
        WriteFile((dir_ / rel).string(), text);
    }
    // The namer's exit status; its output in `out`.
    int Run(std::string& out) {
        testsupport::ProgramRun run(CLIPVANE_TOOLS_DIR "/cvres_ids", dir_.string());
        run.args = {(dir_ / "ids.h").string(), (dir_ / "res").string(), (dir_ / "ja.ini").string()};
        if (!run.Start()) return -2;
        const int status = run.Wait(std::chrono::seconds(20));
        out = run.Output();
        return status < 0 ? status : WEXITSTATUS(status);
    }
    std::string Header() const { return ReadFile((dir_ / "ids.h").string()); }

    testsupport::TempDir tmp_;
    std::filesystem::path dir_ = tmp_.path();
};

TEST_F(ResourceIds, NamesComeFromTheTextOrTheSourceAndEachKindHasItsOwn) {
    std::string out;
    ASSERT_EQ(Run(out), 0) << out;
    const std::string h = Header();
    for (const char* line : {
             "inline constexpr unsigned kYouAreUsingLatest = 254;",   // articles left out
             "inline constexpr unsigned kDownloadProgress = 32827;",  // the comment's name
             "inline constexpr unsigned kOfImportedAddressesAre = 33011;",
             "inline constexpr int kShowInFolder = 32796;",  // the key hint is no word
             "inline constexpr int kHistoryShowInFolder = 32774;",
             "inline constexpr int kMainMenu = 33500;",
             "inline constexpr int kContext = 184;",
             "inline constexpr int kGeneralPage = 154;",
             "namespace general_page {",
             "inline constexpr int kOutputFolder = 1194;",
             "inline constexpr int kBrowse = 1195;",
         })
        EXPECT_NE(h.find(line), std::string::npos) << line << "\n" << h;
    // A control with no text and no name gets none.
    EXPECT_EQ(h.find("= 1402;"), std::string::npos);

    // Run again with nothing changed: the header keeps its time, so nothing rebuilds.
    const auto written = std::filesystem::last_write_time(dir_ / "ids.h");
    std::filesystem::last_write_time(dir_ / "ids.h", written - std::chrono::hours(1));
    ASSERT_EQ(Run(out), 0) << out;
    EXPECT_EQ(std::filesystem::last_write_time(dir_ / "ids.h"), written - std::chrono::hours(1));
}

TEST_F(ResourceIds, ATranslationWithOtherArgumentsStopsTheBuild) {
    struct Case {
        const char* line;
        const char* said;
    } cases[] = {
        {"32827=%ls: %d / %ls",
         "ja.ini:3: string 32827 has %ls %d %ls where the English text has %ls %ls %ls"},
        {"32827=%ls: %ls",
         "ja.ini:3: string 32827 has %ls %ls where the English text has %ls %ls %ls"},
        {"32827=%ls %ls %ls 100%", "string 32827 has %ls %ls %ls % where"},
        {"254=%d", "string 254 has %d where the English text has no arguments"},
    };
    for (const Case& c : cases) {
        std::string ja = "[STRING]\n254=x\n32827=%ls: %ls / %ls\n33011=%d 件; 100%%\n";
        const std::string key = std::string(c.line).substr(0, std::string(c.line).find('='));
        const size_t at = ja.find("\n" + key + "=") + 1;
        ja.replace(at, ja.find('\n', at) - at, c.line);
        Write("ja.ini", ja);
        std::filesystem::remove(dir_ / "ids.h");
        std::string out;
        EXPECT_EQ(Run(out), 1) << c.line;
        EXPECT_NE(out.find(c.said), std::string::npos) << out;
        EXPECT_FALSE(std::filesystem::exists(dir_ / "ids.h")) << c.line;
    }
}

TEST_F(ResourceIds, TwoNumbersWithOneNameStopTheBuild) {
    std::string out;
    Write("res/strings.txt",
          "# c; args: none\n259=Show in Folder\n# c; args: none\n260=Show in folder!\n");
    EXPECT_EQ(Run(out), 1);
    EXPECT_NE(out.find("string 260 and 259 (strings.txt:2) are both named ShowInFolder"),
              std::string::npos)
        << out;

    // One command named two ways in two places.
    Write("res/strings.txt", "# c; args: none\n259=Show in Folder\n");
    Write("res/accelerators/249.acc", "ACCELERATORS 249\nKEY F10 32796 name=Reveal\n");
    Write("res/menus/184.menu",
          "MENU 184\nPOPUP \"Tasks\"\n  ITEM 32796 \"Show in &Folder\" name=Show\nEND\n");
    EXPECT_EQ(Run(out), 1);
    EXPECT_NE(out.find("command 32796 is named both Show (menus/184.menu) and Reveal"),
              std::string::npos)
        << out;
}

}  // namespace

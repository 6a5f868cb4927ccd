// Pages only yt-dlp can serve, through the window with Debian's real yt-dlp:
// pasted, Download All, the rows, their tooltips, the history and the site
// panel; a stop midway; and the same window with yt-dlp missing. The pages
// are served over http through the stand-in proxy, which yt-dlp honours.
#include <QClipboard>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "download/fakesites_harness.h"
#include "download/site_helpers.h"
#include "extractor/extractor_media.h"
#include "main_window_fixture.h"
#include "resource_ids.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/site_tree_panel.h"

using namespace windowtest;
using ui::kColStatus;
namespace fs = std::filesystem;

namespace {

using ids::cmd::kDownloadAll, ids::cmd::kPaste, ids::cmd::kStop;

class ExtractorWindow : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        sites_.filesDir = extractortest::MediaDir();
        ASSERT_TRUE(sites_.StartFile("extractor_pages.json"));
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
        setenv("TMPDIR", tmp_.path().c_str(), 1);
        // What is learnt of yt-dlp is kept apart from the user's own.
        if (const char* d = std::getenv("XDG_DATA_HOME")) dataHome_ = d;
        setenv("XDG_DATA_HOME", (tmp_ / "data").c_str(), 1);
        UseExtractor("");
    }
    void TearDown() override {
        MainWindow::TearDown();
        UseExtractor("");
        unsetenv("TMPDIR");
        if (dataHome_)
            setenv("XDG_DATA_HOME", dataHome_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
    }
    static void UseExtractor(const std::string& path) {
        GetSettings().Update([&](SettingsData& d) { d.ExtractorPath = FromUtf8(path); });
    }
    std::string Source(int row) { return platform::ToUtf8(Model().TaskAt(row)->source); }
    // yt-dlp's private folders left anywhere the window works.
    std::vector<std::string> PrivateFolders() {
        std::vector<std::string> out;
        std::error_code ec;
        for (const std::string& top : {out_.path(), tmp_.path()})
            for (auto& e : fs::recursive_directory_iterator(top, ec))
                if (e.path().filename().string().find("clipvane-extractor-") != std::string::npos)
                    out.push_back(e.path().string());
        return out;
    }
    testsupport::FakeSites sites_;
    testsupport::TempDir tmp_;
    std::optional<std::string> dataHome_;
};

}  // namespace

TEST_F(ExtractorWindow, PagesOnlyYtDlpKnowsEndAsPlayableFilesWithRowsHistoryAndPanel) {
    CloseCompletions();
    CClipvaneDlg& w = Window();
    CountIntakes();
    // A DASH manifest yt-dlp fetches and merges, and a plain file it finds
    // for our engine.
    QApplication::clipboard()->setText(
        "http://dash.clipvane.test/show/lake\nhttp://og.clipvane.test/watch/park\n");
    w.OnCommand(kPaste);
    ASSERT_EQ(Model().rowCount(), 2);
    w.OnCommand(kDownloadAll);
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 120000));
    ASSERT_TRUE(WaitIntakes(2));

    for (int row : {0, 1}) {
        EXPECT_EQ(Model().CellText(row, kColStatus), "Download complete") << row;
        EXPECT_EQ(Model().TaskAt(row)->siteKind, kSiteOther);
        EXPECT_EQ(Model().TaskAt(row)->onlinePending, 0);
        EXPECT_EQ(extractortest::Streams(Source(row)), "video,audio") << Source(row);
    }
    EXPECT_EQ(fs::path(Source(0)).parent_path(), fs::path(out_ / "dash.clipvane.test"));
    EXPECT_EQ(Model().CellText(0, 1), "Lake in two streams");
    EXPECT_EQ(Model().CellText(1, 1), "Park at noon");
    EXPECT_EQ(Model().CellText(0, 4), "320x240");
    // The tooltip names the way that served each.
    EXPECT_TRUE(Model()
                    .index(0, ui::kColName)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains("Found and downloaded by yt-dlp (Generic)"))
        << Model().index(0, ui::kColName).data(Qt::ToolTipRole).toString().toStdString();
    EXPECT_TRUE(Model()
                    .index(1, ui::kColName)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains("Found by yt-dlp (Generic), downloaded by Clipvane"))
        << Model().index(1, ui::kColName).data(Qt::ToolTipRole).toString().toStdString();
    EXPECT_EQ(HistoryRows(), 2);
    EXPECT_EQ(PrivateFolders(), std::vector<std::string>{});

    ui::SitePanel* panel = SitePanel();
    ASSERT_NE(panel->HostItem(L"dash.clipvane.test"), nullptr);
    EXPECT_EQ(panel->HostItem(L"dash.clipvane.test")->parent(), panel->OtherSitesItem());
    EXPECT_EQ(panel->HostItem(L"dash.clipvane.test")->text(0), "dash.clipvane.test (1)");
}

TEST_F(ExtractorWindow, AStopMidwayEndsYtDlpAndLeavesNothingBehind) {
    CloseCompletions();
    CClipvaneDlg& w = Window();
    ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(L"http://slow.clipvane.test/show/pond"));
    w.OnCommand(kDownloadAll);
    // Stopped once yt-dlp has written part of the file.
    ASSERT_TRUE(SpinUntil(
        [&] {
            std::error_code ec;
            for (auto& e : fs::recursive_directory_iterator(out_.path(), ec))
                if (e.path().string().find(".part") != std::string::npos) return true;
            return false;
        },
        60000))
        << Model().CellText(0, kColStatus).toStdString();
    EXPECT_EQ(Model().CellText(0, kColStatus).toStdString().find("yt-dlp is downloading"), 0u)
        << Model().CellText(0, kColStatus).toStdString();
    const auto asked = std::chrono::steady_clock::now();
    w.OnCommand(kStop);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(5000));
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }));
    EXPECT_EQ(PrivateFolders(), std::vector<std::string>{});
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(out_ / "slow.clipvane.test", ec))
        ADD_FAILURE() << "left behind: " << e.path();
    EXPECT_EQ(Model().TaskAt(0)->onlinePending, 1) << "stays to be downloaded later";
    EXPECT_EQ(HistoryRows(), 0);
}

TEST_F(ExtractorWindow, WithoutYtDlpTheScannerServesWhatItCanAndTheRestSaysWhatToInstall) {
    UseExtractor(tmp_ / "no-such/yt-dlp");
    CloseCompletions();
    CClipvaneDlg& w = Window();
    CountIntakes();
    ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(L"http://og.clipvane.test/watch/park"));
    ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(L"http://dash.clipvane.test/show/lake"));
    w.OnCommand(kDownloadAll);
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 120000));
    ASSERT_TRUE(WaitIntakes(1));
    EXPECT_EQ(Model().CellText(0, kColStatus), "Download complete");
    EXPECT_EQ(extractortest::Streams(Source(0)), "video,audio");
    EXPECT_TRUE(Model()
                    .index(0, ui::kColName)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains("Found by Clipvane's page scanner"))
        << Model().index(0, ui::kColName).data(Qt::ToolTipRole).toString().toStdString();
    // The scanner finds the manifest, which only yt-dlp can fetch.
    EXPECT_EQ(Model().CellText(1, kColStatus), "Download failed");
    EXPECT_TRUE(StatusText().contains("This page may need yt-dlp: install the yt-dlp package"))
        << StatusText().toStdString();

    // A page without anything the scanner knows says what to install.
    ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(L"http://plain.clipvane.test/about"));
    w.OnCommand(kDownloadAll);
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 120000));
    EXPECT_EQ(Model().CellText(2, kColStatus), "Download failed");
    EXPECT_TRUE(
        StatusText().contains("No video was found on http://plain.clipvane.test/about; "
                              "for this site install the yt-dlp package"))
        << StatusText().toStdString();
    for (int row : {1, 2}) EXPECT_EQ(Model().TaskAt(row)->onlinePending, 1) << row;
    EXPECT_EQ(HistoryRows(), 1);
    EXPECT_EQ(PrivateFolders(), std::vector<std::string>{});
}

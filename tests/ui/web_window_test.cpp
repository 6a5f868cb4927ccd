// Addresses of other sites through the window: pasted https addresses,
// Download All, the rows, the history and the site panel, against the
// stand-in sites over TLS.
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>

#include "download/fakesites_harness.h"
#include "download/site_helpers.h"
#include "download/video_downloader.h"
#include "main_window_fixture.h"
#include "media/media_files.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"

using namespace windowtest;
using ui::kColStatus;
namespace fs = std::filesystem;

namespace {

class WebWindow : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        const std::string routes = R"({"routes": [
  {"host": "www.clipvane.test", "path": "/watch.html",
   "headers": {"Content-Type": "text/html; charset=utf-8"},
   "body": "<html><head><meta property=\"og:title\" content=\"Walk &amp; talk\"></head><video src=\"https://media.clipvane.test/v/walk.flv\"></video></html>"},
  {"host": "www.clipvane.test", "path": "/empty.html", "headers": {"Content-Type": "text/html"},
   "body": "<html><title>Nothing</title></html>"},
  {"host": "media.clipvane.test", "path_prefix": "/", "headers": {"Content-Type": "video/x-flv"},
   "body_file": "a.flv"}
]})";
        sites_.filesDir = mediatest::MediaDir();
        mediatest::Media("a.flv");
        ASSERT_TRUE(sites_.Start(routes));
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
        setenv("https_proxy", sites_.ProxyUrl().c_str(), 1);
        setenv("CURL_CA_BUNDLE", sites_.CaBundle().c_str(), 1);
    }
    void TearDown() override {
        MainWindow::TearDown();
        unsetenv("CURL_CA_BUNDLE");
    }
    testsupport::FakeSites sites_;
};

}  // namespace

TEST_F(WebWindow, HttpsAddressesDownloadIntoTheirHostsWithRowsHistoryAndPanel) {
    CloseCompletions();
    CClipvaneDlg& w = Window();
    CountIntakes();
    ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(L"https://www.clipvane.test/watch.html"));
    ASSERT_TRUE(
        w.findChild<ui::AddressIntake*>()->Add(L"https://media.clipvane.test/clips/park.flv"));
    ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(L"https://www.clipvane.test/empty.html"));
    // What the row says while it works.
    std::vector<QString> statuses;
    QObject::connect(&Model(), &QAbstractItemModel::dataChanged, [&](const QModelIndex& a) {
        if (a.row() == 0) {
            QString s = Model().CellText(0, kColStatus);
            if (statuses.empty() || statuses.back() != s) statuses.push_back(s);
        }
    });
    w.OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 60000));
    ASSERT_TRUE(WaitIntakes(2));

    EXPECT_EQ(Model().CellText(0, 1), "Walk & talk");
    EXPECT_EQ(Model().TaskAt(0)->siteKind, kSiteOther);
    EXPECT_EQ(Model().TaskAt(0)->onlinePending, 0);
    EXPECT_EQ(Model().CellText(0, 4), "160x120");
    // Named after the address's file: the window is set to use ids.
    EXPECT_EQ(Model().TaskAt(0)->source, FromUtf8(out_ / "clipvane.test/walk.flv"));
    EXPECT_EQ(Model().TaskAt(1)->source, FromUtf8(out_ / "media.clipvane.test/park.flv"));
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Connecting..."), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "Downloading..."), statuses.end());
    // The page without a video says so and stays to be tried again.
    EXPECT_EQ(Model().TaskAt(2)->onlinePending, 1);
    EXPECT_EQ(Model().CellText(2, kColStatus), "Download failed");
    EXPECT_TRUE(StatusText().contains("No video was found on https://www.clipvane.test/empty.html"))
        << StatusText().toStdString();
    EXPECT_FALSE(fs::exists(out_ / "clipvane.test/empty.mp4"));
    EXPECT_EQ(HistoryRows(), 2);

    // The site panel lists both hosts; choosing one shows its history.
    ui::SitePanel* panel = SitePanel();
    ASSERT_NE(panel->HostItem(L"clipvane.test"), nullptr);
    EXPECT_EQ(panel->HostItem(L"clipvane.test")->text(0), "clipvane.test (1)");
    EXPECT_EQ(panel->HostItem(L"media.clipvane.test")->text(0), "media.clipvane.test (1)");
    panel->Tree()->setCurrentItem(panel->HostItem(L"media.clipvane.test"));
    ASSERT_TRUE(SpinUntil([&] { return HistoryShown(); }));
    ui::HistoryListView* list = HistoryView();
    ASSERT_EQ(list->Model()->RowCount(), 1);
    EXPECT_EQ(list->Model()->TaskAt(0)->source, FromUtf8(out_ / "media.clipvane.test/park.flv"));
    EXPECT_EQ(list->Model()->TaskAt(0)->historyPageAddress,
              L"https://media.clipvane.test/clips/park.flv");
}

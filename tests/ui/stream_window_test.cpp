// Kept partial downloads across a restart of the window, and HLS streams,
// through the window against the stand-in sites over TLS.
#include <QClipboard>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "download/fakesites_harness.h"
#include "download/video_downloader.h"
#include "main_window_fixture.h"
#include "media/media_files.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/site_tree_panel.h"

using namespace windowtest;
using ui::kColStatus;
namespace fs = std::filesystem;

namespace {

constexpr int kDownloadAll = 32855, kStop = 32856, kRemoveSelected = 32828, kPaste = 57637;

class StreamWindow : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        sites_.filesDir = files_.path();
    }
    void TearDown() override {
        MainWindow::TearDown();
        unsetenv("https_proxy");
        unsetenv("CURL_CA_BUNDLE");
    }
    bool Serve(const std::string& routes) {
        if (!sites_.Start(R"({"routes": [)" + routes + "]}")) return false;
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
        setenv("https_proxy", sites_.ProxyUrl().c_str(), 1);
        setenv("CURL_CA_BUNDLE", sites_.CaBundle().c_str(), 1);
        return true;
    }
    // A window that keeps its pending rows where the program keeps them, as
    // a new start of the program makes it.
    CClipvaneDlg& Start() {
        win_ = std::make_unique<CClipvaneDlg>(history_, &desktop_);
        win_->KeepPendingRows(FromUtf8(data_ / "pending.txt"));
        win_->show();
        EXPECT_TRUE(SpinUntil([&] { return Run().Downloader() != nullptr; }));
        auto* timer = new QTimer(win_.get());
        QObject::connect(timer, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<ui::CompletionDialog*>(w); d && d->isVisible())
                    d->reject();
        });
        timer->start(20);
        return *win_;
    }
    void Restart() {
        win_->close();
        win_.reset();
        Start();
    }
    std::vector<testsupport::RecordedRequest> RequestsFor(const std::string& tail) const {
        std::vector<testsupport::RecordedRequest> out;
        for (auto& r : sites_.Requests())
            if (r.target.size() >= tail.size() &&
                r.target.compare(r.target.size() - tail.size(), tail.size(), tail) == 0)
                out.push_back(r);
        return out;
    }
    QString Status(int code) const {
        return QString::fromStdWString(CVideoDownloader::GetStatusText(code));
    }

    testsupport::TempDir files_, data_;
    testsupport::FakeSites sites_;
};

// A video of 3 MiB behind a strong ETag with ranges: the first two answers
// (the look at the address and the download) come slowly, so that a stop
// finds it half done.
class KeptPartial : public StreamWindow {
  protected:
    void SetUp() override {
        StreamWindow::SetUp();
        std::string bytes = testsupport::ReadFile(mediatest::Media("a.flv"));
        for (int i = 0; bytes.size() < (3u << 20); ++i) bytes += static_cast<char>(i * 7 + i / 253);
        served_ = bytes;
        testsupport::WriteFile(files_ / "clip.flv", served_);
        ASSERT_TRUE(Serve(R"({"host": "media.clipvane.test", "path": "/v/clip.flv",
   "body_file": "clip.flv", "ranges": true,
   "headers": {"Content-Type": "video/x-flv", "ETag": "\"clip-1\""},
   "versions": [{"rate": 400000}, {"rate": 400000}, {}]})"));
    }
    // Starts the download, stops it part way and restarts the window.
    void StopPartWayAndRestart() {
        CClipvaneDlg& w = Start();
        ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(kAddress));
        w.OnCommand(kDownloadAll);
        ASSERT_TRUE(SpinUntil(
            [&] {
                std::error_code ec;
                return fs::file_size(Temp(), ec) >= (1u << 20) && !ec;
            },
            30000));
        w.OnCommand(kStop);
        ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }));
        ASSERT_TRUE(SpinUntil([&] { return Model().CellText(0, kColStatus) == Status(111); }));
        kept_ = fs::file_size(Temp());
        ASSERT_GT(kept_, 0u);
        ASSERT_LT(kept_, served_.size());
        ASSERT_TRUE(fs::exists(Record()));
        Restart();
        ASSERT_EQ(Model().rowCount(), 1);
        EXPECT_EQ(Model().TaskAt(0)->source, kAddress);
        EXPECT_EQ(Model().TaskAt(0)->onlinePending, 1);
    }
    fs::path Final() const { return out_ / "media.clipvane.test/clip.flv"; }
    fs::path Temp() const { return out_ / "media.clipvane.test/clip.flv.cvt"; }
    fs::path Record() const { return out_ / "media.clipvane.test/clip.flv.cvr"; }

    static constexpr const wchar_t* kAddress = L"https://media.clipvane.test/v/clip.flv";
    std::string served_;
    uintmax_t kept_ = 0;
};

}  // namespace

TEST_F(KeptPartial, RestoredRowContinuesWhereTheStoppedDownloadEnded) {
    StopPartWayAndRestart();
    if (HasFatalFailure()) return;
    Window().OnCommand(kDownloadAll);
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 60000));
    EXPECT_EQ(Model().CellText(0, kColStatus), Status(110));
    EXPECT_EQ(testsupport::ReadFile(Final()), served_);
    EXPECT_FALSE(fs::exists(Temp()));
    EXPECT_FALSE(fs::exists(Record()));
    EXPECT_EQ(HistoryRows(), 1);
    // The last request went on from the kept bytes, under the file's ETag.
    auto asked = RequestsFor("/v/clip.flv");
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back().Header("Range"), "bytes=" + std::to_string(kept_) + "-");
    EXPECT_EQ(asked.back().Header("If-Range"), "\"clip-1\"");
}

TEST_F(KeptPartial, RemovingTheRestoredRowRemovesItsPartial) {
    StopPartWayAndRestart();
    if (HasFatalFailure()) return;
    Select(0);
    Window().OnCommand(kRemoveSelected);
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_FALSE(fs::exists(Temp()));
    EXPECT_FALSE(fs::exists(Record()));
    // Nothing is left to restore either.
    Restart();
    EXPECT_EQ(Model().rowCount(), 0);
}

TEST_F(StreamWindow, PastedHlsAddressEndsAsOneFileOfItsHost) {
    const std::string d = "cd '" + files_.path() + "' && ";
    ASSERT_EQ(mediatest::Shell(
                  d + "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=25 "
                      "-f lavfi -i sine -t 4 -c:v mpeg2video -c:a mp2 -g 25 -f hls -hls_time 1 "
                      "-hls_list_size 0 -hls_playlist_type vod -hls_segment_filename 'p_%03d.ts' "
                      "park.m3u8"),
              0);
    ASSERT_TRUE(Serve(R"({"host": "streams.clipvane.test", "path_prefix": "/hls/",
   "serve_files": true, "headers": {"Content-Type": "application/vnd.apple.mpegurl"}})"));
    CClipvaneDlg& w = Start();
    QApplication::clipboard()->setText("https://streams.clipvane.test/hls/park.m3u8");
    w.OnCommand(kPaste);
    ASSERT_EQ(Model().rowCount(), 1);
    w.OnCommand(kDownloadAll);
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 60000));
    EXPECT_EQ(Model().CellText(0, kColStatus), Status(110));
    EXPECT_EQ(HistoryRows(), 1);
    const fs::path file = out_ / "streams.clipvane.test/park.mp4";
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(Model().TaskAt(0)->source, FromUtf8(file.string()));
    EXPECT_FALSE(fs::exists(out_ / "streams.clipvane.test/park.ts"));
    EXPECT_EQ(Model().CellText(0, 4), "320x240");

    // The host is one of the other sites, with its one download.
    ui::SitePanel* panel = SitePanel();
    QTreeWidgetItem* host = panel->HostItem(L"streams.clipvane.test");
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->parent(), panel->OtherSitesItem());
    EXPECT_EQ(host->text(0), "streams.clipvane.test (1)");
}

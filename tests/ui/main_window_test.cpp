// The main window on real widgets: the task list, the downloader's messages
// (from the real worker against the stand-in sites), the intake of media
// files with the real player, the commands and closing.
#include "ui/main_window.h"

#include "main_window_fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <atomic>
#include <deque>
#include <filesystem>
#include <map>
#include <thread>

#include "app/helpers.h"
#include "app/localization.h"
#include "app/messages.h"
#include "app/settings.h"
#include "download/fakesites_harness.h"
#include "download/video_downloader.h"
#include "history/history.h"
#include "history/history_db.h"
#include "media/media_files.h"
#include "platform/folders.h"
#include "platform/message_box.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/history_rows.h"
#include "support/process_harness.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/menu_builder.h"
#include "ui/desktop/desktop_services.h"
#include "ui/dialogs/check_update_dlg.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"
#include "ui/preview/preview_panel.h"
#include "ui/run/run_reports.h"
#include "ui/run/window_messages.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_sheet.h"
#include "ui/shell/bitmap_button_bar.h"
#include "ui/shell/tips_panel.h"
#include "ui/shell/window_placement.h"
#include "ui/tasklist/task_list_model.h"
#include "ui/tasklist/task_list_view.h"

namespace {

using platform::FormatW;
using platform::FromUtf8;
using ui::kColStatus;

using namespace windowtest;

template <class D, class F>
void WhenOpen(QObject* owner, F act) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<D*>(w); d && d->isVisible()) {
                timer->stop();
                act(d);
                timer->deleteLater();
                return;
            }
        }
    });
    timer->start(10);
}

// ---- Rows, cells and their colours ----

TEST_F(MainWindow, NewOnlineRowShowsPendingTextsInDarkRedAndIsChecked) {
    const std::wstring a = L"http://www.youtube.com/watch?v=abc123";
    ASSERT_TRUE(Window().AddAddress(a));
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_TRUE(Model().IsChecked(0));
    const QStringList want = {QString::fromStdWString(a), "N/A", "Online", "N/A", "N/A",
                              "Ready for download..."};
    for (int col = 1; col <= 6; ++col) {
        EXPECT_EQ(Model().CellText(0, col), want[col - 1]) << col;
        EXPECT_EQ(Model().CellColor(0, col), QColor(192, 0, 0)) << col;
        EXPECT_EQ(Model().CellBackground(0, col), Window().palette().color(QPalette::Base));
    }
    EXPECT_EQ(Model().data(Model().index(0, 1), Qt::ToolTipRole).toString(),
              QString::fromStdWString(a));
    EXPECT_EQ(Model().data(Model().index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(Model().TaskAt(0)->source, a);
    EXPECT_EQ(Model().TaskAt(0)->onlinePending, 1);
    EXPECT_EQ(Model().TaskAt(0)->siteKind, -2);
    // The status may be cut short in a narrow column: its tooltip is whole.
    EXPECT_EQ(Model().index(0, kColStatus).data(Qt::ToolTipRole).toString(),
              "Ready for download...");
}

TEST_F(MainWindow, AddAddressRefusesOtherSchemesAndIgnoresAPendingDuplicate) {
    const std::wstring refusal = LoadText(32782);
    // No site handler takes them: refused as they are added.
    for (const wchar_t* bad :
         {L"ftp://host/file.flv", L"file:///tmp/a.mp4", L"not an address", L""}) {
        EXPECT_FALSE(Window().AddAddress(bad)) << bad;
    }
    EXPECT_EQ(boxes_.Count(refusal), 4);
    EXPECT_EQ(boxes_.shown.back().flags & 0xF0, platform::MB_ICONWARNING);
    EXPECT_EQ(Model().rowCount(), 0);

    EXPECT_TRUE(Window().AddAddress(L"http://www.youtube.com/watch?v=a"));
    EXPECT_FALSE(Window().AddAddress(L"http://www.youtube.com/watch?v=a"));
    EXPECT_TRUE(Window().AddAddress(L"http://www.youtube.com/watch?v=A"));  // case counts
    // The same video however it is written: blanks, host case, "www.".
    for (const wchar_t* same :
         {L"http://www.youtube.com/watch?v=a ", L" http://WWW.YouTube.com/watch?v=a",
          L"http://youtube.com/watch?v=a", L"HTTP://youtube.com:80/watch?v=a#t=1"})
        EXPECT_FALSE(Window().AddAddress(same)) << same;
    EXPECT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(boxes_.shown.size(), 4u);  // the duplicate is ignored silently

    // Once removed, the address may come again.
    Select(0);
    Window().OnCommand(32828);
    EXPECT_EQ(Model().rowCount(), 1);
    EXPECT_TRUE(Window().AddAddress(L"http://www.youtube.com/watch?v=a"));
}

TEST_F(MainWindow, ProgressCellShowsPerMilleWithOneDecimal) {
    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    // Progress while no run is active is ignored.
    Run().OnProgress(0, {500, 0, 0});
    EXPECT_FALSE(Model().data(Model().index(0, kColStatus), ui::kProgressRole).isValid());
    EnterRun();
    Run().OnProgress(0, {1000, 0, 0});
    EXPECT_EQ(Model().data(Model().index(0, kColStatus), ui::kProgressRole).toInt(), 1000);
    Run().OnProgress(0, {5, 0, 0});
    EXPECT_EQ(Model().data(Model().index(0, kColStatus), ui::kProgressRole).toInt(), 5);
    EXPECT_FALSE(Model().data(Model().index(0, 1), ui::kProgressRole).isValid());
    // The status line names the title and the byte counts.
    EXPECT_FALSE(StatusText().isEmpty());
    // The cell paints without trouble.
    QImage img = TaskView()->grab().toImage();
    EXPECT_FALSE(img.isNull());
}

TEST_F(MainWindow, ErrorStatusIsDarkRedAndGoesToTheStatusLine) {
    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    Window().AddAddress(L"http://www.youtube.com/watch?v=b");
    EnterRun();
    Run().OnProgress(1, {300, 0, 0});
    Run().OnStatus(1, 201, L"");
    EXPECT_EQ(Model().CellText(1, kColStatus),
              QString::fromStdWString(CVideoDownloader::GetStatusText(201)));
    EXPECT_EQ(Model().CellColor(1, kColStatus), QColor(192, 0, 0));
    EXPECT_EQ(Model().Progress(1), -1);  // the bar is gone
    EXPECT_EQ(StatusText(), QString::fromStdWString(FormatW(LoadText(32831).c_str(), L"")));

    Run().OnStatus(0, 110, L"");
    const QString done = QString::fromStdWString(CVideoDownloader::GetStatusText(110));
    EXPECT_EQ(Model().CellText(0, kColStatus), done);
    EXPECT_FALSE(Model().CellColor(0, kColStatus).isValid());  // the list's own colours
    EXPECT_EQ(StatusText(), done);

    Run().OnRetry(0, 2);
    EXPECT_EQ(StatusText(), QString::fromStdWString(FormatW(LoadText(32832).c_str(), 2)));
}

TEST_F(MainWindow, DownloadButtonFollowsCheckedOnlineRowsAndTheRun) {
    ui::BitmapButtonBar* bar = Toolbar();
    auto download = [bar] { return bar->IsButtonEnabled(7); };
    auto stop = [bar] { return bar->IsButtonEnabled(8); };
    EXPECT_FALSE(download());
    EXPECT_FALSE(stop());

    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    EXPECT_TRUE(download());
    Select(0);
    Window().OnCommand(32832);  // uncheck selected
    EXPECT_FALSE(download());
    EXPECT_TRUE(Model().CellText(0, kColStatus).isEmpty());
    Window().OnCommand(32831);  // check selected
    EXPECT_TRUE(download());

    // Header click: every row off, then on.
    TaskView()->CheckHeader()->Toggle();  // on
    TaskView()->CheckHeader()->Toggle();  // off
    EXPECT_FALSE(Model().IsChecked(0));
    EXPECT_FALSE(download());
    TaskView()->CheckHeader()->Toggle();
    EXPECT_TRUE(download());

    EnterRun();
    EXPECT_FALSE(download());
    EXPECT_TRUE(stop());
    // Ticking a row during a run shows it waiting.
    Window().AddAddress(L"http://www.youtube.com/watch?v=b");
    Model().setData(Model().index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_TRUE(Model().CellText(1, kColStatus).isEmpty());
    Model().setData(Model().index(1, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(Model().CellText(1, kColStatus), "Waiting");
}

TEST_F(MainWindow, MediaRowsAloneLeaveDownloadDisabled) {
    CountIntakes();
    const std::string dir = mediatest::ScratchDir();
    ASSERT_TRUE(mediatest::CopyFile(mediatest::Media("a.flv"), dir + "/clip.flv"));
    ASSERT_TRUE(Intake().Add(FromUtf8(dir + "/clip.flv"), -1, -2, L""));
    ASSERT_TRUE(WaitIntakes(1));
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_TRUE(Model().IsChecked(0));
    EXPECT_FALSE(Toolbar()->IsButtonEnabled(7));
    EXPECT_FALSE(Window().IsCommandEnabled(32855));
}

TEST_F(MainWindow, RemovingIsRefusedDuringARun) {
    for (const wchar_t* a :
         {L"http://www.youtube.com/watch?v=a", L"http://www.youtube.com/watch?v=b"})
        Window().AddAddress(a);
    Select(1);
    EnterRun();
    EXPECT_FALSE(Window().IsCommandEnabled(32828));
    Window().OnCommand(32828);
    Window().OnCommand(32829);
    EXPECT_EQ(Model().rowCount(), 2);
    // After the run, the selected row goes and the registry stays aligned.
    Run().OnRunEnded(true);
    EXPECT_FALSE(Run().Downloading());
    Select(0);
    Window().OnCommand(32828);
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Model().TaskAt(0)->source, L"http://www.youtube.com/watch?v=b");
    EXPECT_EQ(Model().CellText(0, 1), "http://www.youtube.com/watch?v=b");
    Window().OnCommand(32829);
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_FALSE(Toolbar()->IsButtonEnabled(7));
}

TEST_F(MainWindow, MarkedRangeShowsAsHoursMinutesSeconds) {
    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    Task* t = Model().TaskAt(0);
    t->cutStartMs = 1000;
    t->cutEndMs = 3726000;
    Select(0);
    Window().HandleMessage(WM_MARK_CHANGED, 0, 0);
    EXPECT_EQ(Model().CellText(0, ui::kColDuration), "01:02:05");
}

TEST_F(MainWindow, SelectionAndDoubleClickReachThePreview) {
    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    Select(0);
    EXPECT_EQ(Preview()->CurrentTask(), Model().TaskAt(0));
    TaskView()->clearSelection();
    EXPECT_EQ(Preview()->CurrentTask(), nullptr);
    // Download selected needs one selected online row and no run.
    Select(0);
    EXPECT_TRUE(Window().IsCommandEnabled(32835));
    // A double click on a waiting online row downloads it.
    emit TaskView()->doubleClicked(Model().index(0, 1));
    EXPECT_TRUE(Run().Downloading());
    EXPECT_FALSE(Run().DownloadAllMode());
    Window().OnCommand(32856);
    EXPECT_FALSE(Run().Downloading());
    EnterRun();
    EXPECT_FALSE(Window().IsCommandEnabled(32835));
    Select(0);
    EXPECT_TRUE(Preview()->ControlsLocked());
}

// ---- Messages under a storm ----

TEST_F(MainWindow, StaysResponsiveUnderAStormOfProgressAndKeepsOrder) {
    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    Window().AddAddress(L"http://www.youtube.com/watch?v=b");
    EnterRun();
    std::atomic<bool> done{false};
    auto* reports = Window().findChild<ui::RunReports*>();
    ASSERT_NE(reports, nullptr);
    std::thread worker([&] {
        IRunObserver* t = reports;
        for (unsigned i = 0; i <= 200000; ++i) t->OnProgress(0, {i / 200, i, 200000});
        t->OnStatus(0, 110, L"");
        for (unsigned i = 0; i <= 1000; ++i) t->OnProgress(1, {i, i, 1000});
        done = true;
    });
    // The window's own timers still fire while the storm goes on.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    EXPECT_TRUE(SpinUntil([&] { return done && reports->Pending() == 0; }));
    worker.join();
    SpinUntil([&] { return Model().Progress(1) == 1000; }, 5000);
    EXPECT_GT(ticks, 0);
    EXPECT_EQ(Model().Progress(0), -1);  // the status came after its progress
    EXPECT_EQ(Model().CellText(0, kColStatus),
              QString::fromStdWString(CVideoDownloader::GetStatusText(110)));
    EXPECT_EQ(Model().Progress(1), 1000);
}

// ---- Media intake ----

TEST_F(MainWindow, LocalFileNameKeepsItsAmpersandAndShowsProbedValues) {
    CountIntakes();
    const std::string dir = mediatest::ScratchDir();
    const std::string path = dir + "/A&B.flv";
    ASSERT_TRUE(mediatest::CopyFile(mediatest::Media("a.flv"), path));
    ASSERT_TRUE(Intake().Add(FromUtf8(path), -1, -2, L""));
    ASSERT_TRUE(WaitIntakes(1));
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Model().CellText(0, 1), "A&B");
    EXPECT_EQ(Model().CellText(0, 2), QString::fromStdWString(FormatDuration(2000)));
    EXPECT_EQ(Model().CellText(0, 4), "160x120");
    EXPECT_EQ(Model().CellText(0, 5), "25 fps");
    EXPECT_FALSE(Model().CellColor(0, 1).isValid());
    EXPECT_EQ(Model().data(Model().index(0, 1), Qt::ToolTipRole).toString(),
              QString::fromStdString(path));
    EXPECT_EQ(Model().TaskAt(0)->source, FromUtf8(path));
    EXPECT_EQ(Model().TaskAt(0)->onlinePending, 0);
    EXPECT_EQ(Model().TaskAt(0)->hasAudio, 1);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(StatusText(), QString::fromStdWString(LoadText(32822)));
}

TEST_F(MainWindow, DropOfATextFileBetweenTwoVideosAddsTwoRowsInOrder) {
    CountIntakes();
    const std::string dir = mediatest::ScratchDir();
    ASSERT_TRUE(mediatest::CopyFile(mediatest::Media("a.flv"), dir + "/first.flv"));
    ASSERT_TRUE(mediatest::CopyFile(mediatest::Media("b.mp4"), dir + "/second.mp4"));
    testsupport::WriteFile(dir + "/notes.txt", "not a video\n");
    QMimeData data;
    data.setUrls(
        {FileUrl(dir + "/first.flv"), FileUrl(dir + "/notes.txt"), FileUrl(dir + "/second.mp4")});
    Window().DropData(&data);
    ASSERT_TRUE(WaitIntakes(3));
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Model().TaskAt(0)->source, FromUtf8(dir + "/first.flv"));
    EXPECT_EQ(Model().TaskAt(1)->source, FromUtf8(dir + "/second.mp4"));
    EXPECT_EQ(Model().CellText(0, 1), "first");
    EXPECT_EQ(Model().CellText(1, 1), "second");
    EXPECT_EQ(Model().CellText(1, 4), "176x144");
    const std::wstring refusal =
        FormatW(LoadText(32804).c_str(), FromUtf8(dir + "/notes.txt").c_str());
    EXPECT_EQ(boxes_.Count(refusal), 1);
    // The video without sound is warned about and still added.
    EXPECT_EQ(boxes_.Count(LoadText(32788)), 1);
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[0].text, refusal);  // in drop order
    EXPECT_EQ(StatusText(), QString::fromStdWString(LoadText(32788)));
    // A dropped file writes no history.
    EXPECT_EQ(HistoryRows(), 0);
}

TEST_F(MainWindow, DroppedTextIsTakenLineByLine) {
    QMimeData link;
    link.setText("http://www.youtube.com/watch?v=dropped");
    link.setUrls({QUrl("http://www.youtube.com/watch?v=dropped")});
    Window().DropData(&link);
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Model().TaskAt(0)->source, L"http://www.youtube.com/watch?v=dropped");
    QMimeData bad;
    bad.setText("two\nlines");
    Window().DropData(&bad);
    EXPECT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(boxes_.Count(platform::FormatW(LoadText(33506).c_str(), 2, L"\ntwo\nlines")), 1);

    // The history list takes drops too; they land in the task list.
    auto* history = qobject_cast<QAbstractScrollArea*>(ui::FindControl(&Window(), 1006));
    ASSERT_NE(history, nullptr);
    QMimeData onHistory;
    onHistory.setText("http://www.youtube.com/watch?v=on-history");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &onHistory, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(history->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &onHistory, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(history->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Model().TaskAt(1)->source, L"http://www.youtube.com/watch?v=on-history");
}

// ---- A whole run against the stand-in sites ----

class MainWindowRun : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        video_ = mediatest::Media("a.flv");
        silent_ = mediatest::Media("b.mp4");
        const std::string routes = R"({"routes": [
  {"host": "www.youtube.com", "path": "/watch?v=one", "body": "<title>YouTube - First</title>, \"t\": \"T1\""},
  {"host": "www.youtube.com", "path": "/watch?v=two", "body": "<title>YouTube - Second</title>, \"t\": \"T2\""},
  {"host": "www.youtube.com", "path": "/watch?v=three", "body": "<title>YouTube - Third</title>, \"t\": \"T3\""},
  {"host": "www.youtube.com", "path": "/watch?v=four", "body": "<title>YouTube - Fourth</title>, \"t\": \"T4\""},
  {"host": "www.youtube.com", "path": "/watch?v=bad", "body": "<title>YouTube - Bad</title>, \"t\": \"T5\""},
  {"host": "www.youtube.com", "path": "/watch?v=slow", "body": "<title>YouTube - Slow</title>, \"t\": \"T6\""},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=bad", "status": 302,
   "headers": {"Location": "http://v1.test/text"}},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=slow", "status": 302,
   "headers": {"Location": "http://v1.test/stall"}},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=", "status": 302,
   "headers": {"Location": "http://v1.test/video"}},
  {"host": "v1.test", "path": "/video", "body_file": "a.flv"},
  {"host": "v1.test", "path": "/text", "body": "this is no video at all"},
  {"host": "v1.test", "path": "/stall", "body_size": 300000, "stall_after": 50000}
]})";
        sites_.filesDir = mediatest::MediaDir();
        ASSERT_TRUE(sites_.Start(routes));
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
    }
    std::vector<std::string> WatchPagesFetched() {
        std::vector<std::string> pages;
        for (const auto& r : sites_.Requests())
            if (r.target.find("/watch?v=") != std::string::npos) pages.push_back(r.target);
        return pages;
    }
    // Accepts (or rejects) every completion dialog as it opens.
    void AnswerCompletion(bool accept) {
        auto* timer = new QTimer(&Window());
        QObject::connect(timer, &QTimer::timeout, [this, accept] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* d = qobject_cast<ui::CompletionDialog*>(w);
                if (!d || !d->isVisible()) continue;
                ++completions_;
                accept ? d->accept() : d->reject();
            }
        });
        timer->start(20);
    }
    testsupport::FakeSites sites_;
    std::string video_, silent_;
    int completions_ = 0;
};

TEST_F(MainWindowRun, DownloadAllQueuesCheckedOnlineRowsInRowOrder) {
    AnswerCompletion(false);
    for (const char* v : {"one", "two", "three", "four"})
        Window().AddAddress(FromUtf8(std::string("http://www.youtube.com/watch?v=") + v));
    Model().SetChecked(1, false);
    Window().OnCommand(32855);
    EXPECT_TRUE(Run().Downloading());
    EXPECT_TRUE(Run().DownloadAllMode());
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 60000));
    ASSERT_TRUE(SpinUntil([&] { return completions_ == 1; }));
    const std::vector<std::string> want = {"http://www.youtube.com/watch?v=one",
                                           "http://www.youtube.com/watch?v=three",
                                           "http://www.youtube.com/watch?v=four"};
    EXPECT_EQ(WatchPagesFetched(), want);
    // Finished rows became media rows; the unchecked one stayed online.
    EXPECT_EQ(Model().TaskAt(0)->onlinePending, 0);
    EXPECT_EQ(Model().TaskAt(1)->onlinePending, 1);
    EXPECT_EQ(HistoryRows(), 3);
}

TEST_F(MainWindowRun, FinishedDownloadWritesOneHistoryRowAndTheCompletionShowsOnce) {
    AnswerCompletion(true);
    int changes = 0;
    QObject::connect(&Window(), &CClipvaneDlg::historyChanged, [&] { ++changes; });
    Window().AddAddress(L"http://www.youtube.com/watch?v=one");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading() && completions_ > 0; }, 60000));
    SpinUntil([] { return false; }, 300);  // nothing more may come
    EXPECT_EQ(completions_, 1);
    EXPECT_EQ(desktop_.beeps, 1);
    EXPECT_EQ(desktop_.powerOffs, 0);
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0], VendorUpgradePage());

    EXPECT_EQ(HistoryRows(), 1);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(Model().rowCount(), 1);
    Task* t = Model().TaskAt(0);
    EXPECT_EQ(t->onlinePending, 0);
    EXPECT_EQ(t->siteKind, 0);
    EXPECT_EQ(t->originAddress, L"http://www.youtube.com/watch?v=one");
    EXPECT_TRUE(std::filesystem::exists(platform::ToUtf8(t->source)));
    EXPECT_FALSE(Model().IsChecked(0));
    EXPECT_EQ(Model().CellText(0, 1), "First");  // the page title stays
    EXPECT_EQ(Model().CellText(0, 4), "160x120");
    // The worker's last word on the row.
    EXPECT_EQ(Model().CellText(0, kColStatus),
              QString::fromStdWString(CVideoDownloader::GetStatusText(110)));
    EXPECT_FALSE(SitePanelShown()) << "the panel opens only when the user opens it";
    // Nothing is left to download, and the address may be added again.
    EXPECT_EQ(Model().CheckedPendingCount(), 0);
    EXPECT_FALSE(Toolbar()->IsButtonEnabled(7));
    EXPECT_FALSE(Model().HasPendingAddress(L"http://www.youtube.com/watch?v=one"));

    // A dropped file adds a row but no history.
    CountIntakes();
    QMimeData data;
    data.setUrls({FileUrl(video_)});
    Window().DropData(&data);
    ASSERT_TRUE(WaitIntakes(1));
    EXPECT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(HistoryRows(), 1);
    EXPECT_EQ(changes, 1);
}

TEST_F(MainWindowRun, TheEndOfRunNoticeCountsFinishedAndFailedAndEnterClosesIt) {
    QString said;
    bool closedByEnter = false;
    WhenOpen<ui::CompletionDialog>(&Window(), [&](ui::CompletionDialog* d) {
        for (QLabel* l : d->findChildren<QLabel*>()) said += l->text();
        QTest::keyClick(d, Qt::Key_Return);
        closedByEnter = !d->isVisible() && d->result() == QDialog::Rejected;
        if (d->isVisible()) d->reject();
    });
    Window().AddAddress(L"http://www.youtube.com/watch?v=one");
    Window().AddAddress(L"http://www.youtube.com/watch?v=unknown");
    // Downloaded, but not a video: failed too.
    Window().AddAddress(L"http://www.youtube.com/watch?v=bad");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return !said.isEmpty(); }, 60000));
    EXPECT_TRUE(said.startsWith("1 downloads finished, 2 failed.")) << said.toStdString();
    EXPECT_TRUE(closedByEnter);
    EXPECT_TRUE(desktop_.opened.empty());
}

TEST_F(MainWindowRun, AFileTheProbeRefusesKeepsItsRow) {
    AnswerCompletion(false);
    Window().AddAddress(L"http://www.youtube.com/watch?v=bad");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading() && completions_ > 0; }, 60000));
    ASSERT_EQ(Model().rowCount(), 1);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text.rfind(LoadText(32804).substr(0, 5), 0), 0u);
    EXPECT_EQ(Model().CellText(0, 1), "Bad");
    EXPECT_EQ(Model().CellText(0, 4), "N/A");
    // The row ends in what became of it, not in "Download complete".
    EXPECT_EQ(Model().CellText(0, kColStatus),
              QString::fromStdWString(CVideoDownloader::GetStatusText(kStatusNotPlayable)));
    EXPECT_EQ(HistoryRows(), 0);
}

TEST_F(MainWindowRun, ShutdownFlagPowersOffThroughTheDesktopInstead) {
    AnswerCompletion(true);
    GetSettings().Update([](SettingsData& d) { d.ShutdownFlag = 1; });
    Window().AddAddress(L"http://www.youtube.com/watch?v=one");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return desktop_.powerOffs > 0; }, 60000));
    SpinUntil([] { return false; }, 200);
    EXPECT_EQ(desktop_.powerOffs, 1);
    EXPECT_EQ(completions_, 0);
    EXPECT_TRUE(desktop_.opened.empty());
    EXPECT_FALSE(Window().isVisible());  // the program ends
}

TEST_F(MainWindowRun, ClosingDuringARunAsksAndNoKeepsBoth) {
    AnswerCompletion(false);
    Window().AddAddress(L"http://www.youtube.com/watch?v=slow");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return Model().Progress(0) >= 0; }, 30000));
    boxes_.answers = {platform::IDNO};
    Window().close();
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, LoadText(32805));
    EXPECT_EQ(boxes_.shown[0].flags, platform::MB_YESNO | platform::MB_ICONQUESTION);
    EXPECT_TRUE(Window().isVisible());
    EXPECT_TRUE(Run().Downloading());

    // Stop with the question: No keeps the run, Yes ends it within its 5 s.
    boxes_.answers = {platform::IDNO};
    Window().OnCommand(32836);
    EXPECT_TRUE(Run().Downloading());
    boxes_.answers = {platform::IDYES};
    QElapsedTimer t;
    t.start();
    Window().OnCommand(32836);
    EXPECT_LT(t.elapsed(), 6000);
    EXPECT_FALSE(Run().Downloading());
    ASSERT_TRUE(SpinUntil([&] {
        return Model().CellText(0, kColStatus) ==
               QString::fromStdWString(CVideoDownloader::GetStatusText(111));
    }));
    EXPECT_EQ(completions_, 0);  // a stop shows no completion

    // Now closing asks nothing and ends the window.
    const size_t asked = boxes_.shown.size();
    Window().close();
    EXPECT_EQ(boxes_.shown.size(), asked);
    EXPECT_FALSE(Window().isVisible());
}

TEST_F(MainWindowRun, ClosingDuringARunWithYesStopsTheWorker) {
    Window().AddAddress(L"http://www.youtube.com/watch?v=slow");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return Model().Progress(0) >= 0; }, 30000));
    Window().close();  // answered Yes
    EXPECT_FALSE(Window().isVisible());
    QElapsedTimer t;
    t.start();
    win_.reset();
    EXPECT_LT(t.elapsed(), 6000);
}

}  // namespace

namespace {

TEST_F(MainWindowRun, EveryRowOfSeventyThousandCanBeDownloaded) {
    AnswerCompletion(false);
    QElapsedTimer t;
    t.start();
    const int rows = 70000;
    const std::map<int, std::string> real = {{0, "one"}, {65536, "two"}, {69999, "three"}};
    for (int i = 0; i < rows; ++i) {
        auto it = real.find(i);
        Window().AddAddress(FromUtf8("http://www.youtube.com/watch?v=" +
                                     (it != real.end() ? it->second : "r" + std::to_string(i))));
    }
    std::printf("%d addresses added in %lld ms\n", rows, static_cast<long long>(t.elapsed()));
    ASSERT_EQ(Model().rowCount(), rows);
    EXPECT_EQ(Model().CheckedPendingCount(), rows);
    TaskView()->CheckHeader()->Toggle();  // all on
    TaskView()->CheckHeader()->Toggle();  // all off
    EXPECT_EQ(Model().CheckedPendingCount(), 0);
    for (const auto& [row, name] : real) Model().SetChecked(row, true);
    Window().OnCommand(32855);
    EXPECT_TRUE(Run().Downloading());
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 120000));
    for (const auto& [row, name] : real) {
        EXPECT_EQ(Model().TaskAt(row)->onlinePending, 0) << row;
        EXPECT_EQ(Model().CellText(row, kColStatus),
                  QString::fromStdWString(CVideoDownloader::GetStatusText(110)))
            << row;
    }
    EXPECT_EQ(HistoryRows(), 3);
    EXPECT_EQ(Model().TaskAt(1)->onlinePending, 1);
}

}  // namespace

// ---- As a user does it, on a real X server ----

namespace {

TEST_F(MainWindowRun, EndToEndPasteDownloadAndSeeTheResult) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (Xvfb)";
    CClipvaneDlg& w = Window();
    w.resize(999, 600);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    TaskView()->setFocus();
    QApplication::clipboard()->setText("http://www.youtube.com/watch?v=one");
    SpinUntil([] { return false; }, 200);
    QTest::keyClick(TaskView(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(SpinUntil([&] { return Model().rowCount() == 1; }, 5000));
    SaveScreenshot(&w, "1-pasted.png");

    bool completionSeen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* d = qobject_cast<ui::CompletionDialog*>(top);
            if (!d || !d->isVisible() || completionSeen) continue;
            completionSeen = true;
            SaveScreenshot(&w, "3-finished.png");
            SaveScreenshot(d, "4-completion.png");
            d->reject();
        }
    });
    poll.start(50);
    QTest::mouseClick(Toolbar(), Qt::LeftButton, {}, Toolbar()->ButtonRect(7).center());
    ASSERT_TRUE(SpinUntil([&] { return Model().Progress(0) >= 0 || !Run().Downloading(); }, 30000));
    SaveScreenshot(&w, "2-downloading.png");
    ASSERT_TRUE(SpinUntil([&] { return completionSeen; }, 60000));
    EXPECT_EQ(Model().CellText(0, 4), "160x120");
    EXPECT_EQ(HistoryRows(), 1);
    EXPECT_FALSE(SitePanelShown());
    std::printf("screenshots in %s\n", ScreenshotDir().c_str());
}

}  // namespace

// ---- Commands and their dialogs ----

namespace {

// Runs `act` on the first visible dialog of type D as soon as it opens.

// ---- The keyboard ----

// Presses keys as the user would: the window active, the focus where it is.
class MainWindowKeys : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    }
    void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* at = QApplication::focusWidget();
        ASSERT_NE(at, nullptr);
        QTest::keyClick(at, static_cast<Qt::Key>(key), mods);
    }
    QWidget* Focus() { return QApplication::focusWidget(); }
};

TEST_F(MainWindowKeys, FocusStartsInTheListAndTheFieldKeepsOnlyItsEditingKeys) {
    EXPECT_EQ(Focus(), TaskView());
    QLineEdit* field = FolderField();
    const QString folder = field->text();

    // In the list, Ctrl+V adds the address on the clipboard.
    QApplication::clipboard()->setText("http://www.youtube.com/watch?v=k1");
    Press(Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(Model().rowCount(), 1);

    // In the field, Ctrl+V pastes into the field and adds nothing.
    field->setFocus();
    ASSERT_EQ(Focus(), field);
    field->end(false);
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), folder + "http://www.youtube.com/watch?v=k1");
    EXPECT_EQ(Model().rowCount(), 1);
    Press(Qt::Key_Z, Qt::ControlModifier);  // the field's own undo
    EXPECT_EQ(field->text(), folder);

    // Ctrl+U is the version check there too, and the text stays.
    bool checked = false;
    WhenOpen<CCheckUpdateDlg>(&Window(), [&](CCheckUpdateDlg* d) {
        checked = true;
        d->reject();
    });
    Press(Qt::Key_U, Qt::ControlModifier);
    EXPECT_TRUE(SpinUntil([&] { return checked; }, 5000));
    EXPECT_EQ(field->text(), folder);
}

TEST_F(MainWindowKeys, AKeyDoesNothingWhereItsCommandIsDisabled) {
    // Ctrl+D with nothing to download: no run, no notice.
    Press(Qt::Key_D, Qt::ControlModifier);
    EXPECT_FALSE(Run().Downloading());
    SpinUntil([] { return false; }, 100);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<ui::CompletionDialog*>(w) && w->isVisible());
    // Ctrl+E on a row that is no file yet opens nothing.
    Window().AddAddress(L"http://www.youtube.com/watch?v=k2");
    Select(0);
    TaskView()->setFocus();
    Press(Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(desktop_.opened.empty());
    EXPECT_TRUE(desktop_.shown.empty());
    // Delete removes the selected row; Ctrl+A selects all.
    Window().AddAddress(L"http://www.youtube.com/watch?v=k3");
    Press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(TaskView()->SelectedRows().size(), 2);
    Press(Qt::Key_Delete);
    EXPECT_EQ(Model().rowCount(), 0);
}

TEST_F(MainWindowKeys, TabLeavesTheListAndF10OrAltAloneOpenTheMainMenu) {
    Window().AddAddress(L"http://www.youtube.com/watch?v=k4");
    Window().AddAddress(L"http://www.youtube.com/watch?v=k5");
    TaskView()->setFocus();
    Press(Qt::Key_Tab);
    EXPECT_NE(Focus(), TaskView());
    Press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(Focus(), TaskView());

    QMenu* menu = MainMenu();
    for (int way = 0; way < 2; ++way) {
        if (way == 0) {
            Press(Qt::Key_F10);
        } else {
            QTest::keyPress(Focus(), Qt::Key_Alt, Qt::AltModifier);
            QTest::keyRelease(Focus(), Qt::Key_Alt, Qt::NoModifier);
        }
        ASSERT_TRUE(SpinUntil([&] { return menu->isVisible(); }, 3000)) << way;
        EXPECT_NE(menu->activeAction(), nullptr);
        menu->close();
        ASSERT_TRUE(SpinUntil([&] { return !menu->isVisible(); }, 3000));
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
        TaskView()->setFocus();
    }
    // Alt as part of a chord opens nothing.
    QTest::keyPress(Focus(), Qt::Key_Alt, Qt::AltModifier);
    QTest::keyClick(Focus(), Qt::Key_X, Qt::AltModifier);
    QTest::keyRelease(Focus(), Qt::Key_Alt, Qt::NoModifier);
    SpinUntil([] { return false; }, 100);
    EXPECT_FALSE(menu->isVisible());

    // F9 shows and hides the site panel, as its button does.
    const bool shown = SitePanelShown();
    Press(Qt::Key_F9);
    EXPECT_NE(SitePanelShown(), shown);
    Press(Qt::Key_F9);
    EXPECT_EQ(SitePanelShown(), shown);
}

TEST_F(MainWindow, AddAddressesDialogAddsEveryLineInOrder) {
    WhenOpen<ui::AddAddressesDialog>(&Window(), [](ui::AddAddressesDialog* d) {
        d->Editor()->setPlainText(
            "http://www.youtube.com/watch?v=1\n\nhttp://www.youtube.com/watch?v=2\n"
            "http://www.youtube.com/watch?v=1\n");
        d->accept();
    });
    Window().OnCommand(32783);
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Model().TaskAt(0)->source, L"http://www.youtube.com/watch?v=1");
    EXPECT_EQ(Model().TaskAt(1)->source, L"http://www.youtube.com/watch?v=2");
    EXPECT_EQ(boxes_.Count(LoadText(32782)), 1);  // the empty line

    // Escape cancels: nothing is added.
    WhenOpen<ui::AddAddressesDialog>(&Window(), [](ui::AddAddressesDialog* d) {
        d->Editor()->setPlainText("http://www.youtube.com/watch?v=3");
        QTest::keyClick(d, Qt::Key_Escape);
        EXPECT_FALSE(d->isVisible());
    });
    Window().OnCommand(32783);
    EXPECT_EQ(Model().rowCount(), 2);
}

TEST_F(MainWindow, ImportAddsEachFoundAddressOnce) {
    const std::string file = out_ / "page.html";
    testsupport::WriteFile(file,
                           "<a href=\"/watch?v=abc123\">one</a> <a "
                           "href=\"http://www.youtube.com/watch?v=abc123\">again</a>\n"
                           "<a href=\"http://video.google.com/videoplay?docid=42\">g</a>\n");
    WhenOpen<ui::ImportDialog>(&Window(), [&](ui::ImportDialog* d) {
        d->Source()->setText(QString::fromStdString(file));
        d->accept();
    });
    Window().OnCommand(32854);
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Model().TaskAt(0)->source, L"http://www.youtube.com/watch?v=abc123");
    EXPECT_EQ(Model().TaskAt(1)->source, L"http://video.google.com/videoplay?docid=42");
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(MainWindow, ManyPastedLinesBecomeOneRowEachAndTheRefusedOneBox) {
    std::string text;
    for (int i = 0; i < 10000; ++i)
        text += i % 2 ? "line " + std::to_string(i) + " is no address\r\n"
                      : "  http://www.youtube.com/watch?v=m" + std::to_string(i) + " \n\n";
    QApplication::clipboard()->setText(QString::fromStdString(text));
    EXPECT_TRUE(Window().IsCommandEnabled(57637));
    Window().OnCommand(57637);
    ASSERT_EQ(Model().rowCount(), 5000);
    EXPECT_EQ(Model().TaskAt(4999)->source, L"http://www.youtube.com/watch?v=m9998");
    ASSERT_EQ(boxes_.shown.size(), 1u);
    const std::wstring& box = boxes_.shown[0].text;
    EXPECT_EQ(box.rfind(L"5000 lines", 0), 0u) << platform::ToUtf8(box);
    EXPECT_NE(box.find(L"line 1 is no address"), std::wstring::npos);
    EXPECT_NE(box.find(L"line 9 is no address"), std::wstring::npos);
    EXPECT_EQ(box.find(L"line 11 is no address"), std::wstring::npos);  // the first five only
}

TEST_F(MainWindow, PasteTakesTheWholeClipboardTextAsOneAddress) {
    QApplication::clipboard()->setText("http://www.youtube.com/watch?v=p");
    EXPECT_TRUE(Window().IsCommandEnabled(57637));
    Window().OnCommand(57637);
    ASSERT_EQ(Model().rowCount(), 1);
    QApplication::clipboard()->setText("just words");
    EXPECT_FALSE(Window().IsCommandEnabled(57637));
    Window().OnCommand(57637);  // disabled: nothing happens, not even a box
    EXPECT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(boxes_.Count(LoadText(32782)), 0);
}

TEST_F(MainWindow, EscapeAndEnterLeaveTheWindowOpen) {
    QTest::keyClick(&Window(), Qt::Key_Escape);
    QTest::keyClick(&Window(), Qt::Key_Return);
    EXPECT_TRUE(Window().isVisible());
}

TEST_F(MainWindow, ShowInFolderAndOutputFolderGoThroughTheDesktop) {
    CountIntakes();
    const std::string dir = mediatest::ScratchDir();
    ASSERT_TRUE(mediatest::CopyFile(mediatest::Media("a.flv"), dir + "/shown.flv"));
    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    Intake().Add(FromUtf8(dir + "/shown.flv"), -1, -2, L"");
    ASSERT_TRUE(WaitIntakes(1));
    Select(0);
    EXPECT_FALSE(Window().IsCommandEnabled(32796));  // an address is no file
    Select(1);
    EXPECT_TRUE(Window().IsCommandEnabled(32796));
    Window().OnCommand(32796);
    ASSERT_EQ(desktop_.shown.size(), 1u);
    EXPECT_EQ(desktop_.shown[0], FromUtf8(dir + "/shown.flv"));

    EXPECT_EQ(EnterFolder(QString::fromStdString("  " + out_.path() + "/sub//\\ ")),
              FromUtf8(out_.path() + "/sub"));
    Window().OnCommand(32779);
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0], FromUtf8(out_.path() + "/sub"));
    EXPECT_TRUE(std::filesystem::is_directory(out_.path() + "/sub"));
    EXPECT_EQ(EnterFolder("   "), platform::PersistentTempFolder());
}

}  // namespace

namespace {

TEST_F(MainWindow, MenuItemsAreEnabledByTheirRulesWhenTheMenuOpens) {
    QMenu* menu = MainMenu();
    ASSERT_NE(menu, nullptr);
    QAction* all = ui::FindCommand(menu, 32855);
    QAction* stop = ui::FindCommand(menu, 32836);
    QAction* add = ui::FindCommand(menu, 32783);
    ASSERT_TRUE(all && stop && add);
    emit menu->aboutToShow();
    EXPECT_FALSE(all->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(add->isEnabled());
    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    emit menu->aboutToShow();
    EXPECT_TRUE(all->isEnabled());
    EnterRun();
    emit menu->aboutToShow();
    EXPECT_FALSE(all->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    Run().OnRunEnded(true);

    // The language items show the language in use.
    QAction* english = ui::FindCommand(menu, 32849);
    ASSERT_NE(english, nullptr);
    EXPECT_TRUE(english->isChecked());
    // Choosing an item runs its command.
    Select(0);
    menu->triggered(ui::FindCommand(menu, 32835));
    EXPECT_TRUE(Run().Downloading());
    Window().OnCommand(32856);
    EXPECT_FALSE(Run().Downloading());
}

}  // namespace

namespace {

// The demo's sites: real short videos from all four stand-in sites.
TEST_F(MainWindow, DemoPageImportedAndDownloadedBecomesMediaRowsAndHistory) {
    testsupport::FakeSites sites;
    ASSERT_TRUE(sites.StartDemo());
    sites.UseAsProxy();
    unsetenv("no_proxy");
    int completions = 0;
    auto* timer = new QTimer(&Window());
    QObject::connect(timer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<ui::CompletionDialog*>(w); d && d->isVisible()) {
                ++completions;
                d->reject();
            }
    });
    timer->start(20);
    WhenOpen<ui::ImportDialog>(&Window(), [](ui::ImportDialog* d) {
        d->Source()->setText("http://demo.clipvane.test/");
        d->accept();
    });
    Window().OnCommand(32854);
    ASSERT_EQ(Model().rowCount(), 2);  // the YouTube and Google Video links
    Window().AddAddress(L"http://www.metacafe.com/watch/123/funny_cat/");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return completions > 0; }, 90000));
    ASSERT_EQ(Model().rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(Model().TaskAt(row)->onlinePending, 0) << row;
        EXPECT_EQ(Model().CellText(row, 4), "320x240") << row;
        EXPECT_EQ(Model().CellText(row, 2), "00:00:05") << row;
    }
    EXPECT_EQ(Model().TaskAt(0)->siteKind, 0);
    EXPECT_EQ(Model().TaskAt(1)->siteKind, 1);
    EXPECT_EQ(Model().TaskAt(2)->siteKind, 2);
    EXPECT_EQ(Model().TaskAt(2)->hasAudio, 0);
    EXPECT_EQ(boxes_.Count(LoadText(32788)), 1);  // the cat has no sound
    EXPECT_EQ(HistoryRows(), 3);
    EXPECT_EQ(completions, 1);
}

}  // namespace

namespace {

TEST_F(MainWindow, FullSizePreviewHidesTheRestAndComesBack) {
    Window().HandleMessage(WM_PREVIEW_EXPANDED, 1, 0);
    EXPECT_FALSE(TaskView()->isVisible());
    EXPECT_FALSE(Toolbar()->isVisible());
    EXPECT_EQ(Preview()->geometry(), QRect(11, 30, Window().width() - 22, Window().height() - 60));
    Window().HandleMessage(WM_PREVIEW_EXPANDED, 0, 0);
    EXPECT_TRUE(TaskView()->isVisible());
    EXPECT_TRUE(Toolbar()->isVisible());
    EXPECT_EQ(Preview()->size(), QSize(CPreviewPanel::kWidth, CPreviewPanel::kHeight));
}

TEST_F(MainWindow, ClosingDuringAProbeEndsTheProbeRatherThanWaitingForIt) {
    // The player blocks on a pipe without a writer until its time limit.
    const std::string fifo = out_ / "pipe.flv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CountIntakes();
    QMimeData data;
    data.setUrls({FileUrl(fifo)});
    Window().DropData(&data);
    ASSERT_EQ(Intake().Pending(), 1u);
    SpinUntil([] { return false; }, 500);  // the probe is under way
    QElapsedTimer t;
    t.start();
    win_.reset();
    EXPECT_LT(t.elapsed(), 10000);  // the probe's limit is 30 s
}

TEST_F(MainWindow, CaptionButtonsMaximiseAndRestoreThroughTheirTwoBars) {
    auto* maxBar = Window().findChild<ui::BitmapButtonBar*>(QStringLiteral("ctl1000"));
    auto* restoreBar = Window().findChild<ui::BitmapButtonBar*>(QStringLiteral("restoreBar"));
    ASSERT_TRUE(maxBar && restoreBar);
    ASSERT_FALSE(Window().isMaximized());
    EXPECT_TRUE(maxBar->isVisible());
    EXPECT_FALSE(restoreBar->isVisible());
    // Placed at the right end of the caption, whatever the width.
    EXPECT_EQ(maxBar->geometry(), QRect(Window().width() - 71, 4, 66, 20));

    QTest::mouseClick(maxBar, Qt::LeftButton, {}, maxBar->ButtonRect(2).center());
    ASSERT_TRUE(SpinUntil([&] { return Window().isMaximized(); }, 5000));
    EXPECT_FALSE(maxBar->isVisible());
    EXPECT_TRUE(restoreBar->isVisible());
    EXPECT_EQ(restoreBar->geometry().topLeft(), QPoint(Window().width() - 71, 3));

    QTest::mouseClick(restoreBar, Qt::LeftButton, {}, restoreBar->ButtonRect(2).center());
    ASSERT_TRUE(SpinUntil([&] { return !Window().isMaximized(); }, 5000));
    EXPECT_TRUE(maxBar->isVisible());
}

}  // namespace

namespace {

// Closes the window and starts it again over the settings as saved.
class MainWindowRestart : public MainWindow {
  protected:
    void Restart() {
        Window().close();
        win_.reset();
        GetSettings().Update([](SettingsData& d) { d.OutputFolder = L"/forgotten"; });
        GetSettings().Load();
    }
    std::wstring Folder() { return FolderField()->text().toStdWString(); }
};

TEST_F(MainWindowRestart, AFolderTypedChosenOrSetInTheSheetIsKeptAfterARestart) {
    const std::string typed = out_.path() + "/typed", chosen = out_.path() + "/chosen",
                      sheet = out_.path() + "/sheet";
    // Typed into the field and taken with Enter.
    QLineEdit* field = FolderField();
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromStdString(typed + "/ "));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(GetSettings().Get().OutputFolder, FromUtf8(typed));
    Restart();
    EXPECT_EQ(Folder(), FromUtf8(typed));
    EXPECT_TRUE(std::filesystem::is_directory(typed));

    // Chosen from the menu.
    std::filesystem::create_directories(chosen);
    WhenOpen<QFileDialog>(&Window(), [&](QFileDialog* d) {
        d->setDirectory(QString::fromStdString(chosen));
        QMetaObject::invokeMethod(d, "accept");
    });
    Window().OnCommand(32780);
    EXPECT_EQ(Folder(), FromUtf8(chosen));
    Restart();
    EXPECT_EQ(Folder(), FromUtf8(chosen));

    // Set in the settings sheet.
    WhenOpen<ui::SettingsSheet>(&Window(), [&](ui::SettingsSheet* s) {
        s->General()->EnsureLoaded();
        s->General()->FolderEdit()->setText(QString::fromStdString(sheet));
        s->accept();
    });
    Window().OnCommand(32791);
    EXPECT_EQ(Folder(), FromUtf8(sheet));
    Restart();
    EXPECT_EQ(Folder(), FromUtf8(sheet));

    // A download takes the folder of the moment.
    Window().AddAddress(L"http://www.youtube.com/watch?v=f");
    Window().OnCommand(32855);
    EXPECT_TRUE(Run().Downloading());
    Window().OnCommand(32856);
}

TEST_F(MainWindowRestart, AFolderThatCannotTakeDownloadsIsRefusedWhereChosen) {
    const std::wstring before = Folder();
    const std::string file = out_.path() + "/a-file";
    testsupport::WriteFile(file, "x");
    struct Case {
        std::string path;
        unsigned reason;
    } cases[] = {{file, 33501}, {file + "/below", 33501}};  // a file on the way
    for (const Case& c : cases) {
        boxes_.shown.clear();
        QLineEdit* field = FolderField();
        field->setText(QString::fromStdString(c.path));
        field->setModified(true);
        emit field->editingFinished();
        ASSERT_EQ(boxes_.shown.size(), 1u) << c.path;
        EXPECT_NE(boxes_.shown[0].text.find(LoadText(c.reason)), std::wstring::npos)
            << platform::ToUtf8(boxes_.shown[0].text);
        EXPECT_NE(boxes_.shown[0].text.find(before), std::wstring::npos);
        EXPECT_EQ(Folder(), before);
        EXPECT_EQ(GetSettings().Get().OutputFolder, before);
    }
    // Leaving the field afterwards takes nothing and asks nothing.
    emit FolderField()->editingFinished();
    EXPECT_EQ(boxes_.shown.size(), 1u);
    Restart();
    EXPECT_EQ(Folder(), before);
}

TEST_F(MainWindow, SettingsSheetConfirmedKeepsTheWindowsFolderAndDownloader) {
    const QString folder = FolderField()->text();
    WhenOpen<ui::SettingsSheet>(&Window(), [](ui::SettingsSheet* s) { s->accept(); });
    Window().OnCommand(32791);
    EXPECT_EQ(FolderField()->text(), folder);
    EXPECT_NE(Run().Downloader(), nullptr);
    WhenOpen<ui::SettingsSheet>(&Window(), [](ui::SettingsSheet* s) { s->reject(); });
    Window().OnCommand(32791);
    EXPECT_EQ(FolderField()->text(), folder);
}

}  // namespace

namespace {

TEST_F(MainWindow, ClosingStoresThePlacementAndTheSitePanelState) {
    Window().AddAddress(L"http://www.youtube.com/watch?v=a");
    EXPECT_FALSE(SitePanelShown());  // no history yet
    Window().HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    EXPECT_TRUE(SitePanelShown());
    Window().close();
    const ui::StoredWindowState stored = ui::LoadWindowPlacement(QSize(1024, 768));
    EXPECT_TRUE(stored.showSitePanel);
    EXPECT_EQ(stored.placement.right - stored.placement.left, 999);
}

}  // namespace

namespace {

TEST_F(MainWindow, NewVersionMessageOpensTheAnnouncement) {
    ProgramVersion shown;
    WhenOpen<CCheckUpdateDlg>(&Window(), [&](CCheckUpdateDlg* d) {
        shown = d->Newest();
        d->reject();
    });
    Window().HandleMessage(MsgNewVersion, (9u << 16) | 2u, 17);
    EXPECT_EQ(shown, (ProgramVersion{2, 9, 17}));
    // The other results show nothing.
    Window().HandleMessage(MsgNoNewVersion, 0, 0);
    Window().HandleMessage(MsgCheckFailed, 0, 0);
    EXPECT_TRUE(boxes_.shown.empty());
}

}  // namespace

namespace {

// ---- The site panel and the history list ----

class MainWindowHistory : public MainWindow {
  protected:
    void AddRow(int kind, const std::wstring& path, const std::wstring& page) {
        ASSERT_EQ(AddHistoryRow(history_, testsupport::HistoryTask(kind, path, page)), 1);
    }
    void ChooseSite(int value) {
        ui::SitePanel* panel = SitePanel();
        panel->Tree()->setCurrentItem(value < 0 ? panel->FirstRoot() : panel->SiteItem(value));
    }
    void SelectHistoryRow(int row) {
        ui::HistoryListView* v = HistoryView();
        v->clearSelection();
        v->selectionModel()->select(v->model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

TEST_F(MainWindowHistory, ChoosingASiteShowsItsHistoryAndTheFirstRootTheTaskList) {
    const std::string file = out_ / "kept.flv";
    testsupport::WriteFile(file, "x");
    AddRow(0, FromUtf8(file), L"http://www.youtube.com/watch?v=1");
    AddRow(0, L"/no/such/file.flv", L"http://www.youtube.com/watch?v=2");
    AddRow(1, L"/other/site.flv", L"");
    CClipvaneDlg& w = Window();
    if (!SitePanelShown()) w.HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    EXPECT_EQ(SitePanel()->SiteItem(1000)->text(0), "YouTube (2)");
    ui::HistoryListView* list = HistoryView();
    EXPECT_FALSE(list->isVisible());

    ChooseSite(1000);
    ASSERT_TRUE(SpinUntil([&] { return HistoryShown(); }));
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(TaskView()->isVisible());
    EXPECT_EQ(list->Model()->RowCount(), 2);
    EXPECT_EQ(Preview()->CurrentTask(), nullptr);

    // The commands of the list go through the window.
    const int row = list->Model()->TaskAt(0)->source == FromUtf8(file) ? 0 : 1;
    SelectHistoryRow(1 - row);
    EXPECT_FALSE(w.IsCommandEnabled(32774));  // the file is gone
    EXPECT_TRUE(w.IsCommandEnabled(32857));
    SelectHistoryRow(row);
    EXPECT_TRUE(w.IsCommandEnabled(32774));
    w.OnCommand(32774);
    ASSERT_EQ(desktop_.shown.size(), 1u);
    EXPECT_EQ(desktop_.shown[0], FromUtf8(file));
    w.OnCommand(32857);
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0].rfind(L"http://www.youtube.com/watch?v=", 0), 0u);

    // Removing rows recounts the panel; the media file stays.
    ASSERT_TRUE(w.IsCommandEnabled(32776));
    w.OnCommand(32776);
    EXPECT_EQ(list->Model()->RowCount(), 1);
    EXPECT_EQ(HistoryRows(), 2);
    EXPECT_EQ(SitePanel()->SiteItem(1000)->text(0), "YouTube (1)");
    EXPECT_TRUE(std::filesystem::exists(file));
    HistoryView()->clearSelection();
    EXPECT_FALSE(w.IsCommandEnabled(32776));

    // The list's context menu is the second drop-down of the context menus.
    ASSERT_NE(list->ContextMenu(), nullptr);
    EXPECT_NE(ui::FindCommand(list->ContextMenu(), 32776), nullptr);

    // Another site, then the task list again.
    ChooseSite(1001);
    ASSERT_TRUE(SpinUntil([&] {
        return list->Model()->RowCount() == 1 &&
               list->Model()->TaskAt(0)->source == L"/other/site.flv";
    }));
    ChooseSite(-1);
    ASSERT_TRUE(SpinUntil([&] { return !HistoryShown(); }));
    EXPECT_TRUE(TaskView()->isVisible());
    EXPECT_FALSE(list->isVisible());
}

TEST_F(MainWindowHistory, ADropOnTheHistoryListBringsTheTaskListBack) {
    AddRow(0, L"/videos/a.flv", L"");
    ChooseSite(1000);
    ASSERT_TRUE(SpinUntil([&] { return HistoryShown(); }));
    QMimeData link;
    link.setText("http://www.youtube.com/watch?v=dropped");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &link, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(HistoryView()->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &link, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(HistoryView()->viewport(), &drop);
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_FALSE(HistoryShown());
    EXPECT_TRUE(TaskView()->isVisible());
    // The panel marks the task list as chosen without announcing it again.
    EXPECT_EQ(SitePanel()->Tree()->currentItem(), SitePanel()->FirstRoot());
}

TEST_F(MainWindowHistory, ThePanelsButtonBarsCloseItAndRunTheirCommands) {
    AddRow(0, L"/videos/a.flv", L"");
    CClipvaneDlg& w = Window();
    if (!SitePanelShown()) w.HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    ASSERT_TRUE(SitePanel()->isVisible());
    auto bars = SitePanel()->findChildren<ui::BitmapButtonBar*>();
    ASSERT_EQ(bars.size(), 2);
    ui::BitmapButtonBar* close = bars[0]->ButtonRect(0).isValid() ? bars[0] : bars[1];
    ui::BitmapButtonBar* two = close == bars[0] ? bars[1] : bars[0];
    ASSERT_TRUE(two->ButtonRect(1).isValid());
    QTest::mouseClick(two, Qt::LeftButton, Qt::NoModifier, two->ButtonRect(1).center());
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0], GetSettings().Get().OutputFolder);
    QTest::mouseClick(close, Qt::LeftButton, Qt::NoModifier, close->ButtonRect(0).center());
    ASSERT_TRUE(SpinUntil([&] { return !SitePanelShown(); }));
    EXPECT_FALSE(SitePanel()->isVisible());
}

}  // namespace

namespace {

// ---- Tips and languages ----

TEST_F(MainWindow, TheTipsPanelStandsBesideThePreviewAnd9224ShowsTheNextTip) {
    CClipvaneDlg& w = Window();
    auto* tips = qobject_cast<ui::TipsPanel*>(ui::FindControl(&w, 1018));
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(tips, Tips());
    EXPECT_TRUE(tips->isVisible());
    EXPECT_FALSE(tips->geometry().intersects(Preview()->geometry()));
    const int first = tips->Current();
    w.HandleMessage(WM_NEXT_TIP, 0, 0);
    EXPECT_EQ(tips->Current(), (first + 1) % ui::TipsPanel::kTipCount);
    EXPECT_FALSE(tips->Text()->text().isEmpty());
}

TEST_F(MainWindow, ALanguageCommandMovesTheTickAndOnlyAChangeIsAnnounced) {
    CClipvaneDlg& w = Window();
    QMenu* menu = MainMenu();
    ASSERT_NE(menu, nullptr);
    QAction* english = ui::FindCommand(menu, 32849);
    QAction* japanese = ui::FindCommand(menu, 32850);
    ASSERT_NE(english, nullptr);
    ASSERT_NE(japanese, nullptr);
    EXPECT_TRUE(english->isChecked());
    int retitled = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == ui::kLanguageChangedEvent) ++*n;
            return false;
        }
    };
    auto* counter = new Counter(&retitled);
    counter->setParent(Tips());
    Tips()->installEventFilter(counter);
    w.OnCommand(32850);
    EXPECT_EQ(GetSettings().LangID(), L"ja");
    EXPECT_TRUE(japanese->isChecked());
    EXPECT_FALSE(english->isChecked());
    EXPECT_EQ(retitled, 1);
    w.OnCommand(32850);  // the language in use: nothing happens
    EXPECT_EQ(retitled, 1);
    w.OnCommand(32849);
    EXPECT_EQ(GetSettings().LangID(), L"en");
    EXPECT_TRUE(english->isChecked());
    EXPECT_EQ(retitled, 2);
}

}  // namespace

namespace {

// ---- The window's own frame ----

TEST_F(MainWindow, TheWindowIsFramelessAndPaintsItsOwnCaption) {
    CClipvaneDlg& w = Window();
    ASSERT_NE(Shell(), nullptr);
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_GE(w.minimumWidth(), 999);
    EXPECT_GE(w.minimumHeight(), 600);
    // The caption's maximise button goes through the shell both ways.
    w.HandleMessage(WM_TOOLBAR_BUTTON, 2, 0);
    ASSERT_TRUE(SpinUntil([&] { return w.isMaximized(); }, 5000));
    w.HandleMessage(WM_TOOLBAR_BUTTON, 2, 0);
    ASSERT_TRUE(SpinUntil([&] { return !w.isMaximized(); }, 5000));
    // Painting the whole window with its status line does not fail.
    EXPECT_FALSE(w.grab().isNull());
}

}  // namespace

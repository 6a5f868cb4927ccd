// The download run in the window: the worker's reports reach the rows and
// the status line in order under a storm, and whole runs against the
// stand-in sites end in files, media rows, history and one notice.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "../main_window_fixture.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "download/fakesites_harness.h"
#include "download/video_downloader.h"
#include "media/media_files.h"
#include "ui/dialogs/dialogs.h"
#include "ui/run/run_reports.h"
#include "update/vendor_site.h"

namespace {

using namespace windowtest;
using platform::FormatW;
using platform::FromUtf8;
using ui::kColStatus;

TEST_F(MainWindow, ProgressCellShowsPerMilleWithOneDecimal) {
    Addresses().Add(L"http://www.youtube.com/watch?v=a");
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
    Addresses().Add(L"http://www.youtube.com/watch?v=a");
    Addresses().Add(L"http://www.youtube.com/watch?v=b");
    EnterRun();
    Run().OnProgress(1, {300, 0, 0});
    Run().OnStatus(1, 201, L"");
    EXPECT_EQ(Model().CellText(1, kColStatus),
              QString::fromStdWString(CVideoDownloader::GetStatusText(201)));
    EXPECT_EQ(Colour(1, kColStatus), QColor(192, 0, 0));
    EXPECT_EQ(Model().Progress(1), -1);  // the bar is gone
    EXPECT_EQ(StatusText(), QString::fromStdWString(FormatW(LoadText(32831).c_str(), L"")));

    Run().OnStatus(0, 110, L"");
    const QString done = QString::fromStdWString(CVideoDownloader::GetStatusText(110));
    EXPECT_EQ(Model().CellText(0, kColStatus), done);
    EXPECT_FALSE(Colour(0, kColStatus).isValid());  // the list's own colours
    EXPECT_EQ(StatusText(), done);

    Run().OnRetry(0, 2);
    EXPECT_EQ(StatusText(), QString::fromStdWString(FormatW(LoadText(32832).c_str(), 2)));
}

TEST_F(MainWindow, StaysResponsiveUnderAStormOfProgressAndKeepsOrder) {
    Addresses().Add(L"http://www.youtube.com/watch?v=a");
    Addresses().Add(L"http://www.youtube.com/watch?v=b");
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
        Addresses().Add(FromUtf8(std::string("http://www.youtube.com/watch?v=") + v));
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
    Addresses().Add(L"http://www.youtube.com/watch?v=one");
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
    Addresses().Drop(&data);
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
    Addresses().Add(L"http://www.youtube.com/watch?v=one");
    Addresses().Add(L"http://www.youtube.com/watch?v=unknown");
    // Downloaded, but not a video: failed too.
    Addresses().Add(L"http://www.youtube.com/watch?v=bad");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return !said.isEmpty(); }, 60000));
    EXPECT_TRUE(said.startsWith("1 downloads finished, 2 failed.")) << said.toStdString();
    EXPECT_TRUE(closedByEnter);
    EXPECT_TRUE(desktop_.opened.empty());
}

TEST_F(MainWindowRun, AFileTheProbeRefusesKeepsItsRow) {
    AnswerCompletion(false);
    Addresses().Add(L"http://www.youtube.com/watch?v=bad");
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
    Addresses().Add(L"http://www.youtube.com/watch?v=one");
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
    Addresses().Add(L"http://www.youtube.com/watch?v=slow");
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
    Addresses().Add(L"http://www.youtube.com/watch?v=slow");
    Window().OnCommand(32855);
    ASSERT_TRUE(SpinUntil([&] { return Model().Progress(0) >= 0; }, 30000));
    Window().close();  // answered Yes
    EXPECT_FALSE(Window().isVisible());
    QElapsedTimer t;
    t.start();
    win_.reset();
    EXPECT_LT(t.elapsed(), 6000);
}

TEST_F(MainWindowRun, EveryRowOfSeventyThousandCanBeDownloaded) {
    AnswerCompletion(false);
    QElapsedTimer t;
    t.start();
    const int rows = 70000;
    const std::map<int, std::string> real = {{0, "one"}, {65536, "two"}, {69999, "three"}};
    for (int i = 0; i < rows; ++i) {
        auto it = real.find(i);
        Addresses().Add(FromUtf8("http://www.youtube.com/watch?v=" +
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
    Addresses().Add(L"http://www.metacafe.com/watch/123/funny_cat/");
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

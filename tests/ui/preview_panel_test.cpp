// The preview panel on real widgets without a player: enabling rules, marks,
// go-to-mark, the mark messages, the bar and the layout. Where the wire text
// to the player is checked, a small script stands in for the player and
// records its arguments and what it is sent.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTest>
#include <clocale>
#include <filesystem>

#include "app/messages.h"
#include "app/settings.h"
#include "media/cmd_mplayer.h"
#include "platform/post_message.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/process_harness.h"
#include "ui/preview/position_bar.h"
#include "ui/preview/preview_panel.h"
#include "ui/shell/bitmap_button_bar.h"

using testsupport::ReadFile;
using testsupport::SplitLines;
using testsupport::TempDir;
using testsupport::WaitFor;
using testsupport::WriteFile;

namespace {

Task MediaTask(int durationMs, int startMs, int endMs) {
    Task t;
    t.source = L"/nonexistent/clip.flv";
    t.durationMs = durationMs;
    t.cutStartMs = startMs;
    t.cutEndMs = endMs;
    return t;
}

class Preview : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
        panel_ = std::make_unique<CPreviewPanel>(nullptr, &main_);
        panel_->show();
    }
    void TearDown() override {
        panel_.reset();
        platform::ResourceBundle::Current().Unload();
    }
    bool Enabled(int b) { return panel_->buttonBar()->IsButtonEnabled(b); }
    void Press(int b) { panel_->OnMessage(WM_BUTTON_BAR, static_cast<uintptr_t>(b)); }
    // A click on the bar at `percent` of its width.
    void ClickBar(int percent) {
        CPositionBar* bar = panel_->positionBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * percent / 100, 7));
    }
    std::vector<unsigned> Posted() {
        std::vector<unsigned> v;
        for (const auto& m : main_.TakeAll()) v.push_back(m.msg);
        return v;
    }

    platform::QueuePostTarget main_;
    std::unique_ptr<CPreviewPanel> panel_;
};

// A script in the player's place: writes its arguments, one a line, and
// then everything it is sent, into files of `dir`; `extra` runs before.
// Waits for `cond` while the panel's timer and messages run.
bool Pump(const std::function<bool()>& cond,
          std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return WaitFor(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            return cond();
        },
        limit);
}

std::string FakePlayer(const TempDir& dir, const std::string& extra = "") {
    std::string path = dir / "fakeplayer";
    WriteFile(path, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + (dir / "args") + "'\n" + extra +
                        "exec cat > '" + (dir / "wire") + "'\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

}  // namespace

TEST_F(Preview, ButtonsFollowTheTaskAndTheLock) {
    for (int b = 0; b < 7; ++b) EXPECT_FALSE(Enabled(b)) << b;

    Task media = MediaTask(10000, 2000, 8000);
    panel_->SetTask(&media);
    for (int b : {0, 1, 2, 5, 6}) EXPECT_TRUE(Enabled(b)) << b;
    EXPECT_FALSE(Enabled(CPreviewPanel::kStop));
    EXPECT_FALSE(Enabled(CPreviewPanel::kPause));
    EXPECT_TRUE(panel_->positionBar()->clickable());
    EXPECT_EQ(panel_->positionBar()->position(), 20);
    EXPECT_EQ(panel_->durationUnits(), 100000000);

    // An online task: all off but Stop and Pause, which stay as they were.
    panel_->buttonBar()->EnableButton(CPreviewPanel::kStop, true);
    Task online;
    online.onlinePending = 1;
    panel_->SetTask(&online);
    for (int b : {0, 1, 2, 5, 6}) EXPECT_FALSE(Enabled(b)) << b;
    EXPECT_TRUE(Enabled(CPreviewPanel::kStop));
    EXPECT_FALSE(Enabled(CPreviewPanel::kPause));
    EXPECT_FALSE(panel_->positionBar()->clickable());
    EXPECT_EQ(panel_->positionBar()->duration(), 0);
    panel_->PlayTask(true);
    EXPECT_EQ(panel_->playState(), 0);
    EXPECT_EQ(panel_->player(), nullptr);

    // Start equal to end: Play only.
    Task empty = MediaTask(0, 0, 0);
    panel_->SetTask(&empty);
    EXPECT_TRUE(Enabled(CPreviewPanel::kPlay));
    for (int b : {0, 1, 5, 6}) EXPECT_FALSE(Enabled(b)) << b;
    EXPECT_FALSE(panel_->positionBar()->clickable());

    panel_->SetTask(&media);
    panel_->LockControls();
    for (int b : {0, 1, 2, 5, 6}) EXPECT_FALSE(Enabled(b)) << b;
    EXPECT_FALSE(panel_->positionBar()->clickable());
    EXPECT_EQ(panel_->positionBar()->duration(), 0);
    EXPECT_TRUE(panel_->ControlsLocked());

    panel_->SetTask(nullptr);
    EXPECT_EQ(panel_->CurrentTask(), nullptr);
    for (int b = 0; b < 7; ++b) EXPECT_FALSE(Enabled(b) && b != CPreviewPanel::kStop) << b;
}

TEST_F(Preview, GoToMarkTwiceReachesTheEnds) {
    Task t = MediaTask(10000, 2000, 8000);
    panel_->SetTask(&t);
    ClickBar(50);
    EXPECT_EQ(panel_->positionBar()->position(), 50);
    Press(CPreviewPanel::kGoStart);
    EXPECT_EQ(panel_->positionBar()->position(), 20);
    Press(CPreviewPanel::kGoStart);
    EXPECT_EQ(panel_->positionBar()->position(), 0);
    Press(CPreviewPanel::kGoEnd);
    EXPECT_EQ(panel_->positionBar()->position(), 80);
    Press(CPreviewPanel::kGoEnd);
    EXPECT_EQ(panel_->positionBar()->position(), 100);
}

TEST_F(Preview, MarkButtonsStoreTheRangeAndTellTheMainWindow) {
    Task t = MediaTask(10000, 0, 10000);
    panel_->SetTask(&t);
    panel_->positionBar()->SetPosition(60);
    Press(CPreviewPanel::kSetStart);
    EXPECT_EQ(t.cutStartMs, 6000);
    EXPECT_EQ(t.cutEndMs, 10000);
    EXPECT_EQ(Posted(), std::vector<unsigned>{WM_MARK_CHANGED});

    panel_->positionBar()->SetPosition(80);
    Press(CPreviewPanel::kSetEnd);
    EXPECT_EQ(t.cutEndMs, 8000);
    // The thumb goes back to the start mark.
    EXPECT_EQ(panel_->positionBar()->position(), 60);
    EXPECT_EQ(Posted(), std::vector<unsigned>{WM_MARK_CHANGED});

    // An end before the start takes the start with it: never a negative range.
    panel_->positionBar()->SetPosition(30);
    Press(CPreviewPanel::kSetEnd);
    EXPECT_EQ(t.cutEndMs, 3000);
    EXPECT_EQ(t.cutStartMs, 3000);
    // A start after the end takes the end with it.
    panel_->positionBar()->SetPosition(90);
    Press(CPreviewPanel::kSetStart);
    EXPECT_EQ(t.cutStartMs, 9000);
    EXPECT_EQ(t.cutEndMs, 9000);
    EXPECT_EQ(panel_->positionBar()->startMark(), 9000);
    EXPECT_EQ(panel_->positionBar()->endMark(), 9000);

    // The confirm command copies the bar's marks into the task.
    t.cutStartMs = t.cutEndMs = 0;
    QTest::keyClick(panel_.get(), Qt::Key_Return);
    EXPECT_EQ(t.cutStartMs, 9000);
    EXPECT_EQ(t.cutEndMs, 9000);
}

TEST_F(Preview, LayoutFollowsEveryResize) {
    panel_->resize(600, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel_->buttonBar()->geometry(), QRect(3, 365, 256, 34));
    EXPECT_EQ(panel_->positionBar()->geometry(), QRect(7, 349, 586, 15));
    EXPECT_EQ(panel_->videoArea()->geometry(), QRect(8, 8, 584, 335));
    panel_->resize(CPreviewPanel::kWidth, CPreviewPanel::kHeight);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel_->positionBar()->geometry(), QRect(7, 201, 252, 15));
    EXPECT_EQ(panel_->videoArea()->geometry(), QRect(8, 8, 250, 187));
    EXPECT_EQ(panel_->buttonBar()->geometry(), QRect(3, 217, 256, 34));
}

TEST_F(Preview, BarDrawsTheRangeAndKeepsTheThumbInside) {
    Task t = MediaTask(10000, 2500, 7500);
    panel_->SetTask(&t);
    CPositionBar* bar = panel_->positionBar();
    EXPECT_EQ(bar->RangeRect(), QRect(bar->width() / 4, 0, bar->width() / 2, bar->height()));
    bar->SetPosition(100);
    EXPECT_EQ(bar->ThumbRect().right(), bar->width() - 1);
    bar->SetPosition(0);
    EXPECT_EQ(bar->ThumbRect().left(), 0);

    // The drawn bar shows the strip over the range and not outside it.
    QImage img = bar->grab().toImage();
    const int y = bar->height() / 2;
    EXPECT_NE(img.pixel(bar->width() / 2, y), img.pixel(bar->width() / 8 + 12, y));
    EXPECT_EQ(img.pixel(bar->width() / 8 + 12, y), img.pixel(bar->width() * 7 / 8, y));

    // An unclickable bar does not move.
    panel_->SetTask(nullptr);
    bar->SetPosition(10);
    QSignalSpy spy(bar, &CPositionBar::clicked);
    ClickBar(70);
    EXPECT_EQ(bar->position(), 10);
    EXPECT_EQ(spy.count(), 0);
}

TEST_F(Preview, DoubleClickTogglesTheSpreadPanel) {
    QTest::mouseDClick(panel_.get(), Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(panel_->expanded());
    QTest::mouseDClick(panel_->videoArea(), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_FALSE(panel_->expanded());
    auto msgs = main_.TakeAll();
    ASSERT_EQ(msgs.size(), 2u);
    EXPECT_EQ(msgs[0].msg, WM_PREVIEW_EXPANDED);
    EXPECT_EQ(msgs[0].wParam, 1u);
    EXPECT_EQ(msgs[1].wParam, 0u);
}

TEST_F(Preview, PlayerGetsTheCommandAndTheStartSeek) {
    TempDir dir;
    // Position queries wait until the player has opened its video output.
    panel_->SetPlayerProgram(platform::FromUtf8(FakePlayer(
        dir,
        "sleep 0.3; echo 'Starting playback...'; echo 'VO: [x11] 320x240 => 320x240 BGRA'\n")));
    GetSettings().Update([](SettingsData& d) {
        d.MPLAYER_VO = L"directx";
        d.VOLUME_NORM = 1;
        d.OUT_VOLUME = 5;
    });
    Task t = MediaTask(30000, 12340, 20000);
    t.source = platform::FromUtf8(dir / "my clip.flv");
    panel_->SetTask(&t);
    panel_->PlayTask(true);
    ASSERT_EQ(panel_->playState(), CPreviewPanel::kPlaying);
    EXPECT_TRUE(panel_->timerRunning());
    EXPECT_FALSE(Enabled(CPreviewPanel::kPlay));
    EXPECT_TRUE(Enabled(CPreviewPanel::kStop));
    EXPECT_TRUE(Enabled(CPreviewPanel::kPause));
    ASSERT_TRUE(Pump([&] { return SplitLines(ReadFile(dir / "wire")).size() >= 3; },
                     std::chrono::seconds(10)));
    auto wire = SplitLines(ReadFile(dir / "wire"));
    EXPECT_EQ(wire[0], "seek 12.34 2");
    EXPECT_EQ(wire[1], "get_percent_pos");

    const std::string wid = std::to_string(static_cast<int>(panel_->videoWindow()->winId()));
    std::vector<std::string> expected = {"-slave",
                                         "",
                                         "-quiet",
                                         "",
                                         "-nokeepaspect",
                                         "",
                                         "-vf-add",
                                         "scale=320:-2,expand=320:240",
                                         "-wid",
                                         wid,
                                         "-colorkey",
                                         "0x10",
                                         "-vo",
                                         "xv,x11,",
                                         "-af",
                                         "volnorm,volume=5",
                                         dir / "my clip.flv"};
    auto args = SplitLines(ReadFile(dir / "args"));
    // Flags carry no value: the empty lines above are not arguments.
    expected.erase(std::remove(expected.begin(), expected.end(), ""), expected.end());
    EXPECT_EQ(args, expected);

    // Pause stops the position queries (a query would resume this player).
    Press(CPreviewPanel::kPause);
    EXPECT_EQ(panel_->playState(), CPreviewPanel::kPaused);
    EXPECT_FALSE(panel_->timerRunning());
    EXPECT_TRUE(Enabled(CPreviewPanel::kPlay));
    // Play while paused resumes.
    Press(CPreviewPanel::kPlay);
    EXPECT_EQ(panel_->playState(), CPreviewPanel::kPlaying);
    ASSERT_TRUE(Pump(
        [&] {
            auto w = SplitLines(ReadFile(dir / "wire"));
            return std::count(w.begin(), w.end(), "pause") == 2;
        },
        std::chrono::seconds(10)));

    // A click on the bar seeks there with two decimals: 25% of 30 s.
    ClickBar(25);
    const int w = panel_->positionBar()->width();
    const int pos = (w * 25 / 100) * 100 / w;
    const std::string seek = "seek " + std::to_string(pos * 300 / 1000) + "." +
                             (pos * 300 % 1000 < 100 ? "0" : "") +
                             std::to_string(pos * 300 % 1000 / 10) + " 2";
    ASSERT_TRUE(Pump(
        [&] {
            auto w = SplitLines(ReadFile(dir / "wire"));
            return std::find(w.begin(), w.end(), seek) != w.end();
        },
        std::chrono::seconds(10)))
        << seek;

    // The main window's play request while paused starts again from the
    // start mark with a new player.
    Press(CPreviewPanel::kPause);
    const pid_t paused = panel_->player()->childProcessId();
    std::filesystem::remove(dir / "wire");
    panel_->PlayTask(false);
    ASSERT_EQ(panel_->playState(), CPreviewPanel::kPlaying);
    EXPECT_NE(panel_->player()->childProcessId(), paused);
    EXPECT_NE(::kill(paused, 0), 0);
    ASSERT_TRUE(Pump([&] {
        auto w = SplitLines(ReadFile(dir / "wire"));
        return !w.empty() && w[0] == "seek 12.34 2";
    }));

    const pid_t pid = panel_->player()->childProcessId();
    Press(CPreviewPanel::kStop);
    EXPECT_EQ(panel_->playState(), CPreviewPanel::kStopped);
    EXPECT_EQ(panel_->player(), nullptr);
    EXPECT_NE(::kill(pid, 0), 0);
    EXPECT_TRUE(Enabled(CPreviewPanel::kPlay));
    EXPECT_FALSE(Enabled(CPreviewPanel::kStop));
    EXPECT_EQ(panel_->positionBar()->position(), 0);
    GetSettings().Update([](SettingsData& d) { d = SettingsData(); });
}

TEST_F(Preview, APlayerThatDrawsNothingIsStoppedAndReported) {
    TempDir dir;
    // Sound only: the player says it has no video and plays on.
    panel_->SetPlayerProgram(platform::FromUtf8(
        FakePlayer(dir,
                   "echo 'Error opening/initializing the selected video_out (-vo) device.'\n"
                   "echo 'Video: no video'\n")));
    Task t = MediaTask(30000, 0, 30000);
    panel_->SetTask(&t);
    QSignalSpy status(panel_.get(), &CPreviewPanel::statusText);
    panel_->PlayTask(false);
    ASSERT_EQ(panel_->playState(), CPreviewPanel::kPlaying);
    const pid_t pid = panel_->player()->childProcessId();
    ASSERT_TRUE(Pump([&] { return panel_->playState() == CPreviewPanel::kStopped; },
                     std::chrono::seconds(10)));
    ASSERT_EQ(status.count(), 1);
    EXPECT_TRUE(status.at(0).at(0).toString().contains(QStringLiteral("could not be shown")));
    EXPECT_NE(::kill(pid, 0), 0);

    // A player that ends before it ever drew is reported too.
    TempDir dir2;
    std::string quits = dir2 / "quits";
    WriteFile(quits, "#!/bin/sh\nexit 1\n");
    ::chmod(quits.c_str(), 0755);
    panel_->SetPlayerProgram(platform::FromUtf8(quits));
    panel_->PlayTask(false);
    ASSERT_TRUE(Pump([&] { return panel_->playState() == CPreviewPanel::kStopped; },
                     std::chrono::seconds(10)));
    EXPECT_EQ(status.count(), 2);

    // A player program that cannot be run leaves the panel stopped.
    panel_->SetPlayerProgram(platform::FromUtf8(dir2 / "missing"));
    panel_->PlayTask(true);
    EXPECT_EQ(panel_->playState(), CPreviewPanel::kStopped);
    EXPECT_EQ(panel_->player(), nullptr);
    EXPECT_EQ(status.count(), 3);
    EXPECT_TRUE(Enabled(CPreviewPanel::kPlay));
}

TEST(PreviewText, SecondsHaveTwoDecimalsInEveryLocale) {
    EXPECT_EQ(ui::SecondsText(12340), L"12.34");
    EXPECT_EQ(ui::SecondsText(0), L"0.00");
    EXPECT_EQ(ui::SecondsText(5), L"0.01");
    EXPECT_EQ(ui::SecondsText(3723456), L"3723.46");
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        EXPECT_EQ(ui::SecondsText(12340), L"12.34");
        std::setlocale(LC_NUMERIC, "C");
    }
    EXPECT_EQ(ui::MapVideoOutput(L"directx"), L"xv,x11,");
    EXPECT_EQ(ui::MapVideoOutput(L"gl2"), L"gl_tiled");
    EXPECT_EQ(ui::MapVideoOutput(L"gl"), L"gl");
    EXPECT_EQ(ui::MapVideoOutput(L""), L"");
}

TEST(ButtonBar, ClicksReachTheOwnerOnlyFromEnabledButtons) {
    ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                         "/cvres.bundle"));
    platform::QueuePostTarget owner;
    ui::BitmapButtonBar bar;
    bar.resize(256, 34);
    bar.SetStateBitmaps(164, 165, 166, 167);
    bar.AddButton(6, QRect(2, 2, 32, 30));
    bar.AddButton(7, QRect(36, 2, 32, 30));
    bar.EnableButton(7, false);
    bar.SetTarget(&owner, WM_TOOLBAR_BUTTON);
    bar.show();
    QSignalSpy spy(&bar, &ui::BitmapButtonBar::buttonClicked);

    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(50, 15));  // disabled
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(70, 15));  // between buttons
    EXPECT_EQ(spy.count(), 0);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(10, 15));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 6);
    auto msgs = owner.TakeAll();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].msg, WM_TOOLBAR_BUTTON);
    EXPECT_EQ(msgs[0].wParam, 6u);

    // A press released outside the button is no click.
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(10, 15));
    EXPECT_EQ(bar.ButtonState(6), ui::BitmapButtonBar::kPressed);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(200, 15));
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(bar.ButtonState(7), ui::BitmapButtonBar::kDisabled);

    // Disabled buttons are drawn from the disabled bitmap, enabled ones not.
    QImage disabled = bar.grab().toImage().copy(36, 2, 32, 30);
    bar.EnableButton(7, true);
    QImage enabled = bar.grab().toImage().copy(36, 2, 32, 30);
    EXPECT_NE(disabled, enabled);
    platform::ResourceBundle::Current().Unload();
}

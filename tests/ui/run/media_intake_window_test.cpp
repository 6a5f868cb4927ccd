// Media files taken into the window with the real player: dropped files
// become rows in drop order with their probed values, what is no video is
// told, and a probe under way does not hold up closing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QMimeData>

#include "../main_window_fixture.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "media/media_files.h"

namespace {

using namespace windowtest;
using platform::FormatW;
using platform::FromUtf8;
using ui::kColStatus;

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
    EXPECT_FALSE(Colour(0, 1).isValid());
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
    Addresses().Drop(&data);
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

TEST_F(MainWindow, ClosingDuringAProbeEndsTheProbeRatherThanWaitingForIt) {
    // The player blocks on a pipe without a writer until its time limit.
    const std::string fifo = out_ / "pipe.flv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    CountIntakes();
    QMimeData data;
    data.setUrls({FileUrl(fifo)});
    Addresses().Drop(&data);
    ASSERT_EQ(Intake().Pending(), 1u);
    SpinUntil([] { return false; }, 500);  // the probe is under way
    QElapsedTimer t;
    t.start();
    win_.reset();
    EXPECT_LT(t.elapsed(), 10000);  // the probe's limit is 30 s
}

}  // namespace

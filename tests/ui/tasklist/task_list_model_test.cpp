// The task list's model on its own, checked by Qt's model tester while it
// changes: each row keeps its state and its cells are derived from it.
#include "ui/tasklist/task_list_model.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFontMetrics>
#include <QSignalSpy>

#include "app/localization.h"
#include "download/codes.h"
#include "download/video_downloader.h"
#include "platform/resource_bundle.h"
#include "ui/bundle/elided_text.h"
#include "ui/tasklist/task_item_delegate.h"

namespace {

using ui::kColName;
using ui::kColStatus;
using ui::RowStatus;

class TaskListModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
    }
    int AddAddress(const std::wstring& a) {
        auto t = std::make_unique<Task>();
        t->source = a;
        t->onlinePending = 1;
        return model_.AppendTask(std::move(t));
    }
    QString Status(int row) { return model_.CellText(row, kColStatus); }
    QColor Colour(int row, int col) {
        return model_.data(model_.index(row, col), Qt::ForegroundRole).value<QColor>();
    }
    ui::TaskListModel model_;
    // Fatal: a broken model contract ends the test program at once.
    QAbstractItemModelTester tester_{&model_,
                                     QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(TaskListModelTest, RowsComeAndGoUnderTheTesterAndKeepTheirCounts) {
    for (int i = 0; i < 5; ++i) AddAddress(L"http://www.youtube.com/watch?v=" + std::to_wstring(i));
    auto media = std::make_unique<Task>();
    media->source = L"/videos/clip.flv";
    const int file = model_.AppendTask(std::move(media));
    EXPECT_FALSE(model_.IsChecked(file));
    EXPECT_EQ(model_.CellText(file, kColName), "") << "nothing shown before the probe";
    EXPECT_EQ(model_.PendingCount(), 5);
    EXPECT_EQ(model_.CheckedPendingCount(), 5);
    model_.SetAllChecked(false);
    EXPECT_EQ(model_.CheckedPendingCount(), 0);
    model_.SetChecked(2, true);
    model_.RemoveTaskAt(0);
    EXPECT_EQ(model_.CheckedPendingCount(), 1);
    EXPECT_TRUE(model_.IsChecked(1));
    EXPECT_FALSE(model_.HasPendingAddress(L"http://www.youtube.com/watch?v=0"));
    EXPECT_TRUE(model_.HasPendingAddress(L"http://youtube.com/watch?v=4"));
    model_.SetProgress(1, {400, 4, 10});
    model_.SetStatus(1, RowStatus::kCode, kStatusComplete);
    model_.Retranslate();
    model_.RemoveTaskAt(99);
    model_.RemoveAll();
    EXPECT_EQ(model_.rowCount(), 0);
    EXPECT_EQ(model_.PendingCount(), 0);
}

TEST_F(TaskListModelTest, TheStatusCellSaysWhatTheRunIsDoing) {
    const int row = AddAddress(L"http://www.youtube.com/watch?v=a");
    EXPECT_EQ(Status(row), "Ready for download...");
    EXPECT_EQ(Colour(row, kColStatus), ui::kDarkRed);

    model_.SetStatus(row, RowStatus::kCode, kStatusConnecting);
    EXPECT_EQ(Status(row), "Connecting...");
    EXPECT_FALSE(Colour(row, kColStatus).isValid());
    // While bytes come the cell is a bar that says how far it is.
    model_.SetProgress(row, {483, 483, 1000});
    EXPECT_EQ(Status(row), "Downloading 48.3%");
    EXPECT_EQ(model_.index(row, kColStatus).data(ui::kProgressRole).toInt(), 483);
    EXPECT_EQ(model_.index(row, kColStatus).data(Qt::ToolTipRole).toString(), "Downloading 48.3%");
    // A stream counts its segments.
    model_.SetProgress(row, {60, 1000, 0, 12, 200});
    EXPECT_EQ(Status(row), "Segment 12 of 200");
    // A kept part goes on: said until the transfer is well past it.
    RunProgress resumed{480, 480, 1000};
    resumed.resumedAt = 480;
    model_.SetProgress(row, resumed);
    EXPECT_EQ(Status(row), "Resuming at 48 %");
    resumed.thousandths = 489;
    model_.SetProgress(row, resumed);
    EXPECT_EQ(Status(row), "Resuming at 48 %");
    resumed.thousandths = 490;
    model_.SetProgress(row, resumed);
    EXPECT_EQ(Status(row), "Downloading 49.0%");
    model_.RemoveProgress(row);
    EXPECT_EQ(model_.Progress(row), -1);

    model_.SetStatus(row, RowStatus::kCode, kStatusConverting);
    EXPECT_EQ(Status(row), "Converting");
    model_.SetStatus(row, RowStatus::kCode, kStatusComplete);
    EXPECT_EQ(Status(row), "Download complete");

    // An error is dark red, and so is the retry that follows it; a retry
    // after a good status is not.
    model_.SetStatus(row, RowStatus::kCode, kStatusFailed);
    EXPECT_EQ(Status(row), QString::fromStdWString(CVideoDownloader::GetStatusText(kStatusFailed)));
    EXPECT_EQ(Colour(row, kColStatus), ui::kDarkRed);
    model_.SetStatus(row, RowStatus::kRetry, 2);
    EXPECT_EQ(Status(row), "Retrying (2)...");
    EXPECT_EQ(Colour(row, kColStatus), ui::kDarkRed);
    model_.SetStatus(row, RowStatus::kCode, kStatusFetchingPage);
    model_.SetStatus(row, RowStatus::kRetry, 3);
    EXPECT_FALSE(Colour(row, kColStatus).isValid());
    model_.SetStatus(row, RowStatus::kWaiting);
    EXPECT_EQ(Status(row), "Waiting");
}

TEST_F(TaskListModelTest, AProbedRowShowsItsFileAndKeepsItsTitle) {
    const int row = AddAddress(L"http://www.youtube.com/watch?v=a");
    model_.SetTitle(row, L"First");
    EXPECT_EQ(model_.CellText(row, kColName), "First");
    EXPECT_EQ(Colour(row, kColName), ui::kDarkRed) << "still an address row";
    Task* t = model_.TaskAt(row);
    t->width = 160;
    t->height = 120;
    t->fps = 25;
    t->cutEndMs = 2000;
    t->videoFormat = L"FLV";
    model_.SetSource(row, L"/out/First.flv");
    QSignalSpy changed(&model_, &QAbstractItemModel::dataChanged);
    model_.MarkProbed(row, false, L"Found by Clipvane's page scanner");
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_EQ(model_.CellText(row, kColName), "First");
    EXPECT_FALSE(Colour(row, kColName).isValid());
    EXPECT_EQ(model_.CellText(row, ui::kColSize), "160x120");
    EXPECT_EQ(model_.CellText(row, ui::kColFps), "25 fps");
    EXPECT_EQ(model_.CellText(row, ui::kColFormat), "FLV");
    EXPECT_EQ(model_.index(row, kColName).data(Qt::ToolTipRole).toString(),
              "/out/First.flv\nFound by Clipvane's page scanner");
    // A file taken as a file is named after it.
    model_.MarkProbed(row, true);
    EXPECT_EQ(model_.CellText(row, kColName), "First");
    EXPECT_EQ(model_.index(row, kColName).data(Qt::ToolTipRole).toString(), "/out/First.flv");
    model_.SetSource(row, L"/out/Other name.v2.flv");
    EXPECT_EQ(model_.CellText(row, kColName), "Other name.v2");
}

TEST(TaskItemDelegate, ProgressTextHasOneDecimal) {
    EXPECT_EQ(ui::PercentText(1000), "100.0%");
    EXPECT_EQ(ui::PercentText(5), "0.5%");
    EXPECT_EQ(ui::PercentText(0), "0.0%");
}

TEST(TaskItemDelegate, AStatusTooLongIsCutBetweenWordsNeverInOne) {
    const QFontMetrics m(QApplication::font());
    const QString ellipsis(QChar(0x2026));
    const QString status = QStringLiteral("Video address found, downloading the video");
    EXPECT_EQ(ui::ElideAtBreak(status, m, 10000), status);
    // Every width that cuts it ends after a whole word, and still fits.
    for (int width = m.horizontalAdvance(QStringLiteral("Video address")) + 20;
         width < m.horizontalAdvance(status); width += 7) {
        const QString shown = ui::ElideAtBreak(status, m, width);
        ASSERT_TRUE(shown.endsWith(ellipsis)) << shown.toStdString();
        const QString head = shown.chopped(1);
        EXPECT_TRUE(status.startsWith(head)) << shown.toStdString();
        const QChar next = status.at(head.size());
        EXPECT_TRUE(next == u' ' || next == u',') << shown.toStdString() << " at " << width;
        EXPECT_LE(m.horizontalAdvance(shown), width);
    }
    // Chinese breaks between any two characters.
    const QString zh = QStringLiteral("已找到视频地址，正在下载视频");
    const QString cut = ui::ElideAtBreak(zh, m, m.horizontalAdvance(zh) / 2);
    EXPECT_TRUE(cut.endsWith(ellipsis));
    EXPECT_GT(cut.size(), 2);
}

}  // namespace

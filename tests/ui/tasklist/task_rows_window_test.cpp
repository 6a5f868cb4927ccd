// The task list's rows in the window: what they say follows the language
// and the run, as the real worker reports it against the stand-in sites.
#include <gtest/gtest.h>

#include <QDialog>
#include <QSignalSpy>
#include <QTimer>
#include <algorithm>

#include "../main_window_fixture.h"
#include "app/localization.h"
#include "download/codes.h"
#include "download/fakesites_harness.h"
#include "media/media_files.h"
#include "ui/run/run_reports.h"

namespace {

using namespace windowtest;
using ui::kColFormat;
using ui::kColStatus;

TEST_F(MainWindow, ExistingRowsSpeakTheNewLanguageAfterASwitch) {
    CClipvaneDlg& w = Window();
    EnterRun();
    w.findChild<ui::AddressIntake*>()->Add(L"http://www.youtube.com/watch?v=a");
    w.findChild<ui::AddressIntake*>()->Add(L"http://www.youtube.com/watch?v=b");
    w.findChild<ui::AddressIntake*>()->Add(L"http://www.youtube.com/watch?v=c");
    Run().OnStatus(1, kStatusComplete, L"");
    Run().OnRetry(2, 2);
    const QString ready = Model().CellText(0, kColStatus), online = Model().CellText(0, kColFormat);
    const QString done = Model().CellText(1, kColStatus), retry = Model().CellText(2, kColStatus);
    ASSERT_EQ(ready, "Ready for download...");
    ASSERT_EQ(done, "Download complete");

    LinkShippedLanguage("ja");
    QSignalSpy changed(&Model(), &QAbstractItemModel::dataChanged);
    w.OnCommand(32850);  // Japanese
    // Each row now says it in Japanese, as the new rows do.
    EXPECT_EQ(Model().CellText(0, kColStatus),
              QString::fromStdWString(TranslateWord(L"Ready for download...")));
    EXPECT_NE(Model().CellText(0, kColStatus), ready);
    EXPECT_NE(Model().CellText(0, kColFormat), online);
    EXPECT_EQ(Model().CellText(1, kColStatus),
              QString::fromStdWString(CVideoDownloader::GetStatusText(kStatusComplete)));
    EXPECT_NE(Model().CellText(2, kColStatus), retry);
    // The view heard of every row, so it repaints them.
    bool wholeList = false;
    for (const QList<QVariant>& args : changed) {
        const auto first = args[0].value<QModelIndex>(), last = args[1].value<QModelIndex>();
        wholeList |= first.row() == 0 && last.row() == 2 && last.column() == kColStatus;
    }
    EXPECT_TRUE(wholeList);

    w.OnCommand(32849);  // back to English
    EXPECT_EQ(Model().CellText(1, kColStatus), done);
    EXPECT_EQ(Model().CellText(0, kColStatus), ready);
    EXPECT_EQ(Model().CellText(2, kColStatus), retry);
}

TEST_F(MainWindow, TheRowSaysWhatTheRunReportsAndTheStatusLineNamesTheTitle) {
    CClipvaneDlg& w = Window();
    w.findChild<ui::AddressIntake*>()->Add(L"http://media.example.org/live/index.m3u8");
    EnterRun();
    Run().OnTitle(0, L"Live");
    Run().OnStatus(0, kStatusConnecting, L"");
    EXPECT_EQ(Model().CellText(0, kColStatus), "Connecting...");
    // The worker's reports, as a segmented stream sends them.
    Run().OnProgress(0, {60, 120000, 0, 12, 200});
    EXPECT_EQ(Model().CellText(0, kColStatus), "Segment 12 of 200");
    EXPECT_EQ(Model().Progress(0), 60);
    EXPECT_EQ(StatusText(), "Live: segment 12 of 200");
    Run().OnStatus(0, kStatusConverting, L"");
    EXPECT_EQ(Model().CellText(0, kColStatus), "Converting");
    EXPECT_EQ(Model().Progress(0), -1);
}

// A file broken off half way goes on from where it broke in the next
// attempt, and its row says so.
class TaskRowsRun : public PacedRun {
  protected:
    void SetUp() override {
        PacedRun::SetUp();
        ServePaced("kept", R"("ranges": true,
   "headers": {"Content-Type": "video/x-flv", "ETag": "\"v1\""},
   "versions": [{"reset_after": 35000}, {"rate": 20000}])");
        GetSettings().Update([](SettingsData& d) { d.RetryTimes = 1; });
    }
};

TEST_F(TaskRowsRun, AResumedDownloadSaysWhereItWentOnFrom) {
    std::vector<QString> said;
    QObject::connect(&Model(), &QAbstractItemModel::dataChanged, [&](const QModelIndex& a) {
        const QString s = Model().CellText(0, kColStatus);
        if (a.row() == 0 && (said.empty() || said.back() != s)) said.push_back(s);
    });
    StartPaced();
    ASSERT_TRUE(SpinUntil([&] { return !Run().Downloading(); }, 60000));
    auto resumed = std::find_if(said.begin(), said.end(),
                                [](const QString& s) { return s.startsWith("Resuming at "); });
    ASSERT_NE(resumed, said.end()) << said.size();
    const int at = resumed->mid(12).section(' ', 0, 0).toInt();
    EXPECT_GT(at, 20);
    EXPECT_LT(at, 80);
    EXPECT_NE(std::find(said.begin(), said.end(), "Retrying (1)..."), said.end());
    // Then it downloads from there and completes.
    EXPECT_TRUE(std::any_of(resumed, said.end(),
                            [](const QString& s) { return s.startsWith("Downloading "); }));
    EXPECT_EQ(said.back(), "Download complete");
    EXPECT_EQ(Model().CellText(0, ui::kColSize), "160x120");
}

}  // namespace

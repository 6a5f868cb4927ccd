// The hand-off of a run's reports to the window's thread: what is merged
// and what keeps its place.
#include "ui/run/run_reports.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <vector>

namespace {

TEST(RunReports, MergeOnlyConsecutiveProgressOfOneRow) {
    RunEventQueue nobody;
    ui::RunReports t(&nobody);
    auto progress = [&](int row, unsigned v) { t.OnProgress(row, {v, v, 1000}); };
    progress(0, 1);
    progress(0, 2);
    progress(0, 3);
    progress(1, 4);
    progress(0, 5);
    t.OnStatus(0, 110, L"");
    progress(0, 6);
    progress(0, 7);
    t.OnItemDone(0, {});
    t.OnItemDone(0, {});
    const std::vector<std::pair<RunEvent::Kind, unsigned>> want = {
        {RunEvent::kProgress, 3}, {RunEvent::kProgress, 4}, {RunEvent::kProgress, 5},
        {RunEvent::kStatus, 0},   {RunEvent::kProgress, 7}, {RunEvent::kItemDone, 0},
        {RunEvent::kItemDone, 0}};
    RunEvent e;
    for (const auto& [kind, v] : want) {
        ASSERT_TRUE(t.Take(e));
        EXPECT_EQ(e.kind, kind);
        EXPECT_EQ(e.progress.thousandths, v);
        EXPECT_EQ(e.progress.received, v);  // the bytes of the kept report
    }
    EXPECT_FALSE(t.Take(e));
    QCoreApplication::removePostedEvents(&t);
}

TEST(RunReports, TheReportThatStartsAResumeIsNotMergedAway) {
    RunEventQueue nobody;
    ui::RunReports t(&nobody);
    RunProgress before{100, 100, 1000};
    RunProgress resumed{480, 480, 1000};
    resumed.resumedAt = 480;
    RunProgress later = resumed;
    later.thousandths = later.received = 700;
    t.OnProgress(0, before);
    t.OnProgress(0, resumed);  // replaces the one before
    t.OnProgress(0, later);    // comes after it
    t.OnProgress(0, later);
    RunEvent e;
    ASSERT_TRUE(t.Take(e));
    EXPECT_EQ(e.progress, resumed);
    ASSERT_TRUE(t.Take(e));
    EXPECT_EQ(e.progress, later);
    EXPECT_FALSE(t.Take(e));
    QCoreApplication::removePostedEvents(&t);
}

}  // namespace

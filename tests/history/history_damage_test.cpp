// A history file SQLite cannot use: moved aside and replaced when damaged,
// reported once a run either way.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "history/history.h"
#include "platform/text.h"
#include "support/history_rows.h"
#include "support/process_harness.h"

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

// One test, since the problem is told once for the whole process.
TEST(HistoryDamage, ReplacedWhenDamagedToldOnceRefusedWhenUnopenable) {
    TempDir dir;
    const std::string db = dir / "history.db";
    const std::string garbage = "SQLite format 3" + std::string(4096, '\x5a');
    WriteFile(db, garbage);

    CHistoryDb* h = nullptr;
    ASSERT_EQ(OpenHistory(h, platform::FromUtf8(db)), 1);
    ASSERT_TRUE(h);
    // The new file works, the damaged one is kept beside it.
    EXPECT_EQ(AddHistoryRow(h, testsupport::HistoryTask(0, L"/v/a.flv", L"http://p")), 1);
    EXPECT_EQ(CountHistory(h, nullptr), 1);
    EXPECT_EQ(ReadFile(db + ".damaged"), garbage);
    delete h;

    HistoryProblem p = TakeHistoryProblem();
    EXPECT_EQ(p.kind, HistoryProblem::kReplaced);
    EXPECT_EQ(p.detail, platform::FromUtf8(db + ".damaged"));
    EXPECT_NE(p.Message().find(p.detail), std::wstring::npos);
    EXPECT_EQ(TakeHistoryProblem().kind, HistoryProblem::kNone) << "told once";

    // A later run's file is sound: it opens as it is.
    ASSERT_EQ(OpenHistory(h, platform::FromUtf8(db)), 1);
    EXPECT_EQ(CountHistory(h, nullptr), 1);
    delete h;

    // Something that is no file cannot be opened; nothing is moved, and
    // having told once this run, nothing more is told.
    std::filesystem::create_directories(dir / "folder.db");
    EXPECT_EQ(OpenHistory(h, platform::FromUtf8(dir / "folder.db")), 0);
    EXPECT_EQ(h, nullptr);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.db"));
    EXPECT_FALSE(std::filesystem::exists(dir / "folder.db.damaged"));
    EXPECT_EQ(TakeHistoryProblem().kind, HistoryProblem::kNone);
}

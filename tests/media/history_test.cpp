// The history database in real SQLite files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "history/history.h"
#include "media/command_line.h"
#include "media_files.h"
#include "platform/text.h"

using namespace mediatest;

namespace {
std::string RunTool(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

Task Downloaded(const std::wstring& path, int kind) {
    Task t;
    t.source = path;
    t.siteKind = kind;
    t.originAddress = L"http://www.youtube.com/watch?v=abc";
    t.cutEndMs = 61500;
    t.cutStartMs = 1500;
    t.videoFormat = L"FLV1";
    t.width = 320;
    t.height = 240;
    t.fps = 29.97;
    t.videoBitrate = 300000.4;
    t.hasAudio = 1;
    t.audioFormat = L"85";
    t.audioRate = 22050;
    t.audioChannels = 2;
    return t;
}

struct Db {
    std::string path;
    CHistoryDb* db = nullptr;
    explicit Db(std::string p) : path(std::move(p)) {
        EXPECT_EQ(OpenHistory(db, platform::FromUtf8(path)), 1);
    }
    ~Db() { delete db; }
};
}  // namespace

TEST(History, CreateOnceAddListCountDelete) {
    std::string path = ScratchDir() + "/history.db";
    {
        Db d(path);
        ASSERT_NE(d.db, nullptr);
        EXPECT_EQ(d.db->busyTimeoutMs(), 60000);
        EXPECT_EQ(CountHistory(d.db, nullptr), 0);
        EXPECT_EQ(AddHistoryRow(d.db, Downloaded(L"/v/O'Brien's.flv", 0)), 1);
        EXPECT_EQ(AddHistoryRow(d.db, Downloaded(L"/v/twice.flv", 0)), 1);
        EXPECT_EQ(AddHistoryRow(d.db, Downloaded(L"/v/twice.flv", 0)), 1);
        EXPECT_EQ(AddHistoryRow(d.db, Downloaded(L"/v/nico.flv", 3)), 1);
    }
    Db d(path);  // the table is found, not made again
    EXPECT_EQ(CountHistory(d.db, nullptr), 4);
    EXPECT_EQ(CountHistory(d.db, L"YOUTUBE"), 3);
    EXPECT_EQ(CountHistory(d.db, L"NICOVIDEO"), 1);
    EXPECT_EQ(CountHistory(d.db, L"GOOGLE"), 0);
    std::vector<std::unique_ptr<Task>> rows;
    ASSERT_EQ(LoadHistory(d.db, L"YOUTUBE", rows), 1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]->source, L"/v/O'Brien's.flv");
    EXPECT_EQ(rows[0]->durationMs, 60000);
    EXPECT_EQ(rows[0]->cutEndMs, 60000);
    EXPECT_EQ(rows[0]->cutStartMs, 0);
    EXPECT_EQ(rows[0]->historyPageAddress, L"http://www.youtube.com/watch?v=abc");
    EXPECT_EQ(rows[0]->videoFormat, L"FLV1");
    EXPECT_EQ(rows[0]->historySizeText, L"320x240");
    EXPECT_EQ(rows[0]->siteKind, -2);
    EXPECT_EQ(rows[0]->historyDateText.size(), std::wstring(L"December 07, 2008 14:05:09").size() +
                                                   (rows[0]->historyDateText.find(L' ') - 8));
    EXPECT_EQ(DeleteHistoryRow(d.db, *rows[0]), 1);
    EXPECT_EQ(DeleteHistoryRow(d.db, *rows[1]), 1);  // both rows of the path
    EXPECT_EQ(CountHistory(d.db, L"YOUTUBE"), 0);
    EXPECT_EQ(CountHistory(d.db, nullptr), 1);
    // A site's count is looked up by its index, not by reading every row.
    std::string plan = RunTool("sqlite3 '" + path +
                               "' \"EXPLAIN QUERY PLAN SELECT COUNT(*) FROM history WHERE "
                               "profile_name='YOUTUBE'\"");
    EXPECT_NE(plan.find("history_profile"), std::string::npos) << plan;
}

TEST(History, WithoutDatabase) {
    std::vector<std::unique_ptr<Task>> rows;
    EXPECT_EQ(AddHistoryRow(nullptr, Downloaded(L"/x.flv", 0)), 1);
    EXPECT_EQ(DeleteHistoryRow(nullptr, Downloaded(L"/x.flv", 0)), 1);
    EXPECT_EQ(LoadHistory(nullptr, L"YOUTUBE", rows), 0);
    EXPECT_EQ(CountHistory(nullptr, L"YOUTUBE"), 0);
    CHistoryDb* db = reinterpret_cast<CHistoryDb*>(1);
    EXPECT_EQ(OpenHistory(db, L"/nonexistent/folder/history.db"), 0);
    EXPECT_EQ(db, nullptr);
    CHistoryDb closed;
    try {
        closed.execScalar("SELECT 1");
        FAIL();
    } catch (const CppSQLite3Exception& e) {
        EXPECT_EQ(e.errorCode(), 1000);
        EXPECT_STREQ(e.errorMessage(), "CPPSQLITE_ERROR[1000]: Database not open");
    }
    EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(26), "UNKNOWN_ERROR");
    EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(25), "SQLITE_RANGE");
    EXPECT_STREQ(CppSQLite3Exception::ErrorCodeAsString(101), "SQLITE_DONE");
}

TEST(History, NullDurationAndSchemaSeenBySqlite3Tool) {
    std::string path = ScratchDir() + "/history.db";
    Db d(path);
    ASSERT_EQ(AddHistoryRow(d.db, Downloaded(L"/v/a.flv", 1)), 1);
    d.db->execDML("INSERT INTO history (profile_name, dest_file_name) VALUES ('GOOGLE', '/v/n');");
    std::vector<std::unique_ptr<Task>> rows;
    ASSERT_EQ(LoadHistory(d.db, L"GOOGLE", rows), 1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]->durationMs, 0);
    // The table as other tools know it, and the index that speeds up the counts.
    EXPECT_EQ(RunTool("sqlite3 '" + path + "' .schema"),
              std::string(kHistoryCreateSql) +
                  "\nCREATE INDEX history_profile ON history(profile_name);\n");
    std::string row = RunTool("sqlite3 '" + path + "' 'SELECT * FROM history WHERE id=1;'");
    EXPECT_EQ(row.substr(0, row.rfind('|')),
              "1|GOOGLE|http://www.youtube.com/watch?v=abc|/v/a.flv|60000|FLV1|300000|29.97|"
              "320x240|85|0|22050|2|1");
    EXPECT_EQ(RunTool("sqlite3 '" + path +
                      "' 'SELECT typeof(duration), typeof(noaudio) FROM history "
                      "WHERE id=1;'"),
              "integer|integer\n");
}

TEST(History, RecordDownloadWithNonUtf8Name) {
    std::string dir = ScratchDir();
    std::string name = dir + "/bad\xff name's.flv";
    ASSERT_TRUE(CopyFile(Media("a.flv"), name));
    ASSERT_TRUE(CopyFile(Media("a.flv"), dir + "/bad\xfe name's.flv"));
    Db d(dir + "/history.db");
    Task t;
    ASSERT_EQ(RecordDownload(d.db, media::BytesToWide(name), 0, L"http://x/watch?v=1", &t),
              RecordResult::kRecorded);
    ASSERT_EQ(RecordDownload(d.db, media::BytesToWide(dir + "/bad\xfe name's.flv"), 0, L"p"),
              RecordResult::kRecorded);
    EXPECT_EQ(RecordDownload(d.db, media::BytesToWide(Media("c.mp3")), 0, L"p"),
              RecordResult::kNotPlayable);
    EXPECT_EQ(RecordDownload(d.db, media::BytesToWide(name), -2, L"p"), RecordResult::kNoSite);
    EXPECT_EQ(t.width, 160);
    std::vector<std::unique_ptr<Task>> rows;
    ASSERT_EQ(LoadHistory(d.db, L"YOUTUBE", rows), 1);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(media::WideToBytes(rows[0]->source), name);
    EXPECT_EQ(rows[0]->historySizeText, L"160x120");
    EXPECT_EQ(DeleteHistoryRow(d.db, *rows[0]), 1);
    rows.clear();
    LoadHistory(d.db, L"YOUTUBE", rows);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(media::WideToBytes(rows[0]->source), dir + "/bad\xfe name's.flv");
}

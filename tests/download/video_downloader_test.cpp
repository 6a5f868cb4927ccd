// The download worker's messages and files, against the stand-in sites.
#include "download/video_downloader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "app/settings.h"
#include "fakesites_harness.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "site_owner.h"

namespace {

constexpr const char* kRoutes = R"({"routes": [
  {"host": "www.youtube.com", "path": "/watch?v=ok", "body": "<title>YouTube - Clip</title>, \"t\": \"T1\""},
  {"host": "www.youtube.com", "path": "/watch?v=ok2", "body": "<title>YouTube - Other</title>, \"t\": \"T2\""},
  {"host": "www.youtube.com", "path": "/watch?v=stall", "body_size": 100, "stall_after": 5},
  {"host": "www.youtube.com", "path": "/watch?v=slow", "body": ", \"t\": \"T3\""},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=ok", "status": 302,
   "headers": {"Location": "http://v1.test/video"}},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=slow", "status": 302,
   "headers": {"Location": "http://v1.test/stall"}},
  {"host": "www.youtube.com", "path": "/watch?v=drip", "body": "<title>YouTube - Clip</title>, \"t\": \"T4\""},
  {"host": "www.youtube.com", "path": "/watch?v=drip2", "body": "<title>YouTube - Clip</title>, \"t\": \"T5\""},
  {"host": "www.youtube.com", "path": "/watch?v=gone404", "body": "<title>YouTube - Gone</title>, \"t\": \"T6\""},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=drip2", "status": 302,
   "headers": {"Location": "http://v1.test/drip2"}},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=drip", "status": 302,
   "headers": {"Location": "http://v1.test/drip"}},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=gone404", "status": 302,
   "headers": {"Location": "http://v1.test/gone"}},
  {"host": "v1.test", "path": "/gone", "status": 404, "body": "<html>Not found</html>"},
  {"host": "v1.test", "path": "/drip", "body_size": 30, "drip": 0.05},
  {"host": "v1.test", "path": "/drip2", "body_size": 41, "drip": 0.05},
  {"host": "v1.test", "path": "/video", "body_size": 300000},
  {"host": "v1.test", "path": "/stall", "body_size": 300000, "stall_after": 50000}
]})";

using testsupport::DoneMessage;
using testsupport::EndMessage;
using testsupport::RetryMessage;
using testsupport::RunMessage;
using testsupport::TitleMessage;

class Worker : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sites_.Start(kRoutes));
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
        GetSettings().Update([](SettingsData& d) {
            d.YTUser.clear();
            d.YoutubeFMT = 0;
        });
        dl_.SetOutputFolder(platform::FromUtf8(out_.path()));
        dl_.SetUseTitleAsFileName(false);
    }
    // Reports up to the end of the run, without the progress ones; the
    // finished items are kept in items_.
    std::vector<RunMessage> RunToEnd(int* progress = nullptr) {
        testsupport::CollectedRun run = testsupport::CollectAll(queue_);
        events_ = run.events;
        if (progress) *progress = static_cast<int>(run.progress.size());
        for (auto& [row, item] : run.items) items_[row] = item;
        lastProgress_ = run.progress.empty() ? RunEvent{} : run.progress.back();
        return run.messages;
    }
    static RunMessage Status(int code, int row) { return testsupport::StatusMessage(code, row); }
    static void Expect(const std::vector<RunMessage>& got, const std::vector<RunMessage>& want) {
        EXPECT_EQ(got, want);
    }
    std::map<int, ItemReport> items_;
    std::vector<RunEvent> events_;  // of the last RunToEnd, without progress
    RunEvent lastProgress_;
    testsupport::FakeSites sites_;
    testsupport::TempDir out_;
    RunEventQueue queue_;
    CVideoDownloader dl_{&queue_};
};

}  // namespace

TEST_F(Worker, SuccessfulItemsWithUnknownAddressBetween) {
    dl_.SetUseTitleAsFileName(true);
    dl_.AddItem(L"http://www.youtube.com/watch?v=ok", 5);
    dl_.AddItem(L"ftp://example.com/not-a-video-site", 6);
    dl_.AddItem(L"http://www.youtube.com/watch?v=ok2", 7);
    ASSERT_TRUE(dl_.Start());
    int progress = 0;
    auto got = RunToEnd(&progress);
    Expect(got, {Status(kStatusFetchingPage, 5),
                 Status(kStatusPageFetched, 5),
                 Status(kStatusVideoAddress, 5),
                 TitleMessage(5),
                 DoneMessage(5),
                 Status(kStatusComplete, 5),
                 Status(kStatusFetchingPage, 7),
                 Status(kStatusPageFetched, 7),
                 Status(kStatusVideoAddress, 7),
                 TitleMessage(7),
                 DoneMessage(7),
                 Status(kStatusComplete, 7),
                 EndMessage(false)});
    // Progress comes as the thousandths change, not for every piece read.
    EXPECT_GE(progress, 2);
    EXPECT_LE(progress, 2 * 1001);
    EXPECT_EQ(testsupport::ReadFile(out_ / "YouTube/Clip.flv").size(), 300000u);
    EXPECT_EQ(testsupport::ReadFile(out_ / "YouTube/Other.flv").size(), 300000u);
    EXPECT_FALSE(std::filesystem::exists(out_ / "YouTube/Other.flv.cvt"));
    EXPECT_EQ(dl_.BytesReceived(), 300000u);
    EXPECT_EQ(lastProgress_.progress, (RunProgress{1000, 300000, 300000}));
    // Each finished row came with its own item.
    ItemReport first = items_[5], second = items_[7];
    EXPECT_EQ(first.title, L"Clip");
    EXPECT_EQ(first.finalPath, platform::FromUtf8(out_ / "YouTube/Clip.flv"));
    EXPECT_EQ(first.pageAddress, L"http://www.youtube.com/watch?v=ok");
    EXPECT_EQ(first.siteKind, 0);
    EXPECT_EQ(second.finalPath, platform::FromUtf8(out_ / "YouTube/Other.flv"));
    EXPECT_EQ(items_.count(6), 0u);
    EXPECT_TRUE(dl_.Stop());
}

TEST_F(Worker, RowsPastSixteenBitsComeBackWhole) {
    dl_.AddItem(L"http://www.youtube.com/watch?v=ok", 70000);
    ASSERT_TRUE(dl_.Start());
    int progress = 0;
    auto got = RunToEnd(&progress);
    Expect(got, {Status(kStatusFetchingPage, 70000), Status(kStatusPageFetched, 70000),
                 Status(kStatusVideoAddress, 70000), TitleMessage(70000), DoneMessage(70000),
                 Status(kStatusComplete, 70000), EndMessage(false)});
    EXPECT_GT(progress, 0);
    EXPECT_EQ(lastProgress_.row, 70000);
    EXPECT_EQ(items_[70000].finalPath, platform::FromUtf8(out_ / "YouTube/ok.flv"));
}

TEST_F(Worker, RetriesCountUpInMessages) {
    for (int retries : {0, 3}) {
        dl_.SetRetryTimes(retries);
        dl_.AddItem(L"http://www.youtube.com/watch?v=gone", 2);
        ASSERT_TRUE(dl_.Start());
        auto got = RunToEnd();
        std::vector<RunMessage> want;
        for (int a = 0; a <= retries; ++a) {
            want.push_back(Status(kStatusFetchingPage, 2));
            want.push_back(Status(kStatusFailed, 2));  // a 404 answer is no page
            if (a < retries) want.push_back(RetryMessage(a + 1, 2));
        }
        want.push_back(EndMessage(false));
        Expect(got, want);
        dl_.Stop();
    }
}

TEST_F(Worker, StopDuringSecondPageFetch) {
    dl_.AddItem(L"http://www.youtube.com/watch?v=ok", 0);
    dl_.AddItem(L"http://www.youtube.com/watch?v=stall", 1);
    dl_.AddItem(L"http://www.youtube.com/watch?v=ok2", 2);
    ASSERT_TRUE(dl_.Start());
    for (;;) {
        auto e = queue_.Take(std::chrono::seconds(20));
        ASSERT_TRUE(e);
        if (*e == RunEvent::Status(1, kStatusFetchingPage)) break;
    }
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(dl_.Stop());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(5000));
    auto rest = RunToEnd();
    // "Stopped" once, and no error.
    Expect(rest, {Status(kStatusStopped, 1), EndMessage(true)});
    for (const RunEvent& e : events_) EXPECT_EQ(e.text, L"");
    EXPECT_TRUE(std::filesystem::exists(out_ / "YouTube/ok.flv"));
}

TEST_F(Worker, StopDuringBodyRemovesTemporaryFile) {
    dl_.AddItem(L"http://www.youtube.com/watch?v=slow", 3);
    ASSERT_TRUE(dl_.Start());
    for (;;) {
        auto e = queue_.Take(std::chrono::seconds(20));
        ASSERT_TRUE(e);
        if (e->kind == RunEvent::kProgress) break;
    }
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(dl_.Stop());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(5000));
    auto rest = RunToEnd();
    Expect(rest, {Status(kStatusStopped, 3), EndMessage(true)});
    for (const RunEvent& e : events_) EXPECT_EQ(e.text, L"");
    EXPECT_FALSE(std::filesystem::exists(out_ / "YouTube/slow.flv.cvt"));
    EXPECT_FALSE(std::filesystem::exists(out_ / "YouTube/slow.flv"));
}

namespace {
void WaitForFile(const std::string& path) {
    for (int i = 0; i < 2000 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
}
}  // namespace

TEST_F(Worker, AFilePlantedAtTheFinalNameSurvives) {
    dl_.AddItem(L"http://www.youtube.com/watch?v=drip", 1);
    ASSERT_TRUE(dl_.Start());
    WaitForFile(out_ / "YouTube/drip.flv.cvt");
    testsupport::WriteFile(out_ / "YouTube/drip.flv", "the user's own file");
    auto got = RunToEnd();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), EndMessage(false));
    EXPECT_EQ(testsupport::ReadFile(out_ / "YouTube/drip.flv"), "the user's own file");
    EXPECT_EQ(testsupport::ReadFile(out_ / "YouTube/drip_001.flv").size(), 30u);
    EXPECT_EQ(items_[1].finalPath, platform::FromUtf8(out_ / "YouTube/drip_001.flv"));
    EXPECT_EQ(dl_.FinalPath(), items_[1].finalPath);
}

TEST_F(Worker, TwoRunsWithOneTitleKeepTheirOwnVideos) {
    RunEventQueue otherQueue;
    CVideoDownloader other(&otherQueue);
    other.SetOutputFolder(platform::FromUtf8(out_.path()));
    for (CVideoDownloader* d : {&dl_, &other}) d->SetUseTitleAsFileName(true);
    dl_.AddItem(L"http://www.youtube.com/watch?v=drip", 1);
    other.AddItem(L"http://www.youtube.com/watch?v=drip2", 1);
    ASSERT_TRUE(dl_.Start());
    ASSERT_TRUE(other.Start());
    RunToEnd();
    const ItemReport otherItem = testsupport::CollectAll(otherQueue).items[1];
    // Each run's report names a file of its own size: 30 and 41 bytes.
    std::string mine = testsupport::ReadFile(platform::ToUtf8(items_[1].finalPath));
    std::string theirs = testsupport::ReadFile(platform::ToUtf8(otherItem.finalPath));
    EXPECT_NE(items_[1].finalPath, otherItem.finalPath);
    EXPECT_EQ(mine.size(), 30u);
    EXPECT_EQ(theirs.size(), 41u);
    EXPECT_EQ(theirs.substr(0, 30), mine);  // the same pattern, so compare lengths
    EXPECT_TRUE(std::filesystem::exists(out_ / "YouTube/Clip.flv"));
    EXPECT_TRUE(std::filesystem::exists(out_ / "YouTube/Clip_001.flv"));
}

TEST_F(Worker, APlantedLinkIsNotFollowed) {
    std::filesystem::create_directories(out_ / "YouTube");
    testsupport::TempDir elsewhere;
    testsupport::WriteFile(elsewhere / "precious", "do not touch");
    ASSERT_EQ(::symlink((elsewhere / "precious").c_str(), (out_ / "YouTube/ok.flv.cvt").c_str()),
              0);
    dl_.AddItem(L"http://www.youtube.com/watch?v=ok", 1);
    ASSERT_TRUE(dl_.Start());
    RunToEnd();
    EXPECT_EQ(testsupport::ReadFile(elsewhere / "precious"), "do not touch");
    EXPECT_EQ(testsupport::ReadFile(out_ / "YouTube/ok_001.flv").size(), 300000u);
    EXPECT_FALSE(std::filesystem::exists(out_ / "YouTube/ok.flv"));
}

TEST_F(Worker, AnErrorAnswerLeavesNothingBehind) {
    dl_.SetRetryTimes(1);
    dl_.AddItem(L"http://www.youtube.com/watch?v=gone404", 2);
    ASSERT_TRUE(dl_.Start());
    auto got = RunToEnd();
    std::vector<RunMessage> want;
    for (int a = 0; a < 2; ++a) {
        for (int code : {kStatusFetchingPage, kStatusPageFetched, kStatusVideoAddress})
            want.push_back(Status(code, 2));
        want.push_back(TitleMessage(2));
        want.push_back(Status(kStatusNoVideo, 2));
        if (a == 0) want.push_back(RetryMessage(1, 2));
    }
    want.push_back(EndMessage(false));
    Expect(got, want);
    EXPECT_EQ(dl_.LastError(), L"HTTP 404 Not Found from v1.test");
    // Neither a video nor a temporary file of either attempt.
    EXPECT_TRUE(std::filesystem::is_empty(out_ / "YouTube"));
}

namespace {
// A user who never answers: the box stays open until it is cancelled.
class SilentUser : public platform::IMessageBoxService {
  public:
    int Show(const std::wstring& text, const std::wstring&, unsigned flags,
             const platform::CancelCheck& cancelled) override {
        shown = text;
        open = true;
        while (!(cancelled && cancelled()))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        open = false;
        return platform::CancelAnswer(flags);
    }
    std::wstring shown;
    std::atomic<bool> open{false};
};
}  // namespace

TEST_F(Worker, StopEndsTheRunWhileTheNamingBoxIsOpen) {
    SilentUser user;
    platform::SetMessageBoxService(&user);
    dl_.SetOutputFolder(platform::FromUtf8(out_.path() + "/" + std::string(260, 'f')));
    dl_.SetRetryTimes(3);
    dl_.AddItem(L"http://www.youtube.com/watch?v=ok", 4);
    ASSERT_TRUE(dl_.Start());
    for (int i = 0; i < 2000 && !user.open; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(user.open);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(dl_.Stop());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(5000));
    platform::SetMessageBoxService(nullptr);
    EXPECT_FALSE(user.open);
    EXPECT_NE(user.shown.find(L"exceed max length"), std::wstring::npos);
    auto rest = RunToEnd();
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest.back(), EndMessage(true));
    for (const RunMessage& m : rest) EXPECT_NE(m.kind, RunEvent::kRetry);  // no retry after the stop
}

TEST(WorkerStatus, LParamAndTexts) {
    RunEventQueue q;
    CVideoDownloader dl(&q);
    EXPECT_FALSE(dl.Stop());
    EXPECT_EQ(CVideoDownloader::GetStatusText(999), L"");
}

// The transport over real HTTP on loopback, through the stand-in sites.
#include "download/http_transfer.h"
#include "download/codes.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "fakesites_harness.h"
#include "platform/text.h"

using platform::FromUtf8;
using platform::ToUtf8;
using testsupport::FakeSites;

namespace {

class Owner : public IHttpOwner {
  public:
    bool IsAborted() override { return aborted = stop.load(); }
    bool StopRequested() const override { return stop; }
    void PostProgress(unsigned t) override {
        ++progressCount;
        lastProgress = t;
    }
    void SetError(const std::wstring& text) override { lastError = text; }
    void ClearFinalPath() override { finalPathCleared = true; }
    std::atomic<bool> stop{false};
    bool aborted = false, finalPathCleared = false;
    int progressCount = 0;
    unsigned lastProgress = 0;
    std::wstring lastError;
};

class Transfer : public ::testing::Test {
  protected:
    void Serve(const std::string& routes) {
        ASSERT_TRUE(sites_.Start("{\"routes\": [" + routes + "]}"));
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
        unsetenv("no_proxy");
    }
    std::wstring Out(const char* name) { return FromUtf8(dir_ / name); }
    FakeSites sites_;
    testsupport::TempDir dir_;
    Owner owner_;
    CHttpTransfer http_{&owner_, false};
    std::atomic<uint64_t> length_{0}, received_{0};
    std::wstring final_;
};

}  // namespace

TEST_F(Transfer, FiveHeadersInOrderAndFormBodyByteForByte) {
    Serve(R"({"host": "uk.youtube.com", "path": "/login?next_url=/", "status": 303,
              "headers": {"Location": "/"}, "set_cookies": ["LOGIN_INFO=k1; Path=/; Domain=.youtube.com"]},
             {"host": "www.youtube.com", "path": "/watch?v=1", "body": "page"})");
    std::unique_ptr<CHttpAnswer> answer;
    std::wstring location;
    std::wstring body = L"user=\u00e9&x=a%20b";
    EXPECT_EQ(
        http_.RequestHTTP(L"http://uk.youtube.com/login?next_url=/", answer, location, 0, &body),
        302);
    EXPECT_EQ(location, L"/");
    std::wstring page;
    EXPECT_EQ(http_.GetHTMLPage(L"http://www.youtube.com/watch?v=1", page), 0);
    EXPECT_EQ(page, L"page");

    auto reqs = sites_.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].body, "user=\xc3\xa9&x=a%20b");
    for (const auto& r : reqs) {
        std::vector<std::string> names;
        for (const auto& [k, v] : r.headers) names.push_back(k);
        auto at = [&](const char* n) {
            return std::find(names.begin(), names.end(), n) - names.begin();
        };
        EXPECT_LT(at("User-Agent"), at("Accept-Charset"));
        EXPECT_LT(at("Accept-Charset"), at("Accept"));
        EXPECT_LT(at("Accept"), at("Accept-Language"));
        EXPECT_LT(at("Accept-Language"), at("Content-Type"));
        EXPECT_LT(at("Content-Type"), static_cast<long>(names.size()));
        EXPECT_EQ(r.Header("User-Agent"),
                  "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.8.1.11) Gecko/20071127 "
                  "Firefox/2.0.0.11");
        EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(r.Header("Cache-Control"), "no-cache");
        EXPECT_EQ(r.Header("Expect"), "");
    }
    // The login answer's cookie travels with the next request to the site.
    EXPECT_NE(reqs[1].Header("Cookie").find("LOGIN_INFO=k1"), std::string::npos);
}

TEST_F(Transfer, PageRedirectsErrorPagesAndSplitCharacters) {
    // 8191 ASCII bytes put the three bytes of the next character across two reads.
    std::string split = std::string(8191, 'a') + "\xe6\x97\xa5" + "end";
    Serve(
        R"({"host": "a.test", "path": "/r1", "status": 301, "headers": {"Location": "http://b.test/r2"}},
             {"host": "b.test", "path": "/r2", "status": 303, "headers": {"Location": "/split"}},
             {"host": "b.test", "path": "/split", "body": ")" +
        split + R"("},
             {"host": "a.test", "path": "/r0", "status": 302, "headers": {"Location": "/r1"}},
             {"host": "a.test", "path": "/missing", "status": 404, "body": "not here"},
             {"host": "a.test", "path": "/broken", "status": 503, "body": "oops"},
             {"host": "a.test", "path": "/noloc", "status": 302})");
    std::wstring page;
    // A relative location resolves against the address that sent it (b.test,
    // not the host first given); three requests at most, so two redirects are
    // followed and a third fails.
    ASSERT_EQ(http_.GetHTMLPage(L"http://a.test/r1", page), 0);
    EXPECT_EQ(page, FromUtf8(split));
    page.clear();
    EXPECT_EQ(http_.GetHTMLPage(L"http://a.test/r0", page), -1);
    page.clear();
    // An error answer is no page: it fails and says which page said what.
    EXPECT_EQ(http_.GetHTMLPage(L"http://a.test/missing", page), -1);
    EXPECT_EQ(owner_.lastError, L"The page http://a.test/missing answered 404 Not Found");
    EXPECT_EQ(http_.GetHTMLPage(L"http://a.test/broken", page), -1);
    EXPECT_EQ(owner_.lastError, L"The page http://a.test/broken answered 503 Service Unavailable");
    EXPECT_TRUE(page.empty());
    EXPECT_EQ(http_.GetHTMLPage(L"http://a.test/noloc", page), -1);
    EXPECT_EQ(http_.GetHTMLPage(L"no address", page), -1);
}

TEST_F(Transfer, VideoRedirectChainsAndRelativeLocation) {
    std::string routes;
    for (int i = 0; i < 11; ++i)
        routes += "{\"host\": \"v.test\", \"path\": \"/c" + std::to_string(i) +
                  "\", \"status\": 302, \"headers\": {\"Location\": \"http://v.test/c" +
                  std::to_string(i + 1) + "\"}},";
    routes += R"({"host": "v.test", "path": "/c11", "body_size": 100000},
                 {"host": "v.test", "path": "/rel", "status": 302, "headers": {"Location": "/c11"}},
                 {"host": "v.test", "path": "/a/b/page", "status": 302, "headers": {"Location": "watch?v=x"}},
                 {"host": "v.test", "path": "/a/b/watch?v=x", "status": 301, "headers": {"Location": "../up"}},
                 {"host": "v.test", "path": "/a/up", "status": 303, "headers": {"Location": "//cdn.test/v?id=1#frag"}},
                 {"host": "cdn.test", "path": "/v?id=1", "status": 302, "headers": {"Location": "?id=2"}},
                 {"host": "cdn.test", "path": "/v?id=2", "body_size": 5000})";
    Serve(routes);
    // Nine redirects and the answer fit the ten requests; ten and eleven do not.
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/c2", Out("a.flv"), final_, length_, received_), 0);
    EXPECT_EQ(final_, L"http://v.test/c11");
    EXPECT_EQ(received_, 100000u);
    EXPECT_EQ(owner_.lastProgress, 1000u);
    EXPECT_EQ(testsupport::ReadFile(dir_ / "a.flv").size(), 100000u);
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/c1", Out("b.flv"), final_, length_, received_), -1);
    EXPECT_EQ(owner_.lastError, L"Too many redirects from v.test");
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/c0", Out("b.flv"), final_, length_, received_), -1);
    // Relative locations resolve against the address that sent them.
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/rel", Out("c.flv"), final_, length_, received_), 0);
    EXPECT_EQ(final_, L"http://v.test/c11");
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/a/b/page", Out("d.flv"), final_, length_, received_),
              0);
    EXPECT_EQ(final_, L"http://cdn.test/v?id=2");
    EXPECT_EQ(received_, 5000u);
}

TEST_F(Transfer, NoLengthShortBodyAndZeroLength) {
    Serve(R"({"host": "v.test", "path": "/nolen", "body": "data", "content_length": false},
             {"host": "v.test", "path": "/short", "body_size": 100000, "reset_after": 30000},
             {"host": "v.test", "path": "/liar", "body_size": 1000, "content_length": 5000},
             {"host": "v.test", "path": "/empty", "body": ""})");
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/nolen", Out("n.flv"), final_, length_, received_),
              -1);
    EXPECT_NE(owner_.lastError.find(L"no Content-Length"), std::wstring::npos);
    EXPECT_EQ(testsupport::ReadFile(dir_ / "n.flv"), "");
    int r = http_.GetFLVFile(L"http://v.test/short", Out("s.flv"), final_, length_, received_);
    EXPECT_GT(r, kNetErrorBase);
    EXPECT_EQ(length_, 100000u);
    r = http_.GetFLVFile(L"http://v.test/liar", Out("l.flv"), final_, length_, received_);
    EXPECT_NE(r, 0);
    // An empty answer is no video.
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/empty", Out("e.flv"), final_, length_, received_),
              -1);
    EXPECT_EQ(owner_.lastError, L"The video server v.test sent no data");
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/nolen", L"/nonexistent/dir/x.flv", final_, length_,
                               received_),
              -1);
    EXPECT_EQ(owner_.lastError,
              L"can not create output file /nonexistent/dir/x.flv: No such file or directory");
}

TEST_F(Transfer, StopEndsStalledAndDrippingAnswersQuickly) {
    Serve(R"({"host": "v.test", "path": "/stall", "body_size": 100000, "stall_after": 20000},
             {"host": "v.test", "path": "/drip", "body_size": 100000, "drip": 1},
             {"host": "v.test", "path": "/hang", "body_size": 10, "stall_after": 0, "content_length": false},
             {"host": "v.test", "path": "/flow", "body_size": 100000000, "rate": 4000000})");
    for (const wchar_t* url :
         {L"http://v.test/stall", L"http://v.test/drip", L"http://v.test/flow"}) {
        owner_.stop = false;
        owner_.lastError.clear();
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            owner_.stop = true;
        });
        auto t0 = std::chrono::steady_clock::now();
        int r = http_.GetFLVFile(url, Out("v.flv"), final_, length_, received_);
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - t0)
                      .count();
        stopper.join();
        // A stop is no failure: nothing is recorded as an error.
        EXPECT_EQ(r, kResultStopped);
        EXPECT_EQ(owner_.lastError, L"");
        EXPECT_TRUE(owner_.finalPathCleared);
        EXPECT_LT(ms, 5000);
    }
    owner_.stop = false;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        owner_.stop = true;
    });
    std::wstring page;
    EXPECT_EQ(http_.GetHTMLPage(L"http://v.test/hang", page), kResultStopped);
    stopper.join();
}

TEST_F(Transfer, HttpsThroughTheTunnelIsVerified) {
    Serve(
        R"({"host": "secure.nicovideo.jp", "method": "POST", "path": "/secure/login?site=niconico",
              "status": 302, "headers": {"Location": "http://www.nicovideo.jp/"},
              "set_cookies": ["user_session=u1; Domain=.nicovideo.jp; Path=/"]},
             {"host": "www.nicovideo.jp", "path": "/watch/sm9", "body": "<title>ok</title>"})");
    sites_.UseAsProxy();
    std::unique_ptr<CHttpAnswer> answer;
    std::wstring location, body = L"a=1&b=2";
    EXPECT_EQ(http_.RequestHTTP(L"https://secure.nicovideo.jp/secure/login?site=niconico", answer,
                                location, 0, &body),
              302);
    std::wstring page;
    EXPECT_EQ(http_.GetHTMLPage(L"http://www.nicovideo.jp/watch/sm9", page), 0);
    auto reqs = sites_.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].target, "https://secure.nicovideo.jp/secure/login?site=niconico");
    EXPECT_EQ(reqs[0].body, "a=1&b=2");
    EXPECT_NE(reqs[1].Header("Cookie").find("user_session=u1"), std::string::npos);

    // Against the system's authorities the stand-in's certificate is refused.
    setenv("CURL_CA_BUNDLE", "/etc/ssl/certs/ca-certificates.crt", 1);
    try {
        http_.RequestHTTP(L"https://secure.nicovideo.jp/secure/login?site=niconico", answer,
                          location, 0, &body);
        ADD_FAILURE() << "an unknown certificate was accepted";
    } catch (const CNetException& e) {
        EXPECT_EQ(e.code, kNetErrorBase + 60) << e.message;  // peer verification failed
    }
    EXPECT_EQ(sites_.Requests().size(), 2u);
    unsetenv("CURL_CA_BUNDLE");
    unsetenv("https_proxy");
}

TEST_F(Transfer, EndlessPageFailsAtTheBound) {
    Serve(R"({"host": "www.youtube.com", "path": "/huge", "body_size": 67108865})");
    std::wstring page;
    int r = http_.GetHTMLPage(L"http://www.youtube.com/huge", page);
    EXPECT_EQ(r, kNetErrorBase + 63);  // file size exceeded
    EXPECT_FALSE(owner_.lastError.empty());
}

TEST_F(Transfer, ErrorAnswersAreNoVideo) {
    Serve(
        R"({"host": "v.test", "path": "/moved", "status": 302, "headers": {"Location": "http://v.test/gone"}},
             {"host": "v.test", "path": "/gone", "status": 404, "body": "<html>not here</html>"},
             {"host": "v.test", "path": "/broken", "status": 500, "body": "oops"},
             {"host": "v.test", "path": "/secret", "status": 403, "body": "no"})");
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/moved", Out("a.flv"), final_, length_, received_),
              -1);
    EXPECT_EQ(owner_.lastError, L"HTTP 404 Not Found from v.test");
    EXPECT_EQ(final_, L"http://v.test/gone");
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/broken", Out("b.flv"), final_, length_, received_),
              -1);
    EXPECT_EQ(owner_.lastError, L"HTTP 500 Internal Server Error from v.test");
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/secret", Out("c.flv"), final_, length_, received_),
              -1);
    EXPECT_EQ(owner_.lastError, L"HTTP 403 Forbidden from v.test");
}

// A 200 answer that is a page, not the video, fails before the file is
// touched; media types and an answer without a type go through.
TEST_F(Transfer, AWebPageInTheVideosPlaceIsRefused) {
    Serve(
        R"({"host": "v.test", "path": "/html", "headers": {"Content-Type": "text/html; charset=utf-8"},
              "body": "<html><body>Please log in</body></html>"},
             {"host": "v.test", "path": "/json", "headers": {"Content-Type": "application/json"},
              "body": "{\"error\": \"gone\"}"},
             {"host": "v.test", "path": "/moved", "status": 302, "headers": {"Location": "/xml"}},
             {"host": "v.test", "path": "/xml", "headers": {"Content-Type": "application/xml"}, "body": "<a/>"},
             {"host": "v.test", "path": "/flv", "headers": {"Content-Type": "video/x-flv"}, "body_size": 3000},
             {"host": "v.test", "path": "/bin", "headers": {"Content-Type": "application/octet-stream"}, "body_size": 3000},
             {"host": "v.test", "path": "/untyped", "body_size": 3000})");
    for (const wchar_t* url :
         {L"http://v.test/html", L"http://v.test/json", L"http://v.test/moved"}) {
        testsupport::WriteFile(dir_ / "kept.flv", "earlier bytes");
        owner_.lastError.clear();
        EXPECT_EQ(http_.GetFLVFile(url, Out("kept.flv"), final_, length_, received_), -1);
        EXPECT_EQ(owner_.lastError,
                  L"The video server v.test sent a web page instead of the video");
        EXPECT_EQ(testsupport::ReadFile(dir_ / "kept.flv"), "earlier bytes") << ToUtf8(url);
        EXPECT_EQ(received_, 0u);
    }
    for (const wchar_t* url :
         {L"http://v.test/flv", L"http://v.test/bin", L"http://v.test/untyped"}) {
        EXPECT_EQ(http_.GetFLVFile(url, Out("v.flv"), final_, length_, received_), 0)
            << ToUtf8(url);
        EXPECT_EQ(received_, 3000u);
    }
}

// A stalled server and a page that drips just fast enough both end, with a
// text that names the server.
TEST_F(Transfer, StalledServersAndDrippingPagesEndInTime) {
    SetLowSpeedTime(2);
    SetPageDeadline(3);
    Serve(R"({"host": "api.test", "path": "/stall", "body_size": 100000, "stall_after": 10},
             {"host": "api.test", "path": "/drip", "body_size": 1000000, "rate": 2000})");
    std::wstring page;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(http_.GetHTMLPage(L"http://api.test/stall", page), kNetErrorBase + 28);
    EXPECT_EQ(owner_.lastError, L"The server api.test did not answer in time");
    owner_.lastError.clear();
    EXPECT_EQ(http_.GetHTMLPage(L"http://api.test/drip", page), kNetErrorBase + 28);
    EXPECT_EQ(owner_.lastError, L"The server api.test did not answer in time");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
    SetPageDeadline(120);
    SetLowSpeedTime(120);
}

TEST_F(Transfer, DrippingAnswersFailButSlowOnesFinish) {
    SetLowSpeedTime(2);
    Serve(R"({"host": "v.test", "path": "/drip", "body_size": 100000, "drip": 1},
             {"host": "v.test", "path": "/page", "body_size": 100000, "drip": 0.02},
             {"host": "v.test", "path": "/slow", "body_size": 60, "drip": 0.05})");
    auto t0 = std::chrono::steady_clock::now();
    int r = http_.GetFLVFile(L"http://v.test/drip", Out("d.flv"), final_, length_, received_);
    EXPECT_EQ(r, kNetErrorBase + 28) << platform::ToUtf8(owner_.lastError);  // timed out
    std::wstring page;
    EXPECT_EQ(http_.GetHTMLPage(L"http://v.test/page", page), kNetErrorBase + 28);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(60));
    // 20 bytes a second is slow but moving: a video gets through.
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/slow", Out("s.flv"), final_, length_, received_), 0);
    EXPECT_EQ(received_, 60u);
    SetLowSpeedTime(120);
}

namespace {
uint64_t PeakKiB() {
    std::string status = testsupport::ReadFile("/proc/self/status");
    size_t at = status.find("VmHWM:");
    return at == std::string::npos ? 0 : std::strtoull(status.c_str() + at + 6, nullptr, 10);
}
}  // namespace

TEST_F(Transfer, AnEndlessPageTakesAboutTheBoundInMemory) {
    Serve(R"({"host": "www.youtube.com", "path": "/endless", "body_size": 104857600,
              "content_length": false})");
    testsupport::WriteFile("/proc/self/clear_refs", "5");  // resets the peak
    uint64_t before = PeakKiB();
    std::wstring page;
    EXPECT_EQ(http_.GetHTMLPage(L"http://www.youtube.com/endless", page), kNetErrorBase + 63);
    EXPECT_TRUE(page.empty());
    uint64_t grown = PeakKiB() - before;
    // The bound is 64 MiB; decoded as it came, the page took over 256 MiB.
    EXPECT_LT(grown, 100u * 1024) << grown << " KiB";
}

TEST_F(Transfer, AWriteThatFailsEndsTheDownloadWithItsReasonAndKeepsWhatWasWritten) {
    Serve(R"({"host": "v.test", "path": "/big", "body_size": 6000000, "ranges": true,
              "headers": {"Content-Type": "video/x-flv", "ETag": "\"b1\""}})");
    const std::wstring part = Out("big.flv.cvt");
    http_.SetResumeKey(L"http://page.test/big");
    {
        // Files of this process may not grow past 2 MiB: writes fail as on
        // a full disk.
        struct rlimit was {};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &was), 0);
        struct rlimit small = was;
        small.rlim_cur = 2 << 20;
        auto signalWas = signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        int r = http_.GetFLVFile(L"http://v.test/big", part, final_, length_, received_);
        setrlimit(RLIMIT_FSIZE, &was);
        signal(SIGXFSZ, signalWas);
        EXPECT_EQ(r, -1);
    }
    EXPECT_EQ(owner_.lastError, L"Write file failed: " + part + L": File too large");
    EXPECT_EQ(std::filesystem::file_size(ToUtf8(part)), 2u << 20);
    PartialRecord record;
    ASSERT_TRUE(ReadPartialRecord(part, record));
    EXPECT_EQ(record.written, 2u << 20);

    // The next attempt goes on from there to the same bytes as a whole download.
    EXPECT_EQ(http_.GetFLVFile(L"http://v.test/big", part, final_, length_, received_), 0);
    CHttpTransfer whole(&owner_, false);
    ASSERT_EQ(whole.GetFLVFile(L"http://v.test/big", Out("whole.flv"), final_, length_, received_),
              0);
    EXPECT_EQ(testsupport::ReadFile(ToUtf8(part)), testsupport::ReadFile(dir_ / "whole.flv"));
    EXPECT_EQ(sites_.Requests()[1].Header("Range"), "bytes=2097152-");
}

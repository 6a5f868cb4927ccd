// The stand-in sites themselves, driven by plain libcurl through the proxy:
// what the engine's tests rely on must hold first.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "fakesites_harness.h"

namespace {

struct Fetch {
    long status = 0;
    CURLcode code = CURLE_OK;
    std::string body;
};

size_t Collect(char* p, size_t s, size_t n, void* u) {
    static_cast<std::string*>(u)->append(p, s * n);
    return s * n;
}

Fetch Get(const testsupport::FakeSites& fs, const std::string& url, const char* post = nullptr,
          long timeoutMs = 10000, const char* range = nullptr) {
    Fetch f;
    CURL* c = curl_easy_init();
    if (range) curl_easy_setopt(c, CURLOPT_RANGE, range);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROXY, fs.ProxyUrl().c_str());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &f.body);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeoutMs);
    if (post) curl_easy_setopt(c, CURLOPT_POSTFIELDS, post);
    f.code = curl_easy_perform(c);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &f.status);
    curl_easy_cleanup(c);
    return f;
}

}  // namespace

TEST(FakeSites, YouTubeScenarioAnswersAndRecordsEveryRequest) {
    testsupport::FakeSites fs;
    ASSERT_TRUE(fs.StartFile("youtube.json"));
    Fetch login = Get(fs, "http://uk.youtube.com/login?next_url=/", "user=a&pw=%E4");
    EXPECT_EQ(login.status, 303);
    Fetch page = Get(fs, "http://www.youtube.com/watch?v=abc123");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("\"t\": \"vjVQa1PpcFMxQ0\""), std::string::npos);
    Fetch video = Get(fs, "http://v7.lscache3.c.youtube.com/videoplayback?id=abc123");
    // A short real video, then the pattern up to the size.
    ASSERT_EQ(video.body.size(), 5242880u);
    EXPECT_EQ(video.body.substr(0, 4), "FLV\x01");
    EXPECT_EQ(Get(fs, "http://unknown.example/").status, 404);

    auto reqs = fs.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].target, "http://uk.youtube.com/login?next_url=/");
    EXPECT_EQ(reqs[0].body, "user=a&pw=%E4");
    EXPECT_EQ(reqs[1].Header("host"), "www.youtube.com");
}

TEST(FakeSites, ResetNoLengthAndStall) {
    testsupport::FakeSites fs;
    ASSERT_TRUE(fs.Start(R"({"routes": [
        {"host": "a.test", "path": "/reset", "body_size": 100000, "reset_after": 5000},
        {"host": "a.test", "path": "/nolen", "body": "no length", "content_length": false},
        {"host": "a.test", "path": "/stall", "body_size": 100, "stall_after": 10}]})"));
    Fetch reset = Get(fs, "http://a.test/reset");
    EXPECT_NE(reset.code, CURLE_OK);
    EXPECT_EQ(reset.body.size(), 5000u);
    Fetch nolen = Get(fs, "http://a.test/nolen");
    EXPECT_EQ(nolen.code, CURLE_OK);
    EXPECT_EQ(nolen.body, "no length");
    Fetch stall = Get(fs, "http://a.test/stall", nullptr, 1000);
    EXPECT_EQ(stall.code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(stall.body.size(), 10u);
}

TEST(FakeSites, RangesAreAnsweredOnlyWhereTheRouteSaysSo) {
    testsupport::FakeSites fs;
    ASSERT_TRUE(fs.Start(R"({"routes": [
  {"host": "m.test", "path": "/r", "body_size": 1000, "ranges": true},
  {"host": "m.test", "path": "/t", "body": "0123456789", "ranges": true},
  {"host": "m.test", "path": "/n", "body_size": 1000}
]})"));
    Fetch tail = Get(fs, "http://m.test/r", nullptr, 10000, "900-");
    EXPECT_EQ(tail.status, 206);
    ASSERT_EQ(tail.body.size(), 100u);
    // The pattern goes on where the range starts.
    EXPECT_EQ(static_cast<unsigned char>(tail.body[0]), 900 % 251);
    Fetch mid = Get(fs, "http://m.test/t", nullptr, 10000, "2-4");
    EXPECT_EQ(mid.status, 206);
    EXPECT_EQ(mid.body, "234");
    EXPECT_EQ(Get(fs, "http://m.test/t", nullptr, 10000, "10-").status, 416);
    Fetch whole = Get(fs, "http://m.test/n", nullptr, 10000, "900-");
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body.size(), 1000u);
    auto reqs = fs.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].Header("Range"), "bytes=900-");
}

// The NicoVideo handler against the stand-in sites: https login, the
// video-information answer and the media kind of its address.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "app/localization.h"
#include "app/settings.h"
#include "download/video_downloader.h"
#include "fakesites_harness.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "site_owner.h"

namespace {

class CountingUser : public platform::IMessageBoxService {
  public:
    int Show(const std::wstring& text, const std::wstring&, unsigned flags,
             const platform::CancelCheck&) override {
        ++shown;
        last = text;
        return platform::CancelAnswer(flags);
    }
    std::atomic<int> shown{0};
    std::wstring last;
};

class NicoVideo : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sites_.StartFile("nicovideo.json"));
        sites_.UseAsProxy();
        platform::SetMessageBoxService(&user_);
        CNicoVideoSite::ResetAccountHint();
        Account(L"", L"");
    }
    void TearDown() override {
        platform::SetMessageBoxService(nullptr);
        unsetenv("https_proxy");
        unsetenv("CURL_CA_BUNDLE");
    }
    void Account(const std::wstring& user, const std::wstring& password) {
        GetSettings().Update([&](SettingsData& d) {
            d.NicoUser = user;
            d.NicoPasswd = password;
        });
    }
    int Parse(const std::wstring& address, std::unique_ptr<CVideoSite>& site) {
        return testsupport::ProcessSite(address, owner_, site);
    }
    testsupport::FakeSites sites_;
    testsupport::SiteOwner owner_;
    CountingUser user_;
};

}  // namespace

TEST_F(NicoVideo, VideoIdRules) {
    auto id = [](const wchar_t* a) { return CNicoVideoSite(a).GetVideoId(); };
    EXPECT_EQ(id(L"http://www.nicovideo.jp/watch/sm9"), L"sm9");
    EXPECT_EQ(id(L"HTTP://WWW.NICOVIDEO.JP/watch/SM9?ref=top"), L"SM9");
    EXPECT_EQ(id(L"http://www.nicovideo.jp/watch.php/sm77"), L"sm77");
    EXPECT_EQ(id(L"http://www.nicovideo.jp/v/sm9"), L"nico");
    EXPECT_EQ(id(L"http://www.nicovideo.jp/"), L"nico");
}

TEST_F(NicoVideo, LoginOverHttpsAndItsCookiesReachTheVideo) {
    Account(L"me@example.com", L"p&ss word");
    testsupport::TempDir out;
    RunEventQueue queue;
    CVideoDownloader dl(&queue);
    dl.SetOutputFolder(platform::FromUtf8(out.path()));
    dl.SetUseTitleAsFileName(false);
    dl.AddItem(L"http://www.nicovideo.jp/watch/sm9", 0);
    ASSERT_TRUE(dl.Start());
    std::vector<int> statuses;
    for (const auto& m : testsupport::CollectRun(queue))
        if (m.kind == RunEvent::kStatus) statuses.push_back(m.code);
    dl.Stop();
    EXPECT_EQ(statuses, (std::vector<int>{kStatusLogin, kStatusLoggedIn, kStatusFetchingPage, kStatusPageFetched, kStatusComplete}));
    EXPECT_EQ(user_.shown, 0);
    EXPECT_EQ(dl.Title(), L"Bad Apple & friends \u2010 \u30cb\u30b3\u30cb\u30b3\u52d5\u753b");
    EXPECT_EQ(testsupport::ReadFile(out / "NicoVideo/sm9.flv").size(), 65536u);

    auto reqs = sites_.Requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[0].method, "POST");
    EXPECT_EQ(reqs[0].target, "https://secure.nicovideo.jp/secure/login?site=niconico");
    // Nothing is escaped: the "&" of the password splits the field.
    EXPECT_EQ(reqs[0].body,
              "current_form=login&next_url=%2Fwatch%2Fsm9&mail=me@example.com&password=p&ss "
              "word&login_submit=Log+In");
    EXPECT_EQ(reqs[1].target, "http://www.nicovideo.jp/watch/sm9");
    EXPECT_EQ(reqs[2].target, "http://www.nicovideo.jp/api/getflv?v=sm9");
    EXPECT_EQ(reqs[3].target, "http://smile-com42.nicovideo.jp/smile?v=9.0468");
    for (size_t i = 1; i < reqs.size(); ++i)
        EXPECT_NE(reqs[i].Header("Cookie").find("user_session=user_session_42_cvtest"),
                  std::string::npos)
            << reqs[i].target;
}

TEST_F(NicoVideo, FailedLoginIsStatus204) {
    Account(L"me", L"wrong");
    std::unique_ptr<CVideoSite> site;
    // Login answered with a page rather than a redirect.
    testsupport::FakeSites refusing;
    ASSERT_TRUE(refusing.Start(R"({"routes": [{"host": "secure.nicovideo.jp", "body": "bad"}]})"));
    refusing.UseAsProxy();
    EXPECT_EQ(Parse(L"http://www.nicovideo.jp/watch/sm9", site), -1);
    EXPECT_EQ(owner_.statuses, (std::vector<int>{kStatusLogin, kStatusFailed}));
    EXPECT_EQ(owner_.lastError,
              L"Login at secure.nicovideo.jp was refused (HTTP 200); check the user name and "
              L"password in the settings");
    // A certificate nobody vouches for: the network error code.
    owner_.statuses.clear();
    setenv("CURL_CA_BUNDLE", "/etc/ssl/certs/ca-certificates.crt", 1);
    EXPECT_EQ(Parse(L"http://www.nicovideo.jp/watch/sm9", site), kNetErrorBase + 60);
    EXPECT_EQ(owner_.statuses, (std::vector<int>{kStatusLogin, kStatusFailed}));
    // libcurl's own words and the host, never a blank.
    EXPECT_NE(owner_.lastError.find(L"certificate"), std::wstring::npos)
        << platform::ToUtf8(owner_.lastError);
    EXPECT_NE(owner_.lastError.find(L"(secure.nicovideo.jp)"), std::wstring::npos);
    EXPECT_EQ(refusing.Requests().size(), 1u);
}

TEST_F(NicoVideo, MediaKindOfTheSmileAddressPicksTheExtension) {
    std::unique_ptr<CVideoSite> site;
    ASSERT_EQ(Parse(L"http://www.nicovideo.jp/watch/sm9", site), 0);
    EXPECT_EQ(site->extension, L"flv");
    ASSERT_EQ(Parse(L"http://www.nicovideo.jp/watch/sm10", site), 0);
    EXPECT_EQ(site->flvAddress, L"http://smile-com42.nicovideo.jp/smile?s=10.1");
    EXPECT_EQ(site->extension, L"swf");
    // Scheme, port, user and password of the named address are dropped.
    ASSERT_EQ(Parse(L"http://www.nicovideo.jp/watch/sm11", site), 0);
    EXPECT_EQ(site->flvAddress, L"http://smile-com42.nicovideo.jp/smile?m=11.2low");
    EXPECT_EQ(site->extension, L"mp4");
}

TEST_F(NicoVideo, UnusableInformationIsNoVideo) {
    // An empty url, one that is no address, a key in other case, no answer.
    for (const wchar_t* id : {L"sm12", L"sm13", L"sm14", L"sm99"}) {
        owner_.statuses.clear();
        std::unique_ptr<CVideoSite> site;
        EXPECT_EQ(Parse(std::wstring(L"http://www.nicovideo.jp/watch/") + id, site), -2) << id;
        EXPECT_EQ(owner_.statuses.back(), kStatusNoVideo);
        EXPECT_EQ(owner_.lastError, LoadText(32891));
    }
}

TEST_F(NicoVideo, AccountHintOnceWithoutLogin) {
    std::unique_ptr<CVideoSite> site;
    ASSERT_EQ(Parse(L"http://www.nicovideo.jp/watch/sm9", site), 0);
    ASSERT_EQ(Parse(L"http://www.nicovideo.jp/watch/sm10", site), 0);
    EXPECT_EQ(user_.shown, 1);
    EXPECT_EQ(user_.last, LoadText(32876));
    for (const auto& r : sites_.Requests()) EXPECT_EQ(r.method, "GET") << r.target;
}

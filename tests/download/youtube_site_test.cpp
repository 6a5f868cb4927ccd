// The YouTube handler's request sequence against the stand-in sites.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/settings.h"
#include "download/video_site.h"
#include "fakesites_harness.h"
#include "platform/text.h"
#include "site_owner.h"

namespace {

using Owner = testsupport::SiteOwner;

class YouTube : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sites_.StartFile("youtube.json"));
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
    }
    void Account(const std::wstring& user, uint32_t fmt) {
        GetSettings().Update([&](SettingsData& d) {
            d.YTUser = user;
            d.YTPasswd = L"s3cret";
            d.YoutubeFMT = fmt;
        });
    }
    testsupport::FakeSites sites_;
    Owner owner_;
};

}  // namespace

TEST_F(YouTube, LoginAgeCheckPageAndVideoAddress) {
    Account(L"alice", 0);
    auto site = CreateSiteHandler(L"http://www.youtube.com/watch?v=abc123", &owner_);
    ASSERT_TRUE(site);
    EXPECT_EQ(site->GetVideoId(), L"abc123");
    ASSERT_EQ(site->Process(), 0);
    EXPECT_EQ(owner_.statuses, (std::vector<int>{kStatusLogin, kStatusLoggedIn, kStatusAgeConfirm,
                                                 kStatusAgeConfirmed, kStatusFetchingPage,
                                                 kStatusPageFetched, kStatusVideoAddress}));
    EXPECT_EQ(owner_.title, L"A walk in the park");
    EXPECT_EQ(site->flvAddress,
              L"http://www.youtube.com/get_video.php?video_id=abc123&t=vjVQa1PpcFMxQ0");
    EXPECT_EQ(site->extension, L"flv");

    auto reqs = sites_.Requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[0].target, "http://uk.youtube.com/login?next_url=/");
    EXPECT_EQ(reqs[0].body,
              "current_form=loginForm&next=/&username=alice&password=s3cret&action_login=Log%20In");
    EXPECT_EQ(reqs[1].target, "http://uk.youtube.com/verify_age?next_url=/");
    EXPECT_EQ(reqs[1].body, "next_url=/&action_confirm=Confirm");
    EXPECT_EQ(reqs[2].target, "http://www.youtube.com/watch?v=abc123");
    EXPECT_NE(reqs[2].Header("Cookie").find("LOGIN_INFO=cvtest1"), std::string::npos);
    EXPECT_NE(reqs[2].Header("Cookie").find("is_adult=cvtest2"), std::string::npos);
}

TEST_F(YouTube, NoAccountNoFormsAndFormatsChooseRendition) {
    for (uint32_t fmt : {1u, 2u}) {
        Account(L"", fmt);
        auto site = CreateSiteHandler(L"http://www.youtube.com/watch?v=abc123", &owner_);
        site->GetVideoId();
        ASSERT_EQ(site->Process(), 0);
        EXPECT_EQ(site->extension, fmt == 1 ? L"mp4" : L"3gp");
        EXPECT_EQ(site->flvAddress.substr(site->flvAddress.size() - 7),
                  fmt == 1 ? L"&fmt=18" : L"&fmt=17");
    }
    for (const auto& r : sites_.Requests()) EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(sites_.Requests().size(), 2u);
}

TEST_F(YouTube, PageWithoutTokenAndUnknownSitesSkipped) {
    Account(L"", 0);
    auto site = CreateSiteHandler(L"http://www.youtube.com/watch?v=notoken", &owner_);
    site->GetVideoId();
    EXPECT_EQ(site->Process(), kResultNoVideo);
    EXPECT_EQ(owner_.statuses.back(), kStatusNoVideo);
    // A page the site does not have is a failed page fetch that says so.
    site = CreateSiteHandler(L"http://www.youtube.com/watch?v=missing", &owner_);
    site->GetVideoId();
    EXPECT_EQ(site->Process(), kResultFailed);
    EXPECT_EQ(owner_.statuses.back(), kStatusFailed);
    EXPECT_EQ(owner_.lastError,
              L"The page http://www.youtube.com/watch?v=missing answered 404 Not Found");
    CYouTubeSite noId(L"http://www.youtube.com/");
    EXPECT_EQ(noId.GetVideoId(), L"youtube");
    EXPECT_FALSE(CreateSiteHandler(L"not an address", &owner_));
}

// The Google Video handler against the stand-in sites: player markers and
// pages that only frame another site's page.
#include <gtest/gtest.h>

#include "app/settings.h"
#include "download/site_helpers.h"
#include "fakesites_harness.h"
#include "platform/text.h"
#include "site_owner.h"

using testsupport::CollectRun;
using testsupport::RunMessage;
using testsupport::StatusMessage;
using testsupport::RetryMessage;
using testsupport::DoneMessage;
using testsupport::TitleMessage;
using testsupport::EndMessage;

namespace {

class GoogleVideo : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sites_.StartFile("googlevideo.json"));
        sites_.UseAsProxy();
        GetSettings().Update([](SettingsData& d) {
            d.YTUser.clear();
            d.YoutubeFMT = 0;
        });
        dl_.SetOutputFolder(platform::FromUtf8(out_.path()));
        dl_.SetUseTitleAsFileName(false);
    }
    int Parse(const std::wstring& address, std::unique_ptr<CVideoSite>& site) {
        return testsupport::ProcessSite(address, owner_, site);
    }
    testsupport::FakeSites sites_;
    testsupport::SiteOwner owner_;
    testsupport::TempDir out_;
    RunEventQueue queue_;
    CVideoDownloader dl_{&queue_};
};

}  // namespace

TEST_F(GoogleVideo, PlayerMarkersGiveTheDecodedVideoAddress) {
    std::unique_ptr<CVideoSite> site;
    ASSERT_EQ(Parse(L"http://video.google.com/videoplay?docid=-4431", site), 0);
    EXPECT_EQ(site->videoId, L"-4431");
    EXPECT_EQ(site->flvAddress,
              L"http://vp.video.google.com/videodownload?version=0&secureurl=uQAAAH&docid=-4431");
    EXPECT_EQ(owner_.title, L"Sunset over the bay");
    // End marker before the start marker: no address, and no frame either.
    EXPECT_EQ(Parse(L"http://video.google.com/videoplay?docid=reversed", site), kResultNoVideo);
    EXPECT_EQ(owner_.statuses.back(), kStatusNoVideo);
    // A frame without its source line.
    EXPECT_EQ(Parse(L"http://video.google.com/videoplay?docid=badframe", site), kResultNoVideo);
    // The frame's page is handed back, up to the line's last quote.
    ASSERT_EQ(Parse(L"http://video.google.com/videoplay?docid=framed", site), kResultOtherPage);
    EXPECT_EQ(site->pageAddress, L"http://www.youtube.com/watch?v=abc123");
}

TEST_F(GoogleVideo, EmptyIdsStillNameVisibleFiles) {
    dl_.AddItem(L"http://video.google.com/videoplay?hl=en", 0);
    dl_.AddItem(L"http://video.google.com/videoplay?hl=de", 1);
    ASSERT_TRUE(dl_.Start());
    auto got = CollectRun(queue_);
    dl_.Stop();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), testsupport::EndMessage(false));
    // Never ".flv", which a user would not see.
    EXPECT_EQ(testsupport::ReadFile(out_ / "Google/_.flv").size(), 20000u);
    EXPECT_EQ(testsupport::ReadFile(out_ / "Google/__001.flv").size(), 20000u);
}

TEST_F(GoogleVideo, FramedYouTubePageIsFollowedAsOneAttempt) {
    dl_.SetRetryTimes(1);
    dl_.AddItem(L"http://video.google.com/videoplay?docid=framed", 3);
    ASSERT_TRUE(dl_.Start());
    auto got = CollectRun(queue_);
    EXPECT_EQ(got, (std::vector<RunMessage>{StatusMessage(kStatusFetchingPage, 3),
                                            StatusMessage(kStatusPageFetched, 3),
                                            RetryMessage(1, 3),
                                            StatusMessage(kStatusFetchingPage, 3),
                                            StatusMessage(kStatusPageFetched, 3),
                                            StatusMessage(kStatusVideoAddress, 3),
                                            TitleMessage(3),
                                            DoneMessage(3),
                                            StatusMessage(kStatusComplete, 3),
                                            EndMessage(false)}));
    // The item keeps the kind it started with; the page is the framed one.
    EXPECT_EQ(dl_.SiteKind(), kSiteGoogleVideo);
    EXPECT_EQ(dl_.PageAddress(), L"http://www.youtube.com/watch?v=abc123");
    EXPECT_EQ(testsupport::ReadFile(out_ / "YouTube/abc123.flv").size(), 30000u);
    dl_.Stop();

    // Without retries the framed page is not followed.
    dl_.SetRetryTimes(0);
    dl_.AddItem(L"http://video.google.com/videoplay?docid=framed", 4);
    ASSERT_TRUE(dl_.Start());
    got = CollectRun(queue_);
    EXPECT_EQ(got, (std::vector<RunMessage>{StatusMessage(kStatusFetchingPage, 4),
                                            StatusMessage(kStatusPageFetched, 4),
                                            EndMessage(false)}));
}

TEST(GoogleVideoAddress, CarriedPageGetsItsOwnHandlerWithTheWholeAddress) {
    testsupport::SiteOwner owner;
    const std::wstring carried =
        L"http://video.google.com/url?q=1&srcurl=http://www.youtube.com/watch?v=abc123";
    auto site = CreateSiteHandler(carried, &owner);
    ASSERT_TRUE(site);
    EXPECT_EQ(site->siteKind, kSiteYouTube);
    EXPECT_EQ(site->pageAddress, carried);
    EXPECT_EQ(site->GetVideoId(), L"abc123");
    auto plain = CreateSiteHandler(L"http://video.google.com/anything", &owner);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->siteName, L"Google");
    EXPECT_EQ(plain->GetVideoId(), L"");
}

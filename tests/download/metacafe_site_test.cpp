// The MetaCafe handler against the stand-in sites.
#include <gtest/gtest.h>

#include "app/localization.h"
#include "fakesites_harness.h"
#include "platform/text.h"
#include "site_owner.h"

using testsupport::CollectRun;
using testsupport::StatusMessage;
using testsupport::EndMessage;
using testsupport::DoneMessage;
using testsupport::TitleMessage;

TEST(MetaCafe, VideoIdRules) {
    auto id = [](const wchar_t* a) { return CMetaCafeSite(a).GetVideoId(); };
    EXPECT_EQ(id(L"http://www.metacafe.com/watch/123/funny_cat/"), L"123");
    EXPECT_EQ(id(L"HTTP://METACAFE.COM/Watch/77/"), L"77");
    EXPECT_EQ(id(L"www.metacafe.com/watch/abc-9/x/y/z"), L"abc-9");
    EXPECT_EQ(id(L"http://www.metacafe.com/watch/"), L"metacafe");
    EXPECT_EQ(id(L"http://www.metacafe.com/watch/123"), L"metacafe");
    EXPECT_EQ(id(L"http://www.metacafe.com/"), L"metacafe");
}

TEST(MetaCafe, EscapedMediaAddressFromTheSitesOwnServer) {
    testsupport::FakeSites sites;
    ASSERT_TRUE(sites.StartFile("metacafe.json"));
    sites.UseAsProxy();
    testsupport::TempDir out;
    RunEventQueue queue;
    CVideoDownloader dl(&queue);
    dl.SetOutputFolder(platform::FromUtf8(out.path()));
    dl.SetUseTitleAsFileName(true);
    dl.AddItem(L"http://www.metacafe.com/watch/123/funny_cat/", 1);
    dl.AddItem(L"http://www.metacafe.com/watch/456/no_media/", 2);
    ASSERT_TRUE(dl.Start());
    auto got = CollectRun(queue);
    dl.Stop();
    EXPECT_EQ(got, (std::vector<testsupport::RunMessage>{
                       StatusMessage(kStatusFetchingPage, 1),
                       StatusMessage(kStatusPageFetched, 1),
                       TitleMessage(1),
                       DoneMessage(1),
                       StatusMessage(kStatusComplete, 1),
                       StatusMessage(kStatusFetchingPage, 2),
                       StatusMessage(kStatusPageFetched, 2),
                       StatusMessage(kStatusNoVideo, 2),  // no .flv mediaURL
                       EndMessage(false)}));
    EXPECT_EQ(dl.LastError(), LoadText(32891));
    EXPECT_EQ(testsupport::ReadFile(out / "MetaCafe/Funny Cat \u2013 Video.flv").size(), 40000u);
    auto reqs = sites.Requests();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[1].target, "http://v.mccont.com/ItemFiles/[From%20www.metacafe.com]%20123.flv");
    EXPECT_EQ(reqs[2].target, "http://www.metacafe.com/watch/456/no_media/");
}

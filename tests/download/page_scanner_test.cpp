// Finding the video of a page, naming media files, and routing addresses of
// other sites.
#include "download/page_scanner.h"

#include <gtest/gtest.h>

#include <chrono>

#include "download/media_name.h"
#include "download/site_helpers.h"

namespace {

const std::wstring kPage = L"https://www.example.org/watch/clip.html";

std::wstring Chosen(const std::wstring& html, const std::wstring& page = kPage) {
    CPageScan scan = ScanPage(html, page);
    const CPageCandidate* c = ChooseCandidate(scan);
    return c ? c->url : L"(none)";
}

}  // namespace

TEST(PageScanner, VideoTagsPreferTheHighestProgressiveFileOverTheStream) {
    const std::wstring html =
        L"<html><head><title>T</title></head><body>"
        L"<picture><source src=\"/pic.mp4\"></picture>"
        L"<!-- <video src=\"/commented.mp4\" height=\"2160\"></video> -->"
        L"<script>var s = '<video src=\"/script.mp4\" height=\"4320\">';</script>"
        L"<VIDEO Width=640 HEIGHT=\"360\"><source src=\"/v/list.m3u8\" "
        L"type=\"application/x-mpegURL\"><source src=\"low.mp4?a=1&amp;b=2\" type=\"video/mp4\">"
        L"<source src='//cdn.example.org/high.webm' type='video/webm; codecs=\"vp9\"' "
        L"height=720><source src=\"/poster.jpg\" type=\"image/jpeg\" height=\"9999\"></video>"
        L"<video src=\"/same-height.mp4\" height=\"720\"></video></body></html>";
    CPageScan scan = ScanPage(html, kPage);
    ASSERT_EQ(scan.candidates.size(), 4u);
    EXPECT_EQ(scan.candidates[0].url, L"https://www.example.org/v/list.m3u8");
    EXPECT_TRUE(scan.candidates[0].hls);
    EXPECT_EQ(scan.candidates[1].url, L"https://www.example.org/watch/low.mp4?a=1&b=2");
    EXPECT_EQ(scan.candidates[1].height, 360);  // from the <video>
    // The first of equal heights wins; the picture, the comment, the script
    // and the image are no candidates.
    EXPECT_EQ(Chosen(html), L"https://cdn.example.org/high.webm");

    EXPECT_EQ(Chosen(L"<video><source src=\"a.m3u8\"></video>"),
              L"https://www.example.org/watch/a.m3u8");
    EXPECT_EQ(Chosen(L"<p>no video</p>"), L"(none)");
    EXPECT_EQ(Chosen(L"<video src=\"javascript:alert(1)\"></video><video "
                     L"src=\"data:video/mp4;base64,AAAA\"></video>"),
              L"(none)");
}

TEST(PageScanner, OpenGraphTwitterJsonLdAndAlternateLinksInTheirOrder) {
    // og:video is trusted only when it says it is media.
    EXPECT_EQ(Chosen(L"<meta property=\"og:video\" content=\"https://p.example/embed/1\">"
                     L"<meta property=\"og:video:type\" content=\"text/html\">"),
              L"(none)");
    EXPECT_EQ(Chosen(L"<meta property=\"og:video\" content=\"https://p.example/embed/1\">"
                     L"<meta property=\"og:video:type\" content=\"text/html\">"
                     L"<meta property=\"og:video\" content=\"https://p.example/embed/2\">"
                     L"<meta property=\"og:video:secure_url\" content=\"https://p.example/2s\">"
                     L"<meta property=\"og:video:type\" content=\"video/mp4\">"),
              L"https://p.example/2s");
    EXPECT_EQ(Chosen(L"<meta content=\"/f.mp4\" property=\"og:video:url\">"),
              L"https://www.example.org/f.mp4");

    EXPECT_EQ(Chosen(L"<meta name=\"twitter:player:stream\" content=\"https://t.example/s\">"),
              L"https://t.example/s");
    EXPECT_EQ(Chosen(L"<meta name=\"twitter:player:stream\" content=\"https://t.example/s\">"
                     L"<meta name=\"twitter:player:stream:content_type\" content=\"text/html\">"),
              L"(none)");

    // A block of invalid JSON is skipped; @graph and arrays are searched.
    const std::wstring jsonLd =
        L"<script type=\"application/ld+json\">{\"@type\": \"VideoObject\", \"contentUrl\": "
        L"\"/bad.mp4\",</script><script type=\"application/ld+json\">[{\"@graph\": "
        L"[{\"@type\": \"WebPage\"}, {\"@type\": [\"VideoObject\"], \"contentUrl\": "
        L"\"/ld.mp4\", \"height\": \"1080\"}]}]</script>";
    CPageScan scan = ScanPage(jsonLd, kPage);
    EXPECT_EQ(scan.badJsonBlocks, 1u);
    ASSERT_EQ(scan.candidates.size(), 1u);
    EXPECT_EQ(scan.candidates[0].height, 1080);
    EXPECT_EQ(scan.candidates[0].url, L"https://www.example.org/ld.mp4");

    for (const wchar_t* type : {L"application/x-mpegURL", L"application/vnd.apple.mpegurl"}) {
        std::wstring link = std::wstring(L"<link rel=\"alternate\" type=\"") + type +
                            L"\" href=\"/live/master.m3u8\">";
        scan = ScanPage(link, kPage);
        ASSERT_EQ(scan.candidates.size(), 1u) << type;
        EXPECT_TRUE(scan.candidates[0].hls);
    }

    // All of them on one page: sorted by kind, the tallest progressive file wins.
    std::wstring all = L"<link rel=alternate type=application/x-mpegURL href=/a.m3u8>" + jsonLd +
                       L"<meta name=\"twitter:player:stream\" content=\"/tw.mp4\">"
                       L"<meta property=\"og:video\" content=\"/og.mp4\">"
                       L"<meta property=\"og:video:height\" content=\"720\">"
                       L"<video src=\"/tag.mp4\"></video>";
    scan = ScanPage(all, kPage);
    ASSERT_EQ(scan.candidates.size(), 5u);
    EXPECT_EQ(scan.candidates[0].source, CPageCandidate::kVideoTag);
    EXPECT_EQ(scan.candidates[1].source, CPageCandidate::kOpenGraph);
    EXPECT_EQ(scan.candidates[2].source, CPageCandidate::kTwitterStream);
    EXPECT_EQ(scan.candidates[3].source, CPageCandidate::kJsonLd);
    EXPECT_EQ(scan.candidates[4].source, CPageCandidate::kLinkAlternate);
    EXPECT_EQ(ChooseCandidate(scan)->url, L"https://www.example.org/ld.mp4");
}

TEST(PageScanner, BaseAddressTitlesAndEntities) {
    const std::wstring html =
        L"<head><title>\n  Plain &amp; simple\t</title>"
        L"<base href=\"../media/\"><base href=\"/ignored/\">"
        L"<meta property=\"og:title\" content=\"Caf&eacute; &#233;t&#xE9; &lt;3\"></head>"
        L"<video src=\"clip.mp4?x=1&amp;y=&#50;#t=10\"></video>";
    CPageScan scan = ScanPage(html, kPage);
    ASSERT_EQ(scan.candidates.size(), 1u);
    EXPECT_EQ(scan.candidates[0].url, L"https://www.example.org/media/clip.mp4?x=1&y=2");
    EXPECT_EQ(scan.title, L"Plain & simple");
    // An unknown name stays as written.
    EXPECT_EQ(scan.ogTitle, L"Caf&eacute; \u00e9t\u00e9 <3");
    EXPECT_EQ(DecodeHtmlEntities(L"&#0;&#xD800;&#99999999;&amp"), L"\uFFFD\uFFFD\uFFFD&amp");
}

TEST(PageScanner, HostilePagesEndQuickly) {
    // 10,000 sources, the tallest in the middle.
    std::wstring many = L"<video>";
    for (int i = 0; i < 10000; ++i)
        many += L"<source src=\"/s" + std::to_wstring(i) + L".mp4\" type=\"video/mp4\" height=\"" +
                std::to_wstring(i == 5000 ? 4320 : i % 1000) + L"\">";
    many += L"</video>";
    CPageScan scan = ScanPage(many, kPage);
    EXPECT_EQ(scan.candidates.size(), 10000u);
    EXPECT_EQ(ChooseCandidate(scan)->url, L"https://www.example.org/s5000.mp4");

    // Broken markup of many kinds, repeated: nothing found, nothing hangs.
    std::wstring broken;
    for (int i = 0; i < 2000; ++i)
        broken += L"<video src=\"unclosed <title> <meta content='x <script> <!-- ";
    auto start = std::chrono::steady_clock::now();
    scan = ScanPage(broken, kPage);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // JSON nested far deeper than any description.
    std::wstring deep = L"<script type=\"application/ld+json\">" + std::wstring(100000, L'[') +
                        std::wstring(100000, L']') + L"</script><video src=\"/after.mp4\">";
    EXPECT_EQ(Chosen(deep), L"https://www.example.org/after.mp4");
}

TEST(MediaName, ContentDispositionThenPathThenHost) {
    EXPECT_EQ(ContentDispositionName(
                  "attachment; filename=\"fallback.mp4\"; filename*=UTF-8''Caf%C3%A9%20night.mp4"),
              L"Caf\u00e9 night.mp4");
    EXPECT_EQ(ContentDispositionName("attachment; filename*=iso-8859-1'en'%E9t%E9.webm"),
              L"\u00e9t\u00e9.webm");
    // An unknown charset falls back to the plain name; quotes and escapes undone.
    EXPECT_EQ(ContentDispositionName(
                  "inline; filename*=KOI8-R''%C1.mp4; filename=\"say \\\"hi\\\"; ok.mp4\""),
              L"say \"hi\"; ok.mp4");
    // A name never chooses a folder.
    EXPECT_EQ(ContentDispositionName("attachment; filename=\"../../etc/passwd\""), L"passwd");
    EXPECT_EQ(ContentDispositionName("attachment; filename=..\\..\\x.mp4"), L"x.mp4");
    EXPECT_EQ(ContentDispositionName("attachment"), L"");
    EXPECT_EQ(ContentDispositionName(""), L"");

    EXPECT_EQ(MediaFileName("", L"https://m.example/a/b/My%20clip.mp4?token=1"), L"My clip.mp4");
    EXPECT_EQ(MediaFileName("", L"https://M.Example:8443/"), L"m.example");
    EXPECT_EQ(MediaFileName("attachment; filename=x.mkv", L"https://m.example/y.mp4"), L"x.mkv");

    std::wstring stem, ext;
    SplitFileName(L"clip.final.MP4", stem, ext);
    EXPECT_EQ(stem, L"clip.final");
    EXPECT_EQ(ext, L"mp4");
    SplitFileName(L".hidden", stem, ext);
    EXPECT_EQ(stem, L".hidden");
    EXPECT_EQ(ext, L"");

    EXPECT_TRUE(IsMediaAnswer(L"video/mp4", L"https://x/a"));
    EXPECT_TRUE(IsMediaAnswer(L"Audio/MPEG; charset=x", L"https://x/a"));
    EXPECT_TRUE(IsMediaAnswer(L"application/x-mpegURL", L"https://x/a"));
    EXPECT_TRUE(IsMediaAnswer(L"application/octet-stream", L"https://x/a.webm?x=1"));
    EXPECT_FALSE(IsMediaAnswer(L"application/octet-stream", L"https://x/a.exe"));
    EXPECT_FALSE(IsMediaAnswer(L"text/html", L"https://x/a.mp4"));
}

TEST(SiteRouting, OnlyTheFourSitesHttpAddressesGoToTheirHandlers) {
    EXPECT_EQ(GetSiteKind(L"http://www.youtube.com/watch?v=abc"), kSiteYouTube);
    EXPECT_EQ(GetSiteKind(L"https://www.youtube.com/watch?v=abc"), kSiteOther);
    EXPECT_EQ(GetSiteKind(L"HTTPS://media.example.org/a.mp4"), kSiteOther);
    EXPECT_EQ(GetSiteKind(L"http://example.com/youtube"), kSiteOther);
    EXPECT_EQ(GetSiteKind(L"http://video.google.com/url?srcurl=https://www.youtube.com/x"),
              kSiteOther);
    for (const wchar_t* bad : {L"ftp://example.com/a.mp4", L"file:///tmp/a.mp4",
                               L"data:video/mp4;base64,AAAA", L"example.com/a.mp4", L""})
        EXPECT_EQ(GetSiteKind(bad), kSiteUnknown) << bad;

    EXPECT_EQ(HostProfileName(L"https://WWW.Media.Example.org:8443/x"), L"media.example.org");
    EXPECT_EQ(HostProfileName(L"https://www./x"), L"www");
    EXPECT_EQ(HostProfileName(L"http://127.0.0.1:8080/"), L"127.0.0.1");
    EXPECT_EQ(HostProfileName(L"http://..hidden.example/"), L"_hidden.example");
    EXPECT_EQ(HostProfileName(L"not an address"), L"");
}

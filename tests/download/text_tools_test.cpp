// Address splitting, the pattern wrapper and the posting queue.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "download/pattern.h"
#include "download/url.h"
#include "platform/post_message.h"
#include "platform/text.h"

TEST(CrackUrl, SplitsSchemeHostPortAndPath) {
    UrlParts p;
    ASSERT_TRUE(CrackUrl(L"http://www.youtube.com/watch?v=abc", p));
    EXPECT_EQ(p.scheme, L"http");
    EXPECT_EQ(p.host, L"www.youtube.com");
    EXPECT_EQ(p.port, 80);
    EXPECT_EQ(p.path, L"/watch?v=abc");

    ASSERT_TRUE(CrackUrl(L"HTTPS://user:pw@Host.example:8443", p));
    EXPECT_EQ(p.scheme, L"https");
    EXPECT_EQ(p.host, L"Host.example");
    EXPECT_EQ(p.port, 8443);
    EXPECT_EQ(p.path, L"/");

    ASSERT_TRUE(CrackUrl(L"http://h?q=1#frag", p));
    EXPECT_EQ(p.path, L"/?q=1");
}

TEST(CrackUrl, RefusesWhatIsNoWebAddress) {
    UrlParts p;
    for (const wchar_t* bad :
         {L"", L"/watch?v=1", L"www.youtube.com/watch", L"ftp://h/x", L"http:///x", L"http://h:0/",
          L"http://h:99999/", L"http://h:8o/", L"http://bad host/", L"://h/"})
        EXPECT_FALSE(CrackUrl(bad, p)) << platform::ToUtf8(bad);
}

// The worked examples for base "http://a/b/c/d;p?q", normal and abnormal.
TEST(ResolveUrl, StandardExamples) {
    const std::wstring base = L"http://a/b/c/d;p?q";
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"g:h", L"g:h"},
        {L"g", L"http://a/b/c/g"},
        {L"./g", L"http://a/b/c/g"},
        {L"g/", L"http://a/b/c/g/"},
        {L"/g", L"http://a/g"},
        {L"//g", L"http://g"},
        {L"?y", L"http://a/b/c/d;p?y"},
        {L"g?y", L"http://a/b/c/g?y"},
        {L"#s", L"http://a/b/c/d;p?q#s"},
        {L"g#s", L"http://a/b/c/g#s"},
        {L"g?y#s", L"http://a/b/c/g?y#s"},
        {L";x", L"http://a/b/c/;x"},
        {L"g;x?y#s", L"http://a/b/c/g;x?y#s"},
        {L"", L"http://a/b/c/d;p?q"},
        {L".", L"http://a/b/c/"},
        {L"./", L"http://a/b/c/"},
        {L"..", L"http://a/b/"},
        {L"../", L"http://a/b/"},
        {L"../g", L"http://a/b/g"},
        {L"../..", L"http://a/"},
        {L"../../g", L"http://a/g"},
        {L"../../../g", L"http://a/g"},
        {L"../../../../g", L"http://a/g"},
        {L"/./g", L"http://a/g"},
        {L"/../g", L"http://a/g"},
        {L"g.", L"http://a/b/c/g."},
        {L".g", L"http://a/b/c/.g"},
        {L"g..", L"http://a/b/c/g.."},
        {L"..g", L"http://a/b/c/..g"},
        {L"./../g", L"http://a/b/g"},
        {L"./g/.", L"http://a/b/c/g/"},
        {L"g/./h", L"http://a/b/c/g/h"},
        {L"g/../h", L"http://a/b/c/h"},
        {L"g;x=1/./y", L"http://a/b/c/g;x=1/y"},
        {L"g;x=1/../y", L"http://a/b/c/y"},
        {L"g?y/./x", L"http://a/b/c/g?y/./x"},
        {L"g#s/../x", L"http://a/b/c/g#s/../x"},
        {L"http:g", L"http:g"},
    };
    for (const auto& [ref, want] : cases)
        EXPECT_EQ(ResolveUrl(base, ref), want) << platform::ToUtf8(ref);
}

// What redirects and page links bring in practice.
TEST(ResolveUrl, RedirectsAndLinksAsServersSendThem) {
    const std::wstring page = L"http://www.youtube.com/watch?v=old#t=3";
    EXPECT_EQ(ResolveUrl(page, L"watch?v=x"), L"http://www.youtube.com/watch?v=x");
    EXPECT_EQ(ResolveUrl(L"https://h.example/a/b/c", L"../x"), L"https://h.example/a/x");
    EXPECT_EQ(ResolveUrl(L"https://h.example:8443/a", L"//cdn.example/v.flv"),
              L"https://cdn.example/v.flv");
    EXPECT_EQ(ResolveUrl(L"http://h:81/a/b?q", L"/x"), L"http://h:81/x");
    EXPECT_EQ(ResolveUrl(page, L"HTTPS://Other.example/v"), L"https://Other.example/v");
    EXPECT_EQ(ResolveUrl(L"http://h", L"x"), L"http://h/x");
    EXPECT_EQ(ResolveUrl(L"http://h/a", L"  /x?y\r\n"), L"http://h/x?y");
    EXPECT_EQ(ResolveUrl(L"not an address", L"/x"), L"/x");
}

TEST(CanonicalizeUrl, DecodesEscapesAsUtf8AndKeepsBrokenOnes) {
    EXPECT_EQ(CanonicalizeUrl(L"http://a/%41%2fb"), L"http://a/A/b");
    EXPECT_EQ(CanonicalizeUrl(L"http://a/%E6%97%A5"), L"http://a/\u65e5");
    EXPECT_EQ(CanonicalizeUrl(L"http://a/%zz%4"), L"http://a/%zz%4");
    EXPECT_EQ(CanonicalizeUrl(L"http%3A%2F%2Fwww.youtube.com%2F"), L"http://www.youtube.com/");
}

TEST(Pattern, FirstAndLastOccurrenceWithGroups) {
    CPattern title(L"<title>([^<]*)</title>", CPattern::kCaseless);
    ASSERT_TRUE(title.IsValid());
    std::vector<std::wstring> g;
    std::wstring page = L"<TITLE>one</TITLE> x <title>two</title><title>three</title>";
    ASSERT_TRUE(title.FindFirst(page, g));
    EXPECT_EQ(g[1], L"one");
    ASSERT_TRUE(title.FindLast(page, g));
    EXPECT_EQ(g[1], L"three");
    EXPECT_EQ(g[0], L"<title>three</title>");
}

TEST(Pattern, CaseSensitiveUnlessAskedAndNoMatchIsFalse) {
    CPattern token(L", \"t\": \"([^\"]+)\"");
    std::vector<std::wstring> g;
    EXPECT_TRUE(token.FindLast(L"{\"a\": 1, \"t\": \"OEgs\"}", g));
    EXPECT_EQ(g[1], L"OEgs");
    CPattern upper(L"ABC");
    EXPECT_FALSE(upper.FindFirst(L"abc", g));
    EXPECT_FALSE(upper.FindLast(L"", g));
}

TEST(Pattern, NonAsciiTextLongMatchesAndInvalidInput) {
    CPattern t(L"<title>YouTube - ([^<]*)</title>", CPattern::kCaseless);
    std::vector<std::wstring> g;
    ASSERT_TRUE(t.FindLast(L"<title>youtube - \u65e5\u672c\U0001F600</title>", g));
    EXPECT_EQ(g[1], L"\u65e5\u672c\U0001F600");
    // A match of several megabytes neither overflows a stack nor fails.
    std::wstring huge = L"<title>" + std::wstring(4 << 20, L'x') + L"</title>";
    CPattern any(L"<title>(.*?)</title>");
    ASSERT_TRUE(any.FindFirst(huge, g));
    EXPECT_EQ(g[1].size(), 4u << 20);
    // Surrogates are no Unicode text: no match rather than undefined behaviour.
    std::wstring bad = L"ABC";
    bad.push_back(static_cast<wchar_t>(0xD800));
    CPattern abc(L"ABC");
    EXPECT_FALSE(abc.FindFirst(bad, g));
    CPattern broken(L"(unclosed");
    EXPECT_FALSE(broken.IsValid());
    EXPECT_FALSE(broken.FindLast(L"(unclosed", g));
}

TEST(Pattern, SharedBetweenThreads) {
    CPattern p(L"v=(\\w+)");
    std::vector<std::thread> threads;
    std::atomic<int> ok{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::vector<std::wstring> g;
            std::wstring id = L"id" + std::to_wstring(t);
            for (int i = 0; i < 500; ++i)
                if (p.FindLast(L"a?v=zz&v=" + id, g) && g[1] == id) ++ok;
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(ok, 2000);
}

TEST(QueuePostTarget, KeepsOrderAcrossThreadsAndTimesOut) {
    platform::QueuePostTarget q;
    std::thread poster([&] {
        for (unsigned i = 0; i < 100; ++i) q.Post(5121, i, -static_cast<intptr_t>(i));
    });
    for (unsigned i = 0; i < 100; ++i) {
        auto m = q.Take(std::chrono::seconds(10));
        ASSERT_TRUE(m);
        EXPECT_EQ(m->msg, 5121u);
        EXPECT_EQ(m->wParam, i);
        EXPECT_EQ(m->lParam, -static_cast<intptr_t>(i));
    }
    poster.join();
    EXPECT_FALSE(q.Take(std::chrono::milliseconds(10)));
    EXPECT_TRUE(q.TakeAll().empty());
}

// The page scanner on a large page, and its reference: one plain pattern
// pass over the same text.
//   page_scan_bench make FILE   writes a page of about 20 MB with 10,000
//                               candidates (FILE)
//   page_scan_bench scan FILE   reads and decodes FILE, then scans it
//   page_scan_bench grep FILE   reads and decodes FILE, then counts its
//                               <source> tags with one pattern
// scan and grep print "<what found> <milliseconds of the scan or pass>".
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "download/page_scanner.h"
#include "download/pattern.h"
#include "platform/text.h"

namespace {

constexpr size_t kTargetBytes = 20u << 20;
constexpr int kCandidates = 10000;

int Make(const char* path) {
    std::string page =
        "<!doctype html><html><head><title>A long page</title>"
        "<meta property=\"og:title\" content=\"Bench &amp; page\">"
        "<meta property=\"og:video\" content=\"https://cdn.example.org/og.mp4\">"
        "<meta property=\"og:video:type\" content=\"video/mp4\">"
        "<script type=\"application/ld+json\">{\"@graph\": [";
    for (int i = 0; i < 100; ++i)
        page += std::string(i ? "," : "") +
                "{\"@type\": \"VideoObject\", \"contentUrl\": \"/ld/" + std::to_string(i) +
                ".mp4\", \"height\": " + std::to_string(i) + "}";
    page += "]}</script></head><body>";
    const std::string filler =
        "<div class=\"comment\"><p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed "
        "do eiusmod tempor &amp; incididunt ut labore et dolore magna aliqua.</p><a "
        "href=\"/user/123?tab=videos&amp;sort=new\">someone</a> <img src=\"/a.png\" "
        "alt=\"x\"></div>\n";
    const int sources = kCandidates - 101;
    // The sources come in groups of ten, spread over the filler.
    const size_t fillerPerGroup =
        (kTargetBytes - page.size()) / static_cast<size_t>(sources / 10) / filler.size();
    for (int i = 0; i < sources; ++i) {
        if (i % 10 == 0) {
            if (i) page += "</video>";
            for (size_t f = 0; f < fillerPerGroup; ++f) page += filler;
            page += "<video width=\"1280\" height=\"720\" controls>";
        }
        page += "<source src=\"/media/clip-" + std::to_string(i) +
                ".mp4?token=abc&amp;t=1\" type=\"video/mp4\" height=\"" +
                std::to_string(i % 1080) + "\">";
    }
    page += "</video></body></html>\n";
    std::ofstream(path, std::ios::binary) << page;
    std::printf("%zu bytes, %d candidates\n", page.size(), kCandidates);
    return 0;
}

std::wstring Read(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return platform::FromUtf8(ss.str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: page_scan_bench make|scan|grep FILE\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "make") return Make(argv[2]);
    const std::wstring text = Read(argv[2]);
    auto t0 = std::chrono::steady_clock::now();
    std::string found;
    if (mode == "scan") {
        CPageScan scan = ScanPage(text, L"https://www.example.org/watch/1", true);
        const CPageCandidate* c = ChooseCandidate(scan);
        found = std::to_string(scan.candidates.size()) + ":" +
                (c ? platform::ToUtf8(c->url) : std::string("none"));
    } else if (mode == "grep") {
        static const CPattern p(L"<source\\b[^>]*+>", CPattern::kCaseless);
        size_t n = 0;
        p.FindAll(
            text,
            [&](const CPattern::Span*, size_t) {
                ++n;
                return true;
            },
            true);
        found = std::to_string(n);
    } else {
        return 2;
    }
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%s %.3f\n", found.c_str(), ms);
    return 0;
}

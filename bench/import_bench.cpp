// The address import over a large HTML file.
//   import_bench gen FILE   writes the file: about 100 MB of markup holding
//                           200,000 watch links
//   import_bench FILE       prints "<milliseconds> <addresses found>"
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "download/address_import.h"
#include "download/pattern.h"
#include "platform/file_io.h"
#include "platform/text.h"

namespace {

constexpr int kLinks = 200000;
constexpr size_t kBytes = 100u * 1000 * 1000;

uint32_t g_seed = 12345;
uint32_t Next() {
    g_seed = g_seed * 1103515245u + 12345u;
    return g_seed >> 8;
}

std::string Id(size_t len) {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";
    std::string s;
    for (size_t i = 0; i < len; ++i) s += kChars[Next() % 64];
    return s;
}

// Ordinary markup of about `n` bytes without a watch link.
void Filler(std::string& out, size_t n) {
    static const char* kPieces[] = {
        "<div class=\"comment\"><span class=\"author\">M\xc3\xbcller</span> wrote: ",
        "Lorem ipsum dolor sit amet, consectetur adipiscing elit. ",
        "<img src=\"http://img.example.com/thumbs/v/default.jpg\" width=\"120\"> ",
        "<a href=\"/user/someone\">someone</a> &middot; <a href=\"/results?q=watch\">more</a> ",
        "<a href=\"http://www.metacafe.com/watch/1234567/a_walk/\">mc</a> ",
        "<a href=\"http://www.nicovideo.jp/watch/sm9\">nico</a> ",
        "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x83\x86\xe3\x82\xad\xe3\x82\xb9\xe3"
        "\x83\x88 ",
        "</div>\n<div class=\"row\"><script>var w = '/watch'; var v = 'video';</script> ",
        "<p>Videos: http://video.google.com/ and /watch?x=1 are not links.</p>\n",
    };
    size_t start = out.size();
    while (out.size() - start < n) out += kPieces[Next() % (sizeof kPieces / sizeof *kPieces)];
}

int Generate(const char* path) {
    std::string out;
    out.reserve(kBytes + (1 << 20));
    out += "<html><head><title>Video list</title></head><body>\n";
    const size_t gap = kBytes / kLinks;
    for (int i = 0; i < kLinks; ++i) {
        uint32_t kind = Next() % 20;
        out += "<a href=\"";
        if (kind < 9)
            out += (kind == 0 ? "HTTP://WWW.YOUTUBE.COM/watch?v="
                              : "http://www.youtube.com/watch?v=") +
                   Id(11) + "&feature=related";
        else if (kind < 17)
            out += "/watch?v=" + Id(11);
        else
            out += "http://video.google.com/videoplay?docid=" + std::to_string(Next()) +
                   std::to_string(Next());
        out += "\">link</a> ";
        Filler(out, gap > 105 ? gap - 105 : 0);  // what a link and a piece add
    }
    out += "</body></html>\n";
    FILE* f = std::fopen(path, "wb");
    if (!f) return 1;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "gen") == 0) return Generate(argv[2]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: import_bench gen FILE | import_bench FILE\n");
        return 2;
    }
    auto now = [] { return std::chrono::steady_clock::now(); };
    auto since = [&](auto t) {
        return std::chrono::duration<double, std::milli>(now() - t).count();
    };
    if (std::getenv("IMPORT_BENCH_STEPS")) {
        // Where the time goes, step by step, on stderr.
        auto t = now();
        std::string bytes;
        platform::ReadWholeFile(argv[1], kMaxImportFileBytes, bytes);
        double read = since(t);
        t = now();
        std::wstring text = DecodeImportText(bytes);
        double decode = since(t);
        t = now();
        auto list = ExtractAddressesFromText(text);
        double match = since(t);
        std::fprintf(stderr, "read %.0f ms, decode %.0f ms, match %.0f ms (%zu)\n", read, decode,
                     match, list.size());
    }
    auto t0 = std::chrono::steady_clock::now();
    auto found = ExtractAddresses(platform::FromUtf8(argv[1]));
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%.1f %zu\n", ms, found.size());
    return found.empty() ? 1 : 0;
}

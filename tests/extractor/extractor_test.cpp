// Knowing yt-dlp, reading its answers and its progress, and stand-ins for
// what the real one can not be made to do here.
#include "download/extractor.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "app/localization.h"
#include "download/extractor_site.h"
#include "extractor_media.h"
#include "platform/child_process.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/process_harness.h"

using namespace extractor;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

class Texts : public ::testing::Environment {
  public:
    void SetUp() override {
        platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                 "/cvres.bundle");
        // What is learnt of copies is kept in a data folder of the tests' own.
        setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
    }
    TempDir data_;
};
const auto* const g_texts = ::testing::AddGlobalTestEnvironment(new Texts);

// A stand-in for yt-dlp: a shell script that answers --version and --help
// like an old copy and runs `body` for everything else. Any option its help
// does not list ends it with 2, as yt-dlp does.
std::string StandIn(const TempDir& dir, const std::string& name, const std::string& body,
                    const std::string& version = "2021.12.01") {
    std::string path = dir / name;
    WriteFile(path,
              "#!/bin/sh\n"
              "case \"$1\" in\n"
              "  --version) echo " +
                  version +
                  "; exit 0;;\n"
                  "  --help) printf '%s\\n' 'Usage: yt-dlp [OPTIONS] URL' "
                  "'  -h, --help                      Print this help text and exit' "
                  "'  --ignore-config                 Do not load any more configuration files' "
                  "'  --no-playlist                   Download only the video' "
                  "'  -J, --dump-single-json          Simulate, quiet but print JSON information.' "
                  "'                                  See --progress-template for more' "
                  "'  --load-info-json FILE           JSON file containing the video information' "
                  "'  -f, --format FORMAT             Video format code' "
                  "'  -o, --output [TYPES:]TEMPLATE   Output filename template' "
                  "'  --newline                       Output progress bar as new lines'; exit 0;;\n"
                  "esac\n"
                  "for a in \"$@\"; do case \"$a\" in --no-warnings|--no-cache-dir|--no-continue|"
                  "--no-mtime|--progress|--progress-template|--print|--merge-output-format) "
                  "echo \"yt-dlp: error: no such option: $a\" >&2; exit 2;; esac; done\n" +
                  body + "\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

bool Alive(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) == 0;
}

}  // namespace

TEST(ExtractorCopy, TheRealCopyIsKnownByItsVersionAgeAndOptions) {
    std::shared_ptr<const Copy> copy = Know("yt-dlp");
    ASSERT_TRUE(copy->usable) << copy->problem;
    EXPECT_FALSE(copy->version.empty());
    EXPECT_GT(copy->ageDays, 0);
    for (const char* o : {"-J", "--dump-single-json", "--load-info-json", "--newline", "--print",
                          "--progress-template", "--ignore-config", "-f", "--format"})
        EXPECT_TRUE(copy->Has(o)) << o;
    // Options that only newer copies have, or that descriptions merely name.
    EXPECT_FALSE(copy->Has("--progress-delta"));
    EXPECT_EQ(Know("yt-dlp").get(), copy.get()) << "asked once per run";
    EXPECT_NE(DescribeCopy(*copy).find(platform::FromUtf8(copy->version)), std::wstring::npos);

    EXPECT_EQ(AgeInDays("2023.03.04", 1796774400 /* 2026-12-09 */), 1376);
    EXPECT_EQ(AgeInDays("2024.08.06.232905", 1722902400 /* 2024-08-06 */), 0);
    EXPECT_EQ(AgeInDays("stable@2023.03.04", 1722902400), -1);
    EXPECT_EQ(AgeInDays("garbage", 1722902400), -1);
}

TEST(ExtractorCopy, AMissingOrBrokenProgramIsNotUsableAndSaysWhatToInstall) {
    TempDir dir;
    std::shared_ptr<const Copy> none = Know(dir / "no-such-yt-dlp");
    EXPECT_FALSE(none->usable);
    EXPECT_TRUE(none->path.empty());
    EXPECT_EQ(DescribeCopy(*none), LoadText(33401));
    EXPECT_NE(LoadText(33401).find(L"yt-dlp package"), std::wstring::npos);

    std::string path = dir / "not-yt-dlp";
    WriteFile(path,
              "#!/bin/sh\necho 'something else entirely, not a version at all, no'\n"
              "exit 3\n");
    ::chmod(path.c_str(), 0755);
    std::shared_ptr<const Copy> broken = Know(path);
    EXPECT_FALSE(broken->usable);
    EXPECT_NE(DescribeCopy(*broken).find(platform::FromUtf8(path)), std::wstring::npos);
}

TEST(ExtractorAnswer, BothShapesAndTheChoiceOfFormat) {
    // One format at the top level, as the generic extractor answers for
    // og:video; codecs unknown count as a file with both.
    Info single;
    std::string error;
    ASSERT_TRUE(ParseInfo(R"({"id": "meadow", "title": "Meadow", "url": "http://m.test/a.mp4",
        "ext": "mp4", "protocol": "http", "format_id": "0", "extractor_key": "Generic",
        "webpage_url": "http://g.test/w", "http_headers": {"Referer": "http://g.test/w",
        "User-Agent": "UA"}})",
                          single, error))
        << error;
    ASSERT_EQ(single.formats.size(), 1u);
    EXPECT_EQ(single.title, L"Meadow");
    Choice c = ChooseFormat(single, 0);
    ASSERT_EQ(c.kind, Choice::kNative);
    EXPECT_EQ(c.native->url, "http://m.test/a.mp4");
    EXPECT_EQ(c.ext, "mp4");

    // A list: a DASH pair beats a lower progressive file, unless the height
    // setting keeps it out.
    Info list;
    ASSERT_TRUE(ParseInfo(R"({"id": "x", "title": "T", "format_id": "v1+a1", "ext": "mp4",
        "duration": 12.5, "width": 1920, "height": 1080, "formats": [
        {"format_id": "p", "url": "http://m.test/p.mp4", "protocol": "https", "ext": "mp4",
         "vcodec": "avc1", "acodec": "mp4a", "height": 360},
        {"format_id": "a1", "url": "http://m.test/a", "protocol": "http_dash_segments",
         "fragments": [], "ext": "m4a", "vcodec": "none", "acodec": "mp4a"},
        {"format_id": "v2", "url": "http://m.test/v2", "protocol": "http_dash_segments",
         "fragments": [], "ext": "mp4", "vcodec": "avc1", "acodec": "none", "height": 720},
        {"format_id": "v1", "url": "http://m.test/v", "protocol": "http_dash_segments",
         "fragments": [], "ext": "mp4", "vcodec": "avc1", "acodec": "none", "height": 1080},
        {"format_id": "d", "url": "http://m.test/d", "protocol": "https", "ext": "mp4",
         "vcodec": "avc1", "acodec": "mp4a", "height": 2160, "has_drm": true}]})",
                          list, error))
        << error;
    EXPECT_DOUBLE_EQ(list.duration, 12.5);
    c = ChooseFormat(list, 0);
    EXPECT_EQ(c.kind, Choice::kExtractor);
    EXPECT_EQ(c.selector, "v1+a1");
    EXPECT_EQ(c.ext, "mp4");
    c = ChooseFormat(list, 720);
    EXPECT_EQ(c.selector, "v2+a1");
    c = ChooseFormat(list, 480);
    ASSERT_EQ(c.kind, Choice::kNative);
    EXPECT_EQ(c.native->id, "p");

    Info drm;
    ASSERT_TRUE(ParseInfo(R"({"formats": [{"format_id": "d", "url": "http://m.test/d",
        "protocol": "https", "has_drm": true}]})",
                          drm, error));
    c = ChooseFormat(drm, 0);
    EXPECT_EQ(c.kind, Choice::kNone);
    EXPECT_TRUE(c.drmOnly);

    // What is no single video.
    for (const char* bad : {"", "{not json", "[1, 2]", R"({"_type": "playlist", "entries": []})",
                            R"({"title": "no formats"})", R"({"formats": "many"})"}) {
        Info i;
        EXPECT_FALSE(ParseInfo(bad, i, error)) << bad;
    }
    // Wrong types are no values, not crashes.
    Info odd;
    ASSERT_TRUE(ParseInfo(R"({"title": 5, "height": "tall", "duration": -3, "url": "http://a.test/",
        "http_headers": {"X": 1, "Referer": "r"}})",
                          odd, error));
    EXPECT_EQ(odd.height, 0);
    EXPECT_EQ(odd.duration, 0);
    EXPECT_EQ(odd.formats[0].headers.size(), 1u);
}

TEST(ExtractorAnswer, HeadersAreSentOnlyWhereTheyBelong) {
    Format f;
    f.url = "https://media.site.test/v.mp4";
    f.headers = {{"Referer", "https://site.test/w"},
                 {"Cookie", "session=1"},
                 {"Accept-Encoding", "gzip"},
                 {"X-Evil", "a\r\nHost: other.test"},
                 {"Bad Name", "v"}};
    f.cookies = "a=1; Domain=.site.test; Path=/; Secure; b=2; Domain=other.test; Path=/";
    std::vector<std::string> any, own;
    CExtractorSite::SplitHeaders(f, any, own);
    EXPECT_EQ(any, std::vector<std::string>{"Referer: https://site.test/w"});
    EXPECT_EQ(own, (std::vector<std::string>{"Cookie: session=1", "Cookie: a=1"}));
}

TEST(ExtractorAnswer, ErrorsBecomeClearMessages) {
    const std::pair<const char*, unsigned> cases[] = {
        {"ERROR: Unsupported URL: http://x.test/", 33404},
        {"ERROR: [generic] x: Unable to download webpage: HTTP Error 403: Forbidden", 33405},
        {"ERROR: unable to download video data: HTTP Error 404: Not Found", 33406},
        {"ERROR: HTTP Error 429: Too Many Requests", 33407},
        {"ERROR: [x] 1: The uploader has not made this video available in your country", 33408},
        {"ERROR: [youtube] a: Sign in to confirm you're not a bot", 33409},
        {"ERROR: [x] 1: This video is DRM protected", 33410},
        {"ERROR: [youtube] a: Private video. Sign in if you've been granted access", 33411},
        {"ERROR: [x] 1: This video has been removed by the uploader", 33411},
    };
    for (auto [line, id] : cases) EXPECT_EQ(ErrorMessage(line, 10), LoadText(id)) << line;
    const std::string broken = "ERROR: [x] 1: Unable to extract title; please report this issue";
    EXPECT_EQ(ErrorMessage(broken, 1376), platform::FormatW(LoadText(33412).c_str(), 1376));
    EXPECT_NE(ErrorMessage(broken, 1376).find(L"1376"), std::wstring::npos);
    // A network failure is no sign of age.
    const std::string network =
        "ERROR: [generic] x: Unable to download webpage: <urlopen error [SSL: "
        "CERTIFICATE_VERIFY_FAILED]>";
    EXPECT_EQ(ErrorKind(network, 1376), 33413u);
    // A fresh copy that breaks is not called old; its own words are shown.
    EXPECT_NE(ErrorMessage(broken, 3).find(L"Unable to extract title"), std::wstring::npos);
    EXPECT_EQ(LastErrorLine("[generic] x: Requesting\nERROR: first\nWARNING: later\r\n"),
              "ERROR: first");
    EXPECT_EQ(LastErrorLine("a\x1b[31mb\n"), "a?[31mb");
}

TEST(ExtractorProgress, MarkersAreFoundWhereverTheyStand) {
    // Picture then sound, each a part of the whole; objects split across
    // reads, without line ends, and garbage between them.
    ProgressScanner s(2);
    Progress p;
    std::string out =
        "[info] x: Downloading 1 format(s): 0+1\n"
        "CVJ {\"status\": \"downloading\", \"downloaded_bytes\": 50, \"total_bytes\": 100, "
        "\"filename\": \"d/media.f0.mp4\", \"note\": \"a } in a string\"}"
        "CVJ {\"status\": \"finished\", \"downloaded_bytes\": 100, \"total_bytes\": 100, "
        "\"filename\": \"d/media.f0.mp4\"}\r"
        "CVJ {broken\n"
        "CVJ {\"status\": \"downloading\", \"downloaded_bytes\": 10, \"total_bytes_estimate\": "
        "40, \"filename\": \"d/media.f1.m4a\"}"
        "[Merger] Merging formats into \"d/media.mp4\"\n"
        "/out/d/media.mp4\n";
    std::vector<unsigned> seen;
    for (size_t i = 0; i < out.size(); i += 7)
        if (s.Feed(out.data() + i, std::min<size_t>(7, out.size() - i), p))
            seen.push_back(p.thousandths);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 250u);
    EXPECT_EQ(seen.back(), 625u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    std::vector<std::string> lines = s.TakeLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "/out/d/media.mp4"), lines.end());

    // Copies without a template: the progress bar's own lines.
    ProgressScanner old(1);
    std::string bar = "[download]  42.0% of 10.00MiB at  1.00MiB/s ETA 00:06\r";
    ASSERT_TRUE(old.Feed(bar.data(), bar.size(), p));
    EXPECT_EQ(p.thousandths, 420u);
    EXPECT_EQ(p.total, 10u << 20);

    // Endless output without a marker or line end is dropped, not kept.
    ProgressScanner flood(1);
    std::string junk(1 << 16, 'x');
    for (int i = 0; i < 64; ++i) flood.Feed(junk.data(), junk.size(), p);
    EXPECT_LT(flood.TakeLines().size(), 2u);
}

class ExtractorStandIn : public ::testing::Test {
  protected:
    void TearDown() override { SetAskTimeLimit(60); }
    TempDir dir;
};

TEST_F(ExtractorStandIn, AHangIsEndedAtTheTimeLimitAndAStopAtOnce) {
    std::string path = StandIn(dir, "hang", "echo $$ > \"$(dirname \"$0\")/pid\"; sleep 600");
    std::shared_ptr<const Copy> copy = Know(path);
    ASSERT_TRUE(copy->usable) << copy->problem;
    SetAskTimeLimit(2);
    auto started = std::chrono::steady_clock::now();
    Answer a = Ask(*copy, L"http://x.test/", nullptr);
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(a.outcome, Outcome::kFailed);
    EXPECT_EQ(a.failure.message, platform::FormatW(LoadText(33414).c_str(), 2));
    EXPECT_LT(took, std::chrono::seconds(8));
    pid_t pid = std::atoi(ReadFile(dir / "pid").c_str());
    EXPECT_FALSE(Alive(pid)) << "the hanging child was left running";
    std::string folder = a.folder->path();
    a.folder.reset();
    EXPECT_FALSE(std::filesystem::exists(folder)) << "the private folder stays";

    SetAskTimeLimit(60);
    auto stopAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    started = std::chrono::steady_clock::now();
    a = Ask(*copy, L"http://x.test/", [&] { return std::chrono::steady_clock::now() > stopAt; });
    EXPECT_EQ(a.outcome, Outcome::kStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(ExtractorStandIn, EndlessOutputAndGarbageAreRefusedClearly) {
    std::string endless = StandIn(dir, "endless", "exec yes '{\"title\": \"x\"}'");
    Answer a = Ask(*Know(endless), L"http://x.test/", nullptr);
    EXPECT_EQ(a.outcome, Outcome::kFailed);
    EXPECT_EQ(a.failure.message, LoadText(33415));

    std::string garbage = StandIn(dir, "garbage", "printf '{\"title\": \"half'; exit 0");
    a = Ask(*Know(garbage), L"http://x.test/", nullptr);
    EXPECT_EQ(a.outcome, Outcome::kFailed);
    EXPECT_NE(a.failure.message.find(L"not a JSON object"), std::wstring::npos);

    // Its error output, endless too, is kept only at its tail.
    std::string noisy = StandIn(dir, "noisy",
                                "i=0; while [ $i -lt 20000 ]; do echo 'WARNING: noise noise' >&2; "
                                "i=$((i+1)); done; echo 'ERROR: Unsupported URL: x' >&2; exit 1");
    a = Ask(*Know(noisy), L"http://x.test/", nullptr);
    EXPECT_EQ(a.outcome, Outcome::kUnsupported);
    EXPECT_EQ(a.failure.rawLine, "ERROR: Unsupported URL: x");
}

TEST_F(ExtractorStandIn, AnOldCopyGetsOnlyItsOwnOptionsAndItsProgressIsRead) {
    // The address goes after "--", whatever it looks like.
    std::string path = StandIn(
        dir, "old",
        "d=\"$(dirname \"$0\")\"; echo \"$@\" >> \"$d/args\"\n"
        "case \" $* \" in *' -J '*) printf '%s' '{\"id\": \"v\", \"title\": \"Old\", "
        "\"formats\": [{\"format_id\": \"h\", \"url\": \"http://x.test/m3u8\", \"protocol\": "
        "\"m3u8_native\", \"ext\": \"mp4\"}]}'; exit 0;; esac\n"
        "out=''; prev=''; for a in \"$@\"; do [ \"$prev\" = -o ] && out=\"$a\"; prev=\"$a\"; done\n"
        "printf '[download]  10.0%% of 1.00KiB at 1KiB/s'; sleep 0.2\n"
        "printf '\\r[download]  60.0%% of 1.00KiB at 1KiB/s'; sleep 0.2\n"
        "f=$(echo \"$out\" | sed 's/%(ext)s/mp4/'); cp \"" +
            extractortest::MediaDir() +
            "/clip.mp4\" \"$f\"\n"
            "printf '\\r[download] 100%% of 1.00KiB at 1KiB/s\\n'");
    std::shared_ptr<const Copy> copy = Know(path);
    ASSERT_TRUE(copy->usable);
    EXPECT_FALSE(copy->Has("--progress-template"));
    Answer a = Ask(*copy, L"--exec=rm -rf ~", nullptr);
    ASSERT_EQ(a.outcome, Outcome::kOk) << a.failure.rawLine;
    Choice c = ChooseFormat(a.info, 0);
    ASSERT_EQ(c.kind, Choice::kExtractor);
    PrivateFolder work(dir.path(), "work-");
    std::vector<unsigned> progress;
    extractor::DownloadResult r = Download(
        *copy, a.jsonPath, c.selector, work.path(), c.ext, 1,
        [&](const Progress& p) { progress.push_back(p.thousandths); }, nullptr);
    ASSERT_EQ(r.outcome, Outcome::kOk) << r.failure.rawLine << ReadFile(dir / "args");
    EXPECT_EQ(r.file, work.path() + "/media.mp4");
    EXPECT_EQ(progress, (std::vector<unsigned>{100, 600, 1000}));
    std::vector<std::string> calls = testsupport::SplitLines(ReadFile(dir / "args"));
    ASSERT_GE(calls.size(), 2u);
    EXPECT_NE(calls[0].find("-J -- --exec=rm -rf ~"), std::string::npos) << calls[0];
    EXPECT_EQ(calls[1].find("--continue"), std::string::npos);
}

TEST_F(ExtractorStandIn, AStopEndsTheDownloadWithEverythingItStarted) {
    std::string path = StandIn(dir, "slow",
                               "d=\"$(dirname \"$0\")\"; (sleep 600; echo late) &\n"
                               "echo $! > \"$d/grandchild\"\n"
                               "for i in 1 2 3; do printf 'CVJ {\"downloaded_bytes\": %s, "
                               "\"total_bytes\": 10}' $i; sleep 0.1; done; sleep 600");
    std::shared_ptr<const Copy> copy = Know(path);
    WriteFile(dir / "info.json", "{}");
    PrivateFolder work(dir.path(), "work-");
    bool moved = false;
    auto started = std::chrono::steady_clock::now();
    extractor::DownloadResult r = Download(
        *copy, dir / "info.json", "h", work.path(), "mp4", 1,
        [&](const Progress&) { moved = true; },
        [&] {
            return moved && std::chrono::steady_clock::now() - started > std::chrono::seconds(1);
        });
    EXPECT_EQ(r.outcome, Outcome::kStopped);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(7));
    pid_t grandchild = std::atoi(ReadFile(dir / "grandchild").c_str());
    EXPECT_TRUE(testsupport::WaitFor([&] { return !Alive(grandchild); }, std::chrono::seconds(2)))
        << "what it started lives on";
}

TEST_F(ExtractorStandIn, WhatACopySaidIsKeptForLaterRunsWhileItsProgramStaysTheSameFile) {
    const std::string asked = dir / "asked";
    auto copyOf = [&](const std::string& version) {
        // Counts the questions it answers.
        return StandIn(dir, "yt-dlp", "exit 0", version + "; echo v >> '" + asked + "'");
    };
    auto questions = [&] { return testsupport::SplitLines(ReadFile(asked)).size(); };
    const std::string path = copyOf("2021.12.01");
    std::shared_ptr<const Copy> first = Know(path);
    ASSERT_TRUE(first->usable) << first->problem;
    EXPECT_EQ(questions(), 1u);

    // The next run knows it without asking.
    ForgetCopies();
    std::shared_ptr<const Copy> again = Know(path);
    ASSERT_TRUE(again->usable);
    EXPECT_EQ(questions(), 1u);
    EXPECT_EQ(again->version, "2021.12.01");
    EXPECT_EQ(again->options, first->options);
    EXPECT_EQ(again->ageDays, first->ageDays);

    // Another copy in its place is asked anew.
    copyOf("2022.02.02");
    ForgetCopies();
    EXPECT_EQ(Know(path)->version, "2022.02.02");
    EXPECT_EQ(questions(), 2u);

    // So is one whose record is damaged, or holds no usable copy.
    const std::string known =
        std::string(std::getenv("XDG_DATA_HOME")) + "/Clipvane/extractor-copies.json";
    for (const char* damaged :
         {"{\"", "[]", "{\"PATH\": 7}",
          "{\"PATH\": {\"identity\": null, \"learnt\": 1, \"version\": \"x\", "
          "\"options\": [\"--dump-single-json\"]}}"}) {
        std::string text = damaged;
        if (size_t at = text.find("PATH"); at != std::string::npos) text.replace(at, 4, path);
        WriteFile(known, text);
        ForgetCopies();
        EXPECT_TRUE(Know(path)->usable) << damaged;
    }
    EXPECT_EQ(questions(), 6u);
    ForgetCopies();
}

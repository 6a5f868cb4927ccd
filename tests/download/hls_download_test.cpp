// HLS streams made with ffmpeg (and openssl for keys) at test time, served
// by the stand-in sites and fetched through clipvane-get.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "clipvane_get_run.h"
#include "download/hls_playlist.h"
#include "fakesites_harness.h"
#include "support/process_harness.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

int Shell(const std::string& command) {
    return std::system(command.c_str());
}

const char* const kKeyHex = "000102030405060708090a0b0c0d0e0f";

// The streams of the stand-in, in `dir`: low (320x240, six segments),
// enc (640x480, encrypted by ffmpeg), a master naming both, seq (low's
// segments encrypted with the media sequence number as IV), and a live,
// a SAMPLE-AES and a wrong-key playlist.
void MakeStreams(const std::string& dir) {
    std::string d = "cd '" + dir + "' && ";
    ASSERT_EQ(
        Shell(d + "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=25 "
                  "-f lavfi -i sine -t 6 -c:v mpeg2video -c:a mp2 -g 25 -f hls -hls_time 1 "
                  "-hls_list_size 0 -hls_playlist_type vod -hls_segment_filename 'low_%03d.ts' "
                  "low.m3u8"),
        0);
    ASSERT_EQ(Shell(d + "printf "
                        "'\\000\\001\\002\\003\\004\\005\\006\\007\\010\\011\\012\\013\\014\\015\\0"
                        "16\\017' > k.key && "
                        "printf 'http://media.clipvane.test/hls/k.key\\nk.key\\n' > keyinfo && "
                        "ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=640x480:rate=25 "
                        "-f lavfi -i sine -t 3 -c:v mpeg2video -c:a mp2 -g 25 -f hls -hls_time 1 "
                        "-hls_list_size 0 -hls_playlist_type vod -hls_key_info_file keyinfo "
                        "-hls_segment_filename 'enc_%03d.ts' enc.m3u8"),
              0);
    WriteFile(dir + "/master.m3u8",
              "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000,RESOLUTION=320x240\nlow.m3u8\n"
              "#EXT-X-STREAM-INF:BANDWIDTH=2000000,RESOLUTION=640x480\nenc.m3u8\n");
    std::string seq =
        "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:5\n"
        "#EXT-X-KEY:METHOD=AES-128,URI=\"/hls/k.key\"\n";
    std::string live = "#EXTM3U\n#EXT-X-TARGETDURATION:1\n";
    for (int i = 0; i < 6; ++i) {
        char iv[40], n[8];
        std::snprintf(iv, sizeof iv, "%032x", 5 + i);
        std::snprintf(n, sizeof n, "%03d", i);
        ASSERT_EQ(Shell(d + "openssl enc -aes-128-cbc -K " + kKeyHex + " -iv " + iv + " -in low_" +
                        n + ".ts -out seq_" + n + ".ts"),
                  0);
        // The same key again under another address: fetched while the
        // first segments are under way.
        if (i == 3) seq += "#EXT-X-KEY:METHOD=AES-128,URI=\"/hls/k.key?again\"\n";
        seq += std::string("#EXTINF:1.0,\nseq_") + n + ".ts\n";
        live += std::string("#EXTINF:1.0,\nlow_") + n + ".ts\n";
    }
    WriteFile(dir + "/seq.m3u8", seq + "#EXT-X-ENDLIST\n");
    WriteFile(dir + "/live.m3u8", live);
    WriteFile(dir + "/sample.m3u8",
              "#EXTM3U\n#EXT-X-KEY:METHOD=SAMPLE-AES,URI=\"k.key\"\n#EXTINF:1,\nlow_000.ts\n"
              "#EXT-X-ENDLIST\n");
    WriteFile(dir + "/short.key", "fifteen bytes!!");
    WriteFile(dir + "/huge.m3u8", "#EXTM3U\n#EXTINF:1,\nhuge.ts\n#EXT-X-ENDLIST\n");
    WriteFile(dir + "/badkey.m3u8",
              "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"short.key\"\n#EXTINF:1,\nlow_000.ts\n"
              "#EXT-X-ENDLIST\n");
}

std::string Concat(const std::string& dir, const char* prefix, int count) {
    std::string all;
    for (int i = 0; i < count; ++i) {
        char n[8];
        std::snprintf(n, sizeof n, "%03d", i);
        all += ReadFile(dir + "/" + prefix + n + ".ts");
    }
    return all;
}

class HlsStreams : public ::testing::Test {
  protected:
    void SetUp() override {
        MakeStreams(sites_.Files());
        if (HasFatalFailure()) return;
        sites_.filesDir = sites_.Files();
    }
    bool Serve(const std::string& extraRoutes = "") {
        return sites_.Start(R"({"routes": [)" + extraRoutes +
                            R"({"host": "media.clipvane.test", "path_prefix": "/hls/",
             "serve_files": true, "headers": {"Content-Type": "application/vnd.apple.mpegurl"}}]})");
    }
    // A clipvane-get run of one playlist; without ffmpeg the .ts stays.
    std::unique_ptr<ProgramRun> Get(const std::string& playlist, bool ffmpeg = true) {
        auto r = std::make_unique<ProgramRun>(ClipvaneGetPath(), home_.path());
        r->env["http_proxy"] = sites_.ProxyUrl();
        r->env.erase("no_proxy");
        if (!ffmpeg) r->env["PATH"] = home_ / "no-programs";
        r->args = {"-o", home_ / "out", "-r", "0", "http://media.clipvane.test/hls/" + playlist};
        return r;
    }
    size_t Asked(const std::string& file) const {
        size_t n = 0;
        for (const RecordedRequest& r : sites_.Requests())
            if (r.target.size() >= file.size() &&
                r.target.compare(r.target.size() - file.size(), file.size(), file) == 0)
                ++n;
        return n;
    }
    std::string Out(const std::string& name) const {
        return home_ / ("out/media.clipvane.test/" + name);
    }

    FakeSites sites_;
    TempDir home_;
};

}  // namespace

TEST_F(HlsStreams, MasterPlaylistGivesTheBestVariantWithinTheHeightAsMp4) {
    ASSERT_TRUE(Serve());
    auto best = Get("master.m3u8");
    ASSERT_EQ(RunTool(*best), 0) << best->Output();
    // The encrypted 640x480 variant, decrypted and copied into MP4.
    std::string mp4 = ReadFile(Out("master.mp4"));
    ASSERT_GT(mp4.size(), 100000u);
    EXPECT_EQ(mp4.substr(4, 4), "ftyp");
    EXPECT_FALSE(fs::exists(Out("master.ts"))) << "the .ts goes once the MP4 is made";
    EXPECT_EQ(Asked("/hls/enc.m3u8"), 1u);
    EXPECT_EQ(Asked("/hls/k.key"), 1u) << "a key is fetched once";
    EXPECT_NE(best->Output().find("segment 3 of 3"), std::string::npos) << best->Output();
    ProgramRun probe(std::string(CLIPVANE_PROGRAM_DIR) + "/clipvane-probe", home_.path());
    probe.args = {Out("master.mp4")};
    EXPECT_EQ(RunTool(probe), 0) << probe.Output();

    auto low = Get("master.m3u8", false);
    low->args.insert(low->args.begin(), {"--max-height", "240"});
    ASSERT_EQ(RunTool(*low), 0) << low->Output();
    EXPECT_EQ(Asked("/hls/low.m3u8"), 1u);
    EXPECT_EQ(ReadFile(Out("master.ts")), Concat(sites_.Files(), "low_", 6));
}

TEST_F(HlsStreams, SequenceNumberIsTheIvWhenTheKeyHasNone) {
    ASSERT_TRUE(Serve());
    auto run = Get("seq.m3u8", false);
    ASSERT_EQ(RunTool(*run), 0) << run->Output();
    EXPECT_EQ(ReadFile(Out("seq.ts")), Concat(sites_.Files(), "low_", 6));
}

TEST_F(HlsStreams, RefusedStreamsSayWhyAndLeaveNothing) {
    ASSERT_TRUE(Serve(R"({"host": "media.clipvane.test", "path": "/hls/huge.ts",
        "body_size": 10, "content_length": 3000000000},)"));
    struct Case {
        const char* playlist;
        const char* said;
    } cases[] = {{"live.m3u8", "is live"},
                 {"sample.m3u8", "SAMPLE-AES"},
                 {"badkey.m3u8", "not the 16"},
                 {"huge.m3u8", "larger than 2 GiB"},
                 {"missing.m3u8", "404"}};
    for (const Case& c : cases) {
        auto run = Get(c.playlist);
        EXPECT_EQ(RunTool(*run), 1) << run->Output();
        EXPECT_NE(run->Output().find(c.said), std::string::npos) << run->Output();
    }
    if (fs::exists(home_ / "out/media.clipvane.test"))
        EXPECT_TRUE(fs::is_empty(home_ / "out/media.clipvane.test"));
}

TEST_F(HlsStreams, StoppedStreamResumesAtTheFirstSegmentNotWritten) {
    // The fourth segment stalls the first time.
    ASSERT_TRUE(Serve(R"({"host": "media.clipvane.test", "path": "/hls/low_003.ts",
        "versions": [{"body_size": 100, "content_length": 1000, "stall_after": 100}, {"serve_files": true, "path_prefix": "/hls/"}]},)"));
    auto first = Get("low.m3u8", false);
    ASSERT_TRUE(first->Start());
    const std::string record = Out("low.ts.cvr");
    const std::string firstThree = Concat(sites_.Files(), "low_", 3);
    bool three = false;
    for (int i = 0; i < 200 && !three; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        three = ReadFile(Out("low.ts.cvt")) == firstThree;
    }
    ASSERT_TRUE(three) << first->Output();
    auto asked = std::chrono::steady_clock::now();
    first->Signal(SIGINT);
    EXPECT_EQ(ExitStatus(first->Wait(std::chrono::seconds(10))), 1) << first->Output();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(5));
    ASSERT_TRUE(fs::exists(Out("low.ts.cvt")));
    EXPECT_NE(ReadFile(record).find("\"segments\": 3"), std::string::npos) << ReadFile(record);

    auto second = Get("low.m3u8", false);
    ASSERT_EQ(RunTool(*second), 0) << second->Output();
    EXPECT_EQ(ReadFile(Out("low.ts")), Concat(sites_.Files(), "low_", 6));
    EXPECT_EQ(Asked("/hls/low_000.ts"), 1u) << "written segments are not fetched again";
    EXPECT_EQ(Asked("/hls/low_002.ts"), 1u);
    EXPECT_EQ(Asked("/hls/low_003.ts"), 2u);
    EXPECT_FALSE(fs::exists(record));
}

TEST(HlsPlaylist, RangesMapsKeysAndLimits) {
    std::string error;
    auto p = ParseHlsPlaylist(
        "#EXTM3U\n#EXT-X-MEDIA-SEQUENCE:7\n#EXT-X-MAP:URI=\"init.mp4\",BYTERANGE=\"720@0\"\n"
        "#EXT-X-KEY:METHOD=AES-128,URI=\"../k\",IV=0x0000000000000000000000000000000A\n"
        "#EXTINF:2,\n#EXT-X-BYTERANGE:1000@720\nall.mp4\n#EXTINF:2,\n#EXT-X-BYTERANGE:500\nall."
        "mp4\n"
        "#EXT-X-DISCONTINUITY\n#EXT-X-KEY:METHOD=NONE\n#EXTINF:2,\nhttps://cdn.test/x.ts?a=1\n"
        "#EXT-X-ENDLIST\n",
        "https://media.test/v/p.m3u8", error);
    ASSERT_TRUE(p) << error;
    const auto& s = p->media.segments;
    ASSERT_EQ(s.size(), 3u);
    EXPECT_TRUE(p->media.endList);
    EXPECT_EQ(s[0].uri, "https://media.test/v/all.mp4");
    EXPECT_EQ(s[0].range.offset, 720u);
    EXPECT_EQ(s[1].range.offset, 1720u) << "an offset left out follows the last range";
    EXPECT_EQ(s[1].range.length, 500u);
    EXPECT_EQ(s[0].sequence, 7u);
    EXPECT_EQ(s[0].key.uri, "https://media.test/k");
    EXPECT_EQ(s[0].key.iv[15], 10);
    EXPECT_EQ(s[2].key.method, HlsKey::kNone);
    EXPECT_TRUE(s[2].discontinuity);
    EXPECT_EQ(s[0].map, 0);
    EXPECT_EQ(p->media.maps[0].uri, "https://media.test/v/init.mp4");

    for (const char* bad : {"", "<html>", "#EXTM3U\n#EXT-X-BYTERANGE:x\n#EXTINF:1,\na.ts\n",
                            "#EXTM3U\n#EXTINF:1,\nftp://x/a.ts\n"})
        EXPECT_FALSE(ParseHlsPlaylist(bad, "http://m.test/p.m3u8", error)) << bad;
    std::string huge = "#EXTM3U\n";
    for (int i = 0; i <= 100000; ++i) huge += "#EXTINF:1,\ns.ts\n";
    EXPECT_FALSE(ParseHlsPlaylist(huge, "http://m.test/p.m3u8", error));
    EXPECT_NE(error.find("100,000"), std::string::npos);

    std::vector<HlsVariant> v = {{"a", 500, 426, 240},
                                 {"b", 3000, 1920, 1080},
                                 {"c", 1500, 1280, 720},
                                 {"d", 900, 1280, 720}};
    EXPECT_EQ(ChooseHlsVariant(v, 0), 1);
    EXPECT_EQ(ChooseHlsVariant(v, 720), 2);
    EXPECT_EQ(ChooseHlsVariant(v, 480), 0);
    EXPECT_EQ(ChooseHlsVariant(v, 144), 0) << "none fits: the smallest";
}

// The probe with the real mplayer on files ffmpeg made.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "media/cmd_mplayer.h"
#include "media/command_line.h"
#include "media_files.h"

using namespace mediatest;

namespace {
std::wstring W(const std::string& bytes) {
    return media::BytesToWide(bytes);
}
}  // namespace

TEST(Probe, FlvWithSound) {
    Task t;
    t.cutStartMs = 500;
    ASSERT_TRUE(ProbeMediaFile(W(Media("a.flv")), t));
    EXPECT_EQ(t.source, W(Media("a.flv")));
    EXPECT_EQ(t.videoFormat, L"FLV1");
    EXPECT_EQ(t.width, 160);
    EXPECT_EQ(t.height, 120);
    EXPECT_DOUBLE_EQ(t.fps, 25.0);
    EXPECT_NEAR(t.durationMs, 2000, 100);
    EXPECT_EQ(t.cutEndMs, t.durationMs);
    EXPECT_EQ(t.cutStartMs, 500);
    EXPECT_EQ(t.hasAudio, 1);
    EXPECT_EQ(t.audioRate, 22050);
    EXPECT_EQ(t.audioFormat, L"85");  // MP3 as mplayer names it
    EXPECT_GT(t.audioChannels, 0);
    ASSERT_EQ(t.audioTrackIds.size(), 1u);
    EXPECT_EQ(t.audioTrackIds[0], L"0");
    EXPECT_EQ(t.onlinePending, 0);
}

TEST(Probe, Mp4WithoutSound) {
    Task t;
    ASSERT_TRUE(ProbeMediaFile(W(Media("b.mp4")), t));
    EXPECT_EQ(t.videoFormat, L"MP4V");
    EXPECT_EQ(t.width, 176);
    EXPECT_EQ(t.height, 144);
    EXPECT_DOUBLE_EQ(t.fps, 15.0);
    EXPECT_EQ(t.hasAudio, 0);
    EXPECT_TRUE(t.audioTrackIds.empty());
}

TEST(Probe, RefusalsLeaveTheTaskAsItWas) {
    std::string d = ScratchDir();
    FILE* f = std::fopen((d + "/text.flv").c_str(), "w");
    std::fputs("this is not a video\n", f);
    std::fclose(f);
    std::fclose(std::fopen((d + "/empty.flv").c_str(), "w"));
    for (std::string p : {Media("c.mp3"), d + "/text.flv", d + "/empty.flv", d + "/missing.flv"}) {
        Task t;
        t.source = L"before";
        EXPECT_FALSE(ProbeMediaFile(W(p), t)) << p;
        EXPECT_EQ(t.source, L"before");
        EXPECT_EQ(t.siteKind, -2);
    }
}

TEST(Probe, HostileNamesReachThePlayerAsOneArgument) {
    std::string d = ScratchDir();
    const std::string names[] = {"with space.flv", "quote\"d.flv",          "back\\slash\\",
                                 "$(touch pwned)", "`touch pwned`",         "semi;touch pwned;.flv",
                                 "new\nline.flv",  "bad\xff\xfe bytes.flv", "trail\\\"\\\\.flv"};
    for (const auto& n : names) {
        ASSERT_TRUE(CopyFile(Media("a.flv"), d + "/" + n)) << n;
        Task t;
        EXPECT_TRUE(ProbeMediaFile(W(d + "/" + n), t)) << n;
        EXPECT_EQ(media::WideToBytes(t.source), d + "/" + n);
        EXPECT_EQ(t.width, 160) << n;
    }
    // A relative name that starts with '-' is not read as an option.
    ASSERT_TRUE(CopyFile(Media("a.flv"), d + "/-vo.flv"));
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(d.c_str()), 0);
    Task t;
    EXPECT_TRUE(ProbeMediaFile(L"-vo.flv", t));
    EXPECT_EQ(t.source, L"-vo.flv");
    ASSERT_EQ(chdir(old), 0);
    struct stat st;
    EXPECT_NE(stat((d + "/pwned").c_str(), &st), 0) << "a name ran as a command";
    EXPECT_NE(stat("pwned", &st), 0);
}

TEST(Probe, FolderWithSpacesAndNonAscii) {
    std::string d = ScratchDir() + "/Mes vidéos 日本";
    ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
    ASSERT_TRUE(CopyFile(Media("b.mp4"), d + "/clip é.mp4"));
    Task t;
    ASSERT_TRUE(ProbeMediaFile(platform::FromUtf8(d + "/clip é.mp4"), t));
    EXPECT_EQ(t.source, platform::FromUtf8(d + "/clip é.mp4"));
    EXPECT_EQ(t.videoFormat, L"MP4V");
}

TEST(Probe, FifoEndsWithinTheTimeLimit) {
    std::string fifo = ScratchDir() + "/pipe.flv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Task t;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProbeMediaFile(W(fifo), t, 1500));
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(15));  // a slow, shared machine
}

TEST(Probe, ACancelEndsAProbeUnderWayAtOnce) {
    std::string fifo = ScratchDir() + "/cancelled.flv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancel = true;
    });
    Task t;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ProbeMediaFile(W(fifo), t, 60000, &cancel));
    auto took = std::chrono::steady_clock::now() - start;
    canceller.join();
    EXPECT_LT(took, std::chrono::seconds(10));  // far below the 60 s limit, on a slow machine
    EXPECT_TRUE(t.source.empty());
}

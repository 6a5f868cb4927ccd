#pragma once
// Media for the stand-in pages, made by ffmpeg once per test process: a
// two-second clip with picture and sound (clip.mp4) and the same as DASH
// (manifest.mpd, init-stream0/1.m4s, chunk-stream0/1-00001.m4s).
#include <cstdlib>
#include <string>

#include "support/process_harness.h"

namespace extractortest {

inline const std::string& MediaDir() {
    static testsupport::TempDir* dir = [] {
        auto* d = new testsupport::TempDir();
        std::string cmd =
            "cd '" + d->path() +
            "' && ffmpeg -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=2 "
            "-f lavfi -i sine=frequency=440:duration=2 -c:v libx264 -preset ultrafast "
            "-pix_fmt yuv420p -c:a aac -shortest clip.mp4 && ffmpeg -loglevel error -y -i "
            "clip.mp4 -map 0:v -map 0:a -c copy -f dash -seg_duration 4 -use_template 1 "
            "-use_timeline 0 -adaptation_sets 'id=0,streams=v id=1,streams=a' manifest.mpd";
        if (std::system(cmd.c_str()) != 0) std::abort();
        return d;
    }();
    return dir->path();
}

// The streams ffprobe finds in a file: "video,audio" for the clip.
inline std::string Streams(const std::string& file) {
    testsupport::TempDir t;
    std::string cmd = "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" + file +
                      "' > '" + (t / "out") + "' 2>/dev/null";
    if (std::system(cmd.c_str()) != 0) return "";
    std::string s = testsupport::ReadFile(t / "out");
    std::string out;
    for (const std::string& line : testsupport::SplitLines(s))
        if (!line.empty()) out += (out.empty() ? "" : ",") + line;
    return out;
}

}  // namespace extractortest

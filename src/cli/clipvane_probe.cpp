// Prints, for each media file, the properties the task list shows, or the
// refusal for a file without a video stream.
#include <cstdio>
#include <string>

#include "app/helpers.h"
#include "media/cmd_mplayer.h"
#include "media/command_line.h"
#include "platform/text.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: clipvane-probe FILE...\n");
        return 2;
    }
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        std::wstring path = media::BytesToWide(argv[i]);
        Task t;
        std::printf("%s\n", argv[i]);
        if (!ProbeMediaFile(path, t)) {
            std::printf("  refused: no video stream found\n");
            ++failed;
            continue;
        }
        auto u = [](const std::wstring& w) { return platform::ToUtf8(w); };
        std::printf("  duration: %s\n", u(FormatDuration(t.cutEndMs - t.cutStartMs)).c_str());
        std::printf("  video: %s\n", u(t.videoFormat).c_str());
        std::printf("  size: %dx%d\n", t.width, t.height);
        std::printf("  rate: %.0f fps\n", t.fps);
        if (t.hasAudio) {
            std::string ids;
            for (const auto& id : t.audioTrackIds) ids += (ids.empty() ? "" : ", ") + u(id);
            std::printf("  audio: %s, %d Hz, %d channels, tracks %s\n", u(t.audioFormat).c_str(),
                        t.audioRate, t.audioChannels, ids.c_str());
        } else {
            std::printf("  audio: none\n");
        }
    }
    return failed ? 1 : 0;
}

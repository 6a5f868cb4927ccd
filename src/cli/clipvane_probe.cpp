// Prints, for each media file, the properties the task list shows, or why
// the file is refused: missing, a folder, no plain file, or no video stream.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/helpers.h"
#include "cli/terminal_text.h"
#include "media/cmd_mplayer.h"
#include "media/command_line.h"
#include "platform/text.h"

namespace {

// Why the path is no file to probe; empty when it is one. A folder or a
// pipe is never handed to the player, which would wait on a pipe forever.
std::string RefusalBeforeProbe(const char* path) {
    struct stat st {};
    if (::stat(path, &st) != 0) {
        if (errno == ENOENT) return "no such file";
        return std::string("cannot be read: ") + std::strerror(errno);
    }
    if (S_ISDIR(st.st_mode)) return "a folder, not a file";
    if (!S_ISREG(st.st_mode)) return "not a plain file";
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: clipvane-probe FILE...\n");
        return 2;
    }
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        std::wstring path = media::BytesToWide(argv[i]);
        // A name is shown as clipvane-get shows outside text: controls marked.
        std::printf("%s\n", cli::TerminalText(std::string_view(argv[i])).c_str());
        std::string refusal = RefusalBeforeProbe(argv[i]);
        Task t;
        if (refusal.empty() && !ProbeMediaFile(path, t)) refusal = "no video stream found";
        if (!refusal.empty()) {
            std::printf("  refused: %s\n", refusal.c_str());
            ++failed;
            continue;
        }
        auto u = [](const std::wstring& w) { return cli::TerminalText(w); };
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

// clipvane-get: downloads the videos of page addresses with the engine of
// the main window, printing its status texts and progress.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/settings.h"
#include "download/address_import.h"
#include "download/site_helpers.h"
#include "download/video_downloader.h"
#include "history/history.h"
#include "history/history_db.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"

namespace {

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted = true;
}

const char kUsage[] =
    "Usage: clipvane-get [options] ADDRESS... | - | -i FILE-OR-URL...\n"
    "Downloads the video of each page address ('-' reads one address a line from\n"
    "standard input) into the site's subfolder of the output folder.\n"
    "  -i, --import FILE-OR-URL  also download every YouTube and Google Video\n"
    "                            address found in a text or HTML file, local or\n"
    "                            at an http address (may be given more than once)\n"
    "Addresses are taken in command-line order; one given twice is downloaded once.\n"
    "Settings come from the user's Clipvane settings; these options override them\n"
    "for this run only and are never saved:\n"
    "  -o, --output-folder DIR   output folder\n"
    "  -r, --retries N           further attempts of a failed item\n"
    "      --use-title           name files after the video title\n"
    "      --use-id              name files after the video id\n"
    "      --format flv|mp4|3gp  YouTube rendition\n"
    "      --cache, --no-cache   allow or forbid cached answers\n"
    "  -h, --help                this text\n"
    "Ctrl-C stops the run. Exit status: 0 every item finished, 1 an item failed or\n"
    "there was nothing to download, 2 bad usage.\n";

// One address, or a file or web address to import addresses from.
struct Source {
    bool import;
    std::wstring text;
};

// A row number travels in 16 bits of the downloader's messages.
constexpr size_t kMaxAddresses = 65536;

int Usage(const char* msg) {
    if (msg) std::fprintf(stderr, "clipvane-get: %s\n", msg);
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    CSettings settings;
    SetSettingsInstance(&settings);
    settings.Load();
    SettingsData over = settings.Get();
    std::vector<Source> sources;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "-h" || a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "-o" || a == "--output-folder") {
            const char* v = value();
            if (!v || !*v) return Usage("missing folder");
            over.OutputFolder = platform::FromUtf8(v);
        } else if (a == "-r" || a == "--retries") {
            const char* v = value();
            char* end = nullptr;
            long n = v ? std::strtol(v, &end, 10) : -1;
            if (!v || *end || n < 0 || n > 1000) return Usage("bad retry count");
            over.RetryTimes = static_cast<int32_t>(n);
        } else if (a == "--use-title") {
            over.UseTitleAsFileName = 1;
        } else if (a == "--use-id") {
            over.UseTitleAsFileName = 0;
        } else if (a == "--format") {
            const char* v = value();
            std::string f = v ? v : "";
            if (f == "flv")
                over.YoutubeFMT = 0;
            else if (f == "mp4")
                over.YoutubeFMT = 1;
            else if (f == "3gp")
                over.YoutubeFMT = 2;
            else
                return Usage("format must be flv, mp4 or 3gp");
        } else if (a == "--cache") {
            over.UseInternalCache = 1;
        } else if (a == "--no-cache") {
            over.UseInternalCache = 0;
        } else if (a == "-i" || a == "--import") {
            const char* v = value();
            if (!v || !*v) return Usage("missing file or address to import");
            sources.push_back({true, platform::FromUtf8(v)});
        } else if (a == "-") {
            std::string line;
            while (std::getline(std::cin, line))
                if (!line.empty()) sources.push_back({false, platform::FromUtf8(line)});
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage(("unknown option " + a).c_str());
        } else {
            sources.push_back({false, platform::FromUtf8(a)});
        }
    }
    if (sources.empty()) return Usage("no address given");
    settings.Update([&](SettingsData& d) { d = over; });  // this run only; never saved

    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    std::vector<std::wstring> addresses;
    std::unordered_set<std::wstring> seen;
    auto add = [&](const std::wstring& address) {
        if (seen.insert(address).second) addresses.push_back(address);
    };
    for (const Source& s : sources) {
        if (!s.import) {
            add(s.text);
            continue;
        }
        std::vector<std::wstring> found = ImportAddresses(s.text, &g_interrupted);
        if (g_interrupted) {
            std::fprintf(stderr, "clipvane-get: stopped\n");
            return 1;
        }
        if (found.empty())
            std::fprintf(stderr, "clipvane-get: no video address found in %s\n",
                         platform::ToUtf8(s.text).c_str());
        for (const std::wstring& address : found) add(address);
    }
    if (addresses.empty()) {
        std::fprintf(stderr, "clipvane-get: nothing to download\n");
        return 1;
    }
    if (addresses.size() > kMaxAddresses) {
        std::fprintf(stderr, "clipvane-get: %zu addresses, at most %zu in one run\n",
                     addresses.size(), kMaxAddresses);
        return 1;
    }

    platform::ResourceBundle::Current().Load(platform::ToUtf8(GetProgramFolder()) +
                                             "/cvres.bundle");

    platform::QueuePostTarget queue;
    // Finished downloads are recorded in the history as the window records them.
    CHistoryDb* history = nullptr;
    OpenHistory(history);
    CVideoDownloader dl(&queue);
    CreateFolderTree(over.OutputFolder);
    dl.SetOutputFolder(over.OutputFolder);
    dl.SetUseTitleAsFileName(over.UseTitleAsFileName != 0);
    dl.SetRetryTimes(over.RetryTimes);
    for (size_t i = 0; i < addresses.size(); ++i)
        dl.AddItem(addresses[i], static_cast<uint16_t>(i));
    std::vector<int> state(addresses.size(), 0);  // 1 finished, -1 failed
    if (!dl.Start()) {
        std::fprintf(stderr, "clipvane-get: can not start the download\n");
        return 1;
    }
    const bool tty = isatty(STDOUT_FILENO);
    bool stopping = false, progressShown = false, ended = false;
    unsigned lastPermille = 1001;
    auto endProgressLine = [&] {
        if (progressShown && tty) std::fputs("\n", stdout);
        progressShown = false;
    };
    while (!ended) {
        if (g_interrupted && !stopping) {
            stopping = true;
            dl.RequestStop();
        }
        auto m = queue.Take(std::chrono::milliseconds(100));
        if (!m) continue;
        int row = static_cast<int>(m->lParam & 0xFFFF);
        switch (m->msg) {
            case WM_DOWNLOAD_PROGRESS: {
                unsigned pm = static_cast<unsigned>(m->wParam);
                if (pm / 10 == lastPermille / 10 && progressShown) break;
                lastPermille = pm;
                // The bytes the message stands for, not the live count, which
                // runs ahead of the queue.
                uint64_t total = dl.ContentLength();
                uint64_t got =
                    std::min<uint64_t>(total, total / 1000 * pm + total % 1000 * pm / 1000);
                if (tty) {
                    int filled = static_cast<int>(std::min(pm, 1000u) * 40 / 1000);
                    std::printf("\r[%-40s] %5.1f%% %llu / %llu bytes",
                                std::string(filled, '#').c_str(), pm / 10.0,
                                static_cast<unsigned long long>(got),
                                static_cast<unsigned long long>(total));
                    std::fflush(stdout);
                } else {
                    std::printf("progress %u.%u%% %llu/%llu\n", pm / 10, pm % 10,
                                static_cast<unsigned long long>(got),
                                static_cast<unsigned long long>(total));
                }
                progressShown = true;
                break;
            }
            case WM_DOWNLOAD_STATUS: {
                endProgressLine();
                int code = static_cast<int>(m->lParam >> 16);
                std::wstring text = CVideoDownloader::GetStatusText(code);
                if (text.empty()) text = L"status " + std::to_wstring(code);
                std::printf("[%d] %s", static_cast<int>(m->lParam & 0xFFFF),
                            platform::ToUtf8(text).c_str());
                if (code >= 200)
                    std::printf(
                        ": %s",
                        platform::ToUtf8(dl.Report(static_cast<uint16_t>(row)).lastError).c_str());
                std::printf("\n");
                if (code >= 200 && static_cast<size_t>(row) < state.size() && state[row] == 0)
                    state[row] = -1;
                if (code == 110 && static_cast<size_t>(row) < state.size()) state[row] = 1;
                break;
            }
            case WM_DOWNLOAD_TITLE:
                endProgressLine();
                std::printf(
                    "[%d] %s\n", static_cast<int>(m->wParam),
                    platform::ToUtf8(dl.Report(static_cast<uint16_t>(m->wParam)).title).c_str());
                break;
            case WM_DOWNLOAD_DONE: {
                endProgressLine();
                ItemReport done = dl.Report(static_cast<uint16_t>(row));
                std::printf("%s\n", platform::ToUtf8(done.finalPath).c_str());
                RecordDownload(history, done.finalPath, done.siteKind, done.pageAddress);
                lastPermille = 1001;
                break;
            }
            case WM_DOWNLOAD_RETRY:
                std::printf("[%d] retry %d\n", row, static_cast<int>(m->wParam));
                if (static_cast<size_t>(row) < state.size()) state[row] = 0;
                break;
            case WM_DOWNLOAD_ALL_DONE:
            case WM_DOWNLOAD_STOPPED:
                endProgressLine();
                ended = true;
                break;
        }
        std::fflush(stdout);
    }
    dl.Stop();
    if (history) {
        history->close();
        delete history;
    }
    bool allOk = true;
    for (size_t i = 0; i < state.size(); ++i) allOk &= state[i] == 1;
    return allOk ? 0 : 1;
}

// clipvane-get: downloads the videos of page addresses with the engine of
// the main window, printing its status texts and progress.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "cli/terminal_text.h"
#include "download/address_import.h"
#include "download/codes.h"
#include "download/extractor.h"
#include "download/site_helpers.h"
#include "download/url.h"
#include "download/video_downloader.h"
#include "download/video_site.h"
#include "history/history.h"
#include "history/history_db.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "resource_ids.h"

namespace {

constexpr const char* kTag = "clipvane-get";

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> g_interrupted{false};

void OnSignal(int) {
    g_interrupted = true;
}

using cli::TerminalText;

// One address, or a file or web address to import addresses from.
struct Source {
    bool import;
    std::wstring text;
};

// What the command line asks for.
struct Request {
    SettingsData settings;  // the user's, with this run's options over them
    std::vector<Source> sources;
    bool help = false;
};

// An option of the command line: how it reads and how --help shows it.
struct Option {
    const char* shortName;  // "-o", or nullptr
    const char* longName;
    const char* valueName;  // nullptr for an option without a value
    const char* help;       // lines joined by '\n'
    // Applies the option's value (nullptr when the command line ended before
    // it); returns the complaint for bad usage, or nullptr.
    const char* (*apply)(Request&, const char* value);
    const char* intro;  // paragraph --help prints before the option, or nullptr
};

const char kUsageHead[] =
    "Usage: clipvane-get [options] ADDRESS... | - | -i FILE-OR-URL...\n"
    "Downloads the video of each http or https address ('-' reads one address a\n"
    "line from standard input) into the site's subfolder of the output folder.\n";

const char kSettingsIntro[] =
    "Addresses are taken in command-line order; one given twice is downloaded once.\n"
    "Settings come from the user's Clipvane settings; these options override them\n"
    "for this run only and are never saved:\n";

const char kUsageTail[] =
    "Ctrl-C stops the run. Exit status: 0 every item finished, 1 an item failed, an\n"
    "address was not an http or https address or there was nothing to download,\n"
    "2 bad usage.\n";

const Option kOptions[] = {
    {"-i", "--import", "FILE-OR-URL",
     "also download every YouTube and Google Video\n"
     "address and every link to a media file found in\n"
     "a text or HTML file, local or at an http or https\n"
     "address (may be given more than once)",
     [](Request& r, const char* v) -> const char* {
         if (!v || !*v) return "missing file or address to import";
         r.sources.push_back({true, platform::FromUtf8(v)});
         return nullptr;
     },
     nullptr},
    {"-o", "--output-folder", "DIR", "output folder",
     [](Request& r, const char* v) -> const char* {
         if (!v || !*v) return "missing folder";
         r.settings.OutputFolder = platform::FromUtf8(v);
         return nullptr;
     },
     kSettingsIntro},
    {"-r", "--retries", "N", "further attempts of a failed item",
     [](Request& r, const char* v) -> const char* {
         char* end = nullptr;
         long n = v ? std::strtol(v, &end, 10) : -1;
         if (!v || *end || n < 0 || n > 1000) return "bad retry count";
         r.settings.RetryTimes = static_cast<int32_t>(n);
         return nullptr;
     },
     nullptr},
    {nullptr, "--use-title", nullptr, "name files after the video title",
     [](Request& r, const char*) -> const char* {
         r.settings.UseTitleAsFileName = 1;
         return nullptr;
     },
     nullptr},
    {nullptr, "--use-id", nullptr, "name files after the video id",
     [](Request& r, const char*) -> const char* {
         r.settings.UseTitleAsFileName = 0;
         return nullptr;
     },
     nullptr},
    {nullptr, "--format", "flv|mp4|3gp", "YouTube rendition",
     [](Request& r, const char* v) -> const char* {
         static const char* const kFormats[] = {"flv", "mp4", "3gp"};
         for (int i = 0; i < 3; ++i)
             if (v && std::strcmp(v, kFormats[i]) == 0) {
                 r.settings.YoutubeFMT = i;
                 return nullptr;
             }
         return "format must be flv, mp4 or 3gp";
     },
     nullptr},
    {nullptr, "--max-height", "N|best",
     "tallest video taken from a stream that\n"
     "offers several (1080, 720, 480 ...)",
     [](Request& r, const char* v) -> const char* {
         if (v && std::strcmp(v, "best") == 0) {
             r.settings.HighestQuality = 0;
             return nullptr;
         }
         char* end = nullptr;
         long n = v ? std::strtol(v, &end, 10) : -1;
         if (!v || *end || n < 1 || n > 100000) return "bad maximum height";
         r.settings.HighestQuality = static_cast<uint32_t>(n);
         return nullptr;
     },
     nullptr},
    {nullptr, "--cache", nullptr, "allow cached answers",
     [](Request& r, const char*) -> const char* {
         r.settings.UseInternalCache = 1;
         return nullptr;
     },
     nullptr},
    {nullptr, "--no-cache", nullptr, "forbid cached answers",
     [](Request& r, const char*) -> const char* {
         r.settings.UseInternalCache = 0;
         return nullptr;
     },
     nullptr},
    {nullptr, "--extractor", "PATH",
     "the yt-dlp program that finds videos on\n"
     "other sites (default: the settings' choice,\n"
     "else yt-dlp along PATH)",
     [](Request& r, const char* v) -> const char* {
         if (!v || !*v) return "missing yt-dlp program";
         r.settings.ExtractorPath = platform::FromUtf8(v);
         extractor::SetDisabled(false);
         return nullptr;
     },
     nullptr},
    {nullptr, "--no-extractor", nullptr, "never run yt-dlp",
     [](Request&, const char*) -> const char* {
         extractor::SetDisabled(true);
         return nullptr;
     },
     nullptr},
    {"-h", "--help", nullptr, "this text",
     [](Request& r, const char*) -> const char* {
         r.help = true;
         return nullptr;
     },
     nullptr},
};

void PrintHelp(std::FILE* to) {
    constexpr size_t kHelpColumn = 28;
    std::string text = kUsageHead;
    for (const Option& o : kOptions) {
        if (o.intro) text += o.intro;
        std::string left = std::string("  ") + (o.shortName ? o.shortName : "  ") +
                           (o.shortName ? ", " : "  ") + o.longName;
        if (o.valueName) left += std::string(" ") + o.valueName;
        left.resize(std::max(left.size() + 2, kHelpColumn), ' ');
        text += left;
        for (const char* line = o.help; *line;) {
            const char* end = std::strchr(line, '\n');
            size_t n = end ? static_cast<size_t>(end - line) : std::strlen(line);
            if (line != o.help) text += std::string(kHelpColumn, ' ');
            text.append(line, n).append("\n");
            line += n + (end ? 1 : 0);
        }
    }
    text += kUsageTail;
    std::fputs(text.c_str(), to);
}

int Usage(const std::string& complaint) {
    std::fprintf(stderr, "clipvane-get: %s\n", complaint.c_str());
    PrintHelp(stderr);
    return kExitUsage;
}

const Option* FindOption(const std::string& arg) {
    for (const Option& o : kOptions)
        if ((o.shortName && arg == o.shortName) || arg == o.longName) return &o;
    return nullptr;
}

// Fills the request; an exit status when the run ends here (help shown or
// bad usage told).
std::optional<int> ParseCommandLine(int argc, char** argv, Request& request) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (const Option* o = FindOption(arg)) {
            const char* value = o->valueName && i + 1 < argc ? argv[++i] : nullptr;
            if (const char* complaint = o->apply(request, value)) return Usage(complaint);
            if (request.help) {
                PrintHelp(stdout);
                return kExitOk;
            }
        } else if (arg == "-") {
            std::string line;
            while (std::getline(std::cin, line))
                if (!line.empty()) request.sources.push_back({false, platform::FromUtf8(line)});
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + TerminalText(arg));
        } else {
            request.sources.push_back({false, platform::FromUtf8(arg)});
        }
    }
    if (request.sources.empty()) return Usage("no address given");
    return std::nullopt;
}

// The run's messages on standard error and in the log.
void Complain(const std::string& text) {
    std::fprintf(stderr, "clipvane-get: %s\n", text.c_str());
    LogError(kTag, "%s", text.c_str());
}

// Trouble the run goes on despite: one line on standard error, and the log.
void Warn(const std::wstring& text) {
    std::string line = TerminalText(text);
    std::fprintf(stderr, "clipvane-get: warning: %s\n", line.c_str());
    LogWarnW(kTag, L"%ls", text.c_str());
}

// The history's trouble, told once a run.
void TellHistoryProblem() {
    HistoryProblem p = TakeHistoryProblem();
    if (p.kind != HistoryProblem::kNone) Warn(p.Message());
}

// The log the window writes too, in the data folder; one past its size
// limit starts afresh.
class LogSession {
  public:
    LogSession() { StartLogFile(); }
    ~LogSession() { ShutdownLogging(); }
    LogSession(const LogSession&) = delete;
    LogSession& operator=(const LogSession&) = delete;
};

// The addresses of the sources in order, each once (imports read here); an
// exit status when the run ends before any download.
std::optional<int> CollectAddresses(const std::vector<Source>& sources,
                                    std::vector<std::wstring>& addresses,
                                    std::vector<std::wstring>& imported) {
    // One video is one address, whatever blanks, host case or "www." it came with.
    std::unordered_set<std::wstring> seen;
    auto add = [&](const std::wstring& address) {
        if (!seen.insert(AddressKey(address)).second) return false;
        addresses.push_back(TrimAddress(address));
        return true;
    };
    for (const Source& s : sources) {
        if (!s.import) {
            add(s.text);
            continue;
        }
        LogInfo(kTag, "Importing addresses from %s", TerminalText(s.text).c_str());
        std::vector<std::wstring> found = ImportAddresses(s.text, &g_interrupted);
        if (g_interrupted) {
            Complain("stopped");
            return kExitFailed;
        }
        if (found.empty()) Complain("no video address found in " + TerminalText(s.text));
        for (const std::wstring& address : found)
            if (add(address)) imported.push_back(address);
    }
    if (addresses.empty()) {
        Complain("nothing to download");
        return kExitFailed;
    }
    return std::nullopt;
}

// Settings for this run only: they are never saved.
void ApplySettings(CSettings& settings, const SettingsData& wanted) {
    settings.Update([&](SettingsData& d) { d = wanted; });
}

void InstallSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// "[row] ", which begins a line about one row.
std::string RowMark(int row) {
    char mark[16];
    std::snprintf(mark, sizeof mark, "[%d] ", row);
    return mark;
}

// Measurements for benchmarks (CLIPVANE_GET_STATS=1 prints them on
// standard error at the end): the messages handled, the longest wait
// between two of them (overall and up to the last final file), when the
// last final file was in place, in seconds of the monotonic clock
// (comparable with another process's), the peak resident memory of this
// process alone, and its processor time up to the last final file (which a
// busy machine does not stretch as it does the wall time).
class MessageClock {
  public:
    void Handled() {
        auto now = std::chrono::steady_clock::now();
        if (count_ > 0) longest_ = std::max(longest_, now - last_);
        last_ = now;
        ++count_;
    }
    void FileDone() {
        fileDone_ = std::chrono::steady_clock::now();
        longestToFile_ = longest_;
        struct rusage ru {};
        getrusage(RUSAGE_SELF, &ru);
        cpuToFile_ = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec +
                     ru.ru_stime.tv_usec / 1e6;
    }
    void Print() const {
        using Ms = std::chrono::duration<double, std::milli>;
        using S = std::chrono::duration<double>;
        struct rusage ru {};
        getrusage(RUSAGE_SELF, &ru);
        std::fprintf(stderr,
                     "clipvane-get stats: %llu messages, longest gap %.3f ms "
                     "(%.3f ms up to the last file), last file at %.6f s, peak RSS %ld KiB, "
                     "processor time up to the last file %.3f s\n",
                     static_cast<unsigned long long>(count_), Ms(longest_).count(),
                     Ms(longestToFile_).count(), S(fileDone_.time_since_epoch()).count(),
                     ru.ru_maxrss, cpuToFile_);
    }

  private:
    std::chrono::steady_clock::time_point last_, fileDone_;
    std::chrono::steady_clock::duration longest_{}, longestToFile_{};
    uint64_t count_ = 0;
    double cpuToFile_ = 0;  // seconds of processor time, all threads
};

// One download run over the collected addresses: the engine's reports are
// queued by the worker and printed on standard output, on this thread, as
// they come.
class DownloadRun : private IRunObserver {
  public:
    DownloadRun(const SettingsData& settings, const std::vector<std::wstring>& addresses)
        : settings_(settings), addresses_(addresses), state_(addresses.size(), kPending) {}
    ~DownloadRun() {
        downloader_.Stop();
        if (history_) {
            history_->close();
            delete history_;
        }
    }
    DownloadRun(const DownloadRun&) = delete;
    DownloadRun& operator=(const DownloadRun&) = delete;

    // Hands the supported addresses to the downloader, saying so for each
    // other one; false when none is left.
    bool AddSupported() {
        bool any = false;
        for (size_t row = 0; row < addresses_.size(); ++row) {
            if (!IsAcceptedAddress(addresses_[row])) {
                Complain("not an http or https address: " + TerminalText(addresses_[row]));
                state_[row] = kFailed;
                continue;
            }
            downloader_.AddItem(addresses_[row], static_cast<int>(row));
            any = true;
        }
        if (!any) Complain("nothing to download");
        return any;
    }

    bool Start(const std::vector<std::wstring>& imported) {
        // Finished downloads are recorded in the history as the window records them.
        OpenHistory(history_);
        TellHistoryProblem();
        if (size_t known = CountAlreadyDownloaded(imported, LoadHistoryPageAddresses(history_))) {
            std::wstring text = platform::FormatW(LoadText(ids::str::kImportedAlreadyKnown).c_str(),
                                                  static_cast<int>(known));
            std::fprintf(stderr, "clipvane-get: %s\n", TerminalText(text).c_str());
            LogInfoW(kTag, L"%ls", text.c_str());
        }
        CreateFolderTree(settings_.OutputFolder);
        downloader_.SetOutputFolder(settings_.OutputFolder);
        downloader_.SetUseTitleAsFileName(settings_.UseTitleAsFileName != 0);
        downloader_.SetRetryTimes(settings_.RetryTimes);
        LogInfo(kTag, "Downloading %zu addresses into %s", addresses_.size(),
                TerminalText(settings_.OutputFolder).c_str());
        if (downloader_.Start()) return true;
        Complain("can not start the download");
        return false;
    }

    // Handles the reports until the run ends; a stop is asked for on Ctrl-C.
    void HandleMessages() {
        while (!ended_) {
            if (g_interrupted && !stopping_) {
                stopping_ = true;
                LogInfo(kTag, "Stop requested");
                downloader_.RequestStop();
            }
            auto e = queue_.Take(std::chrono::milliseconds(100));
            if (!e) continue;
            clock_.Handled();
            Deliver(*e, *this);
            std::fflush(stdout);
        }
    }

    bool AllFinished() const {
        return std::all_of(state_.begin(), state_.end(), [](int s) { return s == kFinished; });
    }
    const MessageClock& Clock() const { return clock_; }

  private:
    enum ItemState { kPending, kFinished, kFailed };

    void OnRunEnded(bool stopped) override {
        EndProgressLine();
        LogInfo(kTag, stopped ? "Run stopped" : "Run ended");
        ended_ = true;
    }

    void OnProgress(int, const RunProgress& p) override {
        const unsigned permille = p.thousandths;
        if (permille / 10 == lastPermille_ / 10 && progressShown_) return;
        lastPermille_ = permille;
        if (uint64_t segments = p.segmentsTotal) {
            // A stream: its progress is by segments; the bytes are those so far.
            if (tty_)
                std::printf("\r[%-40s] segment %llu of %llu, %llu bytes",
                            std::string(std::min(permille, 1000u) * 40 / 1000, '#').c_str(),
                            static_cast<unsigned long long>(p.segmentsDone),
                            static_cast<unsigned long long>(segments),
                            static_cast<unsigned long long>(p.received));
            else
                std::printf("progress segment %llu of %llu\n",
                            static_cast<unsigned long long>(p.segmentsDone),
                            static_cast<unsigned long long>(segments));
            progressShown_ = true;
            return;
        }
        const uint64_t total = p.total;
        const uint64_t got = std::min(total, p.received);
        if (tty_) {
            int filled = static_cast<int>(std::min(permille, 1000u) * 40 / 1000);
            std::printf("\r[%-40s] %5.1f%% %llu / %llu bytes", std::string(filled, '#').c_str(),
                        permille / 10.0, static_cast<unsigned long long>(got),
                        static_cast<unsigned long long>(total));
        } else {
            std::printf("progress %u.%u%% %llu/%llu\n", permille / 10, permille % 10,
                        static_cast<unsigned long long>(got),
                        static_cast<unsigned long long>(total));
        }
        progressShown_ = true;
    }

    void OnStatus(int row, int code, const std::wstring& message) override {
        EndProgressLine();
        // The file is there, but it is no video: that is what the row ends in.
        if (code == kStatusComplete && notPlayable_.erase(row)) code = kStatusNotPlayable;
        std::wstring text = CVideoDownloader::GetStatusText(code);
        if (text.empty()) text = L"status " + std::to_wstring(code);
        std::string line = RowMark(row) + TerminalText(text);
        if (code >= kStatusFirstError) {
            std::wstring error = code == kStatusNotPlayable ? L"" : message;
            if (!error.empty()) line += ": " + TerminalText(error);
            LogError(kTag, "%s", line.c_str());
        } else {
            LogInfo(kTag, "%s", line.c_str());
        }
        std::printf("%s\n", line.c_str());
        if (static_cast<size_t>(row) >= state_.size()) return;
        if (code >= kStatusFirstError && state_[row] == kPending) state_[row] = kFailed;
        if (code == kStatusComplete) state_[row] = kFinished;
    }

    void OnTitle(int row, const std::wstring& title) override {
        EndProgressLine();
        std::string line = RowMark(row) + TerminalText(title);
        LogInfo(kTag, "%s", line.c_str());
        std::printf("%s\n", line.c_str());
    }

    void OnItemDone(int row, const ItemReport& done) override {
        EndProgressLine();
        clock_.FileDone();
        std::string path = TerminalText(done.finalPath);
        LogInfo(kTag, "[%d] Saved %s", row, path.c_str());
        std::printf("%s\n", path.c_str());
        // The file stays for the user to look at whatever the probe says.
        if (RecordDownload(history_, done.finalPath, done.siteKind, done.pageAddress) ==
            RecordResult::kNotPlayable)
            notPlayable_.insert(row);
        TellHistoryProblem();
        lastPermille_ = kNoProgress;
    }

    void OnRetry(int row, int attempt) override {
        LogInfo(kTag, "[%d] Retry %d", row, attempt);
        std::printf("[%d] retry %d\n", row, attempt);
        if (static_cast<size_t>(row) < state_.size()) state_[row] = kPending;
    }

    void EndProgressLine() {
        if (progressShown_ && tty_) std::fputs("\n", stdout);
        progressShown_ = false;
    }

    static constexpr unsigned kNoProgress = 1001;

    const SettingsData settings_;
    const std::vector<std::wstring>& addresses_;
    std::vector<int> state_;
    std::unordered_set<int> notPlayable_;  // rows whose file the probe refused
    RunEventQueue queue_;
    CVideoDownloader downloader_{&queue_};
    CHistoryDb* history_ = nullptr;
    MessageClock clock_;
    const bool tty_ = isatty(STDOUT_FILENO);
    bool stopping_ = false, progressShown_ = false, ended_ = false;
    unsigned lastPermille_ = kNoProgress;
};

int Download(const SettingsData& settings, const std::vector<std::wstring>& addresses,
             const std::vector<std::wstring>& imported) {
    DownloadRun run(settings, addresses);
    // Every address is tried that can be, but one not understood fails the run.
    if (!run.AddSupported() || !run.Start(imported)) return kExitFailed;
    run.HandleMessages();
    const char* stats = std::getenv("CLIPVANE_GET_STATS");
    if (stats && *stats && std::strcmp(stats, "0") != 0) run.Clock().Print();
    return run.AllFinished() ? kExitOk : kExitFailed;
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    platform::ResourceBundle::Current().Load(platform::ToUtf8(GetProgramFolder()) + "/" +
                                             platform::ToUtf8(kResourceBundleName));
    // A damaged settings file is set aside as the window does, so that both
    // run on the defaults and the next save writes a good file.
    const SettingsFileCheck settingsFile = SetAsideDamagedSettingsFile();
    if (settingsFile.damaged)
        std::fprintf(stderr, "clipvane-get: warning: %s\n",
                     TerminalText(settingsFile.Message()).c_str());
    CSettings settings;
    SetSettingsInstance(&settings);
    settings.Load();
    Request request;
    request.settings = settings.Get();
    if (std::optional<int> status = ParseCommandLine(argc, argv, request)) return *status;
    ApplySettings(settings, request.settings);

    LogSession log;
    LogInfo(kTag, "clipvane-get started");
    if (settingsFile.damaged) LogWarnW(kTag, L"%ls", settingsFile.Message().c_str());
    InstallSignalHandlers();
    std::vector<std::wstring> addresses, imported;
    std::optional<int> early = CollectAddresses(request.sources, addresses, imported);
    int status = early ? *early : Download(request.settings, addresses, imported);
    LogInfo(kTag, "clipvane-get ends with status %d", status);
    return status;
}

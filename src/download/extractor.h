#pragma once
// yt-dlp as the extractor of the sites Clipvane has no handler of its own
// for: which copy to run and what it can do, asking it about a page, and
// letting it download the formats only it can fetch. It always runs as a
// child program without a shell, the address after "--".
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/unique_fd.h"

namespace extractor {

// What one copy of yt-dlp said about itself when first asked in this run.
struct Copy {
    std::string path;               // the program; empty when none was found
    std::string version;            // as --version printed it
    int ageDays = -1;               // days since the date in the version; -1 unknown
    std::set<std::string> options;  // every option --help lists, "-J" and "--newline" alike
    bool usable = false;
    std::string problem;  // why it is not usable, for the log
    bool Has(const std::string& option) const { return options.count(option) != 0; }
};

// clipvane-get --no-extractor: no copy is used in this run.
void SetDisabled(bool disabled);
// The copy to use now: the settings' ExtractorPath, else yt-dlp along PATH.
// Each program is asked (--version, --help) once per program run.
std::shared_ptr<const Copy> Current();
// The copy at `path` (a name is looked up along PATH), asked once per run.
std::shared_ptr<const Copy> Know(const std::string& path);
// Forgets what was learnt (tests).
void ForgetCopies();

// The status line of the settings page: "yt-dlp 2023.03.04, 1375 days old"
// or what to install.
std::wstring DescribeCopy(const Copy& copy);

// Days from the date in a version such as "2023.03.04" (or
// "2024.08.06.232905") to `now`; -1 when it holds no date.
int AgeInDays(const std::string& version, long long now);
// The options an option listing of --help names.
std::set<std::string> ParseOptions(const std::string& help);

struct Format {
    std::string id, url, protocol, ext, vcodec, acodec;
    int width = 0, height = 0;
    double tbr = 0;
    bool fragmented = false, drm = false;
    std::vector<std::pair<std::string, std::string>> headers;  // http_headers
    std::string cookies;  // the "cookies" field of newer copies
    // One file with picture and sound over plain http(s).
    bool Progressive() const;
};

struct Info {
    std::wstring title, extractorKey, webpageUrl, id;
    double duration = 0;
    int width = 0, height = 0;
    std::vector<Format> formats;  // worst first, as yt-dlp orders them
    std::string chosenId;         // yt-dlp's own choice, "0" or "137+140"
    std::string chosenExt;        // the extension of that choice
    bool direct = false;          // yt-dlp took the address itself for the media
};

// Reads an answer of -J: a "formats" list, or one format at the top level.
// False with `error` set for anything else.
bool ParseInfo(const std::string& json, Info& info, std::string& error);

// What to download and how.
struct Choice {
    enum Kind { kNone, kNative, kExtractor } kind = kNone;
    const Format* native = nullptr;  // kNative: the progressive format
    std::string selector;            // kExtractor: the -f argument
    std::string ext;                 // the extension of the result
    int height = 0;
    bool drmOnly = false;  // kNone because every format has DRM
};
// A progressive format within `maxHeight` (0: any) when it is at least as
// high as the best else; otherwise yt-dlp's own choice when it fits, else
// the best video within the height with the best sound.
Choice ChooseFormat(const Info& info, int maxHeight);

// A private folder (0700) that is removed with all it holds. It is locked
// while it lives, so that one left by a killed run can be told from one in
// use by another.
class PrivateFolder {
  public:
    // A new folder PREFIXxxxxxx below `parent`, after those of the same
    // prefix that nobody holds were swept away; path() is empty (errno set)
    // when it could not be made.
    explicit PrivateFolder(const std::string& parent, const char* prefix);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    platform::UniqueFd lock_;
};

// Removes the folders PREFIXxxxxxx below `parent` that no live run holds;
// how many.
int SweepPrivateFolders(const std::string& parent, const char* prefix);
// The same in `top` and each folder right below it, once per program run.
int SweepFolderTreeOnce(const std::string& top, const char* prefix);

enum class Outcome { kOk, kAbsent, kUnsupported, kFailed, kStopped };

// What went wrong, for the user (already translated) and for the log.
struct Failure {
    std::wstring message;
    std::string rawLine;  // the last line of its error output
    // The message names a cause (a refusal, a region, an account...) that
    // says more than "no video was found".
    bool specific = false;
};

struct Answer {
    Outcome outcome = Outcome::kFailed;
    Info info;
    std::shared_ptr<PrivateFolder> folder;  // holds the saved answer
    std::string jsonPath;
    Failure failure;
};

// Bounds of asking: its answer and its time.
inline constexpr uint64_t kMaxAnswerBytes = 64ull << 20;
void SetAskTimeLimit(int seconds);  // 60 unless a test shortens it

// yt-dlp --ignore-config --no-warnings --no-playlist -J -- ADDRESS.
Answer Ask(const Copy& copy, const std::wstring& address, const std::function<bool()>& stopped);

// The clear message for yt-dlp's error text; `ageDays` tells whether the
// copy may be too old for the site.
std::wstring ErrorMessage(const std::string& errorText, int ageDays);
// The string number of that message: 33404 unsupported ... 33413 any other.
unsigned ErrorKind(const std::string& errorText, int ageDays);
// The last line that says ERROR (else the last line at all) of its output.
std::string LastErrorLine(const std::string& output);

struct Progress {
    uint64_t bytes = 0, total = 0;  // of the part in download
    unsigned thousandths = 0;       // of the whole download
};

// Finds progress in yt-dlp's output wherever it stands: the marker "CVJ "
// and one JSON object, with or without a line end after it; or, for copies
// without a progress template, "[download]  42.0% of". Parts downloaded one
// after another (picture, then sound) count as equal shares.
class ProgressScanner {
  public:
    explicit ProgressScanner(int parts) : parts_(parts < 1 ? 1 : parts) {}
    // Scans more output; the newest progress, if any came.
    bool Feed(const char* data, size_t n, Progress& out);
    // The complete lines that were no progress (the printed file path).
    std::vector<std::string> TakeLines();

  private:
    bool ScanMarker(Progress& out);
    // `fraction` of the part when known apart from the bytes (a bar's percent).
    void Account(const std::string& file, uint64_t bytes, uint64_t total, bool finished,
                 Progress& out, double fraction = -1);
    int parts_;
    std::string buffer_;
    std::vector<std::string> lines_;
    std::vector<std::string> files_;  // the parts seen, in order
    std::string current_;
    bool currentFinished_ = false;
    unsigned shown_ = 0;  // progress never goes back when an estimate grows
};

struct DownloadResult {
    Outcome outcome = Outcome::kFailed;
    std::string file;  // the finished file inside the folder
    Failure failure;
};

// yt-dlp downloads `selector` from the saved answer into `folder` as
// "media.EXT"; `mergeExt` is the container of a merge.
DownloadResult Download(const Copy& copy, const std::string& jsonPath, const std::string& selector,
                        const std::string& folder, const std::string& mergeExt, int parts,
                        const std::function<void(const Progress&)>& progress,
                        const std::function<bool()>& stopped);

// How long a stop may take before the child's group is killed outright.
inline constexpr int kStopGraceMs = 1500;

}  // namespace extractor

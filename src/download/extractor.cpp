#include "download/extractor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "app/folders.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "platform/child_process.h"
#include "platform/text.h"

extern char** environ;

namespace extractor {

namespace {

constexpr const char* kTag = "Extractor";
constexpr const char* kMarker = "CVJ ";
// Output kept of a child for its error lines, and the most a progress object
// may take before it is given up as garbage.
constexpr size_t kMaxErrorText = 64 * 1024;
constexpr size_t kMaxPending = 1 << 20;

std::atomic<bool> g_disabled{false};
std::atomic<int> g_askSeconds{60};
std::mutex g_copiesMutex;
std::map<std::string, std::shared_ptr<const Copy>> g_copies;

using Clock = std::chrono::steady_clock;

// The parent's environment, with Python's output unbuffered and in UTF-8 so
// that progress arrives as it happens and names survive.
std::vector<std::string> ChildEnvironment() {
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string_view v(*e);
        if (v.rfind("PYTHONUNBUFFERED=", 0) == 0 || v.rfind("PYTHONIOENCODING=", 0) == 0) continue;
        env.emplace_back(v);
    }
    env.emplace_back("PYTHONUNBUFFERED=1");
    env.emplace_back("PYTHONIOENCODING=utf-8");
    return env;
}

// Ends a child and all it started: its group first gently, then for good.
void EndChild(platform::ChildProcess& child) {
    if (child.Reaped() || child.pid() < 0) return;
    child.KillTree(SIGTERM);
    if (child.Wait(kStopGraceMs)) return;
    child.KillTree(SIGKILL);
    child.Wait(2000);
}

// Keeps the tail of a child's text.
void KeepTail(std::string& text, const char* data, size_t n) {
    text.append(data, n);
    if (text.size() > kMaxErrorText) text.erase(0, text.size() - kMaxErrorText);
}

struct RunLimits {
    int seconds = 0;        // 0: no time limit
    std::string watchFile;  // a file that may grow to at most maxFileBytes
    uint64_t maxFileBytes = 0;
};

enum class RunEnd { kExited, kTimedOut, kTooLarge, kStopped, kNotStarted };

// Runs a child to its end, handing each piece of its standard output to
// `onOut` and keeping the tail of its errors.
RunEnd Supervise(platform::ChildOptions options, const RunLimits& limits,
                 const std::function<void(const char*, size_t)>& onOut,
                 const std::function<bool()>& stopped, std::string& errors, int& exitCode) {
    options.in = platform::ChildStream::kNull;
    options.err = platform::ChildStream::kPipe;
    if (options.out != platform::ChildStream::kFile) options.out = platform::ChildStream::kPipe;
    options.ownSession = true;
    options.env = ChildEnvironment();
    // A child that outlives a killed Clipvane would go on filling a folder
    // nobody collects; it ends with the thread that started it.
    if (::access(options.argv[0].c_str(), X_OK) != 0) {
        errors = std::strerror(errno);
        return RunEnd::kNotStarted;
    }
    if (!platform::ParentDeathWrapper().empty())
        options.argv.insert(options.argv.begin(),
                            {platform::ParentDeathWrapper(), "--pdeathsig", "TERM", "--"});
    platform::ChildProcess child;
    int err = child.Spawn(options);
    if (err != 0) {
        errors = std::strerror(err);
        return RunEnd::kNotStarted;
    }
    for (int fd : {child.stdoutPipe().get(), child.stderrPipe().get()})
        if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limits.seconds);
    char buf[16384];
    bool outOpen = child.stdoutPipe().get() >= 0, errOpen = true;
    for (;;) {
        pollfd fds[2];
        nfds_t n = 0;
        if (outOpen) fds[n++] = {child.stdoutPipe().get(), POLLIN, 0};
        if (errOpen) fds[n++] = {child.stderrPipe().get(), POLLIN, 0};
        if (n > 0) {
            ::poll(fds, n, 100);
        } else if (std::optional<int> status = child.Wait(100)) {
            // Both streams closed and the child ended.
            exitCode = static_cast<int>(platform::ExitCodeOf(*status));
            return RunEnd::kExited;
        }
        for (nfds_t i = 0; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            bool isOut = outOpen && fds[i].fd == child.stdoutPipe().get();
            ssize_t got = ::read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                if (isOut)
                    onOut(buf, static_cast<size_t>(got));
                else
                    KeepTail(errors, buf, static_cast<size_t>(got));
            } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                (isOut ? outOpen : errOpen) = false;
            }
        }
        RunEnd end = RunEnd::kExited;
        if (stopped && stopped())
            end = RunEnd::kStopped;
        else if (limits.seconds > 0 && Clock::now() > deadline)
            end = RunEnd::kTimedOut;
        else if (!limits.watchFile.empty()) {
            struct stat st;
            if (::stat(limits.watchFile.c_str(), &st) == 0 &&
                static_cast<uint64_t>(st.st_size) > limits.maxFileBytes)
                end = RunEnd::kTooLarge;
        }
        if (end != RunEnd::kExited) {
            EndChild(child);
            exitCode = -1;
            return end;
        }
    }
}

std::string Trimmed(std::string_view s) {
    return std::string(platform::Trim(s, " \t\r\n"));
}

std::string Str(const nlohmann::json& j, const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}
double Num(const nlohmann::json& j, const char* key) {
    auto it = j.find(key);
    if (it == j.end() || !it->is_number()) return 0;
    double v = it->get<double>();
    return std::isfinite(v) && v > 0 ? v : 0;
}
int Int(const nlohmann::json& j, const char* key) {
    double v = Num(j, key);
    return v > 1e6 ? 0 : static_cast<int>(v);
}

// A text from the extractor, as the window may show it.
std::wstring Text(const std::string& utf8) {
    return platform::FromUtf8(utf8.substr(0, 4096));
}

Format ReadFormat(const nlohmann::json& f) {
    Format out;
    out.id = Str(f, "format_id");
    out.url = Str(f, "url");
    out.protocol = Str(f, "protocol");
    out.ext = Str(f, "ext");
    // yt-dlp's word for a type it could not tell.
    if (out.ext == "unknown_video") out.ext.clear();
    out.vcodec = Str(f, "vcodec");
    out.acodec = Str(f, "acodec");
    out.width = Int(f, "width");
    out.height = Int(f, "height");
    out.tbr = Num(f, "tbr");
    auto frags = f.find("fragments");
    out.fragmented = frags != f.end() && !frags->is_null();
    for (const char* key : {"has_drm", "_has_drm"}) {
        auto d = f.find(key);
        if (d != f.end() && ((d->is_boolean() && d->get<bool>()) || d->is_string())) out.drm = true;
    }
    auto h = f.find("http_headers");
    if (h != f.end() && h->is_object())
        for (auto it = h->begin(); it != h->end(); ++it)
            if (it.value().is_string())
                out.headers.emplace_back(it.key(), it.value().get<std::string>());
    out.cookies = Str(f, "cookies");
    return out;
}

std::string IdsExt(const Info& info, const std::string& ids) {
    for (const Format& f : info.formats)
        if (f.id == ids) return f.ext;
    return "";
}

}  // namespace

// ---- knowing the copy ----

void SetDisabled(bool disabled) {
    g_disabled = disabled;
}

void SetAskTimeLimit(int seconds) {
    g_askSeconds = seconds;
}

void ForgetCopies() {
    std::lock_guard lock(g_copiesMutex);
    g_copies.clear();
}

int AgeInDays(const std::string& version, long long now) {
    static const std::regex kDate(R"(^\s*(\d{4})\.(\d{1,2})\.(\d{1,2}))");
    std::smatch m;
    if (!std::regex_search(version, m, kDate)) return -1;
    std::tm tm{};
    tm.tm_year = std::stoi(m[1]) - 1900;
    tm.tm_mon = std::stoi(m[2]) - 1;
    tm.tm_mday = std::stoi(m[3]);
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31) return -1;
    time_t then = timegm(&tm);
    if (then == static_cast<time_t>(-1) || now < then) return now < then ? 0 : -1;
    return static_cast<int>((now - then) / 86400);
}

std::set<std::string> ParseOptions(const std::string& help) {
    // Option lines are indented a little; descriptions, which may name other
    // options, a lot.
    static const std::regex kLine(R"(^ {1,6}(-[A-Za-z0-9], )?(--[A-Za-z0-9][A-Za-z0-9-]*))");
    std::set<std::string> options;
    size_t pos = 0;
    while (pos < help.size()) {
        size_t end = help.find('\n', pos);
        if (end == std::string::npos) end = help.size();
        std::string line = help.substr(pos, end - pos);
        std::smatch m;
        if (std::regex_search(line, m, kLine)) {
            options.insert(m[2]);
            if (m[1].matched) options.insert(m[1].str().substr(0, 2));
        }
        pos = end + 1;
    }
    return options;
}

namespace {

// What earlier runs learnt of each copy, kept while its program stays the
// very same file: asking takes two starts of Python, about a second each
// run. Re-learnt daily all the same, for copies whose program file stays
// when the rest of them changes.
constexpr long long kKnownForSeconds = 24 * 3600;
constexpr size_t kMaxKnownBytes = 1 << 20;
constexpr size_t kMaxKnownCopies = 16;

std::string KnownFile() {
    return platform::ToUtf8(GetDataFolder()) + "/extractor-copies.json";
}

// The program file as the system knows it: replaced or rewritten, it differs.
nlohmann::json Identity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return nullptr;
    auto ns = [](const timespec& t) {
        return static_cast<long long>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    return nlohmann::json::array(
        {static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino),
         static_cast<long long>(st.st_size), ns(st.st_mtim), ns(st.st_ctim)});
}

nlohmann::json ReadKnown() {
    std::ifstream in(KnownFile(), std::ios::binary);
    std::string text;
    char buf[16384];
    while (in && text.size() <= kMaxKnownBytes) {
        in.read(buf, sizeof buf);
        text.append(buf, static_cast<size_t>(in.gcount()));
    }
    nlohmann::json j = text.size() > kMaxKnownBytes ? nlohmann::json()
                                                    : nlohmann::json::parse(text, nullptr, false);
    return j.is_object() ? j : nlohmann::json::object();
}

// Fills `copy` from what an earlier run learnt of it; false when nothing
// sound is known of this very file.
bool Recall(Copy& copy) {
    nlohmann::json known = ReadKnown();
    auto it = known.find(copy.path);
    if (it == known.end() || !it->is_object()) return false;
    const nlohmann::json& k = *it;
    const long long now = static_cast<long long>(std::time(nullptr));
    auto learnt = k.find("learnt");
    auto options = k.find("options");
    const std::string version = Str(k, "version");
    if (learnt == k.end() || !learnt->is_number_integer() ||
        now - learnt->get<long long>() > kKnownForSeconds || learnt->get<long long>() > now + 60 ||
        k.value("identity", nlohmann::json()) != Identity(copy.path) || version.empty() ||
        version.size() > 40 || options == k.end() || !options->is_array())
        return false;
    for (const auto& o : *options)
        if (o.is_string()) copy.options.insert(o.get<std::string>());
    if (!copy.Has("--dump-single-json")) return false;
    copy.version = version;
    copy.ageDays = AgeInDays(version, now);
    copy.usable = true;
    return true;
}

void Remember(const Copy& copy) {
    nlohmann::json known = ReadKnown();
    auto learnt = [](const nlohmann::json& e) {
        auto it = e.is_object() ? e.find("learnt") : e.end();
        return it != e.end() && it->is_number_integer() ? it->get<long long>() : 0LL;
    };
    // The oldest go first when there are many (copies tried and dropped).
    while (known.size() >= kMaxKnownCopies) {
        auto oldest = known.begin();
        for (auto it = known.begin(); it != known.end(); ++it)
            if (learnt(*it) < learnt(*oldest)) oldest = it;
        known.erase(oldest);
    }
    known[copy.path] = {{"identity", Identity(copy.path)},
                        {"learnt", static_cast<long long>(std::time(nullptr))},
                        {"version", copy.version},
                        {"options", copy.options}};
    std::string text;
    try {
        text = known.dump();
    } catch (const nlohmann::json::exception&) {
        return;  // a path that is no UTF-8: asked again next run
    }
    // A whole file or none: written beside it, then renamed over it.
    const std::string file = KnownFile();
    const std::string temp = file + ".new" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            ::unlink(temp.c_str());
            return;
        }
    }
    if (std::rename(temp.c_str(), file.c_str()) != 0) ::unlink(temp.c_str());
}

}  // namespace

std::shared_ptr<const Copy> Know(const std::string& name) {
    std::string path = platform::FindProgram(name);
    {
        std::lock_guard lock(g_copiesMutex);
        auto it = g_copies.find(path.empty() ? name : path);
        if (it != g_copies.end()) return it->second;
    }
    auto copy = std::make_shared<Copy>();
    copy->path = path;
    if (path.empty()) {
        copy->problem = "not found";
    } else if (Recall(*copy)) {
        LogInfo(kTag, "%s: version %s, %d days old, %zu options, as an earlier run learnt",
                path.c_str(), copy->version.c_str(), copy->ageDays, copy->options.size());
    } else {
        // Both questions at once: each is a start of Python, which takes
        // the better part of a second.
        RunLimits limits;
        limits.seconds = 30;
        std::string helpText, helpErrors;
        int helpCode = -1;
        RunEnd helpEnd = RunEnd::kNotStarted;
        std::thread help([&] {
            platform::ChildOptions o;
            o.argv = {path, "--help"};
            auto keep = [&helpText](const char* d, size_t n) {
                if (helpText.size() < (4u << 20)) helpText.append(d, n);
            };
            helpEnd = Supervise(o, limits, keep, nullptr, helpErrors, helpCode);
        });
        platform::ChildOptions o;
        o.argv = {path, "--version"};
        std::string out, errors;
        int code = -1;
        auto collect = [&out](const char* d, size_t n) {
            if (out.size() < kMaxErrorText) out.append(d, n);
        };
        RunEnd end = Supervise(o, limits, collect, nullptr, errors, code);
        help.join();
        copy->version = Trimmed(out.substr(0, out.find('\n')));
        if (end != RunEnd::kExited || code != 0 || copy->version.empty() ||
            copy->version.size() > 40) {
            copy->problem = "--version failed: " + Trimmed(LastErrorLine(errors + out));
            copy->version.clear();
        } else {
            copy->options = ParseOptions(helpText);
            copy->ageDays = AgeInDays(copy->version, static_cast<long long>(std::time(nullptr)));
            if (helpEnd != RunEnd::kExited || helpCode != 0 || !copy->Has("--dump-single-json"))
                copy->problem = "--help lists no --dump-single-json";
            else
                copy->usable = true;
        }
        LogInfo(kTag, "%s: version %s, %d days old, %zu options%s%s", path.c_str(),
                copy->version.c_str(), copy->ageDays, copy->options.size(),
                copy->usable ? "" : "; not usable: ", copy->problem.c_str());
        if (copy->usable) Remember(*copy);
    }
    std::lock_guard lock(g_copiesMutex);
    auto [it, fresh] = g_copies.emplace(path.empty() ? name : path, std::move(copy));
    return it->second;
}

std::shared_ptr<const Copy> Current() {
    if (g_disabled) {
        auto none = std::make_shared<Copy>();
        none->problem = "turned off";
        return none;
    }
    std::wstring chosen = GetSettings().Get().ExtractorPath;
    std::string name = chosen.empty() ? "yt-dlp" : platform::ToUtf8(chosen);
    return Know(name);
}

std::wstring DescribeCopy(const Copy& copy) {
    if (copy.path.empty()) return LoadText(33401);
    if (!copy.usable)
        return platform::FormatW(LoadText(33402).c_str(), platform::FromUtf8(copy.path).c_str());
    return platform::FormatW(LoadText(33400).c_str(), platform::FromUtf8(copy.version).c_str(),
                             copy.ageDays < 0 ? 0 : copy.ageDays);
}

// ---- the answer ----

bool Format::Progressive() const {
    return (protocol == "http" || protocol == "https") && !fragmented && !drm && vcodec != "none" &&
           acodec != "none" && !url.empty();
}

bool ParseInfo(const std::string& text, Info& info, std::string& error) {
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        error = "not a JSON object";
        return false;
    }
    if (Str(j, "_type") == "playlist") {
        error = "a playlist, not one video";
        return false;
    }
    info = Info{};
    info.title = Text(Str(j, "title"));
    info.extractorKey = Text(Str(j, "extractor_key"));
    info.webpageUrl = Text(Str(j, "webpage_url"));
    info.id = Text(Str(j, "id"));
    info.duration = Num(j, "duration");
    info.width = Int(j, "width");
    info.height = Int(j, "height");
    info.chosenId = Str(j, "format_id");
    info.chosenExt = Str(j, "ext");
    auto direct = j.find("direct");
    info.direct = direct != j.end() && direct->is_boolean() && direct->get<bool>();
    auto formats = j.find("formats");
    if (formats != j.end() && formats->is_array() && !formats->empty()) {
        for (const auto& f : *formats)
            if (f.is_object()) info.formats.push_back(ReadFormat(f));
    } else if (!Str(j, "url").empty()) {
        // One format at the top level.
        info.formats.push_back(ReadFormat(j));
        if (info.formats.back().id.empty()) info.formats.back().id = info.chosenId;
    }
    if (info.formats.empty()) {
        error = "no formats";
        return false;
    }
    return true;
}

Choice ChooseFormat(const Info& info, int maxHeight) {
    Choice c;
    auto fits = [maxHeight](const Format& f) {
        return maxHeight <= 0 || f.height == 0 || f.height <= maxHeight;
    };
    std::vector<const Format*> usable;
    for (const Format& f : info.formats)
        if (!f.drm && !f.url.empty() && fits(f)) usable.push_back(&f);
    if (usable.empty()) {
        c.drmOnly = std::any_of(info.formats.begin(), info.formats.end(),
                                [](const Format& f) { return f.drm; });
        return c;
    }
    // The list goes from worst to best: the last of a kind is its best.
    const Format* progressive = nullptr;
    const Format* video = nullptr;
    const Format* audio = nullptr;
    for (const Format* f : usable) {
        if (f->Progressive() && (!progressive || f->height >= progressive->height)) progressive = f;
        if (f->vcodec != "none" && (!video || f->height >= video->height)) video = f;
        if (f->vcodec == "none" && f->acodec != "none") audio = f;
    }
    // yt-dlp's own choice, when every part of it fits.
    std::string chosen = info.chosenId;
    int chosenHeight = -1;
    if (!chosen.empty()) {
        size_t start = 0;
        bool allFit = true;
        while (start <= chosen.size()) {
            size_t plus = chosen.find('+', start);
            std::string part =
                chosen.substr(start, plus == std::string::npos ? plus : plus - start);
            auto f = std::find_if(usable.begin(), usable.end(),
                                  [&](const Format* u) { return u->id == part; });
            if (f == usable.end())
                allFit = false;
            else
                chosenHeight = std::max(chosenHeight, (*f)->height);
            if (plus == std::string::npos) break;
            start = plus + 1;
        }
        if (!allFit) chosen.clear();
    }
    int bestOther = chosen.empty() ? (video ? video->height : 0) : chosenHeight;
    if (progressive && (progressive->height >= bestOther || progressive->id == chosen)) {
        c.kind = Choice::kNative;
        c.native = progressive;
        c.ext = progressive->ext.empty() ? "mp4" : progressive->ext;
        c.height = progressive->height;
        return c;
    }
    c.kind = Choice::kExtractor;
    if (!chosen.empty()) {
        c.selector = chosen;
        c.height = chosenHeight;
    } else if (video && video->acodec == "none" && audio) {
        c.selector = video->id + "+" + audio->id;
        c.height = video->height;
    } else {
        const Format* f = video ? video : usable.back();
        c.selector = f->id;
        c.height = f->height;
    }
    // A merge goes into the container both parts fit.
    if (c.selector.find('+') != std::string::npos) {
        std::string v = IdsExt(info, c.selector.substr(0, c.selector.find('+')));
        std::string a = IdsExt(info, c.selector.substr(c.selector.rfind('+') + 1));
        if ((v == "mp4" || v == "m4v") && (a == "m4a" || a == "mp4" || a == "aac"))
            c.ext = "mp4";
        else if (v == "webm" && (a == "webm" || a == "weba" || a == "opus"))
            c.ext = "webm";
        else
            c.ext = "mkv";
    } else {
        c.ext = IdsExt(info, c.selector);
        if (c.ext.empty()) c.ext = "mp4";
    }
    return c;
}

// ---- asking ----

namespace {

// A name mkdtemp made from `prefix`.
bool PrivateName(const std::string& name, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return name.size() == n + 6 && name.compare(0, n, prefix) == 0;
}

// The folder `path` opened and locked, when no other holder has it locked
// and the name still leads to the folder locked; else none.
platform::UniqueFd LockFolder(const std::string& path) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return {};
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        if (errno != EINTR) return {};
    struct stat held {
    }, named{};
    if (::fstat(fd.get(), &held) != 0 || ::lstat(path.c_str(), &named) != 0 ||
        held.st_ino != named.st_ino || held.st_dev != named.st_dev)
        return {};
    return fd;
}

}  // namespace

PrivateFolder::PrivateFolder(const std::string& parent, const char* prefix) {
    SweepPrivateFolders(parent, prefix);
    const std::string pattern = parent + "/" + prefix + "XXXXXX";
    // A sweep of another run may take a fresh folder before it is locked;
    // then another name is tried.
    for (int attempt = 0; attempt < 5 && path_.empty(); ++attempt) {
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data())) return;
        lock_ = LockFolder(buf.data());
        if (lock_) {
            path_ = buf.data();
            ::chmod(path_.c_str(), 0700);
        } else {
            ::rmdir(buf.data());
        }
    }
    if (path_.empty()) errno = EAGAIN;
}

PrivateFolder::~PrivateFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (ec) LogError(kTag, "can not remove %s: %s", path_.c_str(), ec.message().c_str());
}

int SweepPrivateFolders(const std::string& parent, const char* prefix) {
    int removed = 0;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(parent, ec)) {
        const std::string name = e.path().filename().string();
        if (!PrivateName(name, prefix)) continue;
        const std::string path = e.path().string();
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        // A folder in use is locked by the run that made it.
        platform::UniqueFd held = LockFolder(path);
        if (!held) continue;
        std::error_code rm;
        std::filesystem::remove_all(path, rm);
        if (rm) {
            LogError(kTag, "can not remove %s, left by a run that ended: %s", path.c_str(),
                     rm.message().c_str());
        } else {
            LogInfo(kTag, "removed %s, left by a run that ended", path.c_str());
            ++removed;
        }
    }
    return removed;
}

int SweepFolderTreeOnce(const std::string& top, const char* prefix) {
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        std::lock_guard lock(mutex);
        if (!swept.insert(top + '\0' + prefix).second) return 0;
    }
    int removed = SweepPrivateFolders(top, prefix);
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(top, ec))
        if (e.is_directory(ec) && !e.is_symlink(ec))
            removed += SweepPrivateFolders(e.path().string(), prefix);
    return removed;
}

std::string LastErrorLine(const std::string& output) {
    std::string last, lastError;
    size_t pos = 0;
    while (pos < output.size()) {
        size_t end = output.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = output.size();
        std::string line = Trimmed(std::string_view(output).substr(pos, end - pos));
        if (!line.empty()) {
            last = line;
            if (line.rfind("ERROR:", 0) == 0) lastError = line;
        }
        pos = end + 1;
    }
    std::string out = lastError.empty() ? last : lastError;
    // Safe to show and to log: no controls, valid UTF-8, bounded.
    for (char& ch : out)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = '?';
    return platform::ToUtf8(platform::FromUtf8(out.substr(0, 1000)));
}

unsigned ErrorKind(const std::string& text, int ageDays) {
    auto has = [&text](const char* what) {
        return std::search(text.begin(), text.end(), what, what + std::strlen(what),
                           [](char a, char b) {
                               return std::tolower(static_cast<unsigned char>(a)) ==
                                      std::tolower(static_cast<unsigned char>(b));
                           }) != text.end();
    };
    if (has("Unsupported URL")) return 33404;
    if (has("HTTP Error 403")) return 33405;
    if (has("HTTP Error 404")) return 33406;
    if (has("HTTP Error 429") || has("Too Many Requests")) return 33407;
    if (has("geo restrict") || has("available in your country") ||
        has("not available from your location") || has("geo-restrict"))
        return 33408;
    if (has("DRM")) return 33410;
    if (has("Private video") || has("video is private") || has("has been removed") ||
        has("Video unavailable") || has("video is unavailable") || has("no longer available"))
        return 33411;
    if (has("not a bot") || has("Sign in to confirm") || has("login required") ||
        has("--cookies") || has("account") || has("log in") || has("sign in"))
        return 33409;
    // Extraction that broke on a copy months old: the site has changed since.
    constexpr int kOldDays = 90;
    if (ageDays > kOldDays && (has("Unable to extract") || has("please report this issue") ||
                               has("nsig") || has("signature")))
        return 33412;
    return 33413;
}

std::wstring ErrorMessage(const std::string& text, int ageDays) {
    unsigned kind = ErrorKind(text, ageDays);
    if (kind == 33412) return platform::FormatW(LoadText(33412).c_str(), ageDays);
    if (kind == 33413)
        return platform::FormatW(LoadText(33413).c_str(), platform::FromUtf8(text).c_str());
    return LoadText(kind);
}

Answer Ask(const Copy& copy, const std::wstring& address, const std::function<bool()>& stopped) {
    Answer a;
    if (!copy.usable) {
        a.outcome = Outcome::kAbsent;
        return a;
    }
    const char* tmp = std::getenv("TMPDIR");
    a.folder = std::make_shared<PrivateFolder>(tmp && *tmp ? tmp : "/tmp", "clipvane-extractor-");
    if (a.folder->path().empty()) {
        a.failure.message = platform::FormatW(LoadText(33413).c_str(), L"no private folder");
        a.failure.rawLine = std::string("mkdtemp: ") + std::strerror(errno);
        return a;
    }
    a.jsonPath = a.folder->path() + "/info.json";
    platform::ChildOptions o;
    o.argv = {copy.path};
    for (const char* opt : {"--ignore-config", "--no-warnings", "--no-playlist", "--no-cache-dir"})
        if (copy.Has(opt)) o.argv.push_back(opt);
    o.argv.push_back(copy.Has("-J") ? "-J" : "--dump-single-json");
    o.argv.push_back("--");
    o.argv.push_back(platform::ToUtf8(address));
    o.out = platform::ChildStream::kFile;
    o.outputFile = a.jsonPath;
    RunLimits limits;
    limits.seconds = g_askSeconds;
    limits.watchFile = a.jsonPath;
    limits.maxFileBytes = kMaxAnswerBytes;
    std::string errors;
    int code = -1;
    const Clock::time_point started = Clock::now();
    RunEnd end = Supervise(
        o, limits, [](const char*, size_t) {}, stopped, errors, code);
    a.failure.rawLine = LastErrorLine(errors);
    LogInfo(kTag, "asked %s about %s: %s in %.1f s", copy.path.c_str(),
            platform::ToUtf8(address).c_str(),
            end == RunEnd::kExited ? ("exit " + std::to_string(code)).c_str() : "ended by us",
            std::chrono::duration<double>(Clock::now() - started).count());
    switch (end) {
        case RunEnd::kStopped:
            a.outcome = Outcome::kStopped;
            return a;
        case RunEnd::kTimedOut:
            a.failure.message = platform::FormatW(LoadText(33414).c_str(), g_askSeconds.load());
            return a;
        case RunEnd::kTooLarge:
            a.failure.message = LoadText(33415);
            return a;
        case RunEnd::kNotStarted:
            a.outcome = Outcome::kAbsent;
            a.failure.rawLine = errors;
            return a;
        case RunEnd::kExited:
            break;
    }
    if (code != 0) {
        a.outcome = a.failure.rawLine.find("Unsupported URL") != std::string::npos
                        ? Outcome::kUnsupported
                        : Outcome::kFailed;
        a.failure.message = ErrorMessage(a.failure.rawLine, copy.ageDays);
        unsigned kind = ErrorKind(a.failure.rawLine, copy.ageDays);
        a.failure.specific = kind != 33404 && kind != 33413;
        return a;
    }
    std::string text;
    {
        std::ifstream in(a.jsonPath, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (text.size() > kMaxAnswerBytes) {
        a.failure.message = LoadText(33415);
        return a;
    }
    std::string why;
    if (!ParseInfo(text, a.info, why)) {
        a.failure.message =
            platform::FormatW(LoadText(33416).c_str(), platform::FromUtf8(why).c_str());
        a.failure.rawLine = why + ": " + LastErrorLine(text.substr(0, 200));
        return a;
    }
    a.outcome = Outcome::kOk;
    return a;
}

// ---- progress ----

namespace {

// The progress bar of copies without a template: "[download]  42.0% of 10.00MiB".
bool ReadBar(const std::string& line, double& fraction, uint64_t& total) {
    static const std::regex kBar(R"(\[download\]\s+([0-9.]+)% of\s+~?\s*([0-9.]+)([KMG]i?B))");
    // A bar is short; std::regex is slow on long text.
    if (line.size() > 512 || line.find("[download]") == std::string::npos) return false;
    std::smatch m;
    if (!std::regex_search(line, m, kBar)) return false;
    fraction = std::min(std::atof(m[1].str().c_str()), 100.0) / 100.0;
    char unit = m[3].str()[0];
    double mult = unit == 'K' ? 1024.0 : unit == 'M' ? 1048576.0 : 1073741824.0;
    total = static_cast<uint64_t>(std::atof(m[2].str().c_str()) * mult);
    return true;
}

}  // namespace

bool ProgressScanner::Feed(const char* data, size_t n, Progress& out) {
    buffer_.append(data, n);
    bool any = false;
    for (;;) {
        size_t marker = buffer_.find(kMarker);
        // Text before the marker: lines of their own, and the bar of copies
        // without a template.
        size_t upto = marker == std::string::npos ? buffer_.size() : marker;
        size_t pos = 0;
        while (pos < upto) {
            size_t end = buffer_.find_first_of("\r\n", pos);
            bool ended = end != std::string::npos && end < upto;
            if (!ended && marker == std::string::npos) {
                // A bar not yet ended counts now; its line stays for later.
                double fraction;
                uint64_t total;
                if (ReadBar(buffer_.substr(pos), fraction, total)) {
                    Account("", static_cast<uint64_t>(fraction * total), total, fraction >= 1.0,
                            out, fraction);
                    any = true;
                }
                break;
            }
            if (!ended) end = upto;
            std::string line = buffer_.substr(pos, end - pos);
            double fraction;
            uint64_t total;
            if (ReadBar(line, fraction, total)) {
                Account("", static_cast<uint64_t>(fraction * total), total, fraction >= 1.0, out,
                        fraction);
                any = true;
            } else if (!Trimmed(line).empty()) {
                lines_.push_back(Trimmed(line));
            }
            pos = ended ? end + 1 : end;
        }
        if (marker == std::string::npos) {
            buffer_.erase(0, pos);
            if (buffer_.size() > kMaxPending) buffer_.clear();
            return any;
        }
        buffer_.erase(0, marker);
        if (!ScanMarker(out)) {
            if (buffer_.size() > kMaxPending) buffer_.clear();
            return any;
        }
        any = true;
    }
}

bool ProgressScanner::ScanMarker(Progress& out) {
    // buffer_ starts with the marker; find the end of the object after it by
    // its braces (strings skipped), then let the JSON library read it.
    size_t start = std::strlen(kMarker);
    while (start < buffer_.size() && buffer_[start] == ' ') ++start;
    if (start >= buffer_.size()) return false;
    if (buffer_[start] != '{') {
        buffer_.erase(0, start);
        return true;  // garbage after a marker: skipped
    }
    int depth = 0;
    bool inString = false, escaped = false;
    size_t end = std::string::npos;
    for (size_t i = start; i < buffer_.size(); ++i) {
        char ch = buffer_[i];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (ch == '\\')
                escaped = true;
            else if (ch == '"')
                inString = false;
            else if (ch == '\n')
                break;  // a line end never stands inside a string
            continue;
        }
        if (ch == '"')
            inString = true;
        else if (ch == '{')
            ++depth;
        else if (ch == '}' && --depth == 0) {
            end = i + 1;
            break;
        } else if (ch == '\n') {
            break;
        }
    }
    if (end == std::string::npos) {
        size_t nl = buffer_.find('\n', start);
        if (nl == std::string::npos) return false;  // wait for more
        buffer_.erase(0, nl + 1);                   // a broken object: its line is skipped
        return true;
    }
    nlohmann::json j =
        nlohmann::json::parse(buffer_.begin() + static_cast<long>(start),
                              buffer_.begin() + static_cast<long>(end), nullptr, false);
    buffer_.erase(0, end);
    if (j.is_discarded() || !j.is_object()) return true;
    uint64_t bytes = static_cast<uint64_t>(Num(j, "downloaded_bytes"));
    uint64_t total = static_cast<uint64_t>(Num(j, "total_bytes"));
    if (total == 0) total = static_cast<uint64_t>(Num(j, "total_bytes_estimate"));
    Account(Str(j, "filename"), bytes, total, Str(j, "status") == "finished", out);
    return true;
}

void ProgressScanner::Account(const std::string& file, uint64_t bytes, uint64_t total,
                              bool finished, Progress& out, double fraction) {
    if (file.empty() ? (currentFinished_ && !finished) : file != current_) {
        // The next part begins.
        if (!current_.empty() || currentFinished_ || files_.empty()) files_.push_back(file);
        current_ = file;
    }
    currentFinished_ = finished;
    if (files_.empty()) files_.push_back(file);
    double share =
        total > 0 ? std::min(1.0, static_cast<double>(bytes) / static_cast<double>(total)) : 0.0;
    if (fraction >= 0) share = fraction;
    if (finished) share = 1.0;
    size_t done = files_.size() - 1;
    double whole =
        (static_cast<double>(std::min<size_t>(done, static_cast<size_t>(parts_))) + share) / parts_;
    out.bytes = bytes;
    out.total = total;
    shown_ = std::max(shown_, static_cast<unsigned>(std::min(1.0, whole) * 1000.0));
    out.thousandths = shown_;
}

std::vector<std::string> ProgressScanner::TakeLines() {
    std::vector<std::string> out;
    out.swap(lines_);
    std::string rest = Trimmed(buffer_);
    if (!rest.empty() && rest.rfind(kMarker, 0) != 0) out.push_back(rest);
    return out;
}

// ---- downloading ----

DownloadResult Download(const Copy& copy, const std::string& jsonPath, const std::string& selector,
                        const std::string& folder, const std::string& mergeExt, int parts,
                        const std::function<void(const Progress&)>& progress,
                        const std::function<bool()>& stopped) {
    DownloadResult r;
    platform::ChildOptions o;
    o.argv = {copy.path};
    for (const char* opt : {"--ignore-config", "--no-warnings", "--no-playlist", "--no-cache-dir",
                            "--no-continue", "--no-mtime", "--newline", "--progress"})
        if (copy.Has(opt)) o.argv.push_back(opt);
    o.argv.insert(o.argv.end(),
                  {"--load-info-json", jsonPath, "-f", selector, "-o", folder + "/media.%(ext)s"});
    if (copy.Has("--merge-output-format") && !mergeExt.empty())
        o.argv.insert(o.argv.end(), {"--merge-output-format", mergeExt});
    if (copy.Has("--progress-template"))
        o.argv.insert(o.argv.end(), {"--progress-template", "download:CVJ %(progress)j"});
    if (copy.Has("--print")) o.argv.insert(o.argv.end(), {"--print", "after_move:filepath"});
    ProgressScanner scanner(parts);
    std::string outTail;
    auto onOut = [&](const char* d, size_t n) {
        KeepTail(outTail, d, n);
        Progress p;
        if (scanner.Feed(d, n, p) && progress) progress(p);
    };
    std::string errors;
    int code = -1;
    RunEnd end = Supervise(o, RunLimits{}, onOut, stopped, errors, code);
    r.failure.rawLine = LastErrorLine(errors);
    if (end == RunEnd::kStopped) {
        r.outcome = Outcome::kStopped;
        return r;
    }
    if (end != RunEnd::kExited || code != 0) {
        if (end == RunEnd::kNotStarted) r.outcome = Outcome::kAbsent;
        if (r.failure.rawLine.empty()) r.failure.rawLine = LastErrorLine(outTail);
        r.failure.message = ErrorMessage(r.failure.rawLine, copy.ageDays);
        return r;
    }
    // The path it printed, when it lies in our folder; else the one result there.
    for (const std::string& line : scanner.TakeLines())
        if (line.rfind(folder + "/media.", 0) == 0 &&
            line.find('/', folder.size() + 1) == std::string::npos &&
            ::access(line.c_str(), F_OK) == 0)
            r.file = line;
    if (r.file.empty()) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
            std::string name = e.path().filename().string();
            if (name.rfind("media.", 0) == 0 && name.find(".part") == std::string::npos &&
                name.find(".ytdl") == std::string::npos &&
                std::count(name.begin(), name.end(), '.') == 1 && e.is_regular_file(ec))
                r.file = e.path().string();
        }
    }
    if (r.file.empty()) {
        r.failure.message = platform::FormatW(LoadText(33413).c_str(), L"no file");
        if (r.failure.rawLine.empty()) r.failure.rawLine = "yt-dlp ended well but left no file";
        return r;
    }
    r.outcome = Outcome::kOk;
    return r;
}

}  // namespace extractor

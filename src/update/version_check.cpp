#include "update/version_check.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <thread>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/logging.h"
#include "app/messages.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "update/vendor_site.h"

namespace {

constexpr const char* kThreadTag = "CheckVersionThread";
constexpr const char* kGetFileTag = "CCheckUpdateDlg::GetFile";
constexpr size_t kBlockSize = 8192;

std::atomic<long long> g_timeoutMs{30000};
// Raised by each stop; a check ends once it differs from the value it began with.
std::atomic<unsigned> g_stopGeneration{0};

std::mutex g_resultMutex;
platform::IPostTarget* g_resultWindow = nullptr;

std::mutex g_threadsMutex;
std::condition_variable g_threadsDone;
int g_threadsRunning = 0;

struct FileSink {
    int fd = -1;
    size_t written = 0;
    bool tooLarge = false;
    int writeErrno = 0;
};

size_t WriteBlocks(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<FileSink*>(user);
    size_t n = size * count;
    if (sink->written + n > kMaxVersionFileBytes) {
        sink->tooLarge = true;
        return 0;
    }
    for (size_t off = 0; off < n;) {
        size_t block = std::min(kBlockSize, n - off);
        ssize_t w = write(sink->fd, data + off, block);
        if (w < 0) {
            if (errno == EINTR) continue;
            sink->writeErrno = errno;
            return 0;
        }
        off += static_cast<size_t>(w);
    }
    sink->written += n;
    return n;
}

int StopCheck(void* began, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return g_stopGeneration.load() != *static_cast<unsigned*>(began) ? 1 : 0;
}

void LogGetFileError(std::string text) {
    // The description is held to 254 characters, as the dialog's buffer was.
    std::wstring w = platform::FromUtf8(text);
    if (w.size() > 254) w.resize(254);
    LogErrorW(kGetFileTag, L"Error occured: %ls", w.c_str());
}

int ParseProfileInt(const std::wstring& text) {
    const wchar_t* p = text.c_str();
    wchar_t* end = nullptr;
    errno = 0;
    long v = std::wcstol(p, &end, 10);
    if (end == p) return 0;
    if (errno == ERANGE || v > INT_MAX || v < INT_MIN) return v < 0 ? INT_MIN : INT_MAX;
    return static_cast<int>(v);
}

}  // namespace

bool IsNewerVersion(const ProgramVersion& remote, const ProgramVersion& running) {
    if (remote.major != running.major) return remote.major > running.major;
    if (remote.minor != running.minor) return remote.minor > running.minor;
    return remote.build > running.build;
}

uintptr_t PackVersionWord(const ProgramVersion& v) {
    return static_cast<uintptr_t>(static_cast<uint32_t>(v.minor)) * 65536u +
           (static_cast<uint32_t>(v.major) & 0xFFFFu);
}

ProgramVersion UnpackVersion(uintptr_t wParam, intptr_t lParam) {
    ProgramVersion v;
    v.major = static_cast<int>(wParam & 0xFFFFu);
    v.minor = static_cast<int>((wParam >> 16) & 0xFFFFu);
    v.build = static_cast<int>(lParam);
    return v;
}

ProgramVersion ReadVersionFile(const std::wstring& path) {
    auto read = [&](const wchar_t* key) {
        return ParseProfileInt(platform::GetPrivateProfileString(L"Gerneral", key, L"", 64, path));
    };
    ProgramVersion v;
    v.major = read(L"major_version");
    v.minor = read(L"minor_version");
    v.build = read(L"build");
    return v;
}

void SetVersionCheckTimeout(std::chrono::milliseconds limit) {
    g_timeoutMs = limit.count();
}

static int GetFileUntilStop(const std::wstring& address, const std::wstring& path,
                            unsigned stopGeneration);

int GetVersionFile(const std::wstring& address, const std::wstring& path) {
    return GetFileUntilStop(address, path, g_stopGeneration.load());
}

static int GetFileUntilStop(const std::wstring& address, const std::wstring& path,
                            unsigned stopGeneration) {
    LogInfoW(kGetFileTag, L"Downloading file from url: %ls", address.c_str());
    static std::once_flag curlInit;
    std::call_once(curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    CURL* easy = curl_easy_init();
    if (!easy) {
        LogGetFileError("the Internet session could not be opened");
        return 0;
    }
    FileSink sink;
    sink.fd = open(platform::ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (sink.fd < 0) {
        LogGetFileError(platform::ToUtf8(path) + ": " + std::strerror(errno));
        curl_easy_cleanup(easy);
        return 0;
    }
    std::string url = platform::ToUtf8(address);
    long long limit = g_timeoutMs.load();
    curl_slist* headers = nullptr;
    // Always from the server, never from a cache on the way.
    headers = curl_slist_append(headers, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limit / 2));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(limit));
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBlocks);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, StopCheck);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &stopGeneration);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(kMaxVersionFileBytes));

    CURLcode rc = curl_easy_perform(easy);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    int result = 1;
    if (sink.tooLarge || rc == CURLE_FILESIZE_EXCEEDED) {
        LogGetFileError("the answer is larger than " + std::to_string(kMaxVersionFileBytes) +
                        " bytes");
        result = 0;
    } else if (sink.writeErrno != 0) {
        LogGetFileError(platform::ToUtf8(path) + ": " + std::strerror(sink.writeErrno));
        result = 0;
    } else if (rc != CURLE_OK) {
        LogGetFileError(curl_easy_strerror(rc));
        result = 0;
    } else if (status < 200 || status > 299) {
        // An error page is no version file.
        LogGetFileError("the server answered with status " + std::to_string(status));
        result = 0;
    }
    if (close(sink.fd) != 0 && result == 1) {
        LogGetFileError(platform::ToUtf8(path) + ": " + std::strerror(errno));
        result = 0;
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(easy);
    return result;
}

std::wstring VersionFilePath() {
    return JoinPath(GetDataFolder(), L"version.ini");
}

void SetResultWindow(platform::IPostTarget* target) {
    std::lock_guard lock(g_resultMutex);
    g_resultWindow = target;
}

void ClearResultWindow() {
    SetResultWindow(nullptr);
}

void ClearResultWindowIf(platform::IPostTarget* target) {
    std::lock_guard lock(g_resultMutex);
    if (g_resultWindow == target) g_resultWindow = nullptr;
}

bool PostToResultWindow(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard lock(g_resultMutex);
    if (!g_resultWindow) return false;
    g_resultWindow->Post(msg, wParam, lParam);
    return true;
}

int CheckVersionThread(ProgramVersion running) {
    const unsigned stopGeneration = g_stopGeneration.load();
    LogInfo(kThreadTag, "Checking upgrade version...");
    std::wstring address = VendorVersionFileUrl();
    std::wstring local = VersionFilePath();
    LogInfoW(kThreadTag, L"Downloading INI file %ls...", local.c_str());

    // The answer goes into a file of its own beside the local copy and
    // replaces it only when it came whole, so a failed check (or a second
    // check at the same time) never leaves a half-written copy.
    std::string partial = platform::ToUtf8(local) + ".XXXXXX";
    int fd = mkostemp(partial.data(), O_CLOEXEC);
    bool ok = false;
    if (fd < 0) {
        LogGetFileError(platform::ToUtf8(local) + ": " + std::strerror(errno));
    } else {
        close(fd);
        ok = GetFileUntilStop(address, platform::FromUtf8(partial), stopGeneration) == 1;
    }
    if (!ok) {
        if (fd >= 0) unlink(partial.c_str());
        PostToResultWindow(MsgCheckFailed, 0, 0);
        LogInfo(kThreadTag, "Check new version failed.");
        return 0;
    }
    ProgramVersion remote = ReadVersionFile(platform::FromUtf8(partial));
    if (rename(partial.c_str(), platform::ToUtf8(local).c_str()) != 0) unlink(partial.c_str());

    if (IsNewerVersion(remote, running)) {
        if (PostToResultWindow(MsgNewVersion, PackVersionWord(remote), remote.build))
            LogInfoW(kThreadTag, L"New version available: %d.%d.%d", remote.major, remote.minor,
                     remote.build);
    } else {
        if (PostToResultWindow(MsgNoNewVersion, PackVersionWord(remote), remote.build))
            LogInfoW(kThreadTag, L"No new version available: %d.%d.%d", remote.major,
                     remote.minor, remote.build);
    }
    return 0;
}

void StartVersionCheck(const ProgramVersion& running) {
    {
        std::lock_guard lock(g_threadsMutex);
        ++g_threadsRunning;
    }
    std::thread([running] {
        CheckVersionThread(running);
        std::lock_guard lock(g_threadsMutex);
        --g_threadsRunning;
        g_threadsDone.notify_all();
    }).detach();
}

bool WaitForVersionChecks(std::chrono::milliseconds limit) {
    std::unique_lock lock(g_threadsMutex);
    return g_threadsDone.wait_for(lock, limit, [] { return g_threadsRunning == 0; });
}

bool StopVersionChecks(std::chrono::milliseconds limit) {
    ++g_stopGeneration;
    ClearResultWindow();
    bool done = WaitForVersionChecks(limit);
    return done;
}

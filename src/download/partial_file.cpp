#include "download/partial_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/logging.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace {

std::mutex g_locksMutex;
std::map<std::wstring, platform::UniqueFd> g_locks;

constexpr size_t kMaxRecordBytes = 64 * 1024;

bool EndsWith(const std::wstring& s, const std::wstring& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

std::wstring PartialRecordPath(const std::wstring& tempPath) {
    // Same length as the temporary name, so it fits wherever that did.
    if (EndsWith(tempPath, L".cvt")) return tempPath.substr(0, tempPath.size() - 4) + L".cvr";
    return tempPath + L".cvr";
}

bool WritePartialRecord(const std::wstring& tempPath, const PartialRecord& r) {
    nlohmann::json j = {{"page", platform::ToUtf8(r.pageAddress)},
                        {"media", platform::ToUtf8(r.mediaAddress)},
                        {"validator", r.validator},
                        {"length", r.length},
                        {"written", r.written}};
    if (!r.playlistDigest.empty()) {
        j["playlist"] = r.playlistDigest;
        j["segments"] = r.segmentsDone;
    }
    std::string text = j.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::string target = platform::ToUtf8(PartialRecordPath(tempPath));
    std::string scratch = FolderOf(target) + "/.cvr-XXXXXX";
    platform::UniqueFd fd(::mkostemp(scratch.data(), O_CLOEXEC));
    if (!fd) return false;
    size_t done = 0;
    while (done < text.size()) {
        ssize_t w = ::write(fd.get(), text.data() + done, text.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += static_cast<size_t>(w);
    }
    bool ok = done == text.size() && fd.Close();
    if (ok) ok = ::rename(scratch.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(scratch.c_str());
    return ok;
}

bool ReadPartialRecord(const std::wstring& tempPath, PartialRecord& r) {
    std::string path = platform::ToUtf8(PartialRecordPath(tempPath));
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) return false;
    std::string text;
    char buf[4096];
    while (text.size() <= kMaxRecordBytes) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    if (text.size() > kMaxRecordBytes) return false;
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (!j.is_object()) return false;
    try {
        PartialRecord out;
        out.pageAddress = platform::FromUtf8(j.at("page").get<std::string>());
        out.mediaAddress = platform::FromUtf8(j.at("media").get<std::string>());
        out.validator = j.at("validator").get<std::string>();
        out.length = j.at("length").get<uint64_t>();
        out.written = j.at("written").get<uint64_t>();
        if (j.contains("playlist")) {
            out.playlistDigest = j.at("playlist").get<std::string>();
            out.segmentsDone = j.at("segments").get<uint64_t>();
        }
        r = out;
        return true;
    } catch (const nlohmann::json::exception&) {
        return false;
    }
}

bool TryLockTempFile(int fd) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        if (errno != EINTR) return false;
    return true;
}

void HoldTempLock(const std::wstring& tempPath, int fd) {
    std::lock_guard lock(g_locksMutex);
    g_locks[tempPath] = platform::UniqueFd(fd);
}

void ReleaseTempLock(const std::wstring& tempPath) {
    platform::UniqueFd gone;
    std::lock_guard lock(g_locksMutex);
    auto it = g_locks.find(tempPath);
    if (it == g_locks.end()) return;
    gone = std::move(it->second);
    g_locks.erase(it);
}

bool HoldsTempLock(const std::wstring& tempPath) {
    std::lock_guard lock(g_locksMutex);
    return g_locks.count(tempPath) != 0;
}

bool SetTempFileSize(int fd, uint64_t size) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    if (static_cast<uint64_t>(st.st_size) != size && ::ftruncate(fd, static_cast<off_t>(size)) != 0)
        return false;
    return ::lseek(fd, static_cast<off_t>(size), SEEK_SET) >= 0;
}

void DiscardTempFile(const std::wstring& tempPath) {
    if (tempPath.empty()) return;
    ::unlink(platform::ToUtf8(PartialRecordPath(tempPath)).c_str());
    ::unlink(platform::ToUtf8(tempPath).c_str());
    ReleaseTempLock(tempPath);
}

bool SetTempFileAside(const std::wstring& tempPath) {
    if (tempPath.empty()) return false;
    PartialRecord r;
    struct stat st {};
    if (ReadPartialRecord(tempPath, r) && (!r.validator.empty() || !r.playlistDigest.empty()) &&
        ::lstat(platform::ToUtf8(tempPath).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        st.st_size > 0) {
        LogInfoW("CVideoDownloader", L"Kept %llu bytes of %ls for a later resume",
                 static_cast<unsigned long long>(st.st_size), tempPath.c_str());
        ReleaseTempLock(tempPath);
        return true;
    }
    DiscardTempFile(tempPath);
    return false;
}

bool RemovePartialDownload(const std::wstring& tempPath) {
    if (tempPath.empty()) return true;
    if (HoldsTempLock(tempPath)) return false;
    std::string path = platform::ToUtf8(tempPath);
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd && !TryLockTempFile(fd.get())) return false;
    ::unlink(platform::ToUtf8(PartialRecordPath(tempPath)).c_str());
    if (fd) ::unlink(path.c_str());
    return true;
}

namespace {

// One folder's kept partials, and those of its folders while `depth` lasts.
void FindKeptIn(const std::filesystem::path& folder, int depth,
                std::map<std::wstring, std::wstring>& kept) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        // Links are not followed: what they lead to is no download of ours.
        std::error_code sec;
        const fs::file_status st = it->symlink_status(sec);
        if (sec) continue;
        if (fs::is_directory(st)) {
            if (depth > 0) FindKeptIn(it->path(), depth - 1, kept);
            continue;
        }
        const std::string record = it->path().string();
        if (!fs::is_regular_file(st) || record.size() <= 4 ||
            record.compare(record.size() - 4, 4, ".cvr") != 0)
            continue;
        const std::string temp = record.substr(0, record.size() - 4) + ".cvt";
        const std::wstring tempPath = platform::FromUtf8(temp);
        struct stat ts {};
        PartialRecord r;
        if (::lstat(temp.c_str(), &ts) == 0 && S_ISREG(ts.st_mode) &&
            ReadPartialRecord(tempPath, r) && !r.pageAddress.empty() &&
            (!r.validator.empty() || !r.playlistDigest.empty()))
            kept.emplace(r.pageAddress, tempPath);
    }
}

}  // namespace

std::map<std::wstring, std::wstring> FindKeptPartials(const std::wstring& outputFolder) {
    std::map<std::wstring, std::wstring> kept;
    if (!outputFolder.empty()) FindKeptIn(platform::ToUtf8(outputFolder), 1, kept);
    return kept;
}

#include "download/site_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cwctype>

#include "app/helpers.h"
#include "app/logging.h"
#include "download/partial_file.h"
#include "download/url.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace {

// NAME_MAX of the file systems we write to.
constexpr size_t kMaxNameBytes = 255;

size_t Utf8Length(wchar_t c) {
    auto u = static_cast<uint32_t>(c);
    if (u < 0x80) return 1;
    if (u < 0x800) return 2;
    if (u < 0x10000 || u > 0x10FFFF) return 3;  // invalid ones become U+FFFD
    return 4;
}

}  // namespace

namespace {

// The kind among the four designed sites, by host, whatever the scheme.
int DesignedSiteKind(const std::wstring& address, const UrlParts& parts) {
    std::wstring host = platform::AsciiLower(parts.host);
    if (host.find(L"youtube") != std::wstring::npos) return kSiteYouTube;
    if (host.find(L"google") != std::wstring::npos) {
        std::wstring inner;
        if (ExtractQueryValue(address, L"srcurl=", inner) && inner != address)
            return GetSiteKind(inner);
        return kSiteGoogleVideo;
    }
    if (host.find(L"metacafe") != std::wstring::npos) return kSiteMetaCafe;
    if (host.find(L"nicovideo") != std::wstring::npos) return kSiteNicoVideo;
    return kSiteOther;
}

}  // namespace

int GetSiteKind(const std::wstring& address) {
    UrlParts parts;
    if (!CrackUrl(CanonicalizeUrl(address), parts)) return kSiteUnknown;
    // The four sites' handlers speak their http protocol only; an https
    // address of theirs is a page like any other.
    if (parts.scheme != L"http") return kSiteOther;
    int kind = DesignedSiteKind(address, parts);
    // A Google address carrying no usable address of another site.
    return kind == kSiteUnknown ? kSiteOther : kind;
}

std::wstring HostProfileName(const std::wstring& address) {
    UrlParts parts;
    if (!CrackUrl(address, parts)) return L"";
    std::wstring host = platform::AsciiLower(parts.host);
    if (host.rfind(L"www.", 0) == 0 && host.size() > 4) host.erase(0, 4);
    while (!host.empty() && host.back() == L'.') host.pop_back();
    return host.empty() ? L"" : MakeSafeFileName(host, L'_');
}

std::wstring TrimAddress(const std::wstring& address) {
    return std::wstring(platform::Trim(address, L" \t\r\n\f\v\u00a0\u3000\u200b\ufeff"));
}

std::wstring AddressKey(const std::wstring& address) {
    const std::wstring text = TrimAddress(address);
    UrlParts parts;
    if (!CrackUrl(text, parts)) return text;
    std::wstring host = platform::AsciiLower(parts.host);
    static const wchar_t* const kSiteDomains[] = {L"youtube.com", L"google.com", L"metacafe.com",
                                                  L"nicovideo.jp"};
    if (host.rfind(L"www.", 0) == 0)
        for (const wchar_t* domain : kSiteDomains) {
            std::wstring_view rest = std::wstring_view(host).substr(4);
            std::wstring_view d = domain;
            if (rest == d || (rest.size() > d.size() && rest.ends_with(d) &&
                              rest[rest.size() - d.size() - 1] == L'.')) {
                host.erase(0, 4);
                break;
            }
        }
    const int defaultPort = parts.scheme == L"https" ? 443 : 80;
    std::wstring key = parts.scheme + L"://" + host;
    if (parts.port != defaultPort) key += L":" + std::to_wstring(parts.port);
    return key + parts.path;
}

bool ExtractQueryValue(const std::wstring& text, const std::wstring& key, std::wstring& value) {
    size_t pos = text.find(key);
    if (pos == std::wstring::npos || pos == 0) return false;
    size_t start = pos + key.size();
    size_t amp = text.find(L'&', start);
    if (amp == std::wstring::npos) {
        value = text.substr(start);
        return true;
    }
    if (amp > start) {
        value = text.substr(start, amp - start);
        return true;
    }
    return false;
}

std::wstring DecodeEntity(const std::wstring& ref) {
    if (ref == L"&nbsp;") return L" ";
    if (ref == L"&lt;") return L"<";
    if (ref == L"&gt;") return L">";
    if (ref == L"&amp;") return L"&";
    if (ref == L"&quot;") return L"\"";
    if (ref.size() >= 3 && ref[1] == L'#') {
        // Decimal digits only; anything else reads as code 0. The code is kept
        // to 16 bits.
        uint32_t code = 0;
        for (size_t i = 2; i < ref.size() && ref[i] >= L'0' && ref[i] <= L'9'; ++i)
            code = (code * 10 + static_cast<uint32_t>(ref[i] - L'0')) & 0xFFFFFFu;
        code &= 0xFFFF;
        return std::wstring(1, static_cast<wchar_t>(code));
    }
    return L"";
}

std::wstring DecodeEntities(const std::wstring& text) {
    size_t amp = text.find(L'&');
    if (amp == std::wstring::npos) return text;
    std::wstring out = text.substr(0, amp);
    size_t i = amp;
    while (i < text.size()) {
        if (text[i] != L'&') {
            out.push_back(text[i++]);
            continue;
        }
        size_t semi = text.find(L';', i);
        if (semi == std::wstring::npos) {
            out.append(text, i, std::wstring::npos);
            break;
        }
        out += DecodeEntity(text.substr(i, semi - i + 1));
        i = semi + 1;
    }
    return out;
}

void ReplaceIllegalFileChars(std::wstring& text, wchar_t replacement) {
    for (wchar_t& c : text)
        if (std::wstring_view(L":/\\*?\"<>|").find(c) != std::wstring_view::npos) c = replacement;
}

std::wstring MakeSafeFileName(std::wstring name, wchar_t replacement) {
    // A numeric reference of code 0 ends the title, as it would a C string.
    size_t nul = name.find(L'\0');
    if (nul != std::wstring::npos) name.erase(nul);
    ReplaceIllegalFileChars(name, replacement);
    for (wchar_t& c : name)
        if (platform::IsHiddenOrControl(static_cast<char32_t>(c))) c = replacement;
    // A name must not be hidden: leading dots (and an empty name, which would
    // leave only ".ext") become one replacement character.
    size_t dots = name.find_first_not_of(L'.');
    if (dots == std::wstring::npos) dots = name.size();
    if (dots > 0 || name.empty()) name.replace(0, dots, 1, replacement);
    return name;
}

std::wstring FitNameBytes(const std::wstring& name, const std::wstring& suffix, size_t maxBytes) {
    size_t used = 0;
    for (wchar_t c : suffix) used += Utf8Length(c);
    size_t keep = 0;
    for (; keep < name.size(); ++keep) {
        size_t n = Utf8Length(name[keep]);
        if (used + n > maxBytes) break;
        used += n;
    }
    return name.substr(0, keep);
}

namespace {

bool PathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

std::wstring Candidate(const std::wstring& folder, const std::wstring& name,
                       const std::wstring& extension, int i) {
    std::wstring stem = i == 0 ? name : platform::FormatW(L"%ls_%03d", name.c_str(), i);
    return folder + L"/" + stem + L"." + extension;
}

// The base name and number of a path made by Candidate.
void SplitCandidate(const std::wstring& path, std::wstring& folder, std::wstring& name,
                    std::wstring& extension, int& number) {
    size_t slash = path.rfind(L'/');
    folder = slash == std::wstring::npos ? L"." : path.substr(0, slash);
    std::wstring file = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = file.rfind(L'.');
    extension = dot == std::wstring::npos ? L"" : file.substr(dot + 1);
    name = dot == std::wstring::npos ? file : file.substr(0, dot);
    number = 0;
    size_t n = name.size();
    if (n > 4 && name[n - 4] == L'_' && iswdigit(name[n - 3]) && iswdigit(name[n - 2]) &&
        iswdigit(name[n - 1])) {
        number = (name[n - 3] - L'0') * 100 + (name[n - 2] - L'0') * 10 + (name[n - 1] - L'0');
        name.resize(n - 4);
    }
}

}  // namespace

namespace {

// Takes over a temporary file that no running download holds (one left by a
// killed run): emptied, unless its record keeps it for a resume of this very
// page. False when it is in use, or kept for another page.
bool TakeOverTempFile(const std::wstring& tempPath, const std::wstring& pageAddress) {
    std::string temp = platform::ToUtf8(tempPath);
    platform::UniqueFd fd(::open(temp.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    if (!fd || !TryLockTempFile(fd.get())) return false;
    // The name must still be this file: it may have been finished or
    // replaced between the open and the lock.
    struct stat held {
    }, named{};
    if (::fstat(fd.get(), &held) != 0 || ::lstat(temp.c_str(), &named) != 0 ||
        held.st_ino != named.st_ino || held.st_dev != named.st_dev || !S_ISREG(held.st_mode))
        return false;
    PartialRecord record;
    if (ReadPartialRecord(tempPath, record)) {
        if (record.pageAddress != pageAddress || pageAddress.empty()) return false;
        LogInfoW("CVideoDownloader", L"Found %llu bytes of an earlier download of %ls in %ls",
                 static_cast<unsigned long long>(held.st_size), pageAddress.c_str(),
                 tempPath.c_str());
    } else {
        LogInfoW("CVideoDownloader", L"Taking over %ls, left by a download that ended",
                 tempPath.c_str());
        ::unlink(platform::ToUtf8(PartialRecordPath(tempPath)).c_str());
        if (!SetTempFileSize(fd.get(), 0)) return false;
    }
    HoldTempLock(tempPath, fd.Release());
    return true;
}

}  // namespace

std::wstring ReserveOutputPath(const std::wstring& folder, const std::wstring& name,
                               const std::wstring& extension, int first,
                               const std::wstring& pageAddress) {
    CreateFolderTree(folder);
    for (int i = first; i < 1000; ++i) {
        std::wstring path = Candidate(folder, name, extension, i);
        std::string final = platform::ToUtf8(path);
        if (PathExists(final)) continue;
        std::wstring tempPath = path + L".cvt";
        platform::UniqueFd reserved(::open(
            (final + ".cvt").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (reserved) {
            // Another naming may have taken the fresh file over before it
            // was locked; then it is theirs.
            if (!TryLockTempFile(reserved.get())) continue;
            // A record left without its temporary file belongs to nothing.
            ::unlink(platform::ToUtf8(PartialRecordPath(tempPath)).c_str());
            HoldTempLock(tempPath, reserved.Release());
            // The final name may have been taken while the temporary one was made.
            if (!PathExists(final)) return path;
            DiscardTempFile(tempPath);
            continue;
        }
        if (errno == EEXIST) {
            if (!TakeOverTempFile(tempPath, pageAddress)) continue;
            if (!PathExists(final)) return path;
            ReleaseTempLock(tempPath);
            continue;
        }
        if (errno != ELOOP) return L"";
    }
    return L"";
}

int FolderWriteError(const std::wstring& folder) {
    CreateFolderTree(folder);
    std::string path = platform::ToUtf8(folder);
    // The nearest part of the path that exists tells why the rest is missing.
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return errno;
        size_t slash = path.find_last_of('/');
        if (slash == std::string::npos || slash == 0) return ENOENT;
        path.erase(slash);
    }
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    return ::access(path.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

namespace {

// Moves `from` to `to` unless `to` exists. 0, EEXIST, or another errno.
int MoveNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    // A file system without the flag: a hard link never replaces either.
    if (::link(from.c_str(), to.c_str()) != 0) return errno;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

std::wstring FinishOutputFile(const std::wstring& tempPath, const std::wstring& finalPath) {
    std::string from = platform::ToUtf8(tempPath);
    // The lock is let go once the file has its final name.
    struct Release {
        const std::wstring& temp;
        bool moved = false;
        ~Release() {
            if (moved) DiscardTempFile(temp);
        }
    } release{tempPath};
    int r = MoveNoReplace(from, platform::ToUtf8(finalPath));
    release.moved = r == 0;
    if (r == 0) return finalPath;
    if (r != EEXIST) return L"";
    std::wstring folder, name, extension;
    int number = 0;
    SplitCandidate(finalPath, folder, name, extension, number);
    for (int i = std::max(number + 1, 1); i < 1000; ++i) {
        std::wstring path = Candidate(folder, name, extension, i);
        std::string to = platform::ToUtf8(path);
        // Another download's temporary file reserves its name.
        if (PathExists(to + ".cvt")) continue;
        r = MoveNoReplace(from, to);
        release.moved = r == 0;
        if (r == 0) return path;
        if (r != EEXIST) return L"";
    }
    return L"";
}

bool FitNameToFolder(const std::wstring& outputFolder, std::wstring& name) {
    long room = 252 - static_cast<long>(outputFolder.size());
    if (room <= 0) return false;
    if (name.size() > static_cast<size_t>(room)) name.resize(static_cast<size_t>(room));
    return true;
}

bool BuildOutputPaths(const std::wstring& outputFolder, const std::wstring& siteFolder,
                      std::wstring baseName, const std::wstring& extension, std::wstring& finalPath,
                      std::wstring& tempPath, const std::wstring& pageAddress) {
    baseName = MakeSafeFileName(std::move(baseName), L'_');
    if (!FitNameToFolder(outputFolder, baseName)) return false;
    // Room for "_999", the extension and ".cvt" within one component.
    baseName = FitNameBytes(baseName, L"_999." + extension + L".cvt", kMaxNameBytes);
    finalPath =
        ReserveOutputPath(JoinPath(outputFolder, siteFolder), baseName, extension, 0, pageAddress);
    tempPath = finalPath.empty() ? L"" : finalPath + L".cvt";
    return !finalPath.empty();
}

#include "app/folders.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/helpers.h"
#include "app/localization.h"
#include "platform/folders.h"
#include "platform/text.h"

std::wstring GetProgramFolder() {
    std::wstring exe = platform::ExecutablePath();
    size_t slash = exe.rfind(L'/');
    if (exe.empty() || slash == std::wstring::npos) return L".";
    if (slash == 0) return L"/";
    return exe.substr(0, slash);
}

std::wstring GetDataFolder() {
    std::wstring folder;
    std::wstring root = platform::UserDataRoot();
    if (!root.empty()) {
        folder = root;
        if (folder.back() != L'/') folder += L'/';
        folder += kAppName;
    } else {
        std::wstring exe = platform::ExecutablePath();
        size_t slash = exe.rfind(L'/');
        if (slash != std::wstring::npos) folder = exe.substr(0, slash + 1) + L"Profile";
    }
    while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
    CreateFolderTree(folder);
    return folder;
}

std::wstring NormalizeFolder(const std::wstring& typed, const std::wstring& fallback) {
    const wchar_t* blanks = L" \t\r\n";
    std::wstring t = typed;
    t.erase(0, std::min(t.size(), t.find_first_not_of(blanks)));
    if (auto end = t.find_last_not_of(blanks); end != std::wstring::npos)
        t.erase(end + 1);
    else
        t.clear();
    while (!t.empty() && (t.back() == L'\\' || t.back() == L'/')) t.pop_back();
    if (t.empty()) t = fallback;
    return SanitizePath(t, L'-');
}

namespace {

// The system's own words stand in when the string table is not loaded (as
// in clipvane-get), so a refused folder never reads as an accepted one.
std::wstring TextOr(unsigned id, int error) {
    std::wstring text = LoadText(id);
    return text.empty() ? platform::FromUtf8(std::strerror(error)) : text;
}

std::wstring ReasonOf(int error) {
    switch (error) {
        case ENOTDIR:
        case EEXIST:
            return TextOr(33501, ENOTDIR);
        case EROFS:
            return TextOr(33502, EROFS);
        case EACCES:
        case EPERM:
            return TextOr(33503, error);
        default:
            return LoadText(33504) + L" (" + platform::FromUtf8(std::strerror(error)) + L")";
    }
}

}  // namespace

std::wstring OutputFolderProblem(const std::wstring& folder) {
    const std::string path = platform::ToUtf8(folder);
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_directory(path, ec))
        return ReasonOf(ENOTDIR);
    std::filesystem::create_directories(path, ec);
    if (ec) return ReasonOf(ec.value());
    if (!std::filesystem::is_directory(path, ec)) return ReasonOf(ENOTDIR);
    // Writing is the only sure test: permissions alone do not tell a
    // read-only disk, and say nothing true for the superuser.
    std::string probe = path + "/.clipvane-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return ReasonOf(errno);
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

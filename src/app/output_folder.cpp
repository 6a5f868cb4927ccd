#include "app/output_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "app/localization.h"
#include "platform/text.h"

namespace {

FolderCheck Failure(int err, const std::string& where) {
    FolderCheck c;
    c.error = err;
    c.where = platform::FromUtf8(where);
    switch (err) {
        case EROFS:
            c.problem = FolderProblem::ReadOnly;
            break;
        case EACCES:
        case EPERM:
            c.problem = FolderProblem::PermissionDenied;
            break;
        case ENOTDIR:
        case EEXIST:
            c.problem = FolderProblem::NotAFolder;
            break;
        default:
            c.problem = FolderProblem::CannotCreate;
            break;
    }
    return c;
}

// A path in a message: nothing in it may hide or reorder the text.
std::wstring Shown(std::wstring text) {
    for (wchar_t& c : text)
        if (platform::IsHiddenOrControl(static_cast<char32_t>(c))) c = platform::kReplacementChar;
    return text;
}

}  // namespace

FolderCheck CheckOutputFolder(const std::wstring& path) {
    std::string p = platform::ToUtf8(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (p.empty()) return {FolderProblem::Empty, EINVAL, {}};

    // Each level from the top: a file in the way names itself, a missing
    // folder is made.
    std::vector<std::string> levels;
    for (size_t i = 1; i <= p.size(); ++i)
        if (i == p.size() || (p[i] == '/' && p[i - 1] != '/')) levels.push_back(p.substr(0, i));
    for (const std::string& level : levels) {
        struct stat st {};
        if (stat(level.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return Failure(ENOTDIR, level);
            continue;
        }
        if (errno != ENOENT) return Failure(errno, level);
        if (mkdir(level.c_str(), 0777) != 0 && errno != EEXIST) return Failure(errno, level);
    }

    std::string probe = p + "/.clipvane-write-check-XXXXXX";
    int fd = mkstemp(probe.data());
    if (fd < 0) return Failure(errno, p);
    close(fd);
    unlink(probe.c_str());
    return {};
}

std::wstring DescribeFolderProblem(const FolderCheck& check, const std::wstring& path) {
    const std::wstring shown = Shown(path);
    const std::wstring where = Shown(check.where.empty() ? path : check.where);
    switch (check.problem) {
        case FolderProblem::None:
            return {};
        case FolderProblem::Empty:
            return LoadText(33104);
        case FolderProblem::NotAFolder:
            return platform::FormatW(LoadText(33100).c_str(), shown.c_str(), where.c_str());
        case FolderProblem::ReadOnly:
            return platform::FormatW(LoadText(33101).c_str(), shown.c_str());
        case FolderProblem::PermissionDenied:
            return platform::FormatW(LoadText(33102).c_str(), shown.c_str(), where.c_str());
        case FolderProblem::CannotCreate:
            return platform::FormatW(LoadText(33103).c_str(), shown.c_str(),
                                     platform::FromUtf8(std::strerror(check.error)).c_str());
    }
    return {};
}

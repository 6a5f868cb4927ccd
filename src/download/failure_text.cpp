#include "download/failure_text.h"

#include <cerrno>
#include <cstring>

#include "app/localization.h"
#include "platform/text.h"

namespace failure_text {

std::wstring Format(unsigned id, const wchar_t* english, const std::wstring& a,
                    const std::wstring& b) {
    std::wstring fmt = LoadText(id);
    if (fmt.empty()) fmt = english;
    return platform::FormatW(fmt.c_str(), a.c_str(), b.c_str());
}

std::wstring WebPageInsteadOfVideo(const std::wstring& host) {
    return Format(33001, L"The video server %ls sent a web page instead of the video", host);
}

std::wstring NoAnswerInTime(const std::wstring& host) {
    return Format(33002, L"The server %ls did not answer in time", host);
}

std::wstring PageAnswered(const std::wstring& address, long status, const std::string& reason) {
    std::string code = std::to_string(status);
    if (!reason.empty()) code += " " + reason;
    return Format(33003, L"The page %ls answered %ls", address, platform::FromUtf8(code));
}

std::wstring FolderRefused(const std::wstring& folder, int err) {
    switch (err) {
        case EROFS:
            return Format(33004, L"The output folder %ls is on a read-only disk", folder);
        case EACCES:
        case EPERM:
            return Format(33005, L"The output folder %ls may not be written to (permission denied)",
                          folder);
        case ENOTDIR:
            return Format(33006, L"The output folder %ls is not a folder", folder);
        default:
            return Format(33007, L"Nothing can be written into the output folder %ls: %ls", folder,
                          platform::FromUtf8(std::strerror(err)));
    }
}

}  // namespace failure_text

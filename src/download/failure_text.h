#pragma once
// The texts of the download's failures that a user reads, in the chosen
// language; the English text stands in when no translation is loaded (a
// library user without the program's resources).
#include <string>

namespace failure_text {

// Looks up string `id`, a format with one %ls per argument.
std::wstring Format(unsigned id, const wchar_t* english, const std::wstring& a = L"",
                    const std::wstring& b = L"");

// "The video server HOST sent a web page instead of the video"
std::wstring WebPageInsteadOfVideo(const std::wstring& host);
// "The server HOST did not answer in time"
std::wstring NoAnswerInTime(const std::wstring& host);
// "The page ADDRESS answered 404 Not Found"
std::wstring PageAnswered(const std::wstring& address, long status, const std::string& reason);
// Why nothing can be written into `folder`, from the errno of the attempt:
// read-only, permission denied, not a folder, or the system's own text.
std::wstring FolderRefused(const std::wstring& folder, int err);

}  // namespace failure_text

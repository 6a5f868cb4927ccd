#pragma once
// Path, name and text-formatting helpers shared by the whole program.
#include <ctime>
#include <string>

// Creates the folder and every missing parent; failures are ignored.
void CreateFolderTree(const std::wstring& path);
// Makes a 260-character path buffer safe in place (see helpers.cpp).
void SanitizePath(wchar_t* path, wchar_t replacement);
std::wstring SanitizePath(const std::wstring& path, wchar_t replacement);
// A constant text is copied, not changed (and the copy is not cut).
inline std::wstring SanitizePath(const wchar_t* path, wchar_t replacement) {
    return SanitizePath(std::wstring(path ? path : L""), replacement);
}
// folder + '/' + name, with trailing blanks and separators of folder removed.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// A file's name without its folder and its extension ("/a/clip.mp4" gives
// "clip"; a name that starts with its only dot keeps it). Slashes and
// backslashes both end a folder.
std::wstring FileTitle(const std::wstring& path);
// The folder a path names a file in: "/" for a file at the root, empty when
// the path has no folder.
std::wstring FolderOf(const std::wstring& path);
// The version compiled in; 0 on success, -1 on failure.
int GetProgramVersion(int& major, int& minor, int& build);
// "00:mm:ss" below one hour, else "hh:mm:ss" (hours may exceed 99).
std::wstring FormatDuration(int ms);
// Time of day today, month and day this year, else the full date.
std::wstring FormatShortDate(std::time_t when);
// The same, measured against the given moment instead of the clock.
std::wstring FormatShortDate(std::time_t when, std::time_t now);
// Groups the digits of a number text by the user's LC_NUMERIC conventions.
// The text is in C notation: an optional '-', digits, an optional '.' and
// decimal digits; any other text comes back unchanged. decimals -1 keeps the
// text's own number of decimals.
std::wstring FormatGroupedNumber(const std::wstring& number, int decimals);
// The same with the conventions of a named locale ("" = from the environment).
std::wstring FormatGroupedNumber(const std::wstring& number, int decimals, const char* localeName);

inline constexpr size_t kMaxPath = 260;

#pragma once
// The application's folders and its fixed names.
#include <string>

inline constexpr const wchar_t* kAppName = L"Clipvane";

// Folder of the running executable; "." when it cannot be obtained.
std::wstring GetProgramFolder();
// Per-user data folder (created with its parents); never ends with '/'.
std::wstring GetDataFolder();

// The one form of an output folder, whether typed, chosen or read from the
// settings: blanks around it and slashes at its end dropped, characters a
// file name cannot hold replaced; nothing left stands for `fallback`.
std::wstring NormalizeFolder(const std::wstring& typed, const std::wstring& fallback);
// Why `folder` cannot take downloads, in the user's language; empty when it
// can. A missing folder is created (with its parents) to find out.
std::wstring OutputFolderProblem(const std::wstring& folder);

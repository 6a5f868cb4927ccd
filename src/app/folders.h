#pragma once
// The application's folders and its fixed names.
#include <string>

inline constexpr const wchar_t* kAppName = L"Clipvane";

// Folder of the running executable; "." when it cannot be obtained.
std::wstring GetProgramFolder();
// Per-user data folder (created with its parents); never ends with '/'.
std::wstring GetDataFolder();

#pragma once
// Where the desktop keeps things: the running executable, the per-user data
// and configuration folders and the documents folder.
#include <string>

namespace platform {

// Full path of the running executable; empty when it cannot be read.
std::wstring ExecutablePath();
// $XDG_DATA_HOME, else ~/.local/share; empty when neither is known.
std::wstring UserDataRoot();
// $XDG_CONFIG_HOME, else ~/.config; empty when neither is known.
std::wstring UserConfigRoot();
// The XDG documents folder (user-dirs.dirs, else ~/Documents); empty when
// HOME is unknown.
std::wstring DocumentsFolder();
// Folder of the last-resort output: survives a reboot, unlike /tmp.
std::wstring PersistentTempFolder();

bool PathExists(const std::wstring& path);
bool IsDirectory(const std::wstring& path);
// Creates one folder (mode 0755, or 0700 when privateDir); true when it exists afterwards.
bool MakeDirectory(const std::wstring& path, bool privateDir = false);

}  // namespace platform

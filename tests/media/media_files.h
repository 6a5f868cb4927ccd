#pragma once
// Test media made by ffmpeg once per test process, and a scratch folder.
#include <string>

namespace mediatest {

// Folder of the cached files: a.flv (video and sound), b.mp4 (video only),
// c.mp3 (sound only).
const std::string& MediaDir();
std::string Media(const std::string& name);
// A fresh folder below the cache folder.
std::string ScratchDir();
bool CopyFile(const std::string& from, const std::string& to);
// Runs a command through the shell; for test set-up only.
int Shell(const std::string& cmd);

}  // namespace mediatest

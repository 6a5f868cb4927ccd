#pragma once
#include <string>

namespace platform {
// Opens a file, folder or web address with the desktop's default program
// (xdg-open), without a shell. True when the opener could be started.
bool OpenWithDesktop(const std::wstring& target);
}  // namespace platform

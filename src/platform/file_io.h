#pragma once
// Reading a whole file into memory, bounded, without blocking on a FIFO or
// device.
#include <sys/stat.h>

#include <string>

namespace platform {

enum class ReadResult { Ok, Missing, NotRegular, TooLarge, Error };

// Reads the regular file at path (at most maxBytes) into out. st, when
// given, receives the file's status once it could be opened.
ReadResult ReadWholeFile(const std::string& path, size_t maxBytes, std::string& out,
                         struct stat* st = nullptr);

}  // namespace platform

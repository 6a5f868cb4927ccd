#pragma once
// The operating-system version record, filled from uname().
#include <string>

namespace platform {

struct OsVersionInfo {
    int major = 0;           // kernel major
    int minor = 0;           // kernel minor
    int build = 0;           // kernel patch level
    int platformId = 0;      // 2: the NT-style family every modern system reports
    std::string csdVersion;  // kernel version text, at most 127 characters
    std::string systemName;  // kernel name, e.g. "Linux"
};

bool QueryOsVersion(OsVersionInfo& out);

// Windows-style language identifier of the user's locale
// (LC_ALL, else LC_MESSAGES, else LANG); 0x0409 when none is set.
unsigned SystemDefaultLangId();
unsigned LangIdFromLocaleName(const std::string& locale);

}  // namespace platform

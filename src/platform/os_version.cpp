#include "platform/os_version.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

bool QueryOsVersion(OsVersionInfo& out) {
    out = OsVersionInfo{};
    struct utsname u;
    if (uname(&u) != 0) return false;
    // "6.1.0-13-amd64": major, minor, patch; missing parts stay 0.
    std::sscanf(u.release, "%d.%d.%d", &out.major, &out.minor, &out.build);
    out.platformId = 2;
    out.csdVersion = std::string(u.release) + " " + u.version;
    if (out.csdVersion.size() > 127) out.csdVersion.resize(127);
    out.systemName = u.sysname;
    return true;
}

unsigned LangIdFromLocaleName(const std::string& locale) {
    // "ll_TT.codeset@modifier"
    std::string name = locale.substr(0, locale.find_first_of(".@"));
    std::string lang = name.substr(0, name.find('_'));
    std::string territory =
        name.find('_') == std::string::npos ? "" : name.substr(name.find('_') + 1);
    if (lang == "ja") return 0x0411;
    if (lang == "zh") {
        if (territory == "TW") return 0x0404;
        if (territory == "HK") return 0x0C04;
        if (territory == "MO") return 0x1404;
        if (territory == "SG") return 0x1004;
        return 0x0804;
    }
    struct Primary {
        const char* lang;
        unsigned id;
    };
    static const Primary kTable[] = {
        {"en", 0x0409}, {"de", 0x0407}, {"fr", 0x040C}, {"es", 0x0C0A}, {"it", 0x0410},
        {"ko", 0x0412}, {"nl", 0x0413}, {"pt", 0x0416}, {"ru", 0x0419}, {"pl", 0x0415},
        {"sv", 0x041D}, {"cs", 0x0405}, {"tr", 0x041F}, {"fi", 0x040B}, {"da", 0x0406},
        {"nb", 0x0414}, {"el", 0x0408}, {"hu", 0x040E}, {"uk", 0x0422}, {"ar", 0x0401},
        {"he", 0x040D}, {"th", 0x041E}, {"vi", 0x042A}, {"id", 0x0421},
    };
    if (lang == "pt" && territory == "PT") return 0x0816;
    for (const auto& p : kTable)
        if (lang == p.lang) return p.id;
    return 0x0409;  // C, POSIX and unknown languages
}

unsigned SystemDefaultLangId() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) return LangIdFromLocaleName(v);
    }
    return 0x0409;
}

}  // namespace platform

#include "platform/folders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/text.h"

namespace platform {
namespace {

std::wstring EnvPath(const char* name) {
    const char* v = std::getenv(name);
    // XDG: relative paths are invalid and must be ignored.
    if (!v || v[0] != '/') return {};
    return FromUtf8(v);
}

std::wstring Home() {
    return EnvPath("HOME");
}

std::wstring StripSlash(std::wstring p) {
    while (p.size() > 1 && p.back() == L'/') p.pop_back();
    return p;
}

}  // namespace

std::wstring ExecutablePath() {
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return {};
    buf.resize(static_cast<size_t>(n));
    return FromUtf8(buf);
}

std::wstring UserDataRoot() {
    std::wstring p = EnvPath("XDG_DATA_HOME");
    if (!p.empty()) return StripSlash(p);
    std::wstring h = Home();
    return h.empty() ? std::wstring() : StripSlash(h) + L"/.local/share";
}

std::wstring UserConfigRoot() {
    std::wstring p = EnvPath("XDG_CONFIG_HOME");
    if (!p.empty()) return StripSlash(p);
    std::wstring h = Home();
    return h.empty() ? std::wstring() : StripSlash(h) + L"/.config";
}

std::wstring DocumentsFolder() {
    std::wstring home = Home();
    if (home.empty()) return {};
    home = StripSlash(home);
    // user-dirs.dirs holds lines like XDG_DOCUMENTS_DIR="$HOME/Documents".
    std::wstring cfg = UserConfigRoot();
    if (!cfg.empty()) {
        std::ifstream in(ToUtf8(cfg + L"/user-dirs.dirs"));
        std::string line;
        while (std::getline(in, line)) {
            const std::string key = "XDG_DOCUMENTS_DIR=";
            if (line.compare(0, key.size(), key) != 0) continue;
            std::string v = line.substr(key.size());
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
            std::wstring w;
            if (v.compare(0, 5, "$HOME") == 0)
                w = home + FromUtf8(v.substr(5));
            else if (!v.empty() && v[0] == '/')
                w = FromUtf8(v);
            w = StripSlash(w);
            // A documents folder equal to HOME means "not set up".
            if (!w.empty() && w != home) return w;
        }
    }
    return home + L"/Documents";
}

std::wstring PersistentTempFolder() {
    std::wstring h = Home();
    if (!h.empty()) return StripSlash(h) + L"/.cache/Clipvane/temp";
    return L"/var/tmp/Clipvane";
}

bool PathExists(const std::wstring& path) {
    struct stat st;
    return ::stat(ToUtf8(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::wstring& path) {
    struct stat st;
    return ::stat(ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::wstring& path, bool privateDir) {
    std::string p = ToUtf8(path);
    if (::mkdir(p.c_str(), privateDir ? 0700 : 0755) == 0) return true;
    return errno == EEXIST && IsDirectory(path);
}

}  // namespace platform

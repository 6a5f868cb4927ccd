#include "platform/hive.h"

#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>

#include "platform/folders.h"
#include "platform/text.h"

namespace platform {

struct detail::HiveKey {
    std::wstring name;
    std::vector<RegValue> values;                              // in the order first written
    std::map<std::wstring, std::unique_ptr<HiveKey>> subKeys;  // by AsciiLower(name)
};

namespace {

using Key = detail::HiveKey;
using Sig = std::array<uint64_t, 4>;

constexpr std::string_view kHeader = "Clipvane registry hive 1";
constexpr std::string_view kEndLine = "; end of hive";
constexpr size_t kMaxFileBytes = size_t{16} << 20;
// Coarser than any file-system timestamp tick.
constexpr int64_t kRacyNs = 100'000'000;

// RAII file descriptor.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

Sig SigOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
            static_cast<uint64_t>(st.st_size),
            static_cast<uint64_t>(int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec)};
}

// A character that may stand unescaped in the file (and in key names).
bool PlainChar(wchar_t c) {
    uint32_t u = static_cast<uint32_t>(c);
    return u >= 0x20 && u != 0x7f && !(u >= 0x80 && u < 0xa0) && !(u >= 0xd800 && u < 0xe000) &&
           u <= 0x10ffff;
}

bool SplitPath(std::wstring_view path, std::vector<std::wstring>& parts) {
    parts.clear();
    if (path.empty()) return true;
    for (;;) {
        size_t end = path.find(L'\\');
        std::wstring_view part = path.substr(0, end);
        if (part.empty()) return false;
        for (wchar_t c : part)
            if (!PlainChar(c)) return false;
        parts.emplace_back(part);
        if (end == std::wstring_view::npos) return true;
        path.remove_prefix(end + 1);
    }
}

Key* Find(Key* k, const std::vector<std::wstring>& parts) {
    for (const auto& p : parts) {
        auto it = k->subKeys.find(AsciiLower(p));
        if (it == k->subKeys.end()) return nullptr;
        k = it->second.get();
    }
    return k;
}

Key* Make(Key* k, const std::vector<std::wstring>& parts) {
    for (const auto& p : parts) {
        auto& slot = k->subKeys[AsciiLower(p)];
        if (!slot) {
            slot = std::make_unique<Key>();
            slot->name = p;
        }
        k = slot.get();
    }
    return k;
}

std::vector<RegValue>::iterator FindValue(Key& k, std::wstring_view name) {
    auto it = k.values.begin();
    while (it != k.values.end() && !EqualsNoCase(it->name, name)) ++it;
    return it;
}

void Store(Key& k, RegValue v) {
    if (v.type == RegType::String)
        v.bytes.clear();
    else
        v.text.clear();
    auto it = FindValue(k, v.name);
    if (it == k.values.end()) {
        k.values.push_back(std::move(v));
    } else {
        v.name = std::move(it->name);
        *it = std::move(v);
    }
}

bool Valid(const HiveChange& c, std::vector<std::wstring>& parts) {
    if (!SplitPath(c.keyPath, parts)) return false;
    switch (c.kind) {
        case HiveChange::CreateKey:
        case HiveChange::DeleteValue:
            return true;
        case HiveChange::DeleteKey:
            return !parts.empty();
        case HiveChange::SetValue:
            return c.value.type == RegType::String || c.value.type == RegType::Binary ||
                   (c.value.type == RegType::Dword && c.value.bytes.size() == 4);
    }
    return false;
}

void ApplyTo(Key& root, const HiveChange& c, const std::vector<std::wstring>& parts) {
    switch (c.kind) {
        case HiveChange::CreateKey:
            Make(&root, parts);
            break;
        case HiveChange::SetValue:
            Store(*Make(&root, parts), c.value);
            break;
        case HiveChange::DeleteValue:
            if (Key* k = Find(&root, parts)) {
                auto it = FindValue(*k, c.value.name);
                if (it != k->values.end()) k->values.erase(it);
            }
            break;
        case HiveChange::DeleteKey: {
            std::vector<std::wstring> parent(parts.begin(), parts.end() - 1);
            if (Key* k = Find(&root, parent)) k->subKeys.erase(AsciiLower(parts.back()));
            break;
        }
    }
}

// ---- writing

void AppendQuoted(std::string& out, std::wstring_view s) {
    out += '"';
    for (wchar_t c : s) {
        switch (c) {
            case L'\\':
                out += "\\\\";
                break;
            case L'"':
                out += "\\\"";
                break;
            case L'\n':
                out += "\\n";
                break;
            case L'\r':
                out += "\\r";
                break;
            case L'\t':
                out += "\\t";
                break;
            default:
                if (PlainChar(c))
                    AppendUtf8(out, static_cast<char32_t>(c));
                else
                    out += Format("\\u{%X}", static_cast<unsigned>(c));
        }
    }
    out += '"';
}

void AppendHex(std::string& out, uint8_t b) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
}

// Writes a section for every key that holds values or is a leaf; the keys
// above it are implied.
void WriteKey(std::string& out, const Key& k, const std::wstring& path) {
    if (!k.values.empty() || (k.subKeys.empty() && !path.empty())) {
        out += "\n[" + ToUtf8(path) + "]\n";
        for (const RegValue& v : k.values) {
            AppendQuoted(out, v.name);
            if (v.type == RegType::String) {
                out += "=sz:";
                AppendQuoted(out, v.text);
            } else if (v.type == RegType::Dword) {
                out += "=dword:";
                for (int i = 3; i >= 0; --i) AppendHex(out, v.bytes[i]);
            } else {
                out += "=hex:";
                for (size_t i = 0; i < v.bytes.size(); ++i) {
                    if (i) out += ',';
                    AppendHex(out, v.bytes[i]);
                }
            }
            out += '\n';
        }
    }
    for (const auto& entry : k.subKeys) {
        const Key& sub = *entry.second;
        WriteKey(out, sub, path.empty() ? sub.name : path + L'\\' + sub.name);
    }
}

std::string Serialize(const Key& root) {
    std::string out(kHeader);
    out += '\n';
    WriteKey(out, root, L"");
    out += '\n';
    out += kEndLine;
    out += '\n';
    return out;
}

// ---- reading

bool ParseHex(std::string_view s, size_t maxDigits, uint32_t& v) {
    if (s.empty() || s.size() > maxDigits) return false;
    v = 0;
    for (char c : s) {
        int d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
        if (d < 0) return false;
        v = v << 4 | static_cast<uint32_t>(d);
    }
    return true;
}

// Reads a quoted, escaped text at the start of s and consumes it.
bool ParseQuoted(std::string_view& s, std::wstring& out) {
    if (s.empty() || s[0] != '"') return false;
    out.clear();
    size_t i = 1;
    for (;;) {
        size_t j = s.find_first_of("\\\"", i);
        if (j == std::string_view::npos) return false;
        out += FromUtf8(s.substr(i, j - i));
        if (s[j] == '"') {
            s.remove_prefix(j + 1);
            return true;
        }
        if (j + 1 >= s.size()) return false;
        i = j + 2;
        switch (s[j + 1]) {
            case '\\':
                out += L'\\';
                break;
            case '"':
                out += L'"';
                break;
            case 'n':
                out += L'\n';
                break;
            case 'r':
                out += L'\r';
                break;
            case 't':
                out += L'\t';
                break;
            case 'u': {
                size_t close = s.find('}', i);
                uint32_t cp = 0;
                if (i >= s.size() || s[i] != '{' || close == std::string_view::npos ||
                    !ParseHex(s.substr(i + 1, close - i - 1), 8, cp))
                    return false;
                out += static_cast<wchar_t>(cp);
                i = close + 1;
                break;
            }
            default:
                return false;
        }
    }
}

bool ParseValue(std::string_view s, RegValue& v) {
    if (!ParseQuoted(s, v.name)) return false;
    s = Trim(s);
    if (s.empty() || s[0] != '=') return false;
    s = Trim(s.substr(1));
    auto consume = [&s](std::string_view prefix) {
        if (s.substr(0, prefix.size()) != prefix) return false;
        s.remove_prefix(prefix.size());
        return true;
    };
    if (consume("sz:")) {
        v.type = RegType::String;
        return ParseQuoted(s, v.text) && Trim(s).empty();
    }
    uint32_t x = 0;
    if (consume("dword:")) {
        if (!ParseHex(Trim(s), 8, x)) return false;
        v = RegValue::Dword(std::move(v.name), x);
        return true;
    }
    if (!consume("hex:")) return false;
    v.type = RegType::Binary;
    s = Trim(s);
    while (!s.empty()) {
        size_t comma = s.find(',');
        std::string_view item = Trim(s.substr(0, comma));
        if (item.size() != 2 || !ParseHex(item, 2, x)) return false;
        v.bytes.push_back(static_cast<uint8_t>(x));
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
        if (Trim(s).empty()) return false;  // trailing comma
    }
    return true;
}

// The keys of a hive file's text; null when the text is damaged.
std::unique_ptr<Key> Parse(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (ToUtf8(FromUtf8(text)) != text) return nullptr;  // not valid UTF-8
    auto root = std::make_unique<Key>();
    Key* section = nullptr;
    bool header = false, ended = false;
    std::vector<std::wstring> parts;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = Trim(line);
        for (char c : line)
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return nullptr;
        if (!header) {
            if (line != kHeader) return nullptr;
            header = true;
            continue;
        }
        if (line.empty()) continue;
        if (ended) return nullptr;  // only blank lines may follow the end line
        if (line == kEndLine) {
            ended = true;
        } else if (line[0] == '[') {
            if (line.back() != ']' || !SplitPath(FromUtf8(line.substr(1, line.size() - 2)), parts))
                return nullptr;
            section = Make(root.get(), parts);
        } else if (line[0] != ';') {
            RegValue v;
            if (!section || !ParseValue(line, v)) return nullptr;
            Store(*section, std::move(v));
        }
    }
    return ended ? std::move(root) : nullptr;
}

struct FileState {
    enum Kind { Missing, Good, Damaged, NotFile } kind = Missing;
    std::unique_ptr<Key> root = std::make_unique<Key>();  // empty unless Good
    std::string bytes;
    bool opened = false;
    struct stat st {};
};

// Reads the hive file as it is now; never blocks on a special file.
FileState ReadHiveFile(const std::string& path) {
    FileState f;
    switch (ReadWholeFile(path, kMaxFileBytes, f.bytes, &f.st)) {
        case ReadResult::Missing:
            f.kind = FileState::Missing;
            return f;
        case ReadResult::NotRegular:
            f.opened = true;
            f.kind = FileState::NotFile;
            return f;
        case ReadResult::Ok:
            f.opened = true;
            break;
        case ReadResult::TooLarge:
            f.opened = true;
            f.kind = FileState::Damaged;
            return f;
        case ReadResult::Error:
            // Opened but unreadable still counts as a file that is there.
            f.opened = f.st.st_mode != 0;
            f.kind = FileState::Damaged;
            return f;
    }
    f.kind = FileState::Damaged;
    if (auto root = Parse(f.bytes)) {
        f.root = std::move(root);
        f.kind = FileState::Good;
    }
    return f;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string DirName(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates the folders above a file (mode 0700 each, as the desktop rules ask).
bool MakeParents(const std::string& path) {
    std::string dir = DirName(path);
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos < dir.size() && dir[pos] != '/') continue;
        std::string prefix = dir.substr(0, pos);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

RegValue RegValue::String(std::wstring name, std::wstring text) {
    RegValue v;
    v.type = RegType::String;
    v.name = std::move(name);
    v.text = std::move(text);
    return v;
}

RegValue RegValue::Dword(std::wstring name, uint32_t x) {
    RegValue v;
    v.type = RegType::Dword;
    v.name = std::move(name);
    v.bytes = {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x >> 16),
               static_cast<uint8_t>(x >> 24)};
    return v;
}

RegValue RegValue::Binary(std::wstring name, std::vector<uint8_t> bytes) {
    RegValue v;
    v.type = RegType::Binary;
    v.name = std::move(name);
    v.bytes = std::move(bytes);
    return v;
}

Hive::Hive(std::string filePath, bool readOnly)
    : path_(std::move(filePath)), readOnly_(readOnly), root_(std::make_shared<Key>()) {}

void Hive::Refresh() {
    struct stat st {};
    Sig sig =
        stat(path_.c_str(), &st) == 0 ? SigOf(st) : Sig{0, 0, 0, static_cast<uint64_t>(errno)};
    if (loaded_ && sig == Sig{statSig_[0], statSig_[1], statSig_[2], statSig_[3]} &&
        loadedAtNs_ - static_cast<int64_t>(statSig_[3]) > kRacyNs)
        return;
    loadedAtNs_ = NowNs();
    FileState f = ReadHiveFile(path_);
    if (f.opened) sig = SigOf(f.st);
    std::copy(sig.begin(), sig.end(), statSig_);
    root_ = std::move(f.root);
    damaged_ = f.kind == FileState::Damaged || f.kind == FileState::NotFile;
    loaded_ = true;
}

const Hive::Key* Hive::FindKey(const std::wstring& keyPath) {
    std::vector<std::wstring> parts;
    if (!SplitPath(keyPath, parts)) return nullptr;
    Refresh();
    return Find(root_.get(), parts);
}

bool Hive::KeyExists(const std::wstring& keyPath) {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindKey(keyPath) != nullptr;
}

std::optional<RegValue> Hive::Query(const std::wstring& keyPath, const std::wstring& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Key* k = FindKey(keyPath);
    if (!k) return std::nullopt;
    for (const RegValue& v : k->values)
        if (EqualsNoCase(v.name, name)) return v;
    return std::nullopt;
}

std::vector<std::wstring> Hive::ValueNames(const std::wstring& keyPath) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::wstring> names;
    if (const Key* k = FindKey(keyPath))
        for (const RegValue& v : k->values) names.push_back(v.name);
    return names;
}

std::vector<std::wstring> Hive::SubKeyNames(const std::wstring& keyPath) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::wstring> names;
    if (const Key* k = FindKey(keyPath))
        for (const auto& entry : k->subKeys) names.push_back(entry.second->name);
    return names;
}

bool Hive::LastReadDamaged() {
    std::lock_guard<std::mutex> lock(mutex_);
    Refresh();
    return damaged_;
}

bool Hive::Apply(const std::vector<HiveChange>& changes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (readOnly_ || path_.empty()) return false;
    std::vector<std::vector<std::wstring>> parts(changes.size());
    for (size_t i = 0; i < changes.size(); ++i)
        if (!Valid(changes[i], parts[i])) return false;
    if (!MakeParents(path_)) return false;

    // One writer at a time across processes; readers need no lock since the
    // file is only ever replaced whole.
    Fd lockFd(open((path_ + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    if (lockFd.fd < 0) return false;
    while (flock(lockFd.fd, LOCK_EX) != 0)
        if (errno != EINTR) return false;
    // A temporary left by a writer that died goes, whatever happens next.
    const std::string tmp = path_ + ".tmp";
    unlink(tmp.c_str());

    FileState f = ReadHiveFile(path_);
    if (f.kind == FileState::NotFile) return false;
    for (size_t i = 0; i < changes.size(); ++i) ApplyTo(*f.root, changes[i], parts[i]);
    std::string text = Serialize(*f.root);
    if (text.size() > kMaxFileBytes) return false;  // would read back as damaged

    const int64_t now = NowNs();
    if (f.kind == FileState::Good && text == f.bytes && (f.st.st_mode & 07777) == 0600) {
        Sig sig = SigOf(f.st);
        std::copy(sig.begin(), sig.end(), statSig_);
    } else {
        Fd out(open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
        if (out.fd < 0) return false;
        struct stat st {};
        bool ok = WriteAll(out.fd, text) && fchmod(out.fd, 0600) == 0 && fsync(out.fd) == 0 &&
                  fstat(out.fd, &st) == 0;
        // The damaged file is kept, not copied: it is moved aside just before
        // the good one takes its place.
        if (ok && f.kind == FileState::Damaged)
            ok = rename(path_.c_str(), (path_ + ".damaged").c_str()) == 0 || errno == ENOENT;
        ok = ok && rename(tmp.c_str(), path_.c_str()) == 0;
        if (!ok) {
            unlink(tmp.c_str());
            return false;
        }
        Fd dir(open(DirName(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.fd >= 0) fsync(dir.fd);
        Sig sig = SigOf(st);
        std::copy(sig.begin(), sig.end(), statSig_);
    }
    root_ = std::move(f.root);
    damaged_ = false;
    loadedAtNs_ = now;
    loaded_ = true;
    return true;
}

void Hive::Retarget(std::string path) {
    std::lock_guard<std::mutex> lock(mutex_);
    path_ = std::move(path);
    root_ = std::make_shared<Key>();
    damaged_ = false;
    loaded_ = false;
}

namespace {
std::mutex g_userMutex;
std::unique_ptr<Hive> g_user;
}  // namespace

Hive& Hive::CurrentUser() {
    std::lock_guard<std::mutex> lock(g_userMutex);
    if (!g_user) {
        std::wstring root = UserConfigRoot();
        g_user = std::make_unique<Hive>(root.empty() ? std::string()
                                                     : ToUtf8(root) + "/Clipvane/registry.hive");
    }
    return *g_user;
}

Hive& Hive::LocalMachine() {
    static Hive machine("/etc/clipvane/registry.hive", true);
    return machine;
}

void Hive::SetCurrentUserPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_userMutex);
    if (g_user)
        g_user->Retarget(path);
    else
        g_user = std::make_unique<Hive>(path);
}

}  // namespace platform

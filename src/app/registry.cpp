#include "app/registry.h"

#include <cerrno>
#include <cstring>

#include "app/folders.h"
#include "platform/text.h"

namespace {
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorMoreData = 234;

// The bytes a value holds as the registry would hand them out.
std::vector<uint8_t> RawBytes(const platform::RegValue& v) {
    if (v.type != platform::RegType::String) return v.bytes;
    std::vector<uint8_t> out;
    for (wchar_t c : v.text) {
        // UTF-16 little-endian, as the registry stores text.
        auto put = [&out](uint32_t u) {
            out.push_back(static_cast<uint8_t>(u & 0xFF));
            out.push_back(static_cast<uint8_t>(u >> 8));
        };
        uint32_t cp = static_cast<uint32_t>(c);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}
}  // namespace

CARRegistry::~CARRegistry() {
    CloseKey();
}

std::wstring CARRegistry::Prefix() {
    return std::wstring(L"Software\\") + kAppName + L"\\";
}

platform::Hive& CARRegistry::Root() const {
    return machineWide ? platform::Hive::LocalMachine() : platform::Hive::CurrentUser();
}

bool CARRegistry::Flush() {
    if (pending_.empty()) return true;
    bool ok = Root().Apply(pending_);
    pending_.clear();
    return ok;
}

void CARRegistry::CloseKey() {
    if (keyOpen_) Flush();
    keyOpen_ = false;
    fullPath_.clear();
    keyPath_.clear();
}

static std::wstring Compose(const std::wstring& path, bool absolute) {
    std::wstring p = path;
    if (!p.empty() && p.back() == L'\\') p.pop_back();
    return absolute ? p : CARRegistry::Prefix() + p;
}

bool CARRegistry::CreateKey(const std::wstring& path) {
    if (readOnly) return false;
    if (keyOpen_) CloseKey();
    keyPath_ = path;
    std::wstring full = Compose(path, absolutePaths);
    lastType = 0;
    lastSize = 0;
    if (!Root().Apply({platform::HiveChange{platform::HiveChange::CreateKey, full, {}}})) {
        lastError = kErrorAccessDenied;
        return false;
    }
    lastError = 0;
    fullPath_ = full;
    keyOpen_ = true;
    return true;
}

bool CARRegistry::OpenKey(const std::wstring& path) {
    if (keyOpen_) CloseKey();
    keyPath_ = path;
    std::wstring full = Compose(path, absolutePaths);
    lastType = 0;
    lastSize = 0;
    // A writable open of a key in a hive that cannot be written fails.
    if (!Root().KeyExists(full) || (!readOnly && Root().ReadOnly())) {
        lastError = Root().KeyExists(full) ? kErrorAccessDenied : kErrorFileNotFound;
        return false;
    }
    lastError = 0;
    fullPath_ = full;
    keyOpen_ = true;
    return true;
}

bool CARRegistry::QueueWrite(platform::RegValue v, bool setResult) {
    if (readOnly) return false;
    if (!keyOpen_) {
        if (setResult) lastError = kErrorAccessDenied;
        return false;
    }
    if (setResult) {
        lastError = 0;
        lastType = static_cast<uint32_t>(v.type);
        lastSize = v.type == platform::RegType::String ? static_cast<uint32_t>(v.text.size() + 1)
                                                       : v.Size();
    }
    pending_.push_back(
        platform::HiveChange{platform::HiveChange::SetValue, fullPath_, std::move(v)});
    return true;
}

bool CARRegistry::WriteString(const std::wstring& name, const std::wstring& text) {
    return QueueWrite(platform::RegValue::String(name, text), true);
}

bool CARRegistry::WriteInt(const std::wstring& name, int32_t value) {
    return QueueWrite(platform::RegValue::Dword(name, static_cast<uint32_t>(value)), false);
}

bool CARRegistry::WriteDword(const std::wstring& name, uint32_t value) {
    return QueueWrite(platform::RegValue::Dword(name, value), true);
}

bool CARRegistry::PlainRead(const std::wstring& name, platform::RegValue& out) {
    if (!keyOpen_) {
        lastError = kErrorFileNotFound;
        return false;
    }
    // A value written but not yet saved reads back as written.
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
        if (it->kind == platform::HiveChange::SetValue &&
            platform::EqualsNoCase(it->value.name, name)) {
            out = it->value;
            return true;
        }
    }
    auto v = Root().Query(fullPath_, name);
    if (!v) {
        lastError = kErrorFileNotFound;
        lastType = 0;
        lastSize = 0;
        return false;
    }
    out = *v;
    return true;
}

bool CARRegistry::ReadString(const std::wstring& name, std::wstring& out, const std::wstring& def) {
    platform::RegValue v;
    if (!PlainRead(name, v)) {
        out = def;
        return false;
    }
    lastError = 0;
    lastType = static_cast<uint32_t>(v.type);
    if (v.type == platform::RegType::String) {
        out = v.text;
        lastSize = static_cast<uint32_t>(v.text.size() + 1);
        return true;
    }
    // Any other type is taken as UTF-16 text, as the registry would.
    std::vector<uint8_t> raw = RawBytes(v);
    lastSize = static_cast<uint32_t>(raw.size());
    std::wstring text;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(raw[i] | (raw[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    out = text;
    return true;
}

bool CARRegistry::ReadDword(const std::wstring& name, uint32_t& out, uint32_t def) {
    platform::RegValue v;
    if (!PlainRead(name, v)) {
        out = def;
        return false;
    }
    std::vector<uint8_t> raw = RawBytes(v);
    lastType = static_cast<uint32_t>(v.type);
    lastSize = static_cast<uint32_t>(raw.size());
    if (raw.size() > 4) {
        lastError = kErrorMoreData;
        out = def;
        return false;
    }
    lastError = 0;
    std::memcpy(&out, raw.data(), raw.size());
    return true;
}

bool CARRegistry::ReadInt(const std::wstring& name, int32_t& out, int32_t def) {
    uint32_t u = static_cast<uint32_t>(out);
    bool ok = ReadDword(name, u, static_cast<uint32_t>(def));
    out = static_cast<int32_t>(u);
    return ok;
}

CARRegistryHolder::~CARRegistryHolder() {
    if (reg_) reg_->CloseKey();
}

CARRegistry& CARRegistryHolder::Get() {
    if (!reg_) {
        reg_ = std::make_unique<CARRegistry>();
        reg_->readOnly = readOnly_;
        reg_->machineWide = machineWide_;
    }
    return *reg_;
}

#include "platform/resource_bundle.h"

#include <charconv>

#include "platform/file_io.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr std::string_view kMagic = "CVRES 1\n";
constexpr std::string_view kEnd = "END\n";
constexpr size_t kMaxBundle = 256u << 20;

std::string_view NextLine(std::string_view& rest) {
    size_t nl = rest.find('\n');
    if (nl == std::string_view::npos) return {};
    std::string_view line = rest.substr(0, nl);
    rest.remove_prefix(nl + 1);
    return line;
}

}  // namespace

bool ResourceBundle::Load(const std::string& path) {
    Unload();
    std::string bytes;
    if (ReadWholeFile(path, kMaxBundle, bytes) != ReadResult::Ok) return false;
    return LoadFromBytes(std::move(bytes));
}

bool ResourceBundle::LoadFromBytes(std::string bytes) {
    Unload();
    bytes_ = std::move(bytes);
    std::string_view rest = bytes_;
    if (rest.substr(0, kMagic.size()) != kMagic) return Unload(), false;
    rest.remove_prefix(kMagic.size());
    std::map<std::string, std::string_view, std::less<>> entries;
    for (;;) {
        if (rest == kEnd) break;
        std::string_view line = NextLine(rest);
        size_t sp = line.rfind(' ');
        if (line.empty() || sp == std::string_view::npos || sp == 0) return Unload(), false;
        size_t size = 0;
        auto [p, ec] = std::from_chars(line.data() + sp + 1, line.data() + line.size(), size);
        if (ec != std::errc() || p != line.data() + line.size()) return Unload(), false;
        if (size + 1 > rest.size() || rest[size] != '\n') return Unload(), false;
        entries.emplace(std::string(line.substr(0, sp)), rest.substr(0, size));
        rest.remove_prefix(size + 1);
    }
    entries_ = std::move(entries);
    if (auto table = Find("strings.txt")) strings_ = ParseStringTable(*table);
    loaded_ = true;
    return true;
}

void ResourceBundle::Unload() {
    entries_.clear();
    strings_.clear();
    bytes_.clear();
    loaded_ = false;
}

std::optional<std::string_view> ResourceBundle::Find(const std::string& name) const {
    auto it = entries_.find(name);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

std::wstring ResourceBundle::String(unsigned id) const {
    auto it = strings_.find(id);
    return it == strings_.end() ? std::wstring() : it->second;
}

std::optional<std::string_view> ResourceBundle::Dialog(unsigned id) const {
    return Find("dialogs/" + std::to_string(id) + ".dlg");
}
std::optional<std::string_view> ResourceBundle::Menu(unsigned id) const {
    return Find("menus/" + std::to_string(id) + ".menu");
}
std::optional<std::string_view> ResourceBundle::Accelerators(unsigned id) const {
    return Find("accelerators/" + std::to_string(id) + ".acc");
}
std::optional<std::string_view> ResourceBundle::Bitmap(unsigned id) const {
    return Find("bitmaps/" + std::to_string(id) + ".png");
}
std::optional<std::string_view> ResourceBundle::Icon(unsigned id) const {
    return Find("icons/" + std::to_string(id) + ".png");
}

ResourceBundle& ResourceBundle::Current() {
    static ResourceBundle bundle;
    return bundle;
}

std::string ResourceBundle::Pack(const std::map<std::string, std::string>& entries) {
    std::string out(kMagic);
    for (const auto& [name, data] : entries) {
        out += name;
        out += ' ';
        out += std::to_string(data.size());
        out += '\n';
        out += data;
        out += '\n';
    }
    out += kEnd;
    return out;
}

std::map<unsigned, std::wstring> ResourceBundle::ParseStringTable(std::string_view text) {
    std::map<unsigned, std::wstring> table;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;
        size_t eq = line.find('=');
        unsigned id = 0;
        auto [p, ec] = std::from_chars(line.data(), line.data() + std::min(eq, line.size()), id);
        if (eq == std::string_view::npos || ec != std::errc() || p != line.data() + eq) continue;
        std::string value;
        for (size_t i = eq + 1; i < line.size(); ++i) {
            char c = line[i];
            if (c == '\\' && i + 1 < line.size()) {
                char n = line[i + 1];
                if (n == 'n' || n == 't' || n == '\\') {
                    value += n == 'n' ? '\n' : n == 't' ? '\t' : '\\';
                    ++i;
                    continue;
                }
            }
            value += c;
        }
        table[id] = FromUtf8(value);
    }
    return table;
}

}  // namespace platform

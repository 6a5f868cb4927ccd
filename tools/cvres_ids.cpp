// Names the numbers of the resource sources for the code, and checks that
// every translation of a format keeps the English format's arguments.
// Usage: cvres_ids OUTPUT RESOURCE_DIR [LANGUAGE_FILE...]
//
// Writes a header (only when its text changes, so nothing rebuilds for a
// comment) with
//   ids::str::k<Name>             string numbers of strings.txt
//   ids::cmd::k<Name>             commands of the menus and key tables
//   ids::menu::k<Name>, ids::keys::k<Name>   menus and key tables
//   ids::dlg::k<Name>             dialog layouts
//   ids::ctl::<name>::k<Name>     the controls of dialog <Name>, snake_case
// A name is the one given in the source ("name=Word" on a layout line, or
// "; name: Word" at the end of the comment line above a string); otherwise it
// is made of the first four words of the English text, articles left out, in
// CamelCase ("Show in &Folder\tCtrl+E" gives ShowInFolder). A text that gives
// no word gives no name. Two numbers of one kind with one name, or a command
// named two ways, stop the build: give one of them a name.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/menu_template.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> errors;

void Error(const std::string& where, const std::string& what) {
    errors.push_back(where + ": " + what);
}

std::optional<std::string> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// The conversions of a printf format in order: "%ls", "%d", "%%", "%.2f"; a
// percent sign that ends the text counts as "%".
std::vector<std::string> Conversions(std::string_view s) {
    std::vector<std::string> out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') continue;
        size_t j = i + 1;
        while (j < s.size() &&
               std::string_view("-+ #0123456789.*").find(s[j]) != std::string_view::npos)
            ++j;
        while (j < s.size() && std::string_view("hlLqjzt").find(s[j]) != std::string_view::npos)
            ++j;
        if (j < s.size()) ++j;
        out.emplace_back(s.substr(i, j - i));
        i = j - 1;
    }
    return out;
}

std::string Joined(const std::vector<std::string>& v) {
    if (v.empty()) return "no arguments";
    std::string out;
    for (const auto& c : v) out += (out.empty() ? "" : " ") + c;
    return out;
}

std::string DerivedName(const std::wstring& wide) {
    std::string text = platform::ToUtf8(wide);
    if (size_t tab = text.find('\t'); tab != std::string::npos) text.resize(tab);
    std::string cleaned;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            auto c = Conversions(std::string_view(text).substr(i));
            i += c.front().size() - 1;
            cleaned += ' ';
        } else if (text[i] == '&' || text[i] == '\'') {
            continue;
        } else {
            cleaned += text[i];
        }
    }
    std::string name;
    int words = 0;
    size_t i = 0;
    auto alnum = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    while (i < cleaned.size() && words < 4) {
        if (!alnum(cleaned[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < cleaned.size() && alnum(cleaned[end])) ++end;
        std::string word = cleaned.substr(i, end - i);
        i = end;
        std::string lower;
        for (char c : word) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower == "a" || lower == "an" || lower == "the") continue;
        word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
        name += word;
        ++words;
    }
    return name;
}

std::string SnakeCase(const std::string& camel) {
    std::string out;
    for (size_t i = 0; i < camel.size(); ++i) {
        const char c = camel[i];
        const bool upper = c >= 'A' && c <= 'Z';
        if (upper && i > 0 && !(camel[i - 1] >= 'A' && camel[i - 1] <= 'Z')) out += '_';
        out += upper ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

// The text of a generated comment: one line, no control characters.
std::string OneLine(const std::wstring& wide) {
    std::string s = platform::ToUtf8(wide);
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    if (s.size() > 60) {
        size_t cut = 57;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
        s = s.substr(0, cut) + "...";
    }
    return s;
}

// Names of one kind: each number has one name and each name one number.
class NameTable {
  public:
    explicit NameTable(std::string kind) : kind_(std::move(kind)) {}

    void Add(const std::string& where, int id, const std::string& given, const std::wstring& text) {
        const bool explicitName = !given.empty();
        const std::string name = explicitName ? given : DerivedName(text);
        if (name.empty()) return;
        auto it = byId_.find(id);
        if (it != byId_.end()) {
            Entry& e = it->second;
            if (e.name == name) {
                e.explicitName = e.explicitName || explicitName;
                return;
            }
            // A given name overrides what another text of the same number gives.
            if (explicitName && !e.explicitName) {
                byName_.erase(e.name);
            } else if (!explicitName && e.explicitName) {
                return;
            } else {
                Error(where, kind_ + " " + std::to_string(id) + " is named both " + e.name + " (" +
                                 e.where + ") and " + name + "; give it one name= in both places");
                return;
            }
        }
        auto other = byName_.find(name);
        if (other != byName_.end() && other->second != id) {
            Error(where, kind_ + " " + std::to_string(id) + " and " +
                             std::to_string(other->second) + " (" + byId_[other->second].where +
                             ") are both named " + name + "; give one of them a name of its own");
            return;
        }
        byId_[id] = Entry{name, where, OneLine(text), explicitName};
        byName_[name] = id;
    }

    void Write(std::ostream& out, const std::string& ns, const char* type) const {
        out << "namespace " << ns << " {\n";
        for (const auto& [id, e] : byId_) {
            out << "inline constexpr " << type << " k" << e.name << " = " << id << ";";
            if (!e.text.empty()) out << "  // " << e.text;
            out << "\n";
        }
        out << "}  // namespace " << ns << "\n";
    }

  private:
    struct Entry {
        std::string name, where, text;
        bool explicitName = false;
    };
    std::string kind_;
    std::map<int, Entry> byId_;
    std::map<std::string, int> byName_;
};

// English strings with the names their comment lines give.
std::map<unsigned, std::wstring> ReadStrings(const fs::path& path, NameTable& names) {
    auto text = ReadFile(path);
    if (!text) {
        Error(path.string(), "cannot be read");
        return {};
    }
    std::map<unsigned, std::wstring> table = platform::ResourceBundle::ParseStringTable(*text);
    std::string comment;
    int number = 0;
    for (const std::string& line : Lines(*text)) {
        ++number;
        if (line.empty()) continue;
        if (line[0] == '#') {
            comment = line;
            continue;
        }
        const std::string where = path.filename().string() + ":" + std::to_string(number);
        size_t eq = line.find('=');
        unsigned id = 0;
        try {
            id = static_cast<unsigned>(std::stoul(line.substr(0, eq)));
        } catch (...) {
            Error(where, "not a numbered string");
            continue;
        }
        std::string given;
        if (size_t at = comment.rfind("; name: "); at != std::string::npos) {
            given = comment.substr(at + 8);
            while (!given.empty() && given.back() == ' ') given.pop_back();
        }
        comment.clear();
        names.Add(where, static_cast<int>(id), given, table.count(id) ? table[id] : L"");
    }
    return table;
}

// A translation's strings whose arguments differ from the English ones.
void CheckFormats(const fs::path& path, const std::map<unsigned, std::wstring>& english) {
    auto text = ReadFile(path);
    if (!text) {
        Error(path.string(), "cannot be read");
        return;
    }
    std::string section;
    int number = 0;
    for (const std::string& line : Lines(*text)) {
        ++number;
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        if (section != "STRING") continue;
        size_t eq = line.find('=');
        unsigned id = 0;
        try {
            id = static_cast<unsigned>(std::stoul(line.substr(0, eq)));
        } catch (...) {
            continue;
        }
        auto it = english.find(id);
        if (it == english.end() || eq == std::string::npos) continue;
        const auto want = Conversions(platform::ToUtf8(it->second));
        const auto have = Conversions(std::string_view(line).substr(eq + 1));
        if (have != want)
            Error(path.filename().string() + ":" + std::to_string(number),
                  "string " + std::to_string(id) + " has " + Joined(have) +
                      " where the English text has " + Joined(want));
    }
}

std::vector<fs::path> Files(const fs::path& dir, const std::string& extension) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.path().extension() == extension) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

void AddCommands(const std::string& where, const std::vector<platform::MenuItemTemplate>& items,
                 NameTable& commands) {
    for (const auto& i : items) {
        if (i.kind == platform::MenuItemTemplate::Kind::Command)
            commands.Add(where, i.command, i.name, i.text);
        AddCommands(where, i.children, commands);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: cvres_ids OUTPUT RESOURCE_DIR [LANGUAGE_FILE...]\n");
        return 2;
    }
    const fs::path out = argv[1], res = argv[2];

    NameTable strings("string"), commands("command"), menus("menu"), keyTables("key table"),
        dialogs("dialog");
    const auto english = ReadStrings(res / "strings.txt", strings);
    for (int i = 3; i < argc; ++i) CheckFormats(argv[i], english);

    for (const auto& path : Files(res / "menus", ".menu")) {
        const std::string where = "menus/" + path.filename().string();
        std::string why;
        auto m = platform::ParseMenuTemplate(ReadFile(path).value_or(""), &why);
        if (!m) {
            Error(where, why);
            continue;
        }
        menus.Add(where, m->id, m->name, L"");
        AddCommands(where, m->popups, commands);
    }
    for (const auto& path : Files(res / "accelerators", ".acc")) {
        const std::string where = "accelerators/" + path.filename().string();
        std::string why;
        auto t = platform::ParseAcceleratorTable(ReadFile(path).value_or(""), &why);
        if (!t) {
            Error(where, why);
            continue;
        }
        keyTables.Add(where, t->id, t->name, L"");
        for (const auto& k : t->entries)
            if (!k.name.empty()) commands.Add(where, k.command, k.name, L"");
    }
    std::ostringstream controls;
    std::set<std::string> dialogNames;
    for (const auto& path : Files(res / "dialogs", ".dlg")) {
        const std::string where = "dialogs/" + path.filename().string();
        auto d = platform::ParseDialogTemplate(ReadFile(path).value_or(""));
        if (!d) {
            Error(where, "is not a well-formed layout");
            continue;
        }
        dialogs.Add(where, d->id, d->name, d->caption);
        const std::string name = d->name.empty() ? DerivedName(d->caption) : d->name;
        if (name.empty() || !dialogNames.insert(name).second) continue;
        NameTable own("control");
        for (const auto& c : d->controls) own.Add(where, c.id, c.name, c.text);
        std::ostringstream body;
        own.Write(body, SnakeCase(name), "int");
        controls << body.str();
    }

    if (!errors.empty()) {
        for (const auto& e : errors) std::fprintf(stderr, "cvres_ids: %s\n", e.c_str());
        return 1;
    }

    std::ostringstream header;
    header << "#pragma once\n"
              "// Names of the resource numbers, written by tools/cvres_ids from resources/.\n"
              "namespace ids {\n";
    strings.Write(header, "str", "unsigned");
    commands.Write(header, "cmd", "int");
    menus.Write(header, "menu", "int");
    keyTables.Write(header, "keys", "int");
    dialogs.Write(header, "dlg", "int");
    header << "namespace ctl {\n" << controls.str() << "}  // namespace ctl\n";
    header << "}  // namespace ids\n";

    if (ReadFile(out) == header.str()) return 0;
    const fs::path tmp = out.string() + ".tmp";
    {
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        if (!(o << header.str())) return 1;
    }
    std::error_code ec;
    fs::rename(tmp, out, ec);
    return ec ? 1 : 0;
}

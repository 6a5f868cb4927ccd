#include "platform/menu_template.h"

#include <array>
#include <charconv>

#include "platform/template_tokens.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr size_t kMaxDepth = 8;

using Token = TemplateToken;

bool ToCommand(const Token& t, int& v) {
    return TokenToInt(t, v) && v >= 1 && v <= 65535;
}

template <class T>
std::optional<T> Fail(std::string* out, std::string error) {
    if (out) *out = std::move(error);
    return std::nullopt;
}

}  // namespace

std::optional<MenuTemplate> ParseMenuTemplate(std::string_view text, std::string* error) {
    MenuTemplate menu;
    bool haveMenu = false;
    // The drop-downs open at this point, innermost last.
    std::vector<MenuItemTemplate*> open;
    std::string why;
    bool ok = ForEachTemplateLine(text, why, [&](const std::vector<Token>& t) -> std::string {
        const std::string& word = t[0].quoted ? std::string() : t[0].text;
        if (word == "MENU") {
            if (haveMenu) return "a second MENU line";
            if (t.size() < 2 || t.size() > 3 || !TokenToInt(t[1], menu.id) || menu.id < 1 ||
                (t.size() == 3 && !TokenToName(t[2], menu.name)))
                return "MENU needs one number above 0";
            haveMenu = true;
            return {};
        }
        if (!haveMenu) return "items before the MENU line";
        if (word == "POPUP") {
            if (t.size() != 2 || !t[1].quoted) return "POPUP needs one quoted text";
            if (open.size() == kMaxDepth) return "drop-downs nested too deep";
            MenuItemTemplate p;
            p.kind = MenuItemTemplate::Kind::Popup;
            p.text = FromUtf8(t[1].text);
            auto& list = open.empty() ? menu.popups : open.back()->children;
            list.push_back(std::move(p));
            open.push_back(&list.back());
            return {};
        }
        if (word == "END") {
            if (t.size() != 1) return "END takes nothing after it";
            if (open.empty()) return "END without its POPUP";
            open.pop_back();
            return {};
        }
        if (word != "ITEM" && word != "SEPARATOR") return "unknown line '" + t[0].text + "'";
        if (open.empty()) return word + " outside a POPUP";
        MenuItemTemplate item;
        if (word == "SEPARATOR") {
            if (t.size() != 1) return "SEPARATOR takes nothing after it";
            item.kind = MenuItemTemplate::Kind::Separator;
        } else {
            if (t.size() < 3 || !ToCommand(t[1], item.command) || !t[2].quoted)
                return "ITEM needs a command from 1 to 65535 and a quoted text";
            item.text = FromUtf8(t[2].text);
            for (size_t i = 3; i < t.size(); ++i) {
                if (item.name.empty() && TokenToName(t[i], item.name)) continue;
                const std::string& flag = t[i].text;
                bool* target = t[i].quoted          ? nullptr
                               : flag == "check"    ? &item.checkable
                               : flag == "checked"  ? &item.checked
                               : flag == "disabled" ? &item.disabled
                                                    : nullptr;
                if (!target) return "unknown ITEM flag '" + flag + "'";
                if (*target) return "ITEM flag '" + flag + "' given twice";
                *target = true;
            }
            if (item.checked) item.checkable = true;
        }
        open.back()->children.push_back(std::move(item));
        return {};
    });
    if (!ok) return Fail<MenuTemplate>(error, why);
    if (!haveMenu) return Fail<MenuTemplate>(error, "no MENU line");
    if (!open.empty()) return Fail<MenuTemplate>(error, "a POPUP is not closed by END");
    if (menu.popups.empty()) return Fail<MenuTemplate>(error, "the menu has no POPUP");
    return menu;
}

bool IsAcceleratorKeyName(std::string_view key) {
    static constexpr std::array<std::string_view, 15> kNamed = {
        "Delete", "Insert", "Home", "End",       "PageUp", "PageDown", "Left", "Right",
        "Up",     "Down",   "Tab",  "Backspace", "Enter",  "Escape",   "Space"};
    if (key.size() == 1) return key[0] > ' ' && key[0] < 0x7f && !(key[0] >= 'a' && key[0] <= 'z');
    for (auto n : kNamed)
        if (key == n) return true;
    if (key.size() >= 2 && key[0] == 'F') {
        int n = 0;
        auto [p, ec] = std::from_chars(key.data() + 1, key.data() + key.size(), n);
        return ec == std::errc() && p == key.data() + key.size() && key[1] != '0' && n >= 1 &&
               n <= 24;
    }
    return false;
}

std::optional<AcceleratorTable> ParseAcceleratorTable(std::string_view text, std::string* error) {
    AcceleratorTable table;
    bool haveTable = false;
    std::string why;
    bool ok = ForEachTemplateLine(text, why, [&](const std::vector<Token>& t) -> std::string {
        const std::string& word = t[0].quoted ? std::string() : t[0].text;
        if (word == "ACCELERATORS") {
            if (haveTable) return "a second ACCELERATORS line";
            if (t.size() < 2 || t.size() > 3 || !TokenToInt(t[1], table.id) || table.id < 1 ||
                (t.size() == 3 && !TokenToName(t[2], table.name)))
                return "ACCELERATORS needs one number above 0";
            haveTable = true;
            return {};
        }
        if (word != "KEY") return "unknown line '" + t[0].text + "'";
        if (!haveTable) return "KEY before the ACCELERATORS line";
        AcceleratorTemplate a;
        if (t.size() < 3 || t.size() > 4 || t[1].quoted || !ToCommand(t[2], a.command) ||
            (t.size() == 4 && !TokenToName(t[3], a.name)))
            return "KEY needs keys and a command from 1 to 65535";
        std::string_view keys = t[1].text;
        for (;;) {
            bool* mod = keys.starts_with("Ctrl+")    ? &a.ctrl
                        : keys.starts_with("Shift+") ? &a.shift
                        : keys.starts_with("Alt+")   ? &a.alt
                                                     : nullptr;
            if (!mod || keys.size() == keys.find('+') + 1) break;  // "Ctrl++" ends in the key '+'
            if (*mod) return "a modifier given twice in '" + t[1].text + "'";
            *mod = true;
            keys.remove_prefix(keys.find('+') + 1);
        }
        if (!IsAcceleratorKeyName(keys))
            return "'" + std::string(keys) + "' in '" + t[1].text + "' is not a key name";
        for (const auto& e : table.entries)
            if (e.ctrl == a.ctrl && e.shift == a.shift && e.alt == a.alt && e.key == keys)
                return "'" + t[1].text + "' is given twice";
        a.key = std::string(keys);
        table.entries.push_back(std::move(a));
        return {};
    });
    if (!ok) return Fail<AcceleratorTable>(error, why);
    if (!haveTable) return Fail<AcceleratorTable>(error, "no ACCELERATORS line");
    return table;
}

}  // namespace platform

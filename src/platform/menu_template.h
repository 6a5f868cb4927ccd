#pragma once
// Menus and accelerator tables of the resource bundle, as text.
//
// A menu ("menus/<id>.menu"), one item a line, indentation free:
//   MENU <id> [name=<Word>]
//   POPUP "<title>"                 opens a drop-down, closed by END
//     ITEM <command> "<text>" [check] [checked] [disabled] [name=<Word>]
//     SEPARATOR
//   END
// The top level holds only POPUPs; drop-downs nest. Texts take the escapes
// \t (tab: what follows is the shortcut shown at the right), \n, \" and \\.
//
// An accelerator table ("accelerators/<id>.acc"):
//   ACCELERATORS <id>
//   KEY <keys> <command> [name=<Word>]  keys as Ctrl+Shift+D, F1, Shift+Insert, Ctrl+.
// Modifiers are Ctrl, Shift and Alt, each at most once, before the key. A key
// is one printable character other than a space (letters in capitals), F1 to
// F24, or one of Delete, Insert, Home, End, PageUp, PageDown, Left, Right, Up,
// Down, Tab, Backspace, Enter, Escape, Space.
//
// '#' starts a comment line. Commands are 1 to 65535. A name is what the code
// calls a table or command (see tools/cvres_ids.cpp); nothing at run time.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct MenuItemTemplate {
    enum class Kind { Command, Separator, Popup };
    Kind kind = Kind::Command;
    int command = 0;  // Command items only
    std::wstring text;
    bool checkable = false, checked = false, disabled = false;
    std::string name;
    std::vector<MenuItemTemplate> children;  // Popup items only
};

struct MenuTemplate {
    int id = 0;
    std::string name;
    std::vector<MenuItemTemplate> popups;  // the top level
};

struct AcceleratorTemplate {
    bool ctrl = false, shift = false, alt = false;
    std::string key;  // as written: "N", ".", "F1", "Delete"
    int command = 0;
    std::string name;
};

struct AcceleratorTable {
    int id = 0;
    std::string name;
    std::vector<AcceleratorTemplate> entries;  // in file order
};

// Nullopt when the text is not well formed; `error` then says which line and
// why ("line 4: ITEM needs a command and a quoted text").
std::optional<MenuTemplate> ParseMenuTemplate(std::string_view text, std::string* error = nullptr);
std::optional<AcceleratorTable> ParseAcceleratorTable(std::string_view text,
                                                      std::string* error = nullptr);

// Whether `key` is a key name of the accelerator format (without modifiers).
bool IsAcceleratorKeyName(std::string_view key);

}  // namespace platform

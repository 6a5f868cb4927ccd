#pragma once
// Dialog layouts of the resource bundle. A layout is text, one item a line:
//   DIALOG <id> <width> <height> "<caption>"
//   CONTROL <id> <kind> <x> <y> <width> <height> "<text>" [hidden]
// '#' starts a comment line; texts take \" \\ and \n escapes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ControlTemplate {
    int id = 0;
    std::string kind;  // static, button, check, edit, list, tree, panel, slider, combo, group
    int x = 0, y = 0, width = 0, height = 0;
    std::wstring text;
    bool hidden = false;
};

struct DialogTemplate {
    int id = 0;
    int width = 0, height = 0;
    std::wstring caption;
    std::vector<ControlTemplate> controls;
};

// Nullopt when the text is not a well-formed layout.
std::optional<DialogTemplate> ParseDialogTemplate(std::string_view text);

}  // namespace platform

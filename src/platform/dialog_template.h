#pragma once
// Dialog layouts of the resource bundle. A layout is text, one item a line:
//   DIALOG <id> <width> <height> "<caption>" [name=<Word>]
//   CONTROL <id> <kind> <x> <y> <width> <height> "<text>" [hidden] [wrap] [default]
//           [name=<Word>]
// (hidden: starts hidden; wrap: a static text breaks its lines to fit; default:
// the button that Enter presses; name: what the code calls it, see
// tools/cvres_ids.cpp)
// '#' starts a comment line; texts take \" \\ and \n escapes.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ControlTemplate {
    int id = 0;
    // static, button, check, edit, multiedit, list, tree, panel, slider, combo, group
    std::string kind;
    int x = 0, y = 0, width = 0, height = 0;
    std::wstring text;
    bool hidden = false;
    bool wrap = false;
    bool isDefault = false;
    std::string name;
};

struct DialogTemplate {
    int id = 0;
    int width = 0, height = 0;
    std::wstring caption;
    std::string name;
    std::vector<ControlTemplate> controls;
};

// Nullopt when the text is not a well-formed layout.
std::optional<DialogTemplate> ParseDialogTemplate(std::string_view text);

}  // namespace platform

#pragma once
// The words of one line of a resource layout (dialogs, menus, key tables):
// bare words and "quoted texts" with the escapes \t, \n, \" and \\.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct TemplateToken {
    std::string text;
    bool quoted = false;
};

// Splits a line into tokens; an error text when a quote is left open, a
// backslash escapes nothing known or a quoted text runs into the next word.
std::string TokenizeTemplateLine(std::string_view line, std::vector<TemplateToken>& out);

// A bare word that is a whole decimal number.
bool TokenToInt(const TemplateToken& t, int& v);

}  // namespace platform

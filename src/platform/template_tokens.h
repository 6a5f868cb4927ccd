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

// A bare word "name=<Word>" (a letter, then letters and digits): the item's
// name in the program's code, which the build reads; nothing at run time.
bool TokenToName(const TemplateToken& t, std::string& name);

// Runs `handle` on every line that is not blank or a comment; stops at the
// first error and prefixes it with the line number.
template <class F>
bool ForEachTemplateLine(std::string_view text, std::string& error, F handle) {
    int number = 0;
    while (!text.empty()) {
        ++number;
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        std::vector<TemplateToken> t;
        std::string why = TokenizeTemplateLine(line, t);
        if (why.empty()) why = handle(t);
        if (!why.empty()) {
            error = "line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}

}  // namespace platform

#include "platform/template_tokens.h"

#include <charconv>

namespace platform {

std::string TokenizeTemplateLine(std::string_view line, std::vector<TemplateToken>& out) {
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        TemplateToken tok;
        if (line[i] == '"') {
            tok.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\') {
                    if (i == line.size()) break;
                    char n = line[i++];
                    if (n == 't')
                        tok.text += '\t';
                    else if (n == 'n')
                        tok.text += '\n';
                    else if (n == '"' || n == '\\')
                        tok.text += n;
                    else
                        return std::string("unknown escape \\") + n;
                    continue;
                }
                tok.text += c;
            }
            if (!closed) return "text without its closing quote";
            if (i < line.size() && line[i] != ' ' && line[i] != '\t')
                return "no space after a quoted text";
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') tok.text += line[i++];
        }
        out.push_back(std::move(tok));
    }
    return {};
}

bool TokenToInt(const TemplateToken& t, int& v) {
    if (t.quoted) return false;
    auto [p, ec] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), v);
    return ec == std::errc() && p == t.text.data() + t.text.size();
}

bool TokenToName(const TemplateToken& t, std::string& name) {
    if (t.quoted || !t.text.starts_with("name=") || t.text.size() == 5) return false;
    const std::string_view word = std::string_view(t.text).substr(5);
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (!letter(word[0])) return false;
    for (char c : word)
        if (!letter(c) && !(c >= '0' && c <= '9')) return false;
    name = word;
    return true;
}

}  // namespace platform

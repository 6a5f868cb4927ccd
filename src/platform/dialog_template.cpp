#include "platform/dialog_template.h"

#include <charconv>

#include "platform/template_tokens.h"
#include "platform/text.h"

namespace platform {
namespace {

// The line's tokens, a quoted one marked by a leading quote; false when the
// line does not split.
bool Tokenize(std::string_view line, std::vector<std::string>& out) {
    std::vector<TemplateToken> tokens;
    if (!TokenizeTemplateLine(line, tokens).empty()) return false;
    for (TemplateToken& t : tokens) out.push_back(t.quoted ? "\"" + t.text : std::move(t.text));
    return true;
}

bool ToInt(const std::string& s, int& v) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

bool Quoted(const std::string& s, std::wstring& text) {
    if (s.empty() || s[0] != '"') return false;
    text = FromUtf8(std::string_view(s).substr(1));
    return true;
}

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(std::string_view text) {
    DialogTemplate dlg;
    bool haveDialog = false;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        std::vector<std::string> t;
        if (!Tokenize(line, t)) return std::nullopt;
        if (t[0] == "DIALOG") {
            if (haveDialog || t.size() != 5 || !ToInt(t[1], dlg.id) || !ToInt(t[2], dlg.width) ||
                !ToInt(t[3], dlg.height) || !Quoted(t[4], dlg.caption))
                return std::nullopt;
            haveDialog = true;
        } else if (t[0] == "CONTROL") {
            ControlTemplate c;
            if (!haveDialog || t.size() < 8 || t.size() > 11 || !ToInt(t[1], c.id) ||
                !ToInt(t[3], c.x) || !ToInt(t[4], c.y) || !ToInt(t[5], c.width) ||
                !ToInt(t[6], c.height) || !Quoted(t[7], c.text))
                return std::nullopt;
            c.kind = t[2];
            for (size_t i = 8; i < t.size(); ++i) {
                bool* flag = t[i] == "hidden"    ? &c.hidden
                             : t[i] == "wrap"    ? &c.wrap
                             : t[i] == "default" ? &c.isDefault
                                                 : nullptr;
                if (!flag || *flag) return std::nullopt;
                *flag = true;
            }
            dlg.controls.push_back(std::move(c));
        } else {
            return std::nullopt;
        }
    }
    if (!haveDialog) return std::nullopt;
    return dlg;
}

}  // namespace platform

#include "platform/dialog_template.h"

#include "platform/template_tokens.h"
#include "platform/text.h"

namespace platform {
namespace {

bool Quoted(const TemplateToken& t, std::wstring& text) {
    if (!t.quoted) return false;
    text = FromUtf8(t.text);
    return true;
}

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(std::string_view text) {
    DialogTemplate dlg;
    bool haveDialog = false;
    // Any error fails the whole layout; its text is not wanted here.
    std::string error;
    const bool ok =
        ForEachTemplateLine(text, error, [&](const std::vector<TemplateToken>& t) -> std::string {
            if (t[0].quoted) return "a line starts with a text";
            if (t[0].text == "DIALOG") {
                if (haveDialog || t.size() < 5 || t.size() > 6 || !TokenToInt(t[1], dlg.id) ||
                    !TokenToInt(t[2], dlg.width) || !TokenToInt(t[3], dlg.height) ||
                    !Quoted(t[4], dlg.caption) || (t.size() == 6 && !TokenToName(t[5], dlg.name)))
                    return "bad DIALOG line";
                haveDialog = true;
            } else if (t[0].text == "CONTROL") {
                ControlTemplate c;
                if (!haveDialog || t.size() < 8 || t.size() > 12 || !TokenToInt(t[1], c.id) ||
                    t[2].quoted || !TokenToInt(t[3], c.x) || !TokenToInt(t[4], c.y) ||
                    !TokenToInt(t[5], c.width) || !TokenToInt(t[6], c.height) ||
                    !Quoted(t[7], c.text))
                    return "bad CONTROL line";
                c.kind = t[2].text;
                for (size_t i = 8; i < t.size(); ++i) {
                    if (c.name.empty() && TokenToName(t[i], c.name)) continue;
                    const std::string& w = t[i].quoted ? std::string() : t[i].text;
                    bool* flag = w == "hidden"    ? &c.hidden
                                 : w == "wrap"    ? &c.wrap
                                 : w == "default" ? &c.isDefault
                                                  : nullptr;
                    if (!flag || *flag) return "bad flag";
                    *flag = true;
                }
                dlg.controls.push_back(std::move(c));
            } else {
                return "unknown line";
            }
            return {};
        });
    if (!ok) return std::nullopt;
    if (!haveDialog) return std::nullopt;
    return dlg;
}

}  // namespace platform

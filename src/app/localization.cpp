#include "app/localization.h"

#include "app/folders.h"
#include "app/settings.h"
#include "platform/profile.h"
#include "platform/resource_bundle.h"

namespace {
constexpr size_t kLimit = 10200;
}

std::wstring GetLanguageFile() {
    return GetProgramFolder() + L"/lang.cv/lang_" + GetSettings().LangID() + L".ini";
}

std::wstring ReplaceEscapes(std::wstring text, bool tabs) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size()) {
            if (text[i + 1] == L'n') {
                out += L'\n';
                ++i;
                continue;
            }
            if (tabs && text[i + 1] == L't') {
                out += L'\t';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::wstring ReadTranslationRaw(const std::wstring& section, const std::wstring& key) {
    return platform::GetPrivateProfileString(section, key, L"", kLimit, GetLanguageFile());
}

std::wstring ReadTranslation(const std::wstring& section, const std::wstring& key) {
    return ReplaceEscapes(ReadTranslationRaw(section, key), true);
}

std::wstring ReadControlText(int dialogId, int controlId) {
    return ReplaceEscapes(
        ReadTranslationRaw(L"DIALOG_IDD_" + std::to_wstring(dialogId), std::to_wstring(controlId)),
        false);
}

std::wstring LoadText(unsigned id) {
    std::wstring t = ReadTranslation(L"STRING", std::to_wstring(id));
    if (!t.empty()) return t;
    return platform::ResourceBundle::Current().String(id);
}

std::wstring TranslateWord(const std::wstring& word) {
    // Words match as the program spells them, case included.
    std::wstring t = platform::GetPrivateProfileString(
        L"DICTIONARY", word, L"", kLimit, GetLanguageFile(), platform::KeyMatch::Exact);
    return t.empty() ? word : t;
}

std::wstring TranslatedBitmapFile(unsigned id) {
    std::wstring v = ReadTranslationRaw(L"BITMAP", std::to_wstring(id));
    if (v.empty()) return {};
    return GetProgramFolder() + L"/" + v;
}

#pragma once
// Texts of the user interface in the chosen language: the language's
// translation file first (read afresh on every lookup), the resource
// bundle second.
#include <string>

// <program folder>/lang.cv/lang_<LangID>.ini
std::wstring GetLanguageFile();
// The value with "\n" and "\t" turned into a line break and a tab; empty
// when absent.
std::wstring ReadTranslation(const std::wstring& section, const std::wstring& key);
// The value as it stands (bitmaps, dictionary, control texts before their
// own escape).
std::wstring ReadTranslationRaw(const std::wstring& section, const std::wstring& key);
// A control text: only "\n" becomes a line break.
std::wstring ReadControlText(int dialogId, int controlId);
std::wstring LoadText(unsigned id);
std::wstring TranslateWord(const std::wstring& word);
// File of a translated bitmap (program folder + value); empty when none.
std::wstring TranslatedBitmapFile(unsigned id);

std::wstring ReplaceEscapes(std::wstring text, bool tabs);

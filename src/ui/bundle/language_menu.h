#pragma once
// The language commands (32849 English, 32850 Japanese, 32851 Simplified
// Chinese): the tick in the menu and the language-changed message (5031),
// posted to the main window and sent to every window inside it.
#include <QEvent>
#include <string>

#include "resource_ids.h"

class QMenu;
class QWidget;

namespace platform {
class IPostTarget;
}

namespace ui {

// The event that message 5031 arrives as in the windows inside the main
// window. The site panel, the history list and the tips panel handle it.
inline const QEvent::Type kLanguageChangedEvent = static_cast<QEvent::Type>(QEvent::User + 5031);

inline constexpr int kLanguageEnglish = ids::cmd::kEnglish;
inline constexpr int kLanguageJapanese = ids::cmd::kJapanese;
inline constexpr int kLanguageChinese = ids::cmd::kChineseSimplified;

// Qt's own texts (standard buttons, the file and folder choosers) in the
// language `code`, from the toolkit's translations where they are installed;
// English leaves Qt's own.
void ApplyToolkitLanguage(const std::wstring& code);
// "en", "ja" or "zh_cn" for the three commands; null for any other.
const wchar_t* LanguageOfCommand(int command);
// Ticks the item of `code` in `menu` and its drop-downs and clears the
// other two; any other code leaves the ticks as they are.
void TickLanguage(QMenu* menu, const std::wstring& code);
// The language command: when `code` differs from the language in use, sets
// LangID, ticks `menu` (may be null), posts 5031 to `mainWindow` and sends
// the event to every window inside `window`. False, and nothing posted,
// when the language is the one in use.
bool ChangeLanguage(const std::wstring& code, QMenu* menu, platform::IPostTarget* mainWindow,
                    QWidget* window);

}  // namespace ui

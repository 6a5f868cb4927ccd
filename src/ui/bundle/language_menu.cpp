#include "ui/bundle/language_menu.h"

#include <QAction>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QMenu>
#include <QPointer>
#include <QTranslator>
#include <QWidget>

#include "app/logging.h"
#include "app/messages.h"
#include "app/settings.h"
#include "platform/post_message.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/menu_builder.h"

namespace ui {
namespace {

void Tick(QMenu* menu, int chosen) {
    for (QAction* a : menu->actions()) {
        if (a->menu()) Tick(a->menu(), chosen);
        const int id = ActionCommand(a);
        if (id < kLanguageEnglish || id > kLanguageChinese) continue;
        a->setCheckable(true);
        a->setChecked(id == chosen);
    }
}

}  // namespace

const wchar_t* LanguageOfCommand(int command) {
    switch (command) {
        case kLanguageEnglish:
            return L"en";
        case kLanguageJapanese:
            return L"ja";
        case kLanguageChinese:
            return L"zh_cn";
        default:
            return nullptr;
    }
}

void TickLanguage(QMenu* menu, const std::wstring& code) {
    if (!menu) return;
    int chosen = 0;
    for (int id = kLanguageEnglish; id <= kLanguageChinese; ++id)
        if (code == LanguageOfCommand(id)) chosen = id;
    if (chosen) Tick(menu, chosen);
}

void ApplyToolkitLanguage(const std::wstring& code) {
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    const QString file = code == L"ja"      ? QStringLiteral("qtbase_ja")
                         : code == L"zh_cn" ? QStringLiteral("qtbase_zh_CN")
                                            : QString();
    if (file.isEmpty()) return;
    auto* t = new QTranslator;
    if (t->load(file, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(t)) {
        installed = t;
        return;
    }
    LogInfo("CClipvaneDlg", "No toolkit translation %s.", file.toUtf8().constData());
    delete t;
}

bool ChangeLanguage(const std::wstring& code, QMenu* menu, platform::IPostTarget* mainWindow,
                    QWidget* window) {
    if (code == GetSettings().LangID()) return false;
    LogInfoW("CClipvaneDlg", L"Language changed to %ls.", code.c_str());
    GetSettings().Update([&](SettingsData& d) { d.LangID = code; });
    ApplyToolkitLanguage(code);
    TickLanguage(menu, code);
    if (mainWindow) mainWindow->Post(WM_LANGUAGE_CHANGED, 0, 0);
    if (window) {
        // A window may rebuild its children while it handles the event.
        QList<QPointer<QWidget>> all;
        for (QWidget* w : window->findChildren<QWidget*>()) all << w;
        for (const QPointer<QWidget>& w : all) {
            if (!w) continue;
            QEvent e(kLanguageChangedEvent);
            QCoreApplication::sendEvent(w, &e);
        }
    }
    return true;
}

}  // namespace ui

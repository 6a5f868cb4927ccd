#include "ui/settings/output_folder_field.h"

#include "app/folders.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "platform/folders.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/qt_text.h"
#include "ui/dialogs/folder_browser.h"

namespace ui {
namespace {

constexpr const char* kTag = "CClipvaneDlg";

void Warn(const std::wstring& text) {
    platform::ShowMessageBox(text, kAppName, platform::MB_OK | platform::MB_ICONWARNING);
}

}  // namespace

OutputFolderField::OutputFolderField(QWidget* parent) : QLineEdit(parent) {
    setText(ToQ(GetSettings().Get().OutputFolder));
    // The settings may change on another thread.
    settingsToken_ = GetSettings().Subscribe([this](const SettingsData& d) {
        QMetaObject::invokeMethod(this, [this, folder = ToQ(d.OutputFolder)] {
            if (text() != folder) setText(folder);
        });
    });
    connect(this, &QLineEdit::editingFinished, this, &OutputFolderField::TakeTyped);
}

OutputFolderField::~OutputFolderField() {
    GetSettings().Unsubscribe(settingsToken_);
}

void OutputFolderField::TakeTyped() {
    if (!isModified()) return;
    setModified(false);
    Set(FromQ(text()));
}

bool OutputFolderField::Set(const std::wstring& typed) {
    const std::wstring before = GetSettings().Get().OutputFolder;
    const std::wstring folder = NormalizeFolder(typed, platform::PersistentTempFolder());
    if (const std::wstring problem = OutputFolderProblem(folder); !problem.empty()) {
        // The field shows the folder kept before the box takes the focus,
        // so that leaving the field takes nothing.
        setText(ToQ(before));
        setModified(false);
        const std::wstring text =
            platform::FormatW(LoadText(ids::str::kFolderRefused).c_str(), folder.c_str(),
                              problem.c_str(), before.c_str());
        LogWarnW(kTag, L"%ls", text.c_str());
        emit statusText(text);
        Warn(text);
        return false;
    }
    GetSettings().Update([&](SettingsData& d) { d.OutputFolder = folder; });
    GetSettings().Save();
    if (folder != before)
        emit statusText(
            platform::FormatW(LoadText(ids::str::kOutputFolderChangedTo).c_str(), folder.c_str()));
    return true;
}

void OutputFolderField::Choose() {
    const std::optional<std::wstring> chosen =
        BrowseForFolder(window(), GetSettings().Get().OutputFolder,
                        LoadText(ids::str::kChooseFolderWhereDownloaded));
    if (chosen) Set(*chosen);
}

void OutputFolderField::CheckAtStart() {
    const std::wstring folder = GetSettings().Get().OutputFolder;
    if (OutputFolderProblem(NormalizeFolder(folder, platform::PersistentTempFolder())).empty())
        return;
    platform::ShowMessageBox(LoadText(ids::str::kOutputFolderDoesNot), kAppName, platform::MB_OK);
    Choose();
}

}  // namespace ui

#include "ui/main_window.h"

#include <QIcon>
#include <QLineEdit>
#include <QPixmap>

#include "app/helpers.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "platform/resource_bundle.h"
#include "ui/dialog_builder.h"
#include "ui/qt_text.h"
#include "ui/translate.h"

namespace {
constexpr const char* kTag = "CClipvaneDlg";
}

CClipvaneDlg::CClipvaneDlg(QWidget* parent) : QDialog(parent) {
    ui::BuildDialogFromTemplate(this, kTemplateId);
    OnInitDialog();
}

void CClipvaneDlg::OnInitDialog() {
    LogContextScope context("OnInitDialog");
    LogInfo(kTag, "Initializing main dialog ...");
    setWindowFlag(Qt::WindowSystemMenuHint, true);
    setWindowTitle(ui::ToQ(TranslateWord(L"Clipvane Video Downloader")));

    if (auto icon = platform::ResourceBundle::Current().Icon(kIconId)) {
        QPixmap pm;
        if (pm.loadFromData(reinterpret_cast<const uchar*>(icon->data()),
                            static_cast<uint>(icon->size()), "PNG"))
            setWindowIcon(QIcon(pm));
    }
    LogInfo(kTag, "Loading accelerators ...");

    LogInfo(kTag, "List control initialized.");
    if (auto* folder = qobject_cast<QLineEdit*>(ui::FindControl(this, 1194)))
        folder->setText(ui::ToQ(GetSettings().Get().OutputFolder));

    LogInfo(kTag, "Panel preview initialized.");
    LogInfo(kTag, "HTML tips initialized.");

    int major = 0, minor = 0, build = 0;
    if (GetProgramVersion(major, minor, build) == 0) {
        std::wstring v = TranslateWord(L"Clipvane") + L" " + std::to_wstring(major) + L"." +
                         std::to_wstring(minor) + L"." + std::to_wstring(build);
        LogInfoW(kTag, L"Version : %ls", v.c_str());
    }
    resize(999, 600);
    TranslateDialog(this, kTemplateId);
}

void CClipvaneDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!shownOnce_) {
        shownOnce_ = true;
        LogInfo(kTag, "Main dialog shown.");
    }
}

void CClipvaneDlg::reject() {
    GetSettings().Save();
    QDialog::reject();
}

#include "ui/settings/settings_sheet.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/helpers.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "platform/message_box.h"
#include "ui/bundle/qt_text.h"
#include "ui/settings/settings_pages.h"

namespace {
constexpr const char* kTag = "CSettingsSheet";
}

ui::SettingsSheet::SettingsSheet(QWidget* parent) : QDialog(parent) {
    setWindowTitle(ui::ToQ(LoadText(kCaptionId)));
    setObjectName(QStringLiteral("settingsSheet"));
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    general_ = new CPageGeneral;
    online_ = new CPageOnline;
    audio_ = new CPageAudio;
    video_ = new CPageVideo;
    for (ui::SettingsPage* p :
         std::initializer_list<ui::SettingsPage*>{general_, online_, audio_, video_}) {
        // Pages keep the size of their layout.
        p->setMinimumSize(p->size());
        tabs_->addTab(p, p->Title());
    }
    layout->addWidget(tabs_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(ui::ToQ(TranslateWord(L"OK")));
    buttons->button(QDialogButtonBox::Cancel)->setText(ui::ToQ(TranslateWord(L"Cancel")));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ui::SettingsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ui::SettingsSheet::reject);
    connect(tabs_, &QTabWidget::currentChanged, this, &ui::SettingsSheet::OnTabChanged);
    tabs_->setCurrentIndex(0);
    // Pages change from the keyboard wherever the focus is in the sheet.
    const std::pair<QKeySequence, int> steps[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
        {QKeySequence(Qt::CTRL | Qt::Key_Backtab), -1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1},
    };
    for (const auto& [keys, step] : steps) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] { StepPage(step); });
    }
}

void ui::SettingsSheet::StepPage(int step) {
    const int n = tabs_->count();
    if (n < 2) return;
    tabs_->setCurrentIndex((tabs_->currentIndex() + step + n) % n);
    // A refused page keeps the focus in its field; otherwise the new page
    // takes it.
    QWidget* page = tabs_->currentWidget();
    if (page->isAncestorOf(QApplication::focusWidget())) return;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && w->isEnabled()) {
            w->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    tabs_->tabBar()->setFocus(Qt::TabFocusReason);
}

bool ui::SettingsSheet::Refuses(ui::SettingsPage* page) {
    QString message;
    if (page->Validate(&message)) return false;
    LogWarnW(kTag, L"Page %d refused a field.", page->TemplateId());
    switching_ = true;
    tabs_->setCurrentWidget(page);
    current_ = tabs_->currentIndex();
    switching_ = false;
    platform::ShowMessageBox(ui::FromQ(message), TranslateWord(L"Clipvane"),
                             platform::MB_OK | platform::MB_ICONWARNING);
    if (QWidget* field = page->FieldToFix()) {
        field->setFocus();
        if (auto* e = qobject_cast<QLineEdit*>(field)) e->selectAll();
    }
    return true;
}

void ui::SettingsSheet::OnTabChanged(int index) {
    if (switching_) return;
    auto* left = qobject_cast<ui::SettingsPage*>(tabs_->widget(current_));
    current_ = index;
    if (left && left != tabs_->widget(index)) Refuses(left);
}

void ui::SettingsSheet::accept() {
    ui::SettingsPage* pages[] = {general_, online_, audio_, video_};
    // The page in front is checked first, as it is the one being left.
    if (auto* front = qobject_cast<ui::SettingsPage*>(tabs_->currentWidget());
        front && Refuses(front))
        return;
    for (ui::SettingsPage* p : pages)
        if (Refuses(p)) return;
    for (ui::SettingsPage* p : pages) p->Confirm();
    QDialog::accept();
}

namespace ui {

SettingsOutcome RunSettingsSheet(QWidget* parent, const std::wstring& folderText,
                                 const std::function<void(ui::SettingsSheet&)>& prepare) {
    GetSettings().Update([&](SettingsData& d) { d.OutputFolder = folderText; });
    ui::SettingsSheet sheet(parent);
    if (prepare) prepare(sheet);
    SettingsOutcome out;
    out.folder = folderText;
    if (sheet.exec() != QDialog::Accepted) return out;
    out.confirmed = true;
    out.folder = GetSettings().Get().OutputFolder;
    if (sheet.General()->Loaded() && sheet.General()->FolderEdit())
        out.folder = FromQ(sheet.General()->FolderEdit()->text());
    if (!out.folder.empty()) CreateFolderTree(out.folder);
    const SettingsData s = GetSettings().Get();
    out.useTitleAsFileName = s.UseTitleAsFileName != 0;
    out.retryTimes = s.RetryTimes;
    out.folderChanged = out.folder != folderText;
    return out;
}

}  // namespace ui

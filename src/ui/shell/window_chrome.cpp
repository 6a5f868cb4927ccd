#include "ui/shell/window_chrome.h"

#include <QPushButton>
#include <QWidget>
#include <algorithm>

#include "app/localization.h"
#include "resource_ids.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/translate.h"
#include "ui/history/site_tree_panel.h"
#include "ui/shell/bitmap_button_bar.h"
#include "ui/shell/window_shell.h"

namespace ui {
namespace {

constexpr std::pair<int, int> kButtonCommands[] = {
    {1, ids::cmd::kMinimize},     {2, ids::cmd::kMaximize},    {3, ids::cmd::kExit},
    {6, ids::cmd::kAddAddresses}, {7, ids::cmd::kDownloadAll}, {8, ids::cmd::kStopAsk},
    {20, ids::cmd::kSitePanel},
};

}  // namespace

int WindowChrome::CommandOfButton(int code) {
    for (const auto& [button, command] : kButtonCommands)
        if (button == code) return command;
    return 0;
}

WindowChrome::WindowChrome(QWidget* window, WindowShell* shell) : QObject(window), window_(window) {
    auto toCommand = [this](int code) {
        if (int id = CommandOfButton(code)) emit command(id);
    };

    // The menu button's face is part of the caption strip (bitmap 134); the
    // button itself only lights up under the mouse.
    menuButton_ = new QPushButton(window);
    TagControl(menuButton_, ids::ctl::main_window::kMenuButton);
    menuButton_->setFlat(true);
    menuButton_->setFocusPolicy(Qt::TabFocus);
    menuButton_->setCursor(Qt::PointingHandCursor);
    menuButton_->setStyleSheet(QStringLiteral(
        "QPushButton { border: none; background: transparent; }"
        "QPushButton:hover { background: rgba(255, 255, 255, 22); border-radius: 4px; }"
        "QPushButton:pressed { background: rgba(38, 194, 176, 60); border-radius: 4px; }"));
    connect(menuButton_, &QPushButton::clicked, this, &WindowChrome::menuRequested);

    toolbar_ = new BitmapButtonBar(window);
    TagControl(toolbar_, ids::ctl::main_window::kToolbar);
    toolbar_->SetStateBitmaps(150, 149, 147, 151);
    toolbar_->AddButton(kAdd, QRect(19, 0, 166, 39), ids::str::kAddVideoPageAddresses);
    toolbar_->AddButton(kDownloadAll, QRect(192, 0, 163, 39), ids::str::kDownloadAllCheckedVideos);
    toolbar_->AddButton(kStop, QRect(360, 0, 163, 39), ids::str::kStopDownloading);
    SetRunButtons(false, false);
    connect(toolbar_, &BitmapButtonBar::buttonClicked, this, toCommand);

    // Minimise, maximise or restore, close: two bars, one shown at a time.
    captionBar_ = new BitmapButtonBar(window);
    TagControl(captionBar_, ids::ctl::main_window::kCaptionBar);
    captionBar_->SetStateBitmaps(135, 138, 136, 137);
    restoreBar_ = new BitmapButtonBar(window);
    restoreBar_->setObjectName(QStringLiteral("restoreBar"));
    restoreBar_->SetStateBitmaps(139, 142, 140, 139);
    for (BitmapButtonBar* bar : {captionBar_, restoreBar_}) {
        bar->AddButton(1, QRect(6, 4, 14, 14), ids::str::kMinimize);
        bar->AddButton(2, QRect(25, 4, 14, 14),
                       bar == captionBar_ ? ids::str::kMaximize : ids::str::kRestoreDown);
        bar->AddButton(3, QRect(46, 4, 14, 14), ids::str::kClose);
        connect(bar, &BitmapButtonBar::buttonClicked, this, toCommand);
    }
    shell->SetCaptionBars(captionBar_, restoreBar_);

    panelArrow_ = new BitmapButtonBar(window);
    TagControl(panelArrow_, ids::ctl::main_window::kShowPanelButton);
    panelArrow_->SetStateBitmaps(179, 182, 180, 179);
    panelArrow_->AddButton(20, QRect(0, 0, 14, 31), ids::str::kShowSitePanel);
    connect(panelArrow_, &BitmapButtonBar::buttonClicked, this, toCommand);
    Retranslate();
}

void WindowChrome::SetRunButtons(bool downloadAll, bool stop) {
    toolbar_->EnableButton(kDownloadAll, downloadAll);
    toolbar_->EnableButton(kStop, stop);
}

void WindowChrome::SetPanelArrowShown(bool shown) {
    arrowShown_ = shown;
    panelArrow_->setVisible(shown && !expanded_);
}

void WindowChrome::SetExpanded(bool expanded) {
    expanded_ = expanded;
    menuButton_->setVisible(!expanded);
    toolbar_->setVisible(!expanded);
    panelArrow_->setVisible(arrowShown_ && !expanded);
}

void WindowChrome::LayOut(int width, int listTop) {
    captionBar_->setGeometry(width - 71, 4, 66, 20);
    restoreBar_->setGeometry(width - 71, 3, 68, 21);
    if (expanded_) return;
    menuButton_->setGeometry(11, 29, 243, 17);
    toolbar_->setGeometry(8, 50, 540, 39);
    panelArrow_->setGeometry(0, listTop, 14, 31);
}

void WindowChrome::DressSitePanel(SitePanel* panel) {
    auto* closeBar = new BitmapButtonBar;
    closeBar->SetStateBitmaps(175, 178, 176, 177);
    closeBar->AddButton(0, QRect(0, 0, 10, 11));
    auto* twoBar = new BitmapButtonBar;
    twoBar->SetStateBitmaps(187, 188, 188, 187);
    twoBar->AddButton(1, QRect(3, 2, 96, 19), ids::str::kOpenOutputFolder);
    twoBar->AddButton(2, QRect(102, 2, 73, 19), ids::str::kOpenSettings);
    for (BitmapButtonBar* bar : {closeBar, twoBar})
        connect(bar, &BitmapButtonBar::buttonClicked, panel, &SitePanel::OnButtonCode);
    panel->SetButtonBars(closeBar, twoBar);
}

void WindowChrome::Retranslate() {
    menuButton_->setAccessibleName(ToQ(TranslateWord(L"Menu")));
}

}  // namespace ui

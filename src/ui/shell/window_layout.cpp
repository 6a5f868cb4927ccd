#include "ui/shell/window_layout.h"

#include <QWidget>
#include <algorithm>

#include "ui/shell/window_chrome.h"

namespace ui {
namespace {

// The caption strip and toolbar above the lists, the status strip below.
constexpr int kTop = 95, kBottom = 33;

}  // namespace

WindowLayout::WindowLayout(QWidget* window, const Parts& parts) : window_(window), parts_(parts) {}

void WindowLayout::SetPanelOpen(bool open) {
    panelOpen_ = open;
    // The chrome keeps the arrow hidden while the preview is expanded.
    parts_.chrome->SetPanelArrowShown(!open);
    if (expanded_) return;
    parts_.sitePanel->setVisible(open);
    Apply();
}

void WindowLayout::ShowHistoryList(bool history) {
    historyShown_ = history;
    (history ? parts_.taskList : parts_.historyList)->hide();
    if (!expanded_) (history ? parts_.historyList : parts_.taskList)->show();
}

void WindowLayout::SetExpanded(bool expanded) {
    expanded_ = expanded;
    parts_.chrome->SetExpanded(expanded);
    parts_.tips->setVisible(!expanded);
    parts_.folderField->setVisible(!expanded);
    if (expanded) {
        for (QWidget* w : {parts_.sitePanel, parts_.taskList, parts_.historyList}) w->hide();
        Apply();
        parts_.preview->raise();
        return;
    }
    parts_.sitePanel->setVisible(panelOpen_);
    (historyShown_ ? parts_.historyList : parts_.taskList)->show();
    Apply();
}

bool WindowLayout::Apply() {
    const int w = window_->width(), h = window_->height();
    parts_.chrome->LayOut(w, kTop);
    if (expanded_) {
        parts_.preview->setGeometry(11, 30, w - 22, h - 60);
        return false;
    }
    if (w <= 100 || h <= 100) return false;
    const int middle = std::max(0, h - kTop - kBottom);
    parts_.folderField->setGeometry(560, 60, std::min(300, std::max(60, w - 560 - 90)), 22);
    int x = 11;
    if (panelOpen_) {
        parts_.sitePanel->setGeometry(x, kTop, parts_.panelWidth, middle);
        x += parts_.panelWidth + 6;
    }
    const QSize preview = parts_.previewSize;
    const int right = w - 8 - preview.width();
    const QRect list(x, kTop, std::max(10, right - 6 - x), middle);
    parts_.taskList->setGeometry(list);
    parts_.historyList->setGeometry(list);
    parts_.preview->setGeometry(QRect(QPoint(right, kTop), preview));
    parts_.tips->setGeometry(right, kTop + preview.height() + 6, preview.width(),
                             std::max(0, middle - preview.height() - 6));
    return true;
}

}  // namespace ui

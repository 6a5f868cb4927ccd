#pragma once
// Where the main window's parts go and which of them show: the site panel
// open or closed, the task list or the history list in the middle, and the
// preview covering all but the caption when expanded.
#include <QSize>

class QWidget;

namespace ui {

class WindowChrome;

class WindowLayout {
  public:
    struct Parts {
        WindowChrome* chrome;
        QWidget* folderField;
        QWidget* sitePanel;
        QWidget* taskList;
        QWidget* historyList;
        QWidget* preview;
        QWidget* tips;
        int panelWidth;
        QSize previewSize;
    };
    WindowLayout(QWidget* window, const Parts& parts);

    bool PanelOpen() const { return panelOpen_; }
    bool HistoryShown() const { return historyShown_; }
    bool Expanded() const { return expanded_; }

    // An expanded preview keeps the panel's state for when it shrinks.
    void SetPanelOpen(bool open);
    void ShowHistoryList(bool history);
    void SetExpanded(bool expanded);
    // Places the parts for the window's size; false when the lists were
    // left as they were (covered, or the window too small).
    bool Apply();

  private:
    QWidget* window_;
    Parts parts_;
    bool panelOpen_ = false;
    bool historyShown_ = false;
    bool expanded_ = false;
};

}  // namespace ui

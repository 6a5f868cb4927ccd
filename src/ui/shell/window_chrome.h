#pragma once
// The main window's own controls on its skin: the menu button on the caption
// strip, the toolbar, the caption buttons and the arrow that opens the site
// panel. Each button stands for one command of the window.
#include <QObject>

class QPushButton;
class QWidget;

namespace ui {

class BitmapButtonBar;
class SitePanel;
class WindowShell;

class WindowChrome : public QObject {
    Q_OBJECT
  public:
    // The toolbar's buttons.
    enum ToolbarButton { kAdd = 6, kDownloadAll = 7, kStop = 8 };

    WindowChrome(QWidget* window, WindowShell* shell);

    // The command a button code stands for; 0 for none.
    static int CommandOfButton(int code);

    void SetRunButtons(bool downloadAll, bool stop);
    // The site panel takes the arrow's place when it is open.
    void SetPanelArrowShown(bool shown);
    // The expanded preview covers everything but the caption buttons.
    void SetExpanded(bool expanded);
    // Places the controls for the window's width; the arrow at `listTop`.
    void LayOut(int width, int listTop);
    void Retranslate();
    // The site panel's close and folder/settings buttons in the skin.
    static void DressSitePanel(SitePanel* panel);
    QPushButton* MenuButton() const { return menuButton_; }

  signals:
    void command(int id);
    void menuRequested();

  private:
    QWidget* window_;
    QPushButton* menuButton_;
    BitmapButtonBar* toolbar_;
    BitmapButtonBar* captionBar_;  // with maximise
    BitmapButtonBar* restoreBar_;  // with restore
    BitmapButtonBar* panelArrow_;
    bool arrowShown_ = true;
    bool expanded_ = false;
};

}  // namespace ui

#pragma once
// The site panel's stand-in: the sites and how many downloads each has in
// the history, and the two buttons of the panel.
#include <QFrame>

class CHistoryDb;
class QTreeWidget;

namespace ui {

class SitePanel : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kWidth = 180;
    SitePanel(CHistoryDb* history, QWidget* parent);
    // Counts the history rows of each site again (message 5030).
    void Recount();
    void Retranslate();
    QTreeWidget* Tree() const { return tree_; }

  signals:
    // The panel's buttons: 1 open the output folder, 2 settings.
    void buttonCode(int code);
    void closeClicked();

  private:
    CHistoryDb* history_;
    QTreeWidget* tree_;
};

}  // namespace ui

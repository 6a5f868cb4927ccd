#pragma once
// The site panel (child dialog 173): a tree of the task list and the four
// sites with their history counts, then "Other sites" with one child per
// host in the history, a close button and two buttons below.
// It tells the main window what to do through its signals:
//   postMessage(5027, 0)      the first root was chosen: show the task list
//   postMessage(5028, value)  another item: show the history of item value
//                             1000..1003, or of host HostOfValue(value)
//                             (any other value: an empty list)
//   postMessage(5024, 0)      the close button: hide the panel
//   command(32779)            the first button: open the output folder
//   command(32791)            the second button: the settings
#include <QIcon>
#include <QPixmap>
#include <QWidget>
#include <map>
#include <string>

#include "resource_ids.h"

class CHistoryDb;
class QTreeWidget;
class QTreeWidgetItem;

namespace ui {

class SitePanel : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kId = ids::ctl::main_window::kSitePanel;
    static constexpr int kTreeId = 1012;
    static constexpr int kCloseBarId = 1014;
    static constexpr int kButtonBarId = 1015;
    static constexpr int kWidth = 180;
    // Item values of the four sites; the roots carry -1.
    static constexpr int kFirstSiteValue = 1000;
    // The "Other sites" node, and the first of its hosts' values. A host
    // keeps its value for the panel's life.
    static constexpr int kOtherSitesValue = 1099;
    static constexpr int kFirstHostValue = 1100;

    // `history` may be null (no history: every count is 0).
    explicit SitePanel(CHistoryDb* history, QWidget* parent = nullptr);

    QTreeWidget* Tree() const { return tree_; }
    QTreeWidgetItem* FirstRoot() const;
    QTreeWidgetItem* SecondRoot() const;
    // The item of site value 1000..1003, or null.
    QTreeWidgetItem* SiteItem(int value) const;
    QTreeWidgetItem* OtherSitesItem() const;
    // The item of a host under "Other sites", or null.
    QTreeWidgetItem* HostItem(const std::wstring& host) const;
    // The host of a value of a host item; empty for any other value.
    std::wstring HostOfValue(int value) const;

    // Counts each site's history rows again: "%s (%d)" in bold above 0,
    // else the plain name.
    void Recount();
    // Re-reads the roots' titles and the buttons' tooltips, then recounts.
    void Retranslate();
    // Messages 5030 (recount) and 5031 (language changed); others are ignored.
    void HandleMessage(unsigned msg);
    // Selects the first root without announcing it (the main window has
    // switched to the task list itself).
    void SelectFirstRoot();

    // Puts bitmap button bars in place of the plain buttons: `closeBar`
    // (code 0) at the top right, `buttonBar` (codes 1 and 2) at the bottom.
    // Connect their codes to OnButtonCode. The panel takes ownership.
    void SetButtonBars(QWidget* closeBar, QWidget* buttonBar);

  public slots:
    // A code of the panel's buttons: 0 close, 1 open folder, 2 settings.
    void OnButtonCode(int code);

  signals:
    void postMessage(unsigned msg, quintptr wParam);
    void command(int id);

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void BuildTree();
    void RecountHosts();
    void OnSelection();
    void Place();

    CHistoryDb* history_;
    QTreeWidget* tree_;
    QWidget* closeBar_ = nullptr;
    QWidget* buttonBar_ = nullptr;
    QPixmap header_;
    QIcon hostImage_;
    std::map<std::wstring, int> hostValues_;
};

}  // namespace ui

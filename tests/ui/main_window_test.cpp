// The main window on real widgets: its rows, commands, keys, panels and
// frame, and what it keeps when it closes.
#include "ui/main_window.h"

#include "main_window_fixture.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "app/localization.h"
#include "app/messages.h"
#include "app/settings.h"
#include "platform/folders.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "support/history_rows.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/menu_builder.h"
#include "ui/desktop/desktop_services.h"
#include "ui/dialogs/check_update_dlg.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"
#include "ui/preview/preview_panel.h"
#include "ui/run/window_messages.h"
#include "ui/shell/bitmap_button_bar.h"
#include "ui/shell/tips_panel.h"
#include "ui/shell/window_placement.h"
#include "ui/tasklist/task_list_model.h"
#include "ui/tasklist/task_list_view.h"

namespace {

using platform::FormatW;
using platform::FromUtf8;
using ui::kColStatus;

using namespace windowtest;

// ---- Rows, cells and their colours ----

TEST_F(MainWindow, NewOnlineRowShowsPendingTextsInDarkRedAndIsChecked) {
    const std::wstring a = L"http://www.youtube.com/watch?v=abc123";
    ASSERT_TRUE(Addresses().Add(a));
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_TRUE(Model().IsChecked(0));
    const QStringList want = {QString::fromStdWString(a), "N/A", "Online", "N/A", "N/A",
                              "Ready for download..."};
    for (int col = 1; col <= 6; ++col) {
        EXPECT_EQ(Model().CellText(0, col), want[col - 1]) << col;
        EXPECT_EQ(Colour(0, col), QColor(192, 0, 0)) << col;
        EXPECT_EQ(Colour(0, col, Qt::BackgroundRole), Window().palette().color(QPalette::Base));
    }
    EXPECT_EQ(Model().data(Model().index(0, 1), Qt::ToolTipRole).toString(),
              QString::fromStdWString(a));
    EXPECT_EQ(Model().data(Model().index(0, 0), Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(Model().TaskAt(0)->source, a);
    EXPECT_EQ(Model().TaskAt(0)->onlinePending, 1);
    EXPECT_EQ(Model().TaskAt(0)->siteKind, -2);
    // The status may be cut short in a narrow column: its tooltip is whole.
    EXPECT_EQ(Model().index(0, kColStatus).data(Qt::ToolTipRole).toString(),
              "Ready for download...");
}

TEST_F(MainWindow, DownloadButtonFollowsCheckedOnlineRowsAndTheRun) {
    ui::BitmapButtonBar* bar = Toolbar();
    auto download = [bar] { return bar->IsButtonEnabled(7); };
    auto stop = [bar] { return bar->IsButtonEnabled(8); };
    EXPECT_FALSE(download());
    EXPECT_FALSE(stop());

    Addresses().Add(L"http://www.youtube.com/watch?v=a");
    EXPECT_TRUE(download());
    Select(0);
    Window().OnCommand(32832);  // uncheck selected
    EXPECT_FALSE(download());
    EXPECT_TRUE(Model().CellText(0, kColStatus).isEmpty());
    Window().OnCommand(32831);  // check selected
    EXPECT_TRUE(download());

    // Header click: every row off, then on.
    TaskView()->CheckHeader()->Toggle();  // on
    TaskView()->CheckHeader()->Toggle();  // off
    EXPECT_FALSE(Model().IsChecked(0));
    EXPECT_FALSE(download());
    TaskView()->CheckHeader()->Toggle();
    EXPECT_TRUE(download());

    EnterRun();
    EXPECT_FALSE(download());
    EXPECT_TRUE(stop());
    // Ticking a row during a run shows it waiting.
    Addresses().Add(L"http://www.youtube.com/watch?v=b");
    Model().setData(Model().index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_TRUE(Model().CellText(1, kColStatus).isEmpty());
    Model().setData(Model().index(1, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(Model().CellText(1, kColStatus), "Waiting");
}

TEST_F(MainWindow, RemovingIsRefusedDuringARun) {
    for (const wchar_t* a :
         {L"http://www.youtube.com/watch?v=a", L"http://www.youtube.com/watch?v=b"})
        Addresses().Add(a);
    Select(1);
    EnterRun();
    EXPECT_FALSE(Window().IsCommandEnabled(32828));
    Window().OnCommand(32828);
    Window().OnCommand(32829);
    EXPECT_EQ(Model().rowCount(), 2);
    // After the run, the selected row goes and the registry stays aligned.
    Run().OnRunEnded(true);
    EXPECT_FALSE(Run().Downloading());
    Select(0);
    Window().OnCommand(32828);
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Model().TaskAt(0)->source, L"http://www.youtube.com/watch?v=b");
    EXPECT_EQ(Model().CellText(0, 1), "http://www.youtube.com/watch?v=b");
    Window().OnCommand(32829);
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_FALSE(Toolbar()->IsButtonEnabled(7));
}

TEST_F(MainWindow, MarkedRangeShowsAsHoursMinutesSeconds) {
    Addresses().Add(L"http://www.youtube.com/watch?v=a");
    Task* t = Model().TaskAt(0);
    t->cutStartMs = 1000;
    t->cutEndMs = 3726000;
    Select(0);
    Window().HandleMessage(WM_MARK_CHANGED, 0, 0);
    EXPECT_EQ(Model().CellText(0, ui::kColDuration), "01:02:05");
}

TEST_F(MainWindow, SelectionAndDoubleClickReachThePreview) {
    Addresses().Add(L"http://www.youtube.com/watch?v=a");
    Select(0);
    EXPECT_EQ(Preview()->CurrentTask(), Model().TaskAt(0));
    TaskView()->clearSelection();
    EXPECT_EQ(Preview()->CurrentTask(), nullptr);
    // Download selected needs one selected online row and no run.
    Select(0);
    EXPECT_TRUE(Window().IsCommandEnabled(32835));
    // A double click on a waiting online row downloads it.
    emit TaskView()->doubleClicked(Model().index(0, 1));
    EXPECT_TRUE(Run().Downloading());
    EXPECT_FALSE(Run().DownloadAllMode());
    Window().OnCommand(32856);
    EXPECT_FALSE(Run().Downloading());
    EnterRun();
    EXPECT_FALSE(Window().IsCommandEnabled(32835));
    Select(0);
    EXPECT_TRUE(Preview()->ControlsLocked());
}

// ---- The keyboard ----

// Presses keys as the user would: the window active, the focus where it is.
class MainWindowKeys : public MainWindow {
  protected:
    void SetUp() override {
        MainWindow::SetUp();
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    }
    void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* at = QApplication::focusWidget();
        ASSERT_NE(at, nullptr);
        QTest::keyClick(at, static_cast<Qt::Key>(key), mods);
    }
    QWidget* Focus() { return QApplication::focusWidget(); }
};

TEST_F(MainWindowKeys, FocusStartsInTheListAndTheFieldKeepsOnlyItsEditingKeys) {
    EXPECT_EQ(Focus(), TaskView());
    QLineEdit* field = FolderField();
    const QString folder = field->text();

    // In the list, Ctrl+V adds the address on the clipboard.
    QApplication::clipboard()->setText("http://www.youtube.com/watch?v=k1");
    Press(Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(Model().rowCount(), 1);

    // In the field, Ctrl+V pastes into the field and adds nothing.
    field->setFocus();
    ASSERT_EQ(Focus(), field);
    field->end(false);
    Press(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), folder + "http://www.youtube.com/watch?v=k1");
    EXPECT_EQ(Model().rowCount(), 1);
    Press(Qt::Key_Z, Qt::ControlModifier);  // the field's own undo
    EXPECT_EQ(field->text(), folder);

    // Ctrl+U is the version check there too, and the text stays.
    bool checked = false;
    WhenOpen<CCheckUpdateDlg>(&Window(), [&](CCheckUpdateDlg* d) {
        checked = true;
        d->reject();
    });
    Press(Qt::Key_U, Qt::ControlModifier);
    EXPECT_TRUE(SpinUntil([&] { return checked; }, 5000));
    EXPECT_EQ(field->text(), folder);
}

TEST_F(MainWindowKeys, AKeyDoesNothingWhereItsCommandIsDisabled) {
    // Ctrl+D with nothing to download: no run, no notice.
    Press(Qt::Key_D, Qt::ControlModifier);
    EXPECT_FALSE(Run().Downloading());
    SpinUntil([] { return false; }, 100);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<ui::CompletionDialog*>(w) && w->isVisible());
    // Ctrl+E on a row that is no file yet opens nothing.
    Addresses().Add(L"http://www.youtube.com/watch?v=k2");
    Select(0);
    TaskView()->setFocus();
    Press(Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(desktop_.opened.empty());
    EXPECT_TRUE(desktop_.shown.empty());
    // Delete removes the selected row; Ctrl+A selects all.
    Addresses().Add(L"http://www.youtube.com/watch?v=k3");
    Press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(TaskView()->SelectedRows().size(), 2);
    Press(Qt::Key_Delete);
    EXPECT_EQ(Model().rowCount(), 0);
}

TEST_F(MainWindowKeys, TabLeavesTheListAndF10OrAltAloneOpenTheMainMenu) {
    Addresses().Add(L"http://www.youtube.com/watch?v=k4");
    Addresses().Add(L"http://www.youtube.com/watch?v=k5");
    TaskView()->setFocus();
    Press(Qt::Key_Tab);
    EXPECT_NE(Focus(), TaskView());
    Press(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(Focus(), TaskView());

    QMenu* menu = MainMenu();
    for (int way = 0; way < 2; ++way) {
        if (way == 0) {
            Press(Qt::Key_F10);
        } else {
            QTest::keyPress(Focus(), Qt::Key_Alt, Qt::AltModifier);
            QTest::keyRelease(Focus(), Qt::Key_Alt, Qt::NoModifier);
        }
        ASSERT_TRUE(SpinUntil([&] { return menu->isVisible(); }, 3000)) << way;
        EXPECT_NE(menu->activeAction(), nullptr);
        menu->close();
        ASSERT_TRUE(SpinUntil([&] { return !menu->isVisible(); }, 3000));
        Window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
        TaskView()->setFocus();
    }
    // Alt as part of a chord opens nothing.
    QTest::keyPress(Focus(), Qt::Key_Alt, Qt::AltModifier);
    QTest::keyClick(Focus(), Qt::Key_X, Qt::AltModifier);
    QTest::keyRelease(Focus(), Qt::Key_Alt, Qt::NoModifier);
    SpinUntil([] { return false; }, 100);
    EXPECT_FALSE(menu->isVisible());

    // F9 shows and hides the site panel, as its button does.
    const bool shown = SitePanelShown();
    Press(Qt::Key_F9);
    EXPECT_NE(SitePanelShown(), shown);
    Press(Qt::Key_F9);
    EXPECT_EQ(SitePanelShown(), shown);
}

TEST_F(MainWindow, EscapeAndEnterLeaveTheWindowOpen) {
    QTest::keyClick(&Window(), Qt::Key_Escape);
    QTest::keyClick(&Window(), Qt::Key_Return);
    EXPECT_TRUE(Window().isVisible());
}

// ---- Commands and their dialogs ----

TEST_F(MainWindow, ShowInFolderAndOutputFolderGoThroughTheDesktop) {
    CountIntakes();
    const std::string dir = mediatest::ScratchDir();
    ASSERT_TRUE(mediatest::CopyFile(mediatest::Media("a.flv"), dir + "/shown.flv"));
    Addresses().Add(L"http://www.youtube.com/watch?v=a");
    Intake().Add(FromUtf8(dir + "/shown.flv"), -1, -2, L"");
    ASSERT_TRUE(WaitIntakes(1));
    Select(0);
    EXPECT_FALSE(Window().IsCommandEnabled(32796));  // an address is no file
    Select(1);
    EXPECT_TRUE(Window().IsCommandEnabled(32796));
    Window().OnCommand(32796);
    ASSERT_EQ(desktop_.shown.size(), 1u);
    EXPECT_EQ(desktop_.shown[0], FromUtf8(dir + "/shown.flv"));

    EXPECT_EQ(EnterFolder(QString::fromStdString("  " + out_.path() + "/sub//\\ ")),
              FromUtf8(out_.path() + "/sub"));
    Window().OnCommand(32779);
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0], FromUtf8(out_.path() + "/sub"));
    EXPECT_TRUE(std::filesystem::is_directory(out_.path() + "/sub"));
    EXPECT_EQ(EnterFolder("   "), platform::PersistentTempFolder());
}

TEST_F(MainWindow, MenuItemsAreEnabledByTheirRulesWhenTheMenuOpens) {
    QMenu* menu = MainMenu();
    ASSERT_NE(menu, nullptr);
    QAction* all = ui::FindCommand(menu, 32855);
    QAction* stop = ui::FindCommand(menu, 32836);
    QAction* add = ui::FindCommand(menu, 32783);
    ASSERT_TRUE(all && stop && add);
    emit menu->aboutToShow();
    EXPECT_FALSE(all->isEnabled());
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(add->isEnabled());
    Addresses().Add(L"http://www.youtube.com/watch?v=a");
    emit menu->aboutToShow();
    EXPECT_TRUE(all->isEnabled());
    EnterRun();
    emit menu->aboutToShow();
    EXPECT_FALSE(all->isEnabled());
    EXPECT_TRUE(stop->isEnabled());
    Run().OnRunEnded(true);

    // The language items show the language in use.
    QAction* english = ui::FindCommand(menu, 32849);
    ASSERT_NE(english, nullptr);
    EXPECT_TRUE(english->isChecked());
    // Choosing an item runs its command.
    Select(0);
    menu->triggered(ui::FindCommand(menu, 32835));
    EXPECT_TRUE(Run().Downloading());
    Window().OnCommand(32856);
    EXPECT_FALSE(Run().Downloading());
}

TEST_F(MainWindow, NewVersionMessageOpensTheAnnouncement) {
    ProgramVersion shown;
    WhenOpen<CCheckUpdateDlg>(&Window(), [&](CCheckUpdateDlg* d) {
        shown = d->Newest();
        d->reject();
    });
    Window().HandleMessage(MsgNewVersion, (9u << 16) | 2u, 17);
    EXPECT_EQ(shown, (ProgramVersion{2, 9, 17}));
    // The other results show nothing.
    Window().HandleMessage(MsgNoNewVersion, 0, 0);
    Window().HandleMessage(MsgCheckFailed, 0, 0);
    EXPECT_TRUE(boxes_.shown.empty());
}

// ---- The preview, placement and closing ----

TEST_F(MainWindow, FullSizePreviewHidesTheRestAndComesBack) {
    Window().HandleMessage(WM_PREVIEW_EXPANDED, 1, 0);
    EXPECT_FALSE(TaskView()->isVisible());
    EXPECT_FALSE(Toolbar()->isVisible());
    EXPECT_EQ(Preview()->geometry(), QRect(11, 30, Window().width() - 22, Window().height() - 60));
    Window().HandleMessage(WM_PREVIEW_EXPANDED, 0, 0);
    EXPECT_TRUE(TaskView()->isVisible());
    EXPECT_TRUE(Toolbar()->isVisible());
    EXPECT_EQ(Preview()->size(), QSize(CPreviewPanel::kWidth, CPreviewPanel::kHeight));
}

// The panel toggled while the preview covers the window shows as toggled when
// the preview shrinks again, and its arrow with it.
TEST_F(MainWindow, ThePanelToggledUnderAFullSizePreviewComesBackAsToggled) {
    auto* arrow = Part<ui::BitmapButtonBar>(Control(ids::ctl::main_window::kShowPanelButton));
    ASSERT_FALSE(SitePanelShown());
    Window().HandleMessage(WM_PREVIEW_EXPANDED, 1, 0);
    Window().HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    EXPECT_TRUE(SitePanel()->isHidden());
    EXPECT_TRUE(arrow->isHidden());
    Window().HandleMessage(WM_PREVIEW_EXPANDED, 0, 0);
    EXPECT_TRUE(SitePanelShown());
    EXPECT_TRUE(arrow->isHidden());
    EXPECT_GT(TaskView()->x(), SitePanel()->geometry().right());
}

TEST_F(MainWindow, CaptionButtonsMaximiseAndRestoreThroughTheirTwoBars) {
    auto* maxBar = Window().findChild<ui::BitmapButtonBar*>(QStringLiteral("ctl1000"));
    auto* restoreBar = Window().findChild<ui::BitmapButtonBar*>(QStringLiteral("restoreBar"));
    ASSERT_TRUE(maxBar && restoreBar);
    ASSERT_FALSE(Window().isMaximized());
    EXPECT_TRUE(maxBar->isVisible());
    EXPECT_FALSE(restoreBar->isVisible());
    // Placed at the right end of the caption, whatever the width.
    EXPECT_EQ(maxBar->geometry(), QRect(Window().width() - 71, 4, 66, 20));

    QTest::mouseClick(maxBar, Qt::LeftButton, {}, maxBar->ButtonRect(2).center());
    ASSERT_TRUE(SpinUntil([&] { return Window().isMaximized(); }, 5000));
    EXPECT_FALSE(maxBar->isVisible());
    EXPECT_TRUE(restoreBar->isVisible());
    EXPECT_EQ(restoreBar->geometry().topLeft(), QPoint(Window().width() - 71, 3));

    QTest::mouseClick(restoreBar, Qt::LeftButton, {}, restoreBar->ButtonRect(2).center());
    ASSERT_TRUE(SpinUntil([&] { return !Window().isMaximized(); }, 5000));
    EXPECT_TRUE(maxBar->isVisible());
}

TEST_F(MainWindow, ClosingStoresThePlacementAndTheSitePanelState) {
    Addresses().Add(L"http://www.youtube.com/watch?v=a");
    EXPECT_FALSE(SitePanelShown());  // no history yet
    Window().HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    EXPECT_TRUE(SitePanelShown());
    Window().close();
    const ui::StoredWindowState stored = ui::LoadWindowPlacement(QSize(1024, 768));
    EXPECT_TRUE(stored.showSitePanel);
    EXPECT_EQ(stored.placement.right - stored.placement.left, 999);
}

// ---- The site panel and the history list ----

class MainWindowHistory : public MainWindow {
  protected:
    void AddRow(int kind, const std::wstring& path, const std::wstring& page) {
        ASSERT_EQ(AddHistoryRow(history_, testsupport::HistoryTask(kind, path, page)), 1);
    }
    void ChooseSite(int value) {
        ui::SitePanel* panel = SitePanel();
        panel->Tree()->setCurrentItem(value < 0 ? panel->FirstRoot() : panel->SiteItem(value));
    }
    void SelectHistoryRow(int row) {
        ui::HistoryListView* v = HistoryView();
        v->clearSelection();
        v->selectionModel()->select(v->model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

TEST_F(MainWindowHistory, ChoosingASiteShowsItsHistoryAndTheFirstRootTheTaskList) {
    const std::string file = out_ / "kept.flv";
    testsupport::WriteFile(file, "x");
    AddRow(0, FromUtf8(file), L"http://www.youtube.com/watch?v=1");
    AddRow(0, L"/no/such/file.flv", L"http://www.youtube.com/watch?v=2");
    AddRow(1, L"/other/site.flv", L"");
    CClipvaneDlg& w = Window();
    if (!SitePanelShown()) w.HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    EXPECT_EQ(SitePanel()->SiteItem(1000)->text(0), "YouTube (2)");
    ui::HistoryListView* list = HistoryView();
    EXPECT_FALSE(list->isVisible());

    ChooseSite(1000);
    ASSERT_TRUE(SpinUntil([&] { return HistoryShown(); }));
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(TaskView()->isVisible());
    EXPECT_EQ(list->Model()->RowCount(), 2);
    EXPECT_EQ(Preview()->CurrentTask(), nullptr);

    // The commands of the list go through the window.
    const int row = list->Model()->TaskAt(0)->source == FromUtf8(file) ? 0 : 1;
    SelectHistoryRow(1 - row);
    EXPECT_FALSE(w.IsCommandEnabled(32774));  // the file is gone
    EXPECT_TRUE(w.IsCommandEnabled(32857));
    SelectHistoryRow(row);
    EXPECT_TRUE(w.IsCommandEnabled(32774));
    w.OnCommand(32774);
    ASSERT_EQ(desktop_.shown.size(), 1u);
    EXPECT_EQ(desktop_.shown[0], FromUtf8(file));
    w.OnCommand(32857);
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0].rfind(L"http://www.youtube.com/watch?v=", 0), 0u);

    // Removing rows recounts the panel; the media file stays.
    ASSERT_TRUE(w.IsCommandEnabled(32776));
    w.OnCommand(32776);
    EXPECT_EQ(list->Model()->RowCount(), 1);
    EXPECT_EQ(HistoryRows(), 2);
    EXPECT_EQ(SitePanel()->SiteItem(1000)->text(0), "YouTube (1)");
    EXPECT_TRUE(std::filesystem::exists(file));
    HistoryView()->clearSelection();
    EXPECT_FALSE(w.IsCommandEnabled(32776));

    // The list's context menu is the second drop-down of the context menus.
    ASSERT_NE(list->ContextMenu(), nullptr);
    EXPECT_NE(ui::FindCommand(list->ContextMenu(), 32776), nullptr);

    // Another site, then the task list again.
    ChooseSite(1001);
    ASSERT_TRUE(SpinUntil([&] {
        return list->Model()->RowCount() == 1 &&
               list->Model()->TaskAt(0)->source == L"/other/site.flv";
    }));
    ChooseSite(-1);
    ASSERT_TRUE(SpinUntil([&] { return !HistoryShown(); }));
    EXPECT_TRUE(TaskView()->isVisible());
    EXPECT_FALSE(list->isVisible());
}

TEST_F(MainWindowHistory, ADropOnTheHistoryListBringsTheTaskListBack) {
    AddRow(0, L"/videos/a.flv", L"");
    ChooseSite(1000);
    ASSERT_TRUE(SpinUntil([&] { return HistoryShown(); }));
    QMimeData link;
    link.setText("http://www.youtube.com/watch?v=dropped");
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &link, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(HistoryView()->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &link, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(HistoryView()->viewport(), &drop);
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_FALSE(HistoryShown());
    EXPECT_TRUE(TaskView()->isVisible());
    // The panel marks the task list as chosen without announcing it again.
    EXPECT_EQ(SitePanel()->Tree()->currentItem(), SitePanel()->FirstRoot());
}

TEST_F(MainWindowHistory, ThePanelsButtonBarsCloseItAndRunTheirCommands) {
    AddRow(0, L"/videos/a.flv", L"");
    CClipvaneDlg& w = Window();
    if (!SitePanelShown()) w.HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    ASSERT_TRUE(SitePanel()->isVisible());
    auto bars = SitePanel()->findChildren<ui::BitmapButtonBar*>();
    ASSERT_EQ(bars.size(), 2);
    ui::BitmapButtonBar* close = bars[0]->ButtonRect(0).isValid() ? bars[0] : bars[1];
    ui::BitmapButtonBar* two = close == bars[0] ? bars[1] : bars[0];
    ASSERT_TRUE(two->ButtonRect(1).isValid());
    QTest::mouseClick(two, Qt::LeftButton, Qt::NoModifier, two->ButtonRect(1).center());
    ASSERT_EQ(desktop_.opened.size(), 1u);
    EXPECT_EQ(desktop_.opened[0], GetSettings().Get().OutputFolder);
    QTest::mouseClick(close, Qt::LeftButton, Qt::NoModifier, close->ButtonRect(0).center());
    ASSERT_TRUE(SpinUntil([&] { return !SitePanelShown(); }));
    EXPECT_FALSE(SitePanel()->isVisible());
}

// ---- Tips and languages ----

TEST_F(MainWindow, TheTipsPanelStandsBesideThePreviewAnd9224ShowsTheNextTip) {
    CClipvaneDlg& w = Window();
    auto* tips = qobject_cast<ui::TipsPanel*>(ui::FindControl(&w, 1018));
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(tips, Tips());
    EXPECT_TRUE(tips->isVisible());
    EXPECT_FALSE(tips->geometry().intersects(Preview()->geometry()));
    const int first = tips->Current();
    w.HandleMessage(WM_NEXT_TIP, 0, 0);
    EXPECT_EQ(tips->Current(), (first + 1) % ui::TipsPanel::kTipCount);
    EXPECT_FALSE(tips->Text()->text().isEmpty());
}

TEST_F(MainWindow, ALanguageCommandMovesTheTickAndOnlyAChangeIsAnnounced) {
    CClipvaneDlg& w = Window();
    QMenu* menu = MainMenu();
    ASSERT_NE(menu, nullptr);
    QAction* english = ui::FindCommand(menu, 32849);
    QAction* japanese = ui::FindCommand(menu, 32850);
    ASSERT_NE(english, nullptr);
    ASSERT_NE(japanese, nullptr);
    EXPECT_TRUE(english->isChecked());
    int retitled = 0;
    struct Counter : QObject {
        int* n;
        explicit Counter(int* c) : n(c) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == ui::kLanguageChangedEvent) ++*n;
            return false;
        }
    };
    auto* counter = new Counter(&retitled);
    counter->setParent(Tips());
    Tips()->installEventFilter(counter);
    w.OnCommand(32850);
    EXPECT_EQ(GetSettings().LangID(), L"ja");
    EXPECT_TRUE(japanese->isChecked());
    EXPECT_FALSE(english->isChecked());
    EXPECT_EQ(retitled, 1);
    w.OnCommand(32850);  // the language in use: nothing happens
    EXPECT_EQ(retitled, 1);
    w.OnCommand(32849);
    EXPECT_EQ(GetSettings().LangID(), L"en");
    EXPECT_TRUE(english->isChecked());
    EXPECT_EQ(retitled, 2);
}

// ---- The window's own frame ----

TEST_F(MainWindow, TheWindowIsFramelessAndPaintsItsOwnCaption) {
    CClipvaneDlg& w = Window();
    ASSERT_NE(Shell(), nullptr);
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_GE(w.minimumWidth(), 999);
    EXPECT_GE(w.minimumHeight(), 600);
    // The caption's maximise button goes through the shell both ways.
    w.HandleMessage(WM_TOOLBAR_BUTTON, 2, 0);
    ASSERT_TRUE(SpinUntil([&] { return w.isMaximized(); }, 5000));
    w.HandleMessage(WM_TOOLBAR_BUTTON, 2, 0);
    ASSERT_TRUE(SpinUntil([&] { return !w.isMaximized(); }, 5000));
    // Painting the whole window with its status line does not fail.
    EXPECT_FALSE(w.grab().isNull());
}

}  // namespace

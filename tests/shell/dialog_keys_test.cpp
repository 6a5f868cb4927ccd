// The keys of each dialog, pressed on real widgets: Escape cancels, Enter
// presses the default button, a multi-line box keeps Enter for new lines and
// takes Ctrl+Enter for OK, Tab moves on, and the settings sheet changes
// pages with Ctrl+Tab and Ctrl+PgDn / PgUp.
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "app/settings.h"
#include "platform/text.h"
#include "shell_fixture.h"
#include "ui/bundle/qt_text.h"
#include "ui/dialogs/dialogs.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_sheet.h"

using shelltest::ShellTest;

namespace {

class DialogKeys : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        GetSettings().Update(
            [&](SettingsData& d) { d.OutputFolder = platform::FromUtf8(dir_ / "videos"); });
    }
    // Shows the dialog as the active window, as the user would meet it.
    void Open(QDialog& d) {
        d.show();
        d.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    }
    void Press(QDialog& d, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : &d, static_cast<Qt::Key>(key), mods);
    }
    static QPushButton* Ok(QDialog& d) {
        for (QPushButton* b : d.findChildren<QPushButton*>())
            if (b->isDefault()) return b;
        return nullptr;
    }
};

}  // namespace

TEST_F(DialogKeys, AddAddressesTypesLinesTabsToOkAndConfirmsWithCtrlEnter) {
    ui::AddAddressesDialog d;
    Open(d);
    ASSERT_EQ(QApplication::focusWidget(), d.Editor());
    QTest::keyClicks(d.Editor(), "http://a.example/1");
    Press(d, Qt::Key_Return);
    QTest::keyClicks(d.Editor(), "http://a.example/2");
    EXPECT_TRUE(d.isVisible()) << "Enter in the box makes a new line";

    Press(d, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Ok(d)) << "Tab goes on to OK";
    EXPECT_FALSE(d.Editor()->toPlainText().contains('\t'));
    Press(d, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.Editor());

    Press(d, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.Result(),
              (std::vector<std::wstring>{L"http://a.example/1", L"http://a.example/2"}));

    // Enter on the keypad with Ctrl counts the same; Tab then Enter presses OK.
    ui::AddAddressesDialog keypad;
    Open(keypad);
    QTest::keyClicks(keypad.Editor(), "http://b.example/");
    Press(keypad, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    EXPECT_EQ(keypad.result(), QDialog::Accepted);
    ui::AddAddressesDialog tabbed;
    Open(tabbed);
    QTest::keyClicks(tabbed.Editor(), "http://c.example/");
    Press(tabbed, Qt::Key_Tab);
    Press(tabbed, Qt::Key_Return);
    EXPECT_EQ(tabbed.result(), QDialog::Accepted);
    EXPECT_EQ(tabbed.Result(), std::vector<std::wstring>{L"http://c.example/"});
}

TEST_F(DialogKeys, EscapeCancelsEveryDialog) {
    ui::AddAddressesDialog add;
    ui::ImportDialog import;
    ui::AboutDialog about;
    ui::CompletionDialog done;
    ui::SettingsSheet sheet;
    for (QDialog* d : std::initializer_list<QDialog*>{&add, &import, &about, &done, &sheet}) {
        Open(*d);
        if (d == &add) QTest::keyClicks(add.Editor(), "http://typed.example/");
        Press(*d, Qt::Key_Escape);
        EXPECT_FALSE(d->isVisible()) << d->metaObject()->className();
        EXPECT_EQ(d->result(), QDialog::Rejected) << d->metaObject()->className();
    }
    EXPECT_TRUE(add.Result().empty());
}

TEST_F(DialogKeys, EnterInAFieldPressesTheDefaultButton) {
    const std::string list = dir_ / "list.txt";
    testsupport::WriteFile(list, "http://www.example.com/watch?v=abcdefghijk\n");
    ui::ImportDialog import;
    Open(import);
    ASSERT_EQ(QApplication::focusWidget(), import.Source());
    QTest::keyClicks(import.Source(), QString::fromStdString(list));
    Press(import, Qt::Key_Return);
    EXPECT_EQ(import.result(), QDialog::Accepted);

    ui::AboutDialog about;
    Open(about);
    Press(about, Qt::Key_Return);
    EXPECT_EQ(about.result(), QDialog::Accepted);

    const std::wstring folder = platform::FromUtf8(dir_ / "videos");
    ui::SettingsSheet sheet;
    Open(sheet);
    sheet.General()->FolderEdit()->setFocus();
    Press(sheet, Qt::Key_Return);
    EXPECT_EQ(sheet.result(), QDialog::Accepted);
    EXPECT_EQ(GetSettings().Get().OutputFolder, folder);
}

TEST_F(DialogKeys, SettingsPagesChangeWithCtrlTabAndCtrlPageKeys) {
    ui::SettingsSheet sheet;
    Open(sheet);
    sheet.General()->FolderEdit()->setFocus();
    QTabWidget* tabs = sheet.Tabs();
    auto expectPage = [&](QWidget* page, const char* after) {
        EXPECT_EQ(tabs->currentWidget(), page) << after;
        EXPECT_TRUE(page->isAncestorOf(QApplication::focusWidget())) << after;
    };
    Press(sheet, Qt::Key_Tab, Qt::ControlModifier);
    expectPage(sheet.Online(), "Ctrl+Tab");
    Press(sheet, Qt::Key_PageDown, Qt::ControlModifier);
    expectPage(sheet.Audio(), "Ctrl+PgDn");
    Press(sheet, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    expectPage(sheet.Online(), "Ctrl+Shift+Tab");
    Press(sheet, Qt::Key_PageUp, Qt::ControlModifier);
    expectPage(sheet.General(), "Ctrl+PgUp");
    Press(sheet, Qt::Key_PageUp, Qt::ControlModifier);
    expectPage(sheet.Video(), "round the front to the last page");
    Press(sheet, Qt::Key_Tab, Qt::ControlModifier);
    expectPage(sheet.General(), "round the end to the first page");
    EXPECT_TRUE(sheet.isVisible());
}

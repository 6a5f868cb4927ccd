// The window's output folder, typed into its field, chosen in a box or set
// in the settings sheet: saved alike, kept after a restart, and refused
// where it cannot take downloads.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <filesystem>

#include "../main_window_fixture.h"
#include "app/localization.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_sheet.h"

namespace {

using namespace windowtest;
using platform::FormatW;
using platform::FromUtf8;
using ui::kColStatus;

// Closes the window and starts it again over the settings as saved.
class MainWindowRestart : public MainWindow {
  protected:
    void Restart() {
        Window().close();
        win_.reset();
        GetSettings().Update([](SettingsData& d) { d.OutputFolder = L"/forgotten"; });
        GetSettings().Load();
    }
    std::wstring Folder() { return FolderField()->text().toStdWString(); }
};

TEST_F(MainWindowRestart, AFolderTypedChosenOrSetInTheSheetIsKeptAfterARestart) {
    const std::string typed = out_.path() + "/typed", chosen = out_.path() + "/chosen",
                      sheet = out_.path() + "/sheet";
    // Typed into the field and taken with Enter.
    QLineEdit* field = FolderField();
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, QString::fromStdString(typed + "/ "));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(GetSettings().Get().OutputFolder, FromUtf8(typed));
    Restart();
    EXPECT_EQ(Folder(), FromUtf8(typed));
    EXPECT_TRUE(std::filesystem::is_directory(typed));

    // Chosen from the menu.
    std::filesystem::create_directories(chosen);
    WhenOpen<QFileDialog>(&Window(), [&](QFileDialog* d) {
        d->setDirectory(QString::fromStdString(chosen));
        QMetaObject::invokeMethod(d, "accept");
    });
    Window().OnCommand(32780);
    EXPECT_EQ(Folder(), FromUtf8(chosen));
    Restart();
    EXPECT_EQ(Folder(), FromUtf8(chosen));

    // Set in the settings sheet.
    WhenOpen<ui::SettingsSheet>(&Window(), [&](ui::SettingsSheet* s) {
        s->General()->EnsureLoaded();
        s->General()->FolderEdit()->setText(QString::fromStdString(sheet));
        s->accept();
    });
    Window().OnCommand(32791);
    EXPECT_EQ(Folder(), FromUtf8(sheet));
    Restart();
    EXPECT_EQ(Folder(), FromUtf8(sheet));

    // A download takes the folder of the moment.
    Addresses().Add(L"http://www.youtube.com/watch?v=f");
    Window().OnCommand(32855);
    EXPECT_TRUE(Run().Downloading());
    Window().OnCommand(32856);
}

TEST_F(MainWindowRestart, AFolderThatCannotTakeDownloadsIsRefusedWhereChosen) {
    const std::wstring before = Folder();
    const std::string file = out_.path() + "/a-file";
    testsupport::WriteFile(file, "x");
    struct Case {
        std::string path;
        unsigned reason;
    } cases[] = {{file, 33501}, {file + "/below", 33501}};  // a file on the way
    for (const Case& c : cases) {
        boxes_.shown.clear();
        QLineEdit* field = FolderField();
        field->setText(QString::fromStdString(c.path));
        field->setModified(true);
        emit field->editingFinished();
        ASSERT_EQ(boxes_.shown.size(), 1u) << c.path;
        EXPECT_NE(boxes_.shown[0].text.find(LoadText(c.reason)), std::wstring::npos)
            << platform::ToUtf8(boxes_.shown[0].text);
        EXPECT_NE(boxes_.shown[0].text.find(before), std::wstring::npos);
        EXPECT_EQ(Folder(), before);
        EXPECT_EQ(GetSettings().Get().OutputFolder, before);
    }
    // Leaving the field afterwards takes nothing and asks nothing.
    emit FolderField()->editingFinished();
    EXPECT_EQ(boxes_.shown.size(), 1u);
    Restart();
    EXPECT_EQ(Folder(), before);
}

TEST_F(MainWindow, SettingsSheetConfirmedKeepsTheWindowsFolderAndDownloader) {
    const QString folder = FolderField()->text();
    WhenOpen<ui::SettingsSheet>(&Window(), [](ui::SettingsSheet* s) { s->accept(); });
    Window().OnCommand(32791);
    EXPECT_EQ(FolderField()->text(), folder);
    EXPECT_NE(Run().Downloader(), nullptr);
    WhenOpen<ui::SettingsSheet>(&Window(), [](ui::SettingsSheet* s) { s->reject(); });
    Window().OnCommand(32791);
    EXPECT_EQ(FolderField()->text(), folder);
}

}  // namespace

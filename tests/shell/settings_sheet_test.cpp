// The settings sheet and its four pages on real widgets, saving into a hive
// file of the test's own.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>
#include <filesystem>

#include "app/localization.h"
#include "platform/folders.h"
#include "platform/text.h"
#include "shell_fixture.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/dialogs/folder_browser.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_sheet.h"

namespace fs = std::filesystem;
using shelltest::ShellTest;

namespace {

class SettingsSheet : public ShellTest {
  protected:
    // What another start would read from the hive.
    SettingsData Stored() {
        CSettings fresh;
        fresh.Load();
        return fresh.Get();
    }
    template <class T>
    T* Ctl(QWidget* page, int id) {
        return qobject_cast<T*>(ui::FindControl(page, id));
    }
    // Shows the sheet with `page` in front.
    void Open(ui::SettingsSheet& sheet, QWidget* page) {
        sheet.show();
        sheet.Tabs()->setCurrentWidget(page);
    }
};

}  // namespace

TEST_F(SettingsSheet, SheetHasCaptionFourPagesAndNoApply) {
    ui::SettingsSheet sheet;
    EXPECT_EQ(sheet.windowTitle(), ui::ToQ(LoadText(32806)));
    ASSERT_EQ(sheet.Tabs()->count(), 4);
    EXPECT_EQ(sheet.Tabs()->widget(0), sheet.General());
    EXPECT_EQ(sheet.Tabs()->widget(1), sheet.Online());
    EXPECT_EQ(sheet.Tabs()->widget(2), sheet.Audio());
    EXPECT_EQ(sheet.Tabs()->widget(3), sheet.Video());
    for (QPushButton* b : sheet.findChildren<QPushButton*>())
        EXPECT_NE(b->text().remove('&'), QStringLiteral("Apply"));
    // Pages load only when shown, the general page first.
    sheet.show();
    EXPECT_TRUE(sheet.General()->Loaded());
    EXPECT_FALSE(sheet.Online()->Loaded());
}

TEST_F(SettingsSheet, VolumeAtLeftEndShowsMinus20dBAndStoresIt) {
    GetSettings().Update([](SettingsData& d) { d.OUT_VOLUME = 7; });
    ui::SettingsSheet sheet;
    Open(sheet, sheet.Audio());
    QSlider* slider = sheet.Audio()->Volume();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->minimum(), -20);
    EXPECT_EQ(slider->maximum(), 20);
    EXPECT_EQ(slider->value(), 7);
    EXPECT_EQ(sheet.Audio()->VolumeLabel()->text(), "7 dB");
    slider->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(sheet.Audio()->VolumeLabel()->text(), "-20 dB");
    sheet.accept();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(GetSettings().Get().OUT_VOLUME, -20);
    EXPECT_EQ(Stored().OUT_VOLUME, -20);
}

TEST_F(SettingsSheet, FitBoxesExcludeEachOtherAndGateTheExpandBoxes) {
    ui::SettingsSheet sheet;
    Open(sheet, sheet.Video());
    QWidget* v = sheet.Video();
    auto* width = Ctl<QCheckBox>(v, 1032);
    auto* height = Ctl<QCheckBox>(v, 1033);
    auto* expand = Ctl<QCheckBox>(v, 1034);
    auto* round16 = Ctl<QCheckBox>(v, 1035);
    ASSERT_TRUE(width && height && expand && round16);
    EXPECT_FALSE(expand->isEnabled());
    EXPECT_FALSE(round16->isEnabled());

    width->click();
    EXPECT_TRUE(width->isChecked());
    EXPECT_FALSE(height->isEnabled());
    EXPECT_TRUE(expand->isEnabled());
    EXPECT_TRUE(round16->isEnabled());

    width->click();
    EXPECT_TRUE(height->isEnabled());
    EXPECT_FALSE(expand->isEnabled());
    EXPECT_FALSE(round16->isEnabled());

    height->click();
    EXPECT_FALSE(width->isEnabled());
    EXPECT_TRUE(expand->isEnabled());
}

TEST_F(SettingsSheet, StoredFitToHeightDisablesFitToWidthOnShow) {
    GetSettings().Update([](SettingsData& d) {
        d.Fit2Height = 1;
        d.ExpandRound16 = 1;
    });
    ui::SettingsSheet sheet;
    Open(sheet, sheet.Video());
    EXPECT_FALSE(Ctl<QCheckBox>(sheet.Video(), 1032)->isEnabled());
    EXPECT_TRUE(Ctl<QCheckBox>(sheet.Video(), 1033)->isChecked());
    EXPECT_TRUE(Ctl<QCheckBox>(sheet.Video(), 1034)->isEnabled());
    EXPECT_TRUE(Ctl<QCheckBox>(sheet.Video(), 1035)->isChecked());
}

TEST_F(SettingsSheet, HighestQualityOfAStreamIsKept) {
    GetSettings().Update([](SettingsData& d) { d.HighestQuality = 720; });
    ui::SettingsSheet sheet;
    Open(sheet, sheet.Video());
    auto* box = Ctl<QComboBox>(sheet.Video(), 1451);
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(box->count(), 4);
    EXPECT_EQ(box->itemText(0), ui::ToQ(LoadText(33301)));
    EXPECT_EQ(box->currentText(), "720p");
    box->setCurrentIndex(0);
    sheet.accept();
    EXPECT_EQ(GetSettings().Get().HighestQuality, 0u);
    EXPECT_EQ(Stored().HighestQuality, 0u);
}

TEST_F(SettingsSheet, VideoOutputRadioMapping) {
    EXPECT_EQ(CPageVideo::OutputIndex(L"directx"), 0);
    EXPECT_EQ(CPageVideo::OutputIndex(L"gl2"), 1);
    EXPECT_EQ(CPageVideo::OutputIndex(L"gl"), 2);
    EXPECT_EQ(CPageVideo::OutputIndex(L"xv"), 0);
    EXPECT_EQ(CPageVideo::OutputIndex(L"GL2"), 0);
    EXPECT_EQ(CPageVideo::OutputName(-1), L"");

    GetSettings().Update([](SettingsData& d) { d.MPLAYER_VO = L"gl2"; });
    {
        ui::SettingsSheet sheet;
        Open(sheet, sheet.Video());
        EXPECT_TRUE(Ctl<QRadioButton>(sheet.Video(), 1029)->isChecked());
        EXPECT_FALSE(Ctl<QRadioButton>(sheet.Video(), 1028)->isChecked());
        sheet.accept();
    }
    EXPECT_EQ(Stored().MPLAYER_VO, L"gl2");

    // An unknown driver shows the first button and is written back as it.
    GetSettings().Update([](SettingsData& d) { d.MPLAYER_VO = L"vdpau"; });
    ui::SettingsSheet sheet;
    Open(sheet, sheet.Video());
    EXPECT_TRUE(Ctl<QRadioButton>(sheet.Video(), 1028)->isChecked());
    sheet.accept();
    EXPECT_EQ(GetSettings().Get().MPLAYER_VO, L"directx");
}

TEST_F(SettingsSheet, AccountTextsAreTrimmedAndPasswordsHidden) {
    ui::SettingsSheet sheet;
    Open(sheet, sheet.Online());
    QWidget* o = sheet.Online();
    EXPECT_EQ(Ctl<QLineEdit>(o, 1198)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Ctl<QLineEdit>(o, 1200)->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Ctl<QLineEdit>(o, 1197)->echoMode(), QLineEdit::Normal);
    Ctl<QLineEdit>(o, 1197)->setText("  alice \t");
    Ctl<QLineEdit>(o, 1198)->setText(" p a ss ");
    Ctl<QLineEdit>(o, 1199)->setText("\tbob");
    Ctl<QLineEdit>(o, 1200)->setText("secret  ");
    Ctl<QCheckBox>(o, 1018)->setChecked(true);
    Ctl<QRadioButton>(o, 1074)->setChecked(true);
    Ctl<QLineEdit>(o, 1020)->setText("12");
    sheet.accept();
    SettingsData s = Stored();
    EXPECT_EQ(s.YTUser, L"alice");
    EXPECT_EQ(s.YTPasswd, L"p a ss");
    EXPECT_EQ(s.NicoUser, L"bob");
    EXPECT_EQ(s.NicoPasswd, L"secret");
    EXPECT_EQ(s.UseTitleAsFileName, 1u);
    EXPECT_EQ(s.YoutubeFMT, 2u);
    EXPECT_EQ(s.RetryTimes, 12);
}

TEST_F(SettingsSheet, RetriesOutsideZeroTo99AreRefusedOnTheOnlinePage) {
    ui::SettingsSheet sheet;
    Open(sheet, sheet.Online());
    auto* retries = Ctl<QLineEdit>(sheet.Online(), 1020);
    ASSERT_NE(retries, nullptr);
    EXPECT_EQ(retries->text(), "0");

    retries->setText("100");
    sheet.Tabs()->setCurrentWidget(sheet.General());
    // Leaving the page is refused too: it comes back.
    EXPECT_EQ(sheet.Tabs()->currentWidget(), sheet.Online());
    ASSERT_EQ(boxes_.texts.size(), 1u);
    EXPECT_EQ(boxes_.texts[0], platform::FormatW(LoadText(32890).c_str(), 0, 99));

    sheet.Tabs()->setCurrentWidget(sheet.Audio());
    retries->setText("100");
    EXPECT_EQ(sheet.Tabs()->currentWidget(), sheet.Online());
    sheet.Tabs()->setCurrentWidget(sheet.General());
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.Tabs()->currentWidget(), sheet.Online());
    EXPECT_EQ(GetSettings().Get().RetryTimes, 0);

    retries->setText("");
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible());
    retries->setText("99");
    sheet.accept();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(GetSettings().Get().RetryTimes, 99);
}

TEST_F(SettingsSheet, CancelStoresNothing) {
    ui::SettingsSheet sheet;
    Open(sheet, sheet.Audio());
    sheet.Audio()->Volume()->setValue(-5);
    sheet.reject();
    EXPECT_EQ(GetSettings().Get().OUT_VOLUME, 0);
    EXPECT_FALSE(platform::Hive::CurrentUser().KeyExists(L"Software\\Clipvane\\Setting\\Output"));
}

namespace {
// Runs the settings command, letting `drive` act on the open sheet and then
// pressing OK (or Cancel).
ui::SettingsOutcome RunSheet(const std::wstring& folder,
                             std::function<void(ui::SettingsSheet&)> drive, bool ok = true) {
    return ui::RunSettingsSheet(nullptr, folder, [&](ui::SettingsSheet& sheet) {
        QTimer::singleShot(0, &sheet, [&sheet, drive, ok] {
            if (drive) drive(sheet);
            if (ok)
                sheet.accept();
            else
                sheet.reject();
        });
    });
}
}  // namespace

TEST_F(SettingsSheet, ConfirmingWithoutTheOnlinePageHandsOverTheStoredValues) {
    GetSettings().Update([](SettingsData& d) {
        d.UseTitleAsFileName = 1;
        d.RetryTimes = 7;
    });
    const std::wstring folder = platform::FromUtf8(dir_ / "out");
    ui::SettingsOutcome out = RunSheet(folder, {});
    EXPECT_TRUE(out.confirmed);
    EXPECT_TRUE(out.useTitleAsFileName);
    EXPECT_EQ(out.retryTimes, 7);
    EXPECT_EQ(out.folder, folder);
    EXPECT_FALSE(out.folderChanged);
    EXPECT_TRUE(fs::is_directory(dir_ / "out"));
    EXPECT_EQ(Stored().OutputFolder, folder);
}

TEST_F(SettingsSheet, ANewFolderIsReportedOnlyWhenItDiffers) {
    const std::wstring before = platform::FromUtf8(dir_ / "before");
    const std::wstring after = platform::FromUtf8(dir_ / "after");
    ui::SettingsOutcome out = RunSheet(before, [&](ui::SettingsSheet& sheet) {
        sheet.General()->FolderEdit()->setText(ui::ToQ(after));
    });
    EXPECT_TRUE(out.confirmed);
    EXPECT_TRUE(out.folderChanged);
    EXPECT_EQ(out.folder, after);
    EXPECT_TRUE(fs::is_directory(dir_ / "after"));
    EXPECT_EQ(GetSettings().Get().OutputFolder, after);

    out = RunSheet(after, [&](ui::SettingsSheet& sheet) {
        // Typed again, the same text.
        sheet.General()->FolderEdit()->setText(ui::ToQ(after));
    });
    EXPECT_TRUE(out.confirmed);
    EXPECT_FALSE(out.folderChanged);

    out = RunSheet(
        after,
        [&](ui::SettingsSheet& sheet) { sheet.General()->FolderEdit()->setText(ui::ToQ(before)); },
        false);
    EXPECT_FALSE(out.confirmed);
    EXPECT_FALSE(out.folderChanged);
    EXPECT_EQ(out.folder, after);
}

TEST_F(SettingsSheet, GeneralPageNormalisesBrowsesAndLimitsTheFolder) {
    ui::SettingsSheet sheet;
    Open(sheet, sheet.General());
    CPageGeneral* g = sheet.General();
    EXPECT_EQ(g->FolderEdit()->maxLength(), 260);

    std::wstring askedFor, title;
    std::optional<std::wstring> answer = platform::FromUtf8(dir_ / "chosen") + L"  ";
    g->SetFolderChooser([&](QWidget*, const std::wstring& initial, const std::wstring& t) {
        askedFor = initial;
        title = t;
        return answer;
    });
    g->FolderEdit()->setText(ui::ToQ(L"  " + platform::FromUtf8(dir_ / "typed") + L" "));
    g->Browse();
    EXPECT_EQ(askedFor, platform::FromUtf8(dir_ / "typed"));
    EXPECT_EQ(title, LoadText(32813));
    EXPECT_EQ(ui::FromQ(g->FolderEdit()->text()), platform::FromUtf8(dir_ / "chosen"));
    EXPECT_TRUE(fs::is_directory(dir_ / "typed"));
    EXPECT_TRUE(fs::is_directory(dir_ / "chosen"));

    // Cancelled: the normalised folder stays.
    answer.reset();
    g->FolderEdit()->setText(ui::ToQ(platform::FromUtf8(dir_ / "kept") + L"   "));
    g->Browse();
    EXPECT_EQ(ui::FromQ(g->FolderEdit()->text()), platform::FromUtf8(dir_ / "kept"));

    std::wstring opened;
    g->SetOpener([&](const std::wstring& f) {
        opened = f;
        return true;
    });
    g->FolderEdit()->setText(ui::ToQ(platform::FromUtf8(dir_ / "open") + L" "));
    g->OpenFolder();
    EXPECT_EQ(opened, platform::FromUtf8(dir_ / "open"));
    EXPECT_TRUE(fs::is_directory(dir_ / "open"));
}

TEST_F(SettingsSheet, AnEmptyFolderBecomesTheFallbackFolder) {
    const std::string home = dir_ / "home";
    fs::create_directories(home);
    const char* oldHome = getenv("HOME");
    std::string keep = oldHome ? oldHome : "";
    setenv("HOME", home.c_str(), 1);
    ui::SettingsSheet sheet;
    Open(sheet, sheet.General());
    sheet.General()->FolderEdit()->setText("   ");
    std::wstring f = sheet.General()->NormalizeFolder();
    if (oldHome)
        setenv("HOME", keep.c_str(), 1);
    else
        unsetenv("HOME");
    EXPECT_EQ(f, platform::FromUtf8(home) + L"/.cache/Clipvane/temp");
    EXPECT_TRUE(fs::is_directory(home + "/.cache/Clipvane/temp"));
    // Confirmation stores the text as it stands.
    const std::wstring spaced = L" " + platform::FromUtf8(dir_ / "spaced") + L" ";
    sheet.General()->FolderEdit()->setText(ui::ToQ(spaced));
    sheet.accept();
    EXPECT_EQ(GetSettings().Get().OutputFolder, spaced);
}

TEST_F(SettingsSheet, AFolderThatCannotTakeFilesIsRefusedWithItsReason) {
    testsupport::WriteFile(dir_ / "file", "x");
    const std::wstring good = platform::FromUtf8(dir_ / "good");
    GetSettings().Update([&](SettingsData& d) { d.OutputFolder = good; });
    ui::SettingsSheet sheet;
    Open(sheet, sheet.General());
    CPageGeneral* g = sheet.General();

    // Typed: OK keeps the sheet open, says why and puts the focus there.
    const std::wstring bad = platform::FromUtf8(dir_ / "file/videos");
    g->FolderEdit()->setText(ui::ToQ(bad));
    sheet.Tabs()->setCurrentWidget(sheet.Audio());
    EXPECT_EQ(sheet.Tabs()->currentWidget(), g) << "leaving the page is refused too";
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible());
    ASSERT_EQ(boxes_.texts.size(), 2u);
    EXPECT_EQ(boxes_.texts[1], platform::FormatW(LoadText(33500).c_str(), bad.c_str(),
                                                 LoadText(33501).c_str(), good.c_str()));
    EXPECT_EQ(sheet.focusWidget(), g->FolderEdit());
    EXPECT_EQ(g->FolderEdit()->selectedText(), g->FolderEdit()->text());
    EXPECT_EQ(GetSettings().Get().OutputFolder, good);

    // Browsed: the choice is refused and the field keeps its text.
    g->FolderEdit()->setText(ui::ToQ(good));
    g->SetFolderChooser([&](QWidget*, const std::wstring&, const std::wstring&) {
        return std::optional<std::wstring>(platform::FromUtf8(dir_ / "file"));
    });
    g->Browse();
    ASSERT_EQ(boxes_.texts.size(), 3u);
    EXPECT_NE(boxes_.texts[2].find(L"not a folder"), std::wstring::npos);
    EXPECT_EQ(ui::FromQ(g->FolderEdit()->text()), good);
    sheet.accept();
    EXPECT_FALSE(sheet.isVisible());
}

TEST_F(SettingsSheet, TheFolderBrowserStaysOpenOnAFolderItCannotUse) {
    testsupport::WriteFile(dir_ / "file", "x");
    bool stayed = false;
    QStringList seen;
    QTimer::singleShot(0, [&] {
        QFileDialog* dlg = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QFileDialog*>(w); d && d->isVisible()) dlg = d;
        if (!dlg) return;
        auto* name = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto choose = [&](const std::string& path) {
            if (name) name->setText(QString::fromStdString(path));
            seen << dlg->selectedFiles().value(0);
            static_cast<QDialog*>(dlg)->accept();
        };
        choose(dir_ / "file/sub");
        stayed = dlg->isVisible();
        choose(dir_ / "new/deeper");
        if (dlg->isVisible()) dlg->reject();
    });
    std::optional<std::wstring> chosen =
        ui::BrowseForFolder(nullptr, platform::FromUtf8(dir_.path()), L"");
    EXPECT_TRUE(stayed) << seen.join(", ").toStdString();
    ASSERT_EQ(boxes_.texts.size(), 1u);
    EXPECT_NE(boxes_.texts[0].find(platform::FromUtf8(dir_ / "file")), std::wstring::npos);
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, platform::FromUtf8(dir_ / "new/deeper"));
    EXPECT_TRUE(fs::is_directory(dir_ / "new/deeper")) << "a new folder is made when chosen";
}

TEST(FolderBrowser, StatusLineIsCutAfter35Characters) {
    const QString p35(35, QChar('a'));
    EXPECT_EQ(ui::FolderStatusText(p35), p35);
    EXPECT_EQ(ui::FolderStatusText(p35 + "b"), p35 + "...");
    EXPECT_EQ(ui::FolderStatusText(""), "");
}

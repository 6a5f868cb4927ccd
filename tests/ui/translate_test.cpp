// Translation over real widgets: dialogs built from the bundle, menus, bitmaps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <filesystem>

#include "app/folders.h"
#include "app/localization.h"
#include "app/settings.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/process_harness.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/main_window.h"
#include "ui/bundle/translate.h"

namespace fs = std::filesystem;
using testsupport::WriteFile;

namespace {

// Gives each test a language of its own, whose file lives beside the test
// program, and the program's real resource bundle.
class Translation : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
        lang_ = "t" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        GetSettings().Update([&](SettingsData& d) { d.LangID = platform::FromUtf8(lang_); });
        file_ = platform::ToUtf8(GetLanguageFile());
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove(file_, ec);
        platform::ResourceBundle::Current().Unload();
    }
    void WriteLanguage(const std::string& ini) { WriteFile(file_, ini); }

    std::string lang_, file_;
};

}  // namespace

TEST_F(Translation, MissingFileKeepsBundleTexts) {
    QDialog dlg;
    ASSERT_TRUE(ui::BuildDialogFromTemplate(&dlg, 102));
    dlg.setWindowTitle("Before");
    TranslateDialog(&dlg, 102);
    EXPECT_EQ(dlg.windowTitle(), "Before");
    EXPECT_EQ(LoadText(103), platform::ResourceBundle::Current().String(103));
    EXPECT_FALSE(LoadText(103).empty());
    EXPECT_EQ(TranslateWord(L"Clipvane"), L"Clipvane");
}

TEST_F(Translation, StringsAndControlsTakeTheirOwnEscapes) {
    WriteLanguage(
        "[STRING]\n103=first\\nsecond\\tthird\n"
        "[DIALOG_IDD_102]\ntitle=Caption\\tX\n1002=Menu\\tkeeps\\nlines\n"
        "[DICTIONARY]\nClipvane Video Downloader=Videos\n");
    EXPECT_EQ(LoadText(103), L"first\nsecond\tthird");
    EXPECT_EQ(TranslateWord(L"Clipvane Video Downloader"), L"Videos");
    EXPECT_EQ(TranslateWord(L"clipvane video downloader"), L"clipvane video downloader");

    QDialog dlg;
    ASSERT_TRUE(ui::BuildDialogFromTemplate(&dlg, 102));
    TranslateDialog(&dlg, 102);
    auto* button = qobject_cast<QPushButton*>(ui::FindControl(&dlg, 1002));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "Menu\\tkeeps\nlines");
    EXPECT_EQ(dlg.windowTitle(), "Caption\tX");
}

TEST_F(Translation, LongValuesAreCutToTheLimit) {
    WriteLanguage("[STRING]\n32782=" + std::string(12000, 'a') + "\n");
    EXPECT_EQ(LoadText(32782).size(), 10199u);
}

TEST_F(Translation, MenusKeepCheckMarksAndDropDowns) {
    WriteLanguage("[MENU]\nitem_1=Datei\nitem_2=Sprache\n32849=Englisch\n32850=Japanisch\n");
    QMenuBar bar;
    QMenu* file = bar.addMenu("File");
    file->addAction("Exit")->setProperty(ui::kCommandIdProperty, 32855);
    file->addSeparator();
    QMenu* lang = bar.addMenu("Language");
    QAction* en = lang->addAction("English");
    en->setProperty(ui::kCommandIdProperty, 32849);
    en->setCheckable(true);
    en->setChecked(true);
    QAction* ja = lang->addAction("Japanese");
    ja->setProperty(ui::kCommandIdProperty, 32850);
    ja->setCheckable(true);
    QMenu* sub = lang->addMenu("More");

    TranslateMenu(&bar);
    EXPECT_EQ(bar.actions()[0]->text(), "Datei");
    EXPECT_EQ(bar.actions()[1]->text(), "Sprache");
    EXPECT_EQ(bar.actions()[1]->menu(), lang);
    EXPECT_EQ(en->text(), "Englisch");
    EXPECT_TRUE(en->isChecked());
    EXPECT_EQ(ja->text(), "Japanisch");
    EXPECT_FALSE(ja->isChecked());
    EXPECT_EQ(file->actions()[0]->text(), "Exit") << "no entry, text stays";
    // Drop-downs below the bar are not renamed by position.
    EXPECT_EQ(sub->title(), "More");
}

TEST_F(Translation, BitmapsFallBackToTheBundle) {
    // The bundle's icon stands in as a bitmap of a number the bundle leaves free.
    platform::ResourceBundle b;
    std::string bundle = testsupport::ReadFile(std::string(CLIPVANE_PROGRAM_DIR) + "/cvres.bundle");
    bundle.replace(bundle.find("icons/1009.png"), 14, "bitmaps/9134.png");
    ASSERT_TRUE(platform::ResourceBundle::Current().LoadFromBytes(bundle));

    QPixmap pm;
    LoadTranslatedBitmap(pm, 9134);
    EXPECT_EQ(pm.size(), QSize(32, 32));

    // A translated bitmap file of its own size replaces it.
    std::string rel = "lang.cv/" + lang_ + ".png";
    std::string png = platform::ToUtf8(GetProgramFolder()) + "/" + rel;
    QImage img(40, 20, QImage::Format_RGB32);
    img.fill(Qt::red);
    ASSERT_TRUE(img.save(QString::fromStdString(png)));
    WriteLanguage("[BITMAP]\n9134=" + rel + "\n9135=lang.cv/missing.png\n");
    LoadTranslatedBitmap(pm, 9134);
    EXPECT_EQ(pm.size(), QSize(40, 20));
    // A file that cannot be loaded falls back; an unknown number gives nothing.
    LoadTranslatedBitmap(pm, 9135);
    EXPECT_TRUE(pm.isNull());
    fs::remove(png);
}

TEST_F(Translation, MainWindowTakesCaptionFromDictionary) {
    WriteLanguage("[DICTIONARY]\nClipvane Video Downloader=Clipvane \xe5\x8b\x95\xe7\x94\xbb\n");
    CClipvaneDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("Clipvane \xe5\x8b\x95\xe7\x94\xbb"));
    EXPECT_EQ(dlg.size(), QSize(999, 600));
    for (int id : {1005, 1006, 173, 254, 1018, 1194})
        EXPECT_NE(ui::FindControl(&dlg, id), nullptr) << id;
    EXPECT_FALSE(dlg.windowIcon().isNull());
}

// The window as a person sees it, on a real X server with real fonts, in
// each language: no text of the main window, its lists or a settings page is
// cut off, and screenshots of each are kept (ui_output/screenshots).
#include <QPainter>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <filesystem>

#include "app/folders.h"
#include "app/localization.h"
#include "app/messages.h"
#include "main_window_fixture.h"
#include "support/history_rows.h"
#include "support/text_fit.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"
#include "ui/settings/settings_pages.h"
#include "ui/settings/settings_sheet.h"
#include "ui/shell/bitmap_button_bar.h"

namespace {

using namespace windowtest;
using testsupport::CutHeaderTitles;
using testsupport::CutTexts;
using testsupport::CutTreeItems;
using Cuts = std::vector<std::string>;

class LookOnX11 : public MainWindow, public ::testing::WithParamInterface<const char*> {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (Xvfb)";
        MainWindow::SetUp();
        LinkShippedLanguage(GetParam());
        GetSettings().Update([](SettingsData& d) { d.LangID = FromUtf8(GetParam()); });
        ui::ApplyToolkitLanguage(FromUtf8(GetParam()));  // as the program does at start
        // Rows enough to show the site panel with bold counts and a history.
        const wchar_t* names[] = {L"Big Buck Bunny trailer", L"Sintel & friends",
                                  L"Elephants Dream"};
        for (int i = 0; i < 5; ++i) {
            Task t = testsupport::HistoryTask(
                i < 3 ? 0 : 3,
                FromUtf8(out_.path()) + L"/" + names[i % 3] + std::to_wstring(i) + L".flv",
                L"http://www.youtube.com/watch?v=" + std::to_wstring(i));
            t.cutEndMs = 30000 + i * 47000;
            ASSERT_EQ(AddHistoryRow(history_, t), 1);
        }
    }
    std::string Name(const char* what) const {
        const bool dense = qApp->devicePixelRatio() > 1.0;
        return std::string(what) + "_" + GetParam() + (dense ? "@2x" : "") + ".png";
    }
};

TEST_P(LookOnX11, WindowListsAndSettingsShowEveryTextWhole) {
    CClipvaneDlg& w = Window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.size(), QSize(999, 600));  // the smallest the window gets
    if (!SitePanelShown()) w.HandleMessage(WM_TOGGLE_SITE_PANEL, 0, 0);
    ASSERT_TRUE(SitePanelShown());
    w.findChild<ui::AddressIntake*>()->Add(L"http://www.youtube.com/watch?v=look");
    // The row's fixed words are in the language too.
    EXPECT_EQ(Model().CellText(0, 3) == "Online", std::string(GetParam()) == "en");
    EXPECT_EQ(Model().CellText(0, 2) == "N/A", std::string(GetParam()) == "en");
    Run().OnStatus(0, kStatusVideoAddress, L"");
    QApplication::processEvents();

    // The caption's title between the icon and the caption buttons, and the
    // status line above the size grip, in the faces the shell paints them in.
    QFont title(QStringLiteral("Arial"));
    title.setPixelSize(16);
    title.setBold(true);
    EXPECT_LE(QFontMetrics(title).horizontalAdvance(w.windowTitle()), w.width() - 35 - 80);
    QFont status(QStringLiteral("Tahoma"));
    status.setPixelSize(13);
    EXPECT_LE(QFontMetrics(status).horizontalAdvance(StatusText()), w.width() - 61);

    EXPECT_EQ(CutTexts(&w), Cuts{});
    EXPECT_EQ(CutHeaderTitles(TaskView()->horizontalHeader()), Cuts{});
    EXPECT_EQ(CutTreeItems(SitePanel()->Tree()), Cuts{});
    EXPECT_TRUE(SaveScreenshot(&w, Name("window")));

    w.HandleMessage(WM_SHOW_HISTORY_LIST, 1000, 0);
    ASSERT_TRUE(HistoryShown());
    QApplication::processEvents();
    EXPECT_EQ(HistoryView()->model()->rowCount(), 3);
    EXPECT_EQ(CutHeaderTitles(HistoryView()->header()), Cuts{});
    EXPECT_TRUE(SaveScreenshot(&w, Name("history")));

    ui::SettingsSheet sheet(&w);
    sheet.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
    const char* pages[] = {"general", "online", "audio", "video"};
    for (int i = 0; i < sheet.Tabs()->count(); ++i) {
        sheet.Tabs()->setCurrentIndex(i);
        QApplication::processEvents();
        EXPECT_EQ(CutTexts(&sheet), Cuts{}) << pages[i];
        EXPECT_TRUE(SaveScreenshot(&sheet, Name((std::string("settings_") + pages[i]).c_str())));
    }
}

// Switching the language while the window is open redraws the bitmaps that
// carry words: the caption strip's menu button and the toolbar.
class LanguageSwitchOnX11 : public MainWindow {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (Xvfb)";
        MainWindow::SetUp();
        LinkShippedLanguage("ja");
    }
};

TEST_F(LanguageSwitchOnX11, CaptionAndToolbarBitmapsFollowTheLanguage) {
    CClipvaneDlg& w = Window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto strip = [&] {
        w.repaint();
        return w.grab(QRect(0, 25, 560, 70)).toImage();
    };
    // The site panel's two buttons, in a bar of the panel's own.
    ui::BitmapButtonBar* panelButtons = nullptr;
    for (auto* bar : SitePanel()->findChildren<ui::BitmapButtonBar*>())
        if (bar->ButtonRect(2).isValid()) panelButtons = bar;
    ASSERT_TRUE(panelButtons);
    const QImage englishButtons = panelButtons->grab().toImage();
    const QImage english = strip();
    w.OnCommand(32850);  // Japanese
    ASSERT_TRUE(SpinUntil([&] { return strip() != english; }, 5000));
    EXPECT_NE(panelButtons->grab().toImage(), englishButtons);
    w.OnCommand(32849);  // back to English
    EXPECT_TRUE(SpinUntil([&] { return strip() == english; }, 5000));
}

INSTANTIATE_TEST_SUITE_P(Languages, LookOnX11, ::testing::Values("en", "ja", "zh_cn"));

}  // namespace

// The window's saved placement, its frame, the language commands and the tips.
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/localization.h"
#include "app/messages.h"
#include "app/registry.h"
#include "platform/post_message.h"
#include "platform/text.h"
#include "shell_fixture.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/qt_text.h"
#include "ui/shell/tips_panel.h"
#include "ui/shell/window_placement.h"
#include "ui/shell/window_shell.h"

using shelltest::ShellTest;
using ui::WindowPlacement;

namespace {

class WindowState : public ShellTest {
  protected:
    void StoreWindowPos(const std::wstring& text) {
        CARRegistryHolder h(false, false);
        ASSERT_TRUE(h.Get().CreateKey(L"Setting"));
        ASSERT_TRUE(h.Get().WriteString(L"WindowPos", text));
    }
};

}  // namespace

TEST_F(WindowState, StoredPlacementRestoresItsNormalRectangle) {
    StoreWindowPos(L"0,1,-1,-1,-1,-1,10,20,1009,620");
    ui::StoredWindowState s = ui::LoadWindowPlacement(QSize(1024, 768));
    EXPECT_EQ(s.placement.Normal(), QRect(10, 20, 999, 600));
    EXPECT_FALSE(s.showSitePanel) << "closed until the user opens it";
    QWidget w;
    ui::ApplyPlacement(&w, s.placement);
    EXPECT_EQ(w.geometry(), QRect(10, 20, 999, 600));
    EXPECT_FALSE(w.isMaximized());
}

TEST_F(WindowState, NoPlacementIsCentredOnTheScreen) {
    WindowPlacement p = ui::LoadWindowPlacement(QSize(1024, 768)).placement;
    EXPECT_EQ(p.Normal(), QRect(12, 84, 999, 600));
    EXPECT_EQ(p.showCmd, 1u);
    EXPECT_EQ(p.minX, -1);
    EXPECT_EQ(p.maxY, -1);
    // A screen smaller than the window: the corner at 0.
    EXPECT_EQ(ui::DefaultPlacement(QSize(800, 600)).Normal(), QRect(0, 0, 999, 600));
}

TEST_F(WindowState, MalformedPlacementFallsBackToTheDefault) {
    const WindowPlacement def = ui::DefaultPlacement(QSize(1024, 768));
    for (const wchar_t* bad :
         {L"", L"0,1,-1,-1,-1,-1,10,20,1009", L"garbage", L"0;1;-1;-1;-1;-1;10;20;1009;620",
          L"0,1,-1,-1,x,-1,10,20,1009,620"}) {
        StoreWindowPos(bad);
        EXPECT_EQ(ui::LoadWindowPlacement(QSize(1024, 768)).placement, def)
            << platform::ToUtf8(bad);
    }
}

TEST_F(WindowState, PlacementAndPanelRoundTripThroughTheProfile) {
    WindowPlacement p;
    p.flags = 2;
    p.showCmd = 3;
    p.left = -5;
    p.top = 7;
    p.right = 1200;
    p.bottom = 900;
    ui::SaveWindowPlacement(p, false);
    auto text = platform::Hive::CurrentUser().Query(L"Software\\Clipvane\\Setting", L"WindowPos");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text, L"2,3,-1,-1,-1,-1,-5,7,1200,900");
    ui::StoredWindowState s = ui::LoadWindowPlacement(QSize(1024, 768));
    EXPECT_EQ(s.placement, p);
    EXPECT_FALSE(s.showSitePanel);
    ui::SaveWindowPlacement(p, true);
    EXPECT_TRUE(ui::LoadWindowPlacement(QSize(1024, 768)).showSitePanel);
}

TEST_F(WindowState, ClosingMinimisedStoresTheStateToComeBackTo) {
    QWidget w;
    w.setGeometry(30, 40, 1000, 700);
    EXPECT_EQ(ui::CapturePlacement(&w).showCmd, 1u);
    EXPECT_EQ(ui::CapturePlacement(&w).Normal(), QRect(30, 40, 1000, 700));
    w.setWindowState(Qt::WindowMaximized);
    EXPECT_EQ(ui::CapturePlacement(&w).showCmd, 3u);
    w.setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    WindowPlacement fromMax = ui::CapturePlacement(&w);
    EXPECT_EQ(fromMax.showCmd, 3u);
    EXPECT_EQ(fromMax.flags, 2u);
    w.setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(ui::CapturePlacement(&w).showCmd, 5u);
    EXPECT_EQ(ui::CapturePlacement(&w).flags, 0u);
}

TEST_F(WindowState, PlacementIsBroughtWhollyOntoTheFreeAreaOfItsScreen) {
    auto at = [](int left, int top, int width, int height) {
        WindowPlacement p;
        p.left = left;
        p.top = top;
        p.right = left + width;
        p.bottom = top + height;
        return p;
    };
    const QList<QRect> two{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    // Wholly on the second screen: kept.
    EXPECT_EQ(ui::PlacementGeometry(at(2000, 100, 1000, 600), two), QRect(2000, 100, 1000, 600));
    // Partly beyond the right edge: moved in, same size.
    EXPECT_EQ(ui::PlacementGeometry(at(3100, 100, 1000, 600), two), QRect(2200, 100, 1000, 600));
    // Across both: onto the one that shows more of it.
    EXPECT_EQ(ui::PlacementGeometry(at(1500, 100, 1000, 600), two), QRect(1920, 100, 1000, 600));
    EXPECT_EQ(ui::PlacementGeometry(at(1000, 700, 1000, 600), two), QRect(920, 480, 1000, 600));
    // Above the top, where the caption could not be reached.
    EXPECT_EQ(ui::PlacementGeometry(at(10, -200, 1000, 600), two), QRect(10, 0, 1000, 600));
    // A panel above the free area.
    EXPECT_EQ(ui::PlacementGeometry(at(100, 0, 999, 600), {QRect(0, 30, 1440, 870)}),
              QRect(100, 30, 999, 600));

    // Stored at 100 % on a big screen, started at 200 % and 150 % on a
    // 1440x900 one (720x450 and 960x600 in the window's units).
    EXPECT_EQ(ui::PlacementGeometry(at(300, 200, 1998, 1200), {QRect(0, 0, 720, 450)}),
              QRect(0, 0, 720, 450));
    EXPECT_EQ(ui::PlacementGeometry(at(300, 200, 1998, 1200), {QRect(0, 0, 960, 600)}),
              QRect(0, 0, 960, 600));
    EXPECT_EQ(ui::PlacementGeometry(at(-50, 100, 999, 600), {QRect(0, 0, 960, 600)}),
              QRect(0, 0, 960, 600));

    // On a monitor since removed: centred on the first screen, same size...
    EXPECT_EQ(ui::PlacementGeometry(at(3300, 100, 1000, 600), two), QRect(460, 240, 1000, 600));
    EXPECT_EQ(ui::PlacementGeometry(at(10, -5000, 1000, 600), two).topLeft(), QPoint(460, 240));
    // ...or no larger than it.
    EXPECT_EQ(ui::PlacementGeometry(at(4000, 0, 2560, 1440), {QRect(0, 0, 1440, 900)}),
              QRect(0, 0, 1440, 900));
    // No size stored: the designed one.
    EXPECT_EQ(ui::PlacementGeometry(at(10, 20, 0, 0), two), QRect(10, 20, 999, 600));

    // The minimum size gives way only to a smaller screen.
    EXPECT_EQ(ui::FittedMinimumSize(QRect(0, 0, 720, 450)), QSize(720, 450));
    EXPECT_EQ(ui::FittedMinimumSize(QRect(0, 0, 960, 600)), QSize(960, 600));
    EXPECT_EQ(ui::FittedMinimumSize(QRect(0, 0, 1920, 1080)), QSize(999, 600));
    EXPECT_EQ(ui::FittedMinimumSize(QRect()), QSize(999, 600));
}

TEST_F(WindowState, ShellKeepsTheMinimumSizeAndRoundsTheCorners) {
    QWidget w;
    ui::WindowShell shell(&w);
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    w.resize(500, 700);
    EXPECT_EQ(w.width(), 999);
    w.resize(1200, 300);
    EXPECT_EQ(w.size(), QSize(1200, 600));
    w.show();
    w.resize(1000, 650);
    QApplication::processEvents();
    const QRegion mask = w.mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(999, 0)));
    EXPECT_TRUE(mask.contains(QPoint(4, 0)));
    EXPECT_TRUE(mask.contains(QPoint(500, 325)));
    EXPECT_TRUE(mask.contains(QPoint(999, 325)));
}

TEST(WindowShell, MouseZonesAndCursors) {
    using Z = ui::WindowShell::Zone;
    const QSize s(1000, 600);
    EXPECT_EQ(ui::WindowShell::ZoneAt({0, 300}, s), Z::Left);
    EXPECT_EQ(ui::WindowShell::ZoneAt({4, 300}, s), Z::Left);
    EXPECT_EQ(ui::WindowShell::ZoneAt({5, 300}, s), Z::Surface);
    EXPECT_EQ(ui::WindowShell::ZoneAt({995, 300}, s), Z::Right);
    EXPECT_EQ(ui::WindowShell::ZoneAt({994, 300}, s), Z::Surface);
    EXPECT_EQ(ui::WindowShell::ZoneAt({500, 2}, s), Z::Top);
    EXPECT_EQ(ui::WindowShell::ZoneAt({500, 599}, s), Z::Bottom);
    EXPECT_EQ(ui::WindowShell::ZoneAt({1, 1}, s), Z::TopLeft);
    EXPECT_EQ(ui::WindowShell::ZoneAt({999, 599}, s), Z::BottomRight);
    EXPECT_EQ(ui::WindowShell::ZoneAt({999, 0}, s), Z::TopRight);
    EXPECT_EQ(ui::WindowShell::ZoneAt({0, 599}, s), Z::BottomLeft);
    // The grip in the status bar's corner, dots and gaps alike.
    EXPECT_EQ(ui::WindowShell::ZoneAt({1000 - 18, 600 - 18}, s), Z::BottomRight);
    EXPECT_EQ(ui::WindowShell::ZoneAt({990, 590}, s), Z::BottomRight);
    EXPECT_EQ(ui::WindowShell::ZoneAt({1000 - 19, 590}, s), Z::Surface);
    EXPECT_EQ(ui::WindowShell::CursorOf(Z::Left), Qt::SizeHorCursor);
    EXPECT_EQ(ui::WindowShell::CursorOf(Z::Bottom), Qt::SizeVerCursor);
    EXPECT_EQ(ui::WindowShell::CursorOf(Z::TopLeft), Qt::SizeFDiagCursor);
    EXPECT_EQ(ui::WindowShell::CursorOf(Z::BottomLeft), Qt::SizeBDiagCursor);
    EXPECT_EQ(ui::WindowShell::CursorOf(Z::Surface), Qt::ArrowCursor);
    EXPECT_EQ(ui::WindowShell::EdgesOf(Z::TopRight), Qt::TopEdge | Qt::RightEdge);
}

TEST_F(WindowState, CaptionDoubleClickMaximisesAndTheIconCloses) {
    QWidget w;
    ui::WindowShell shell(&w);
    QWidget maxBar(&w), restoreBar(&w);
    shell.SetCaptionBars(&maxBar, &restoreBar);
    w.show();
    EXPECT_FALSE(maxBar.isHidden());
    EXPECT_TRUE(restoreBar.isHidden());
    QSignalSpy close(&shell, &ui::WindowShell::closeRequested);

    QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(300, 10));
    EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
    EXPECT_TRUE(maxBar.isHidden());
    EXPECT_FALSE(restoreBar.isHidden());
    QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(300, 10));
    EXPECT_FALSE(w.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(maxBar.isHidden());
    // Below the caption: nothing.
    QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(300, 30));
    EXPECT_FALSE(w.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(close.count(), 0);
    QTest::mouseDClick(&w, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(close.count(), 1);
    // Maximised from elsewhere (a stored placement, the desktop): the bars follow.
    w.showMaximized();
    EXPECT_TRUE(maxBar.isHidden());
    EXPECT_FALSE(restoreBar.isHidden());
    w.showNormal();
    EXPECT_FALSE(maxBar.isHidden());
    EXPECT_TRUE(restoreBar.isHidden());
}

TEST_F(WindowState, ChoosingTheLanguageInUsePostsNothing) {
    QMenu menu;
    for (int id : {32849, 32850, 32851}) {
        QAction* a = menu.addAction(QString::number(id));
        a->setProperty(ui::kCommandIdProperty, id);
    }
    QWidget window;
    ui::TipsPanel tips(&window);
    platform::QueuePostTarget posts;
    EXPECT_FALSE(ui::ChangeLanguage(L"en", &menu, &posts, &window));
    EXPECT_TRUE(posts.TakeAll().empty());

    EXPECT_TRUE(ui::ChangeLanguage(L"ja", &menu, &posts, &window));
    EXPECT_EQ(GetSettings().LangID(), L"ja");
    auto all = posts.TakeAll();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].msg, unsigned(WM_LANGUAGE_CHANGED));
    EXPECT_FALSE(menu.actions()[0]->isChecked());
    EXPECT_TRUE(menu.actions()[1]->isChecked());
    EXPECT_FALSE(menu.actions()[2]->isChecked());

    // An unknown code leaves the ticks.
    ui::TickLanguage(&menu, L"fr");
    EXPECT_TRUE(menu.actions()[1]->isChecked());
    ui::TickLanguage(&menu, L"zh_cn");
    EXPECT_TRUE(menu.actions()[2]->isChecked());
    EXPECT_FALSE(menu.actions()[1]->isChecked());
    EXPECT_EQ(ui::LanguageOfCommand(32851), std::wstring(L"zh_cn"));
    EXPECT_EQ(ui::LanguageOfCommand(32852), nullptr);
}

TEST_F(WindowState, TipsStartAtRandomAndMoveOnWithClicks) {
    for (unsigned seed : {0u, 1u, 12345u, 4000000000u}) {
        const int first = ui::TipsPanel::FirstTip(seed);
        EXPECT_GE(first, 0);
        EXPECT_LT(first, 5);
    }
    // The classic generator's first value for seed 1 is 41: 41 * 100 / 32767 = 0.
    EXPECT_EQ(ui::TipsPanel::FirstTip(1), 0);

    ui::TipsPanel tips;
    tips.resize(266, 214);
    tips.show();
    tips.ShowTip(3);
    EXPECT_TRUE(tips.Text()->text().contains(ui::ToQ(LoadText(32840)).left(20).toHtmlEscaped()));
    QTest::mouseClick(&tips, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(tips.Current(), 4);
    tips.HandleMessage(WM_NEXT_TIP);
    EXPECT_EQ(tips.Current(), 0);
    // A click on the text (outside any link) asks for the next tip as well.
    QTest::mouseClick(tips.Text(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    EXPECT_EQ(tips.Current(), 1);
    EXPECT_EQ(tips.Text()->geometry(), QRect(8, 28, 256, 184));
    EXPECT_EQ(tips.Text()->palette().color(QPalette::WindowText), QColor(85, 85, 85));
}

TEST_F(WindowState, QtsOwnTextsFollowTheLanguage) {
    auto cancelText = [] {
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        return box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&'));
    };
    ui::ApplyToolkitLanguage(L"ja");
    EXPECT_EQ(cancelText(), QStringLiteral("キャンセル"));
    ui::ApplyToolkitLanguage(L"zh_cn");
    EXPECT_EQ(cancelText(), QStringLiteral("取消"));
    ui::ApplyToolkitLanguage(L"en");
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
}

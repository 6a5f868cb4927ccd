// The main window on a small screen at 150 % and 200 % (an X server with a
// window manager, started by ctest): it starts on the screen's free area and
// its caption buttons stay on the screen when maximised.
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "ui/main_window_fixture.h"
#include "ui/shell/bitmap_button_bar.h"

namespace {

class ScaledScreen : public windowtest::MainWindow {};

std::string Text(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) +
           "x" + std::to_string(r.height());
}

}  // namespace

TEST_F(ScaledScreen, TheWindowStartsOnTheFreeAreaAndItsCaptionStaysThereMaximised) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "needs an X server with a window manager";
    CClipvaneDlg& w = Window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QScreen* screen = w.screen();
    const QRect free = screen->availableGeometry();
    const std::string scale = std::to_string(int(screen->devicePixelRatio() * 100));
    windowtest::SpinUntil([] { return false; }, 300);
    EXPECT_TRUE(free.contains(w.frameGeometry()))
        << Text(w.frameGeometry()) << " on " << Text(free) << " at " << scale << " %";
    windowtest::SaveScreenshot(&w, "scaled-" + scale + "-normal.png");

    w.showMaximized();
    EXPECT_TRUE(windowtest::SpinUntil(
        [&] { return w.isMaximized() && free.contains(w.frameGeometry()); }, 5000))
        << Text(w.frameGeometry()) << " on " << Text(free);
    windowtest::SpinUntil([] { return false; }, 300);
    int captionButtons = 0;
    for (ui::BitmapButtonBar* bar : w.findChildren<ui::BitmapButtonBar*>()) {
        if (!bar->isVisible() || bar->parentWidget() != &w || bar->y() > 30) continue;
        ++captionButtons;
        const QRect global(bar->mapToGlobal(QPoint(0, 0)), bar->size());
        EXPECT_TRUE(free.contains(global)) << Text(global) << " on " << Text(free);
    }
    EXPECT_GE(captionButtons, 1);
    windowtest::SaveScreenshot(&w, "scaled-" + scale + "-maximised.png");
}

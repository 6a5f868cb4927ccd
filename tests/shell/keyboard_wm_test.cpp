// The main window on a real X server under a window manager (started by
// ctest): the focus at start, Tab out of the list, F10 and Escape on the main
// menu, Ctrl+N and its box's Tab and Escape; the size grip under the pointer.
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include "ui/dialogs/dialogs.h"
#include "ui/main_window_fixture.h"
#include "ui/shell/window_shell.h"

namespace {

using windowtest::SpinUntil;

class KeyboardUnderWindowManager : public windowtest::MainWindow {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs an X server with a window manager";
        windowtest::MainWindow::SetUp();
    }
    // Keys go where the keyboard focus is, as the X server sends them.
    static QWidget* Focus() { return QApplication::focusWidget(); }
    static void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* to = Focus() ? Focus() : QApplication::activeWindow();
        ASSERT_NE(to, nullptr);
        QTest::keyClick(to, static_cast<Qt::Key>(key), mods);
    }
    static std::string Name(const QWidget* w) {
        return w ? std::string(w->metaObject()->className()) + " " + w->objectName().toStdString()
                 : "nothing";
    }
};

}  // namespace

TEST_F(KeyboardUnderWindowManager, FocusTabMainMenuAndTheAddBox) {
    CClipvaneDlg& w = Window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 10000)) << "the window manager did not activate it";
    auto* list = TaskView();
    ASSERT_TRUE(SpinUntil([&] { return Focus() == list; }, 5000)) << Name(Focus());

    // Tab leaves the list for the next control, and Shift+Tab comes back.
    Key(Qt::Key_Tab);
    ASSERT_TRUE(SpinUntil([&] { return Focus() != list; }, 2000));
    EXPECT_NE(Focus(), nullptr);
    EXPECT_TRUE(Focus() == nullptr || !list->isAncestorOf(Focus())) << Name(Focus());
    Key(Qt::Key_Backtab);
    EXPECT_TRUE(SpinUntil([&] { return Focus() == list; }, 2000)) << Name(Focus());

    // F10 opens the main menu; Escape closes it and gives the list its focus back.
    Key(Qt::Key_F10);
    ASSERT_TRUE(SpinUntil([&] { return MainMenu()->isVisible(); }, 5000));
    EXPECT_EQ(QApplication::activePopupWidget(), MainMenu());
    EXPECT_NE(MainMenu()->activeAction(), nullptr) << "the keyboard works in it at once";
    QTest::keyClick(MainMenu(), Qt::Key_Escape);
    ASSERT_TRUE(SpinUntil([&] { return !MainMenu()->isVisible(); }, 5000));
    EXPECT_TRUE(SpinUntil([&] { return Focus() == list; }, 2000)) << Name(Focus());

    // Ctrl+N opens the add box (modal: looked at from a timer); Tab goes from
    // the text to the buttons, Escape cancels.
    std::string seen;
    bool opened = false, tabbedToButton = false, stillOpen = true;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto* box = qobject_cast<ui::AddAddressesDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || opened) return;
        opened = true;
        look.stop();
        if (!QTest::qWaitForWindowActive(box, 5000)) seen += "box never active; ";
        SpinUntil([&] { return Focus() == box->Editor(); }, 3000);
        if (Focus() != box->Editor()) seen += "focus at open: " + Name(Focus()) + "; ";
        QTest::keyClicks(box->Editor(), "http://www.youtube.com/watch?v=typed");
        QTest::keyClick(box->Editor(), Qt::Key_Tab);
        SpinUntil([&] { return qobject_cast<QPushButton*>(Focus()) != nullptr; }, 3000);
        tabbedToButton = qobject_cast<QPushButton*>(Focus()) != nullptr &&
                         !box->Editor()->toPlainText().contains(QLatin1Char('\t'));
        if (!tabbedToButton) seen += "after Tab: " + Name(Focus()) + "; ";
        QTest::keyClick(Focus() ? Focus() : box, Qt::Key_Escape);
        stillOpen = box->isVisible();
    });
    look.start(50);
    Key(Qt::Key_N, Qt::ControlModifier);
    ASSERT_TRUE(SpinUntil([&] { return opened && !stillOpen; }, 20000)) << seen;
    EXPECT_TRUE(tabbedToButton) << seen;
    EXPECT_EQ(Model().rowCount(), 0) << "Escape cancels: nothing added";
    EXPECT_TRUE(SpinUntil([&] { return Focus() == list; }, 3000)) << Name(Focus());
}

// The real pointer (xdotool) on the size grip, at its inner and its outer
// corner: the window manager resizes the window.
TEST_F(KeyboardUnderWindowManager, TheSizeGripResizesTheWindow) {
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xdotool.isEmpty()) GTEST_SKIP() << "needs xdotool";
    CClipvaneDlg& w = Window();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 10000));
    const int grip = ui::WindowShell::kGripSize;
    for (const QPoint inGrip : {QPoint(grip - 1, grip - 1), QPoint(2, 2)}) {
        const QSize before = w.size();
        const QPoint from = w.mapToGlobal(QPoint(w.width(), w.height()) - inGrip);
        const QPoint to = from + QPoint(60, 40);
        QProcess drag;
        drag.start(xdotool, {QStringLiteral("mousemove"),  QString::number(from.x()),
                             QString::number(from.y()),    QStringLiteral("sleep"),
                             QStringLiteral("0.5"),        QStringLiteral("mousedown"),
                             QStringLiteral("1"),          QStringLiteral("sleep"),
                             QStringLiteral("0.5"),        QStringLiteral("mousemove"),
                             QString::number(to.x() - 30), QString::number(to.y() - 20),
                             QStringLiteral("sleep"),      QStringLiteral("0.3"),
                             QStringLiteral("mousemove"),  QString::number(to.x()),
                             QString::number(to.y()),      QStringLiteral("sleep"),
                             QStringLiteral("0.5"),        QStringLiteral("mouseup"),
                             QStringLiteral("1")});
        // The window must answer the press while xdotool runs.
        ASSERT_TRUE(SpinUntil([&] { return drag.state() == QProcess::NotRunning; }, 20000));
        EXPECT_TRUE(SpinUntil([&] { return w.size() == before + QSize(60, 40); }, 5000))
            << "grabbed " << inGrip.x() << "," << inGrip.y()
            << " from the corner: " << before.width() << "x" << before.height() << " became "
            << w.width() << "x" << w.height();
    }
}

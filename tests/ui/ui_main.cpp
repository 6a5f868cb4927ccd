// Runs the widget tests inside a Qt application.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // Offscreen, a desktop's screen rather than the plugin's 800x600, on
    // which the window would be made smaller than it is designed.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" CLIPVANE_TEST_SRC_DIR
                                   "/tests/support/offscreen_screen.json");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Opening addresses, folders and files on the desktop with the real
// xdg-open: when no program can open them the user is told, with the path or
// address, in a box whose text can be selected.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <thread>

#include "app/localization.h"
#include "platform/child_process.h"
#include "platform/text.h"
#include "shell_fixture.h"
#include "ui/desktop/desktop_services.h"
#include "ui/desktop/qt_message_box.h"

using shelltest::ShellTest;

namespace {

bool Spin(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

class DesktopOpen : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        if (platform::FindProgram("xdg-open").empty()) GTEST_SKIP() << "no xdg-open here";
        // No desktop, no browser, no file manager on a bus: nothing can open.
        for (const char* v : {"BROWSER", "DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP"}) {
            if (const char* old = getenv(v)) saved_.emplace_back(v, old);
            unsetenv(v);
        }
        setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    }
    void TearDown() override {
        for (const auto& [k, v] : saved_) setenv(k.c_str(), v.c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        ShellTest::TearDown();
    }
    std::vector<std::pair<std::string, std::string>> saved_;
    ui::SystemDesktopServices desktop_;
};

}  // namespace

TEST_F(DesktopOpen, WhatNoProgramCanOpenIsSaidWithItsAddressOrPath) {
    const std::wstring page = L"http://127.0.0.1:9/watch?v=abc";
    EXPECT_TRUE(desktop_.OpenUrl(page)) << "the opener starts";
    ASSERT_TRUE(Spin([&] { return !boxes_.texts.empty(); }, 20000));
    EXPECT_EQ(boxes_.texts[0], platform::FormatW(LoadText(33105).c_str(), page.c_str()));

    const std::string file = dir_ / "video file.flv";
    testsupport::WriteFile(file, "x");
    desktop_.ShowItem(platform::FromUtf8(file));
    ASSERT_TRUE(Spin([&] { return boxes_.texts.size() == 2; }, 20000));
    EXPECT_EQ(boxes_.texts[1],
              platform::FormatW(LoadText(33106).c_str(), platform::FromUtf8(file).c_str()));

    // With a browser the opener succeeds and nothing is said.
    setenv("BROWSER", "true", 1);
    std::atomic<bool> failed{false};
    EXPECT_TRUE(ui::OpenOnDesktop(page, [&] { failed = true; }));
    Spin([] { return false; }, 1500);
    EXPECT_FALSE(failed);
    EXPECT_EQ(boxes_.texts.size(), 2u);

    // Without any opener on PATH the failure is said at once.
    const char* path = getenv("PATH");
    const std::string keep = path ? path : "";
    setenv("PATH", dir_.path().c_str(), 1);
    EXPECT_FALSE(ui::OpenOnDesktop(page, [&] { failed = true; }));
    setenv("PATH", keep.c_str(), 1);
    EXPECT_TRUE(failed);
}

TEST_F(DesktopOpen, TheBoxTextCanBeSelected) {
    ui::QtMessageBoxService service;
    platform::SetMessageBoxService(&service);
    QString shown;
    Qt::TextInteractionFlags flags;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        shown = box->text();
        flags = box->textInteractionFlags();
        box->accept();
    });
    platform::ShowMessageBox(L"No program could open \"/tmp/x\".", L"Clipvane", platform::MB_OK);
    EXPECT_EQ(shown, "No program could open \"/tmp/x\".");
    EXPECT_TRUE(flags & Qt::TextSelectableByMouse);
}

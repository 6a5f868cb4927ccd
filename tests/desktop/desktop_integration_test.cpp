// The desktop extras over D-Bus, against a recording stand-in of the
// notification server, the dock, logind and the file manager on the test's
// own bus.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QWidget>
#include <memory>

#include "app/messages.h"
#include "app/registry.h"
#include "download/codes.h"
#include "platform/resource_bundle.h"
#include "support/process_harness.h"
#include "ui/desktop/desktop_integration.h"
#include "ui/main_window_fixture.h"

extern char** environ;
using namespace std::chrono_literals;
using testsupport::SplitLines;

namespace {

// Waits while the event loop runs, so that D-Bus answers arrive.
bool Pump(const std::function<bool()>& cond, std::chrono::milliseconds limit = 15s) {
    return testsupport::WaitFor(
        [&] {
            QCoreApplication::processEvents();
            return cond();
        },
        limit);
}

class Recorder {
  public:
    explicit Recorder(bool invokeAction = false) {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        std::string file = dir_ / "record.txt";
        std::vector<const char*> args = {CLIPVANE_RECORDER, file.c_str()};
        if (invokeAction) args.push_back("--invoke-action");
        args.push_back(nullptr);
        if (posix_spawn(&pid_, CLIPVANE_RECORDER, &fa, nullptr, const_cast<char**>(args.data()),
                        environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        std::string got;
        pollfd p{out[0], POLLIN, 0};
        while (got.find("READY") == std::string::npos && poll(&p, 1, 15000) > 0) {
            char buf[64];
            ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        close(out[0]);
        ready_ = got.find("READY") != std::string::npos;
    }
    ~Recorder() {
        if (stdin_ >= 0) close(stdin_);
        if (pid_ > 0) {
            if (!testsupport::WaitFor([&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; },
                                      5s)) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
    }
    bool ready() const { return ready_; }
    std::vector<std::string> Lines() const {
        return SplitLines(testsupport::ReadFile(dir_ / "record.txt"));
    }
    std::vector<std::string> LinesStarting(const std::string& prefix) const {
        std::vector<std::string> out;
        for (auto& l : Lines())
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
    bool WaitLine(const std::string& line) const {
        return Pump([&] {
            for (auto& l : Lines())
                if (l == line) return true;
            return false;
        });
    }

  private:
    testsupport::TempDir dir_;
    pid_t pid_ = -1;
    int stdin_ = -1;
    bool ready_ = false;
};

class Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", (home_ / "config").c_str(), 1);
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
    }
    void TearDown() override { platform::ResourceBundle::Current().Unload(); }
    testsupport::TempDir home_;
};

const std::string kAppId = ui::kDesktopAppId;

}  // namespace

TEST_F(Desktop, NotificationAtTheEndOfARunInTheBackgroundOnly) {
    Recorder rec;
    ASSERT_TRUE(rec.ready());
    ui::DesktopIntegration desktop;
    QWidget window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(Pump([&] { return window.isActiveWindow(); }, 5s));
    // The user is looking at the window: the completion dialog is enough.
    EXPECT_FALSE(desktop.NotifyRunFinished(&window, 1, 0, "/videos/a.flv"));

    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(Pump([&] { return !window.isActiveWindow(); }, 5s));
    EXPECT_TRUE(desktop.NotifyRunFinished(&window, 3, 1, "/videos/YouTube/b.flv"));
    ASSERT_TRUE(rec.WaitLine("NOTIFY Clipvane|" + kAppId +
                             "|Downloads finished|3 downloaded, 1 failed.|default,Show in Folder|" +
                             kAppId));
    // Without a file there is nothing to show, so no action.
    EXPECT_TRUE(desktop.NotifyRunFinished(nullptr, 0, 2, ""));
    ASSERT_TRUE(rec.WaitLine("NOTIFY Clipvane|" + kAppId +
                             "|Downloads finished|0 downloaded, 2 failed.||" + kAppId));
    EXPECT_EQ(rec.LinesStarting("NOTIFY").size(), 2u);
}

TEST_F(Desktop, TheNotificationsActionShowsTheFileInItsFolder) {
    Recorder rec(/*invokeAction=*/true);
    ASSERT_TRUE(rec.ready());
    {
        ui::DesktopIntegration desktop;
        ASSERT_TRUE(desktop.NotifyRunFinished(nullptr, 1, 0, "/videos/My Clip #1.flv"));
        ASSERT_TRUE(rec.WaitLine("SHOW_ITEMS file:///videos/My%20Clip%20%231.flv"));
    }
    ui::DesktopIntegration desktop;
    QString shown;
    desktop.SetShowItemHandler([&](const QString& p) { shown = p; });
    ASSERT_TRUE(desktop.NotifyRunFinished(nullptr, 1, 0, "/videos/c.flv"));
    EXPECT_TRUE(Pump([&] { return !shown.isEmpty(); }));
    EXPECT_EQ(shown, "/videos/c.flv");
    EXPECT_EQ(rec.LinesStarting("SHOW_ITEMS").size(), 1u);
}

TEST_F(Desktop, ProgressReachesTheDockAndLeavesIt) {
    Recorder rec;
    ASSERT_TRUE(rec.ready());
    const std::string uri = "LAUNCHER application://" + kAppId + ".desktop ";
    {
        ui::DesktopIntegration desktop;
        desktop.SetRunProgress(0.25);
        ASSERT_TRUE(rec.WaitLine(uri + "progress=0.250 visible=1"));
        desktop.SetRunProgress(0.2502);  // below a thousandth: not sent again
        desktop.SetRunProgress(0.5);
        ASSERT_TRUE(rec.WaitLine(uri + "progress=0.500 visible=1"));
        desktop.SetRunProgress(1.7);
        ASSERT_TRUE(rec.WaitLine(uri + "progress=1.000 visible=1"));
        desktop.SetRunProgress(-1);
        ASSERT_TRUE(rec.WaitLine(uri + "progress=0.000 visible=0"));
        desktop.SetRunProgress(-1);  // already off
        desktop.SetRunProgress(0.1);
        ASSERT_TRUE(rec.WaitLine(uri + "progress=0.100 visible=1"));
    }
    // Going away takes the progress off.
    ASSERT_TRUE(Pump([&] { return rec.LinesStarting("LAUNCHER").size() >= 6; }));
    Pump([] { return false; }, 300ms);
    EXPECT_EQ(rec.LinesStarting("LAUNCHER"),
              (std::vector<std::string>{
                  uri + "progress=0.250 visible=1", uri + "progress=0.500 visible=1",
                  uri + "progress=1.000 visible=1", uri + "progress=0.000 visible=0",
                  uri + "progress=0.100 visible=1", uri + "progress=0.000 visible=0"}));
}

TEST_F(Desktop, TheSleepInhibitorIsHeldExactlyWhileDownloading) {
    Recorder rec;
    ASSERT_TRUE(rec.ready());
    const std::string taken = "INHIBIT sleep|Clipvane|Downloading videos|block";
    ui::DesktopIntegration desktop;
    desktop.SetDownloading(true);
    ASSERT_TRUE(Pump([&] { return desktop.InhibitorHeld(); }));
    EXPECT_TRUE(rec.WaitLine(taken));
    desktop.SetDownloading(true);  // still one lock
    desktop.SetDownloading(false);
    EXPECT_FALSE(desktop.InhibitorHeld());
    ASSERT_TRUE(rec.WaitLine("INHIBIT_RELEASED"));

    // A run that ends before logind answers leaves no lock behind.
    desktop.SetDownloading(true);
    desktop.SetDownloading(false);
    ASSERT_TRUE(Pump([&] { return rec.LinesStarting("INHIBIT_RELEASED").size() == 2; }));
    EXPECT_FALSE(desktop.InhibitorHeld());
    EXPECT_EQ(rec.LinesStarting("INHIBIT sleep").size(), 2u);

    // Leaving the program releases it too.
    {
        ui::DesktopIntegration second;
        second.SetDownloading(true);
        ASSERT_TRUE(Pump([&] { return second.InhibitorHeld(); }));
    }
    EXPECT_TRUE(Pump([&] { return rec.LinesStarting("INHIBIT_RELEASED").size() == 3; }));
}

TEST_F(Desktop, EachExtraCanBeSwitchedOffInTheSettings) {
    {
        CARRegistry reg;
        ASSERT_TRUE(reg.CreateKey(L"Setting\\Desktop"));
        reg.WriteDword(L"Notify", 0);
        reg.WriteDword(L"TaskbarProgress", 0);
        reg.WriteDword(L"KeepAwake", 0);
        reg.CloseKey();
    }
    Recorder rec;
    ASSERT_TRUE(rec.ready());
    ui::DesktopIntegration desktop;
    EXPECT_FALSE(desktop.Options().notify);
    EXPECT_FALSE(desktop.Options().progress);
    EXPECT_FALSE(desktop.Options().keepAwake);
    EXPECT_FALSE(desktop.NotifyRunFinished(nullptr, 1, 0, "/v/a.flv"));
    desktop.SetRunProgress(0.5);
    desktop.SetDownloading(true);
    // Switched on again during the run, the lock is taken at once.
    desktop.SetOptions({false, false, true});
    ASSERT_TRUE(Pump([&] { return desktop.InhibitorHeld(); }));
    desktop.SetOptions({false, false, false});
    EXPECT_FALSE(desktop.InhibitorHeld());
    ASSERT_TRUE(rec.WaitLine("INHIBIT_RELEASED"));
    EXPECT_TRUE(rec.LinesStarting("NOTIFY").empty());
    EXPECT_TRUE(rec.LinesStarting("LAUNCHER").empty());
    // The hive stays loaded for the process: switch them on again.
    CARRegistry reg;
    ASSERT_TRUE(reg.CreateKey(L"Setting\\Desktop"));
    for (const wchar_t* name : {L"Notify", L"TaskbarProgress", L"KeepAwake"})
        reg.WriteDword(name, 1);
    reg.CloseKey();
    EXPECT_TRUE(ui::DesktopIntegration::LoadOptions().notify);
}

TEST_F(Desktop, WithoutTheServicesNothingBreaks) {
    ui::DesktopIntegration desktop;
    EXPECT_TRUE(desktop.NotifyRunFinished(nullptr, 1, 0, "/v/a.flv"));
    desktop.SetRunProgress(0.3);
    desktop.SetDownloading(true);
    Pump([] { return false; }, 500ms);
    EXPECT_FALSE(desktop.InhibitorHeld());
    desktop.SetDownloading(false);
}

namespace {

// The main window over the extras: the window of the ui tests, on this
// test's own bus.
class DesktopWindow : public windowtest::MainWindow {};

}  // namespace

TEST_F(DesktopWindow, ARunHoldsTheLockShowsProgressAndNotifiesInTheBackground) {
    Recorder rec;
    ASSERT_TRUE(rec.ready());
    GetSettings().Update([](SettingsData& d) { d.ShutdownFlag = 1; });  // no completion dialog
    CClipvaneDlg& w = Window();
    ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(L"http://www.youtube.com/watch?v=a"));
    ASSERT_TRUE(w.findChild<ui::AddressIntake*>()->Add(L"http://www.youtube.com/watch?v=b"));
    // The user is elsewhere.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(Pump([&] { return !w.isActiveWindow(); }, 5s));

    // A run of two rows, as the worker reports it.
    Run().StartRecord({0, 1});
    Run().OnStatus(0, kStatusFetchingPage, L"");
    ASSERT_TRUE(Run().Downloading());
    EXPECT_TRUE(rec.WaitLine("INHIBIT sleep|Clipvane|Downloading videos|block"));
    const std::string dock = "LAUNCHER application://" + kAppId + ".desktop ";
    Run().OnProgress(1, {500, 0, 0});  // half of the second row
    EXPECT_TRUE(rec.WaitLine(dock + "progress=0.750 visible=1"));

    Run().OnRunEnded(false);
    EXPECT_TRUE(rec.WaitLine("INHIBIT_RELEASED"));
    EXPECT_TRUE(rec.WaitLine(dock + "progress=0.000 visible=0"));
    EXPECT_TRUE(rec.WaitLine("NOTIFY Clipvane|" + kAppId +
                             "|Downloads finished|0 downloaded, 2 failed.||" + kAppId));
    EXPECT_EQ(desktop_.powerOffs, 1);
}

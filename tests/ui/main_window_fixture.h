#pragma once
// What the main window's tests share: message boxes answered at once, a
// desktop that opens nothing, and a window over a hive, an output folder and
// a history of the test's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/folders.h"
#include "app/settings.h"
#include "download/fakesites_harness.h"
#include "download/video_downloader.h"
#include "history/history.h"
#include "history/history_db.h"
#include "media/media_files.h"
#include "platform/message_box.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/process_harness.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/menu_builder.h"
#include "ui/desktop/desktop_services.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"
#include "ui/main_window.h"
#include "ui/preview/preview_panel.h"
#include "ui/run/address_intake.h"
#include "ui/run/download_run.h"
#include "ui/run/media_intake.h"
#include "ui/run/task_list_actions.h"
#include "ui/run/window_messages.h"
#include "ui/shell/bitmap_button_bar.h"
#include "ui/shell/tips_panel.h"
#include "ui/shell/window_shell.h"
#include "ui/tasklist/task_list_model.h"
#include "ui/tasklist/task_list_view.h"

namespace windowtest {

using platform::FromUtf8;

// Answers every box at once with the next scripted answer (else the first
// button) and remembers what it showed.
class RecordingBoxes : public platform::IMessageBoxService {
  public:
    struct Shown {
        std::wstring text;
        unsigned flags;
    };
    int Show(const std::wstring& text, const std::wstring&, unsigned flags,
             const platform::CancelCheck&) override {
        shown.push_back({text, flags});
        if (!answers.empty()) {
            int a = answers.front();
            answers.pop_front();
            return a;
        }
        return (flags & 0xF) == platform::MB_YESNO || (flags & 0xF) == platform::MB_YESNOCANCEL
                   ? platform::IDYES
                   : platform::IDOK;
    }
    int Count(const std::wstring& text) const {
        int n = 0;
        for (const auto& s : shown) n += s.text == text;
        return n;
    }
    std::vector<Shown> shown;
    std::deque<int> answers;
};

// Stands in for the desktop and the machine: nothing is opened, nothing
// powered off.
class FakeDesktop : public ui::IDesktopServices {
  public:
    bool OpenUrl(const std::wstring& target) override {
        opened.push_back(target);
        return true;
    }
    bool ShowItem(const std::wstring& path) override {
        shown.push_back(path);
        return true;
    }
    bool PowerOff(std::wstring&) override {
        ++powerOffs;
        return true;
    }
    void Beep() override { ++beeps; }
    std::vector<std::wstring> opened, shown;
    int powerOffs = 0, beeps = 0;
};

template <class F>
inline bool SpinUntil(F done, int limitMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// Runs `act` on the first visible dialog of type D as soon as it opens.
template <class D, class F>
void WhenOpen(QObject* owner, F act) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* d = qobject_cast<D*>(w); d && d->isVisible()) {
                timer->stop();
                act(d);
                timer->deleteLater();
                return;
            }
        }
    });
    timer->start(10);
}

inline QUrl FileUrl(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

// Translations are looked up beside the running program: the shipped ones
// are linked in beside the test program.
inline void LinkShippedLanguage(const std::string& code) {
    namespace fs = std::filesystem;
    const fs::path from = fs::path(platform::ToUtf8(GetProgramFolder())) / "lang.cv";
    const fs::path shipped = fs::path(CLIPVANE_PROGRAM_DIR) / "lang.cv";
    fs::create_directories(from);
    for (const std::string& name : {"lang_" + code + ".ini", code}) {
        std::error_code ec;
        if (fs::exists(shipped / name) && !fs::exists(from / name, ec))
            fs::create_symlink(shipped / name, from / name, ec);
    }
}

class MainWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
        platform::SetMessageBoxService(&boxes_);
        // Settings and window state go to a hive of the test program's own
        // (the hive's place is fixed at its first use).
        static testsupport::TempDir config;
        setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        // No request may leave the machine: nothing listens on this port.
        setenv("http_proxy", "http://127.0.0.1:9", 1);
        setenv("https_proxy", "http://127.0.0.1:9", 1);
        unsetenv("no_proxy");
        unsetenv("NO_PROXY");
        GetSettings().Update([&](SettingsData& d) {
            d.OutputFolder = FromUtf8(out_.path());
            d.ShutdownFlag = 0;
            d.RetryTimes = 0;
            d.UseTitleAsFileName = 0;
            d.YTUser.clear();
            d.YoutubeFMT = 0;
            d.LangID = L"en";
        });
        ASSERT_EQ(OpenHistory(history_, FromUtf8(out_ / "history.db")), 1);
    }
    void TearDown() override {
        win_.reset();
        ui::ApplyToolkitLanguage(L"en");
        platform::SetMessageBoxService(nullptr);
        if (history_) {
            history_->close();
            delete history_;
        }
        unsetenv("http_proxy");
    }
    // Closes every completion dialog as it opens.
    void CloseCompletions() {
        auto* timer = new QTimer(&Window());
        QObject::connect(timer, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<ui::CompletionDialog*>(w); d && d->isVisible())
                    d->reject();
        });
        timer->start(20);
    }
    CClipvaneDlg& Window() {
        if (!win_) {
            win_ = std::make_unique<CClipvaneDlg>(history_, &desktop_);
            win_->show();
            EXPECT_TRUE(SpinUntil([&] { return Run().Downloader() != nullptr; }));
        }
        return *win_;
    }
    // The window's parts, found among its children as a user finds them on
    // screen: each by its type, or by the control id it carries where the
    // window has several of a type.
    ui::TaskListModel& Model() { return *Part<ui::TaskListModel>(); }
    // A cell's colour as the view gets it; invalid for the list's own.
    QColor Colour(int row, int col, int role = Qt::ForegroundRole) {
        return Model().data(Model().index(row, col), role).value<QColor>();
    }
    ui::TaskListView* TaskView() { return Part<ui::TaskListView>(); }
    ui::HistoryListView* HistoryView() { return Part<ui::HistoryListView>(); }
    CPreviewPanel* Preview() { return Part<CPreviewPanel>(); }
    ui::SitePanel* SitePanel() { return Part<ui::SitePanel>(); }
    ui::TipsPanel* Tips() { return Part<ui::TipsPanel>(); }
    ui::WindowShell* Shell() { return Part<ui::WindowShell>(); }
    // Buttons 6 (add), 7 (download all) and 8 (stop).
    ui::BitmapButtonBar* Toolbar() { return Part<ui::BitmapButtonBar>(Control(kToolbar)); }
    QLineEdit* FolderField() { return Part<QLineEdit>(Control(kOutputFolder)); }
    // The menu behind the caption's menu button, not the context menus.
    QMenu* MainMenu() {
        QList<QMenu*> menus = Window().findChildren<QMenu*>();
        menus.removeIf([](QMenu* m) { return !m->property(ui::kMainMenuProperty).toBool(); });
        EXPECT_EQ(menus.size(), 1) << "main menus";
        return menus.size() == 1 ? menus.front() : nullptr;
    }
    // The text of the status line at the window's foot.
    QString StatusText() { return Shell()->StatusText(); }
    // What the user sees: while the preview fills the window neither shows,
    // whatever was chosen before.
    bool SitePanelShown() { return !SitePanel()->isHidden(); }
    bool HistoryShown() { return !HistoryView()->isHidden(); }
    // Types `typed` over the folder field's text and presses Enter; the
    // folder the settings then hold.
    std::wstring EnterFolder(const QString& typed) {
        QLineEdit* field = FolderField();
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        return GetSettings().Get().OutputFolder;
    }
    // The window's wings.
    ui::DownloadRun& Run() { return *Part<ui::DownloadRun>(); }
    ui::MediaIntake& Intake() { return *Part<ui::MediaIntake>(); }
    ui::AddressIntake& Addresses() { return *Part<ui::AddressIntake>(); }
    ui::TaskListActions& Rows() { return *Part<ui::TaskListActions>(); }
    // Puts the window into a run as the worker's first status message does.
    void EnterRun() {
        Run().OnStatus(0, kStatusFetchingPage, L"");
        ASSERT_TRUE(Run().Downloading());
    }
    void Select(int row) {
        auto* v = TaskView();
        v->clearSelection();
        v->setCurrentIndex(Model().index(row, 0));
        v->selectRow(row);
    }
    // Waits for `n` intakes to finish.
    bool WaitIntakes(size_t n) {
        return SpinUntil([&] { return finished_ >= n; }, 40000);
    }
    void CountIntakes() {
        QObject::connect(&Window(), &CClipvaneDlg::intakeFinished, [this](bool) { ++finished_; });
    }
    int HistoryRows() { return CountHistory(history_, nullptr); }
    // The window's only child of type T with `name` (any name when empty);
    // a failure, and null, when there is none or more than one.
    template <class T>
    T* Part(const QString& name = {}) {
        const QList<T*> found = Window().findChildren<T*>(name);
        EXPECT_EQ(found.size(), 1) << T::staticMetaObject.className() << " " << name.toStdString();
        return found.size() == 1 ? found.front() : nullptr;
    }
    static QString Control(int id) { return QStringLiteral("ctl%1").arg(id); }
    static constexpr int kToolbar = ids::ctl::main_window::kToolbar;
    static constexpr int kOutputFolder = ids::ctl::main_window::kOutputFolder;

    testsupport::TempDir out_;
    RecordingBoxes boxes_;
    FakeDesktop desktop_;
    CHistoryDb* history_ = nullptr;
    std::unique_ptr<CClipvaneDlg> win_;
    size_t finished_ = 0;
};

// A download that takes its time, against the stand-in sites: the watch
// page of `id` leads to a.flv on v1.test, sent as the route fields `pace`
// say (a rate, ranges, attempts broken off). Every notice at the end of a
// run is closed as it opens.
class PacedRun : public MainWindow {
  protected:
    void ServePaced(const std::string& id, const std::string& pace) {
        page_ = "http://www.youtube.com/watch?v=" + id;
        const std::string routes = R"({"routes": [
  {"host": "www.youtube.com", "path": "/watch?v=)" +
                                   id + R"(", "body": "<title>YouTube - )" + id +
                                   R"(</title>, \"t\": \"T8\""},
  {"host": "www.youtube.com", "path_prefix": "/get_video.php?video_id=", "status": 302,
   "headers": {"Location": "http://v1.test/paced"}},
  {"host": "v1.test", "path": "/paced", "body_file": "a.flv", )" +
                                   pace + R"(}
]})";
        sites_.filesDir = mediatest::MediaDir();
        ASSERT_TRUE(sites_.Start(routes));
        setenv("http_proxy", sites_.ProxyUrl().c_str(), 1);
        QObject::connect(&closer_, &QTimer::timeout, [] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(top); d && d->isVisible()) d->reject();
        });
        closer_.start(20);
    }
    // Adds the page's address, downloads all and waits for the first bytes.
    void StartPaced() {
        Addresses().Add(FromUtf8(page_));
        Window().OnCommand(32855);
        ASSERT_TRUE(SpinUntil([&] { return Model().Progress(0) >= 0; }, 30000));
    }
    testsupport::FakeSites sites_;
    QTimer closer_;
    std::string page_;
};

// Screenshots kept as test artefacts.
inline std::string ScreenshotDir() {
    std::string d = std::string(CLIPVANE_TEST_OUT_DIR) + "/screenshots";
    std::filesystem::create_directories(d);
    return d;
}

// The window as the X server shows it, saved under ScreenshotDir.
inline bool SaveScreenshot(QWidget* w, const std::string& name) {
    // Let the last changes reach the screen first.
    w->repaint();
    QApplication::processEvents(QEventLoop::AllEvents, 50);
    QScreen* screen = w->screen();
    if (!screen) return false;
    QPixmap shot = screen->grabWindow(w->winId());
    return !shot.isNull() && shot.save(QString::fromStdString(ScreenshotDir() + "/" + name));
}

}  // namespace windowtest

// The preview panel with the real mplayer drawing into the panel's window
// on Xvfb, on bright moving pictures that ffmpeg makes at test time.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "app/messages.h"
#include "app/settings.h"
#include "media/cmd_mplayer.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "support/process_harness.h"
#include "ui/preview/position_bar.h"
#include "ui/preview/preview_panel.h"
#include "ui/shell/bitmap_button_bar.h"
#include "xvfb.h"

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// Clips made once: a 30 s one and a 2 s one, 320 x 240 test pictures with
// sound, in FLV as the sites deliver them.
struct Clips {
    testsupport::TempDir dir;
    std::string longClip = dir / "long.flv";
    std::string shortClip = dir / "short.flv";
    bool ok = false;
    Clips() {
        const std::string f =
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=320x240:rate=25 "
            "-f lavfi -i sine=frequency=440:sample_rate=22050 -c:v flv -c:a libmp3lame ";
        ok = std::system((f + "-t 30 " + longClip).c_str()) == 0 &&
             std::system((f + "-t 2 " + shortClip).c_str()) == 0;
    }
};
Clips& TheClips() {
    static Clips c;
    return c;
}

bool Pump(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
    auto until = Clock::now() + limit;
    while (Clock::now() < until) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (cond()) return true;
        ::usleep(1000);
    }
    return cond();
}
void Idle(std::chrono::milliseconds d) {
    Pump([] { return false; }, d);
}

// A window like the main window's right column: the panel at its place,
// spread over the whole window on message 5029.
class Harness : public QWidget, public platform::IPostTarget {
  public:
    Harness() {
        resize(560, 300);
        setWindowTitle(QStringLiteral("preview harness"));
        panel = new CPreviewPanel(this, this);
        panel->move(8, 8);
    }
    void Post(unsigned msg, uintptr_t wParam, intptr_t) override {
        QMetaObject::invokeMethod(this, [this, msg, wParam] {
            if (msg != WM_PREVIEW_EXPANDED) return;
            if (wParam)
                panel->setGeometry(rect());
            else
                panel->setGeometry(8, 8, CPreviewPanel::kWidth, CPreviewPanel::kHeight);
        });
    }
    CPreviewPanel* panel;
};

// Share of pixels brighter than a dark background, and of distinct colours.
struct Picture {
    double bright = 0;
    int colours = 0;
};
Picture Look(const QImage& img) {
    Picture p;
    std::set<QRgb> seen;
    int n = 0, lit = 0;
    for (int y = 0; y < img.height(); y += 2)
        for (int x = 0; x < img.width(); x += 2) {
            QRgb c = img.pixel(x, y);
            ++n;
            if (qGray(c) > 90) ++lit;
            if (seen.size() < 1000) seen.insert(c & 0xF0F0F0);
        }
    p.bright = n ? double(lit) / n : 0;
    p.colours = static_cast<int>(seen.size());
    return p;
}

// Mapped windows directly below the root, with their names.
std::map<uint32_t, std::string> TopLevelWindows() {
    std::map<uint32_t, std::string> out;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return out;
    }
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (tree) {
        xcb_window_t* kids = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            auto* attr =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, kids[i]), nullptr);
            bool mapped = attr && attr->map_state == XCB_MAP_STATE_VIEWABLE;
            free(attr);
            if (!mapped) continue;
            std::string name;
            auto* prop = xcb_get_property_reply(
                c, xcb_get_property(c, 0, kids[i], XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 256),
                nullptr);
            if (prop) {
                name.assign(static_cast<const char*>(xcb_get_property_value(prop)),
                            xcb_get_property_value_length(prop));
                free(prop);
            }
            out[kids[i]] = name;
        }
        free(tree);
    }
    xcb_disconnect(c);
    return out;
}

// Processes whose parent is this test program and whose name is `comm`.
std::vector<pid_t> ChildrenNamed(const std::string& comm) {
    std::vector<pid_t> out;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        pid_t pid = std::atoi(e.path().filename().c_str());
        if (pid <= 0) continue;
        std::string stat = testsupport::ReadFile(e.path() / "stat");
        size_t open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos) continue;
        int ppid = 0;
        char state = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) != 2) continue;
        if (ppid == ::getpid() && stat.substr(open + 1, close - open - 1) == comm)
            out.push_back(pid);
    }
    return out;
}

char ProcessState(pid_t pid) {
    std::string stat = testsupport::ReadFile("/proc/" + std::to_string(pid) + "/stat");
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return 0;
    return stat[close + 2];
}

class PreviewOnX11 : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!xvfb::SkipReason().empty()) GTEST_SKIP() << xvfb::SkipReason();
        ASSERT_TRUE(TheClips().ok) << "ffmpeg could not make the test clips";
        ASSERT_TRUE(platform::ResourceBundle::Current().Load(std::string(CLIPVANE_PROGRAM_DIR) +
                                                             "/cvres.bundle"));
        SetVideoOutput(L"gl");
        harness_ = std::make_unique<Harness>();
        harness_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(harness_.get()));
        panel_ = harness_->panel;
    }
    void TearDown() override {
        harness_.reset();
        platform::ResourceBundle::Current().Unload();
        GetSettings().Update([](SettingsData& d) { d = SettingsData(); });
    }
    static void SetVideoOutput(const std::wstring& vo) {
        GetSettings().Update([&](SettingsData& d) { d.MPLAYER_VO = vo; });
    }
    void Select(const std::string& clip, int durationMs) {
        task_ = Task();
        task_.source = platform::FromUtf8(clip);
        task_.durationMs = task_.cutEndMs = durationMs;
        panel_->SetTask(&task_);
    }
    QImage GrabVideo() {
        QWidget* v = panel_->videoWindow();
        return QGuiApplication::primaryScreen()->grabWindow(v->winId()).toImage();
    }
    // Plays until the player has drawn a bright picture into our window.
    QImage GrabArea() {
        QWidget* a = panel_->videoArea();
        return QGuiApplication::primaryScreen()
            ->grabWindow(harness_->winId())
            .toImage()
            .copy(QRect(a->mapTo(harness_.get(), QPoint(0, 0)), a->size()));
    }
    bool PlayUntilDrawn() {
        // Nothing bright is left in the area from an earlier run.
        Idle(250ms);
        EXPECT_LT(Look(GrabArea()).bright, 0.1);
        panel_->PlayTask(true);
        if (panel_->playState() != CPreviewPanel::kPlaying) return false;
        return Pump(
            [&] {
                return panel_->playState() == CPreviewPanel::kPlaying &&
                       Look(GrabVideo()).bright > 0.3;
            },
            15s);
    }
    void Shot(const char* name) {
        Idle(150ms);
        if (const char* dir = std::getenv("CV_SCREENSHOT_DIR"))
            QGuiApplication::primaryScreen()
                ->grabWindow(harness_->winId())
                .save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
    }

    std::unique_ptr<Harness> harness_;
    CPreviewPanel* panel_ = nullptr;
    Task task_;
};

}  // namespace

TEST_F(PreviewOnX11, PlayDrawsInsideOurWindowAndStopLeavesNoPlayer) {
    Select(TheClips().longClip, 30000);
    Shot("stopped");
    Idle(200ms);
    const QImage stoppedArea = GrabArea();
    const auto before = TopLevelWindows();

    ASSERT_TRUE(PlayUntilDrawn()) << "no picture in the video window";
    const QImage first = GrabVideo();
    EXPECT_EQ(first.size(),
              panel_->videoWindow()->size() * panel_->videoWindow()->devicePixelRatio());
    Picture pic = Look(first);
    EXPECT_GT(pic.bright, 0.3);
    EXPECT_GT(pic.colours, 8);
    EXPECT_NE(first.scaled(stoppedArea.size()), stoppedArea);
    Idle(400ms);
    EXPECT_NE(GrabVideo(), first) << "the picture does not move";
    Shot("playing");

    // No window of the player's own.
    const auto during = TopLevelWindows();
    for (const auto& [id, name] : during) {
        EXPECT_EQ(name.find("MPlayer"), std::string::npos) << name;
        EXPECT_TRUE(before.count(id)) << "a new top-level window: " << name;
    }
    // The thumb moves while playing.
    EXPECT_TRUE(Pump([&] { return panel_->positionBar()->position() > 0; }, 10s));

    const pid_t pid = panel_->player()->childProcessId();
    QTest::mouseClick(panel_->buttonBar(), Qt::LeftButton, {},
                      panel_->buttonBar()->ButtonRect(CPreviewPanel::kStop).center());
    EXPECT_EQ(panel_->playState(), CPreviewPanel::kStopped);
    EXPECT_EQ(panel_->player(), nullptr);
    EXPECT_FALSE(panel_->videoWindow()->isVisible());
    EXPECT_NE(::kill(pid, 0), 0);
    EXPECT_TRUE(ChildrenNamed("mplayer").empty());
}

TEST_F(PreviewOnX11, PauseHoldsThumbAndPicture) {
    Select(TheClips().longClip, 30000);
    ASSERT_TRUE(PlayUntilDrawn());
    ASSERT_TRUE(Pump([&] { return panel_->positionBar()->position() >= 3; }, 15s));
    panel_->TogglePause();
    ASSERT_EQ(panel_->playState(), CPreviewPanel::kPaused);
    Idle(300ms);
    const int held = panel_->positionBar()->position();
    const QImage picture = GrabVideo();
    Idle(1500ms);
    EXPECT_EQ(panel_->positionBar()->position(), held);
    EXPECT_EQ(GrabVideo(), picture);
    EXPECT_EQ(panel_->player()->ChildExitCode(), kStillActive);

    // Play resumes where it was.
    panel_->PlayTask(true);
    EXPECT_EQ(panel_->playState(), CPreviewPanel::kPlaying);
    EXPECT_TRUE(Pump([&] { return panel_->positionBar()->position() > held; }, 10s));
    EXPECT_NE(GrabVideo(), picture);

    // Hundreds of position queries later the runner holds a bounded text.
    Idle(3s);
    EXPECT_LE(panel_->player()->OutputText().size(), CCmdMplayer::kBufferChars);
    panel_->Stop();
}

TEST_F(PreviewOnX11, SeekingWhilePausedShowsThePictureThereAndStaysPaused) {
    Select(TheClips().longClip, 30000);
    ASSERT_TRUE(PlayUntilDrawn());
    ASSERT_TRUE(Pump([&] { return panel_->positionBar()->position() >= 3; }, 15s));
    panel_->TogglePause();
    ASSERT_EQ(panel_->playState(), CPreviewPanel::kPaused);
    Idle(300ms);
    const QImage paused = GrabVideo();

    CPositionBar* bar = panel_->positionBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 8 / 10, 7));
    const int at = bar->position();
    EXPECT_NEAR(at, 80, 1);
    ASSERT_TRUE(Pump([&] { return GrabVideo() != paused; }, 10s)) << "the picture stayed";
    Idle(500ms);
    const QImage there = GrabVideo();
    Shot("seeked-while-paused");
    Idle(1500ms);
    EXPECT_EQ(GrabVideo(), there) << "the player went on playing";
    EXPECT_EQ(panel_->playState(), CPreviewPanel::kPaused);
    EXPECT_EQ(bar->position(), at);

    // Resumed, it plays on from there, not from the paused point.
    panel_->TogglePause();
    ASSERT_TRUE(Pump([&] { return bar->position() != at; }, 10s));
    EXPECT_GE(bar->position(), at - 1);
    panel_->Stop();
}

TEST_F(PreviewOnX11, StartMarkSeeksAndClickOnTheBarSeeks) {
    Select(TheClips().longClip, 30000);
    task_.cutStartMs = 15000;
    panel_->SetTask(&task_);
    EXPECT_EQ(panel_->positionBar()->position(), 50);
    ASSERT_TRUE(PlayUntilDrawn());
    // The player reports a position past the start mark.
    ASSERT_TRUE(Pump([&] { return panel_->positionBar()->position() >= 50; }, 10s));
    EXPECT_LT(panel_->positionBar()->position(), 75);

    CPositionBar* bar = panel_->positionBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 9 / 10, 7));
    EXPECT_TRUE(Pump([&] { return bar->position() >= 88; }, 10s));
    panel_->Stop();
}

TEST_F(PreviewOnX11, EndOfVideoAndOutsideKillStopThepanelWithinATick) {
    Select(TheClips().shortClip, 2000);
    ASSERT_TRUE(PlayUntilDrawn());
    pid_t pid = panel_->player()->childProcessId();
    // The player ends by itself; the panel notices at its next tick.
    Clock::time_point ended{};
    ASSERT_TRUE(Pump(
        [&] {
            const char state = ProcessState(pid);
            if (ended == Clock::time_point{} && (state == 'Z' || state == 0)) ended = Clock::now();
            return panel_->playState() == CPreviewPanel::kStopped;
        },
        20s));
    auto late = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - ended);
    EXPECT_LT(late.count(), 250) << "the panel stopped " << late.count() << " ms after the player";
    EXPECT_TRUE(ChildrenNamed("mplayer").empty());
    EXPECT_TRUE(panel_->buttonBar()->IsButtonEnabled(CPreviewPanel::kPlay));
    EXPECT_EQ(panel_->positionBar()->position(), 0);

    Select(TheClips().longClip, 30000);
    ASSERT_TRUE(PlayUntilDrawn());
    pid = panel_->player()->childProcessId();
    QSignalSpy status(panel_, &CPreviewPanel::statusText);
    ::kill(pid, SIGKILL);
    auto killed = Clock::now();
    ASSERT_TRUE(Pump([&] { return panel_->playState() == CPreviewPanel::kStopped; }, 5s));
    late = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - killed);
    EXPECT_LT(late.count(), 250) << "the panel stopped " << late.count() << " ms after the kill";
    EXPECT_EQ(status.count(), 0) << "it had drawn: no failure to report";
    EXPECT_TRUE(ChildrenNamed("mplayer").empty());
}

TEST_F(PreviewOnX11, EveryMappedVideoOutputDrawsOrIsReported) {
    Select(TheClips().longClip, 30000);
    // "directx" becomes "xv,x11,": Xvfb has no Xv adaptor, x11 takes over.
    const std::pair<const wchar_t*, const wchar_t*> outputs[] = {{L"x11", L"VO: [x11]"},
                                                                 {L"directx", L"VO: [x11]"},
                                                                 {L"gl2", L"VO: [gl_tiled]"},
                                                                 {L"", L"VO: ["}};
    for (const auto& [vo, line] : outputs) {
        SetVideoOutput(vo);
        EXPECT_TRUE(PlayUntilDrawn()) << platform::ToUtf8(vo);
        ASSERT_NE(panel_->player(), nullptr);
        EXPECT_NE(panel_->player()->OutputText().find(line), std::wstring::npos)
            << platform::ToUtf8(vo);
        panel_->Stop();
    }
    // Xv alone cannot draw here: the panel stops and says so.
    SetVideoOutput(L"xv");
    QSignalSpy status(panel_, &CPreviewPanel::statusText);
    panel_->PlayTask(true);
    ASSERT_TRUE(Pump([&] { return panel_->playState() == CPreviewPanel::kStopped; }, 15s));
    ASSERT_EQ(status.count(), 1);
    EXPECT_TRUE(ChildrenNamed("mplayer").empty());
}

TEST_F(PreviewOnX11, SpreadPanelPlaysOverTheWholeWindow) {
    Select(TheClips().longClip, 30000);
    QTest::mouseDClick(panel_, Qt::LeftButton, {}, QPoint(2, 2));
    ASSERT_TRUE(Pump([&] { return panel_->geometry() == harness_->rect(); }, 5s));
    ASSERT_TRUE(PlayUntilDrawn());
    EXPECT_EQ(panel_->videoWindow()->size(), panel_->videoArea()->size());
    EXPECT_EQ(panel_->videoArea()->width(), harness_->width() - 16);
    Idle(300ms);
    Shot("spread");
    QTest::mouseDClick(panel_, Qt::LeftButton, {}, QPoint(2, 2));
    ASSERT_TRUE(Pump([&] { return panel_->width() == CPreviewPanel::kWidth; }, 5s));
    EXPECT_EQ(panel_->videoWindow()->size(), QSize(250, 187));
    EXPECT_TRUE(Pump([&] { return Look(GrabVideo()).bright > 0.3; }, 5s));
    panel_->Stop();
}

#include "ui/preview/preview_panel.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QTimerEvent>
#include <charconv>
#include <climits>

#include "app/localization.h"
#include "app/logging.h"
#include "app/messages.h"
#include "app/settings.h"
#include "media/cmd_mplayer.h"
#include "media/cmd_opts.h"
#include "media/command_line.h"
#include "platform/dialog_template.h"
#include "platform/resource_bundle.h"
#include "resource_ids.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/preview/position_bar.h"
#include "ui/shell/bitmap_button_bar.h"

namespace {

constexpr const char* kTag = "CPreviewPanel";

// Status-line texts.
constexpr unsigned kTextNotShown = ids::str::kPreviewNotShown;
constexpr unsigned kTextNotStarted = ids::str::kPreviewNotStarted;
// Tooltips of the seven buttons, in button order.
constexpr unsigned kFirstTooltip = ids::str::kSetStartMarkHere;

// Bitmaps.
constexpr int kBmpRange = 163, kBmpNormal = 164, kBmpHot = 165, kBmpPressed = 166,
              kBmpDisabled = 167, kBmpBar = 168, kBmpThumb = 169, kBmpBackground = 170,
              kBmpStopped = 171;

// Places of the seven buttons in the 256 x 34 bar (the state bitmaps are
// drawn to match).
const QRect kButtonRects[7] = {
    {2, 2, 32, 30},   {36, 2, 32, 30},  {80, 2, 32, 30},  {114, 2, 32, 30},
    {148, 2, 32, 30}, {188, 2, 32, 30}, {222, 2, 32, 30},
};

// The native window the player draws into; Qt never paints it.
class VideoWindow : public QWidget {
  public:
    explicit VideoWindow(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_DontCreateNativeAncestors);
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setObjectName(QStringLiteral("VideoRendererWindow"));
    }
    QPaintEngine* paintEngine() const override { return nullptr; }

  protected:
    void paintEvent(QPaintEvent*) override {}
};

// The video area: the stopped picture while nothing plays.
class VideoArea : public QWidget {
  public:
    VideoArea(QWidget* parent, const CPreviewPanel* panel, const QPixmap* stopped)
        : QWidget(parent), panel_(panel), stopped_(stopped) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (panel_->playState() == CPreviewPanel::kStopped && !stopped_->isNull()) {
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawPixmap(rect(), *stopped_);
        } else {
            p.fillRect(rect(), QColor(16, 0, 0));
        }
    }

  private:
    const CPreviewPanel* panel_;
    const QPixmap* stopped_;
};

QRect TemplateRect(const std::optional<platform::DialogTemplate>& tpl, int id,
                   const QRect& fallback) {
    if (tpl)
        for (const auto& c : tpl->controls)
            if (c.id == id) return QRect(c.x, c.y, c.width, c.height);
    return fallback;
}

}  // namespace

namespace ui {

std::wstring MapVideoOutput(const std::wstring& stored) {
    if (stored == L"directx") return L"xv,x11,";
    if (stored == L"gl2") return L"gl_tiled";
    return stored;
}

std::wstring SecondsText(int64_t ms) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(ms) / 1000.0,
                           std::chars_format::fixed, 2);
    return media::BytesToWide(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

}  // namespace ui

CPreviewPanel::CPreviewPanel(QWidget* parent, platform::IPostTarget* mainWindow)
    : QWidget(parent),
      background_(std::make_unique<QPixmap>()),
      stopped_(std::make_unique<QPixmap>()),
      mainWindow_(mainWindow),
      playerProgram_(PlayerProgramPath()) {
    setProperty(ui::kControlIdProperty, kControlId);
    setObjectName(QStringLiteral("ctl%1").arg(kControlId));
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);

    std::optional<platform::DialogTemplate> tpl;
    if (auto text = platform::ResourceBundle::Current().Dialog(kControlId))
        tpl = platform::ParseDialogTemplate(*text);
    resize(tpl ? QSize(tpl->width, tpl->height) : QSize(kWidth, kHeight));

    videoArea_ = new VideoArea(this, this, stopped_.get());
    videoArea_->setProperty(ui::kControlIdProperty, kVideoAreaId);
    videoArea_->setGeometry(TemplateRect(tpl, kVideoAreaId, QRect(8, 8, 250, 187)));
    videoArea_->installEventFilter(this);

    positionBar_ = new CPositionBar(this);
    positionBar_->setGeometry(TemplateRect(tpl, kPositionBarRectId, QRect(7, 201, 252, 15)));
    connect(positionBar_, &CPositionBar::clicked, this, [this](int percent) {
        OnMessage(WM_POSITION_BAR_CLICK, static_cast<uintptr_t>(percent));
    });

    buttonBar_ = new ui::BitmapButtonBar(this);
    buttonBar_->setProperty(ui::kControlIdProperty, kButtonBarId);
    buttonBar_->setGeometry(TemplateRect(tpl, kButtonBarId, QRect(3, 217, 256, 34)));
    for (int i = 0; i < 7; ++i) buttonBar_->AddButton(i, kButtonRects[i], kFirstTooltip + i);
    connect(buttonBar_, &ui::BitmapButtonBar::buttonClicked, this,
            [this](int index) { OnMessage(WM_BUTTON_BAR, static_cast<uintptr_t>(index)); });

    Retranslate();
    Layout();
    for (int i = 0; i < 7; ++i) buttonBar_->EnableButton(i, false);

    videoWindow_ = new VideoWindow(videoArea_);
    videoWindow_->installEventFilter(this);
    videoWindow_->hide();
}

void CPreviewPanel::Retranslate() {
    *background_ = ui::LoadSkinBitmap(kBmpBackground);
    *stopped_ = ui::LoadSkinBitmap(kBmpStopped);
    positionBar_->SetBitmaps(ui::LoadSkinBitmap(kBmpBar), ui::LoadSkinBitmap(kBmpRange),
                             ui::LoadSkinBitmap(kBmpThumb));
    buttonBar_->SetStateBitmaps(kBmpNormal, kBmpHot, kBmpPressed, kBmpDisabled);
    update();
    videoArea_->update();
}

CPreviewPanel::~CPreviewPanel() {
    KillTimer();
    if (player_) {
        if (playState_ != kStopped) {
            player_->KillChildProcesses();
            player_->WaitForReader(-1);
        }
        player_.reset();
    }
}

void CPreviewPanel::Layout() {
    const int w = width(), h = height();
    buttonBar_->setGeometry(3, h - 35, 256, 34);
    positionBar_->setGeometry(7, h - 51, w - 14, 15);
    videoArea_->setGeometry(8, 8, w - 16, h - 65);
    if (playState_ != kStopped && videoWindow_ && videoWindow_->isVisible())
        videoWindow_->setGeometry(0, 0, w - 16, h - 65);
}

void CPreviewPanel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Layout();
}

void CPreviewPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (background_->isNull()) {
        p.fillRect(rect(), palette().window());
        return;
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawPixmap(rect(), *background_);
}

void CPreviewPanel::EnableButtons(std::initializer_list<int> buttons, bool on) {
    for (int b : buttons) buttonBar_->EnableButton(b, on);
}

void CPreviewPanel::SetTask(Task* task) {
    if (playState_ != kStopped) Stop();
    task_ = task;
    locked_ = false;
    if (!task || task->onlinePending == 1) {
        EnableButtons({kPlay, kSetStart, kSetEnd, kGoStart, kGoEnd}, false);
        positionBar_->SetClickable(false);
        positionBar_->SetDuration(0);
        update();
        return;
    }
    positionBar_->SetDuration(task->durationMs);
    positionBar_->SetMarks(task->cutStartMs, task->cutEndMs);
    EnableButtons({kPlay, kSetStart, kSetEnd, kGoStart, kGoEnd}, true);
    if (task->cutStartMs == task->cutEndMs)
        EnableButtons({kSetStart, kSetEnd, kGoStart, kGoEnd}, false);
    if (task->durationMs != 0) {
        positionBar_->SetPosition(
            static_cast<int>(int64_t{task->cutStartMs} * 100 / task->durationMs));
        durationUnits_ = int64_t{task->durationMs} * 10000;
        positionBar_->SetClickable(durationUnits_ > 0);
    } else {
        durationUnits_ = 0;
        positionBar_->SetClickable(false);
    }
}

void CPreviewPanel::LockControls() {
    if (playState_ != kStopped) Stop();
    locked_ = true;
    EnableButtons({kPlay, kSetStart, kSetEnd, kGoStart, kGoEnd}, false);
    positionBar_->SetClickable(false);
    positionBar_->SetDuration(0);
}

void CPreviewPanel::PlayTask(bool fromButton) {
    if (!videoWindow_ || (task_ && task_->onlinePending == 1)) return;
    if (playState_ == kPlaying || (playState_ == kPaused && !fromButton)) Stop();
    videoWindow_->show();
    if (playState_ == kPaused) {
        player_->SendCommand(L"pause\n");
        playState_ = kPlaying;
        StartTimer();
        buttonBar_->EnableButton(kPause, true);
        buttonBar_->EnableButton(kPlay, false);
        return;
    }
    if (StartPlayer()) {
        buttonBar_->EnableButton(kPlay, false);
        EnableButtons({kStop, kPause}, true);
        StartTimer();
        update();
        videoArea_->update();
        videoWindow_->setGeometry(0, 0, videoArea_->width(), videoArea_->height());
    } else {
        videoWindow_->hide();
    }
}

bool CPreviewPanel::StartPlayer() {
    if (!task_) return false;
    // "-wid" needs window ids of the X server the player draws on.
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        LogError(kTag, "The preview needs X11; the program runs on Wayland.");
        emit statusText(ui::ToQ(LoadText(kTextNotShown)));
        return false;
    }
    const SettingsData s = GetSettings().Get();
    CMPlayerOpts opts;
    // A relative name that starts with '-' would read as an option.
    const std::wstring& src = task_->source;
    opts.SetInputFile(!src.empty() && src[0] == L'-' ? L"./" + src : src);
    opts.SetFlag(L"-slave");
    opts.SetFlag(L"-quiet");
    opts.SetFlag(L"-nokeepaspect");
    opts.SetOption(L"-vf-add", L"scale=320:-2,expand=320:240");
    opts.SetOption(L"-wid", L"%d", static_cast<int>(videoWindow_->winId()));
    opts.SetOption(L"-colorkey", L"0x10");
    const std::wstring vo = ui::MapVideoOutput(s.MPLAYER_VO);
    if (!vo.empty()) opts.SetOption(L"-vo", L"%ls", vo.c_str());
    if (s.VOLUME_NORM) opts.SetOption(L"-af", L"volnorm");
    if (s.OUT_VOLUME != 0) opts.AppendOption(L"-af", L",", L"volume=%d", s.OUT_VOLUME);
    opts.SetProgram(playerProgram_);
    std::wstring cmd = opts.GetCommandLine();

    if (!player_) player_ = std::make_unique<CCmdMplayer>();
    if (!player_->Start(cmd)) {
        player_.reset();
        LogErrorW(kTag, L"The player could not be started: %ls", cmd.c_str());
        emit statusText(ui::ToQ(LoadText(kTextNotStarted)));
        return false;
    }
    LogInfoW(kTag, L"Preview started: %ls", cmd.c_str());
    playState_ = kPlaying;
    watchingStart_ = true;
    playbackSeen_.invalidate();
    if (positionBar_->startMark() != 0)
        player_->SendCommand(L"seek %ls 2\n", ui::SecondsText(positionBar_->startMark()).c_str());
    return true;
}

void CPreviewPanel::Stop() {
    KillTimer();
    if (player_) {
        player_->KillChildProcesses();
        player_->WaitForReader(-1);
        player_.reset();
        playState_ = kStopped;
    }
    watchingStart_ = false;
    videoWindow_->hide();
    update();
    videoArea_->update();
    buttonBar_->EnableButton(kPlay, !locked_ && task_ && task_->onlinePending != 1);
    EnableButtons({kStop, kPause}, false);
    positionBar_->SetPosition(0);
}

bool CPreviewPanel::PlayerActive() const {
    return player_ && player_->ChildExitCode() == kStillActive;
}

void CPreviewPanel::TogglePause() {
    if (!PlayerActive()) return;
    if (playState_ == kPlaying) {
        KillTimer();
        player_->SendCommand(L"pause\n");
        playState_ = kPaused;
        buttonBar_->EnableButton(kPause, false);
        buttonBar_->EnableButton(kPlay, true);
    } else if (playState_ == kPaused) {
        player_->SendCommand(L"pause\n");
        playState_ = kPlaying;
        StartTimer();
        buttonBar_->EnableButton(kPause, true);
        buttonBar_->EnableButton(kPlay, false);
    }
}

void CPreviewPanel::StartTimer() {
    if (positionTimer_ == 0) positionTimer_ = startTimer(kPositionTimerMs, Qt::PreciseTimer);
}

void CPreviewPanel::KillTimer() {
    if (positionTimer_ != 0) killTimer(positionTimer_);
    positionTimer_ = 0;
}

void CPreviewPanel::timerEvent(QTimerEvent* e) {
    if (e->timerId() != positionTimer_) {
        QWidget::timerEvent(e);
        return;
    }
    if (!player_) {
        positionBar_->SetPosition(0);
        return;
    }
    if (PlayerActive() || playState_ == kStopped) {
        // Queries sent before the player plays would pile up unanswered and
        // come back in one burst over its first lines.
        if (watchingStart_) {
            WatchStart();
            return;
        }
        player_->SendCommand(L"get_percent_pos\n");
        int p = player_->GetPercentPosition();
        if (p >= 0) positionBar_->SetPosition(durationUnits_ != 0 ? p : 0);
    } else {
        const bool neverShown = watchingStart_;
        Stop();
        positionBar_->update();
        if (neverShown) ReportNotShown();
    }
}

// The player goes on with sound only when it cannot open a video output;
// its first lines tell whether it did.
void CPreviewPanel::WatchStart() {
    const std::wstring out = player_->OutputText();
    if (out.find(L"Video: no video") != std::wstring::npos ||
        out.find(L"Error opening/initializing the selected video_out") != std::wstring::npos) {
        Stop();
        ReportNotShown();
        return;
    }
    if (out.find(L"VO: [") != std::wstring::npos) {
        watchingStart_ = false;
        return;
    }
    // Playing without a word about its video output: take it as drawing.
    if (out.find(L"Starting playback") != std::wstring::npos) {
        if (!playbackSeen_.isValid()) playbackSeen_.start();
        if (playbackSeen_.elapsed() > kStartWatchMs) watchingStart_ = false;
    }
}

void CPreviewPanel::ReportNotShown() {
    LogError(kTag, "The player drew no picture; the preview was stopped.");
    emit statusText(ui::ToQ(LoadText(kTextNotShown)));
}

void CPreviewPanel::OnMessage(unsigned msg, uintptr_t wParam) {
    switch (msg) {
        case WM_BUTTON_BAR:
            OnButton(static_cast<int>(wParam));
            break;
        case WM_POSITION_BAR_CLICK:
            OnBarClick();
            break;
        default:
            break;
    }
}

void CPreviewPanel::OnButton(int index) {
    switch (index) {
        case kSetStart:
            SetMark(true);
            break;
        case kSetEnd:
            SetMark(false);
            break;
        case kPlay:
            PlayTask(true);
            break;
        case kPause:
            TogglePause();
            break;
        case kStop:
            Stop();
            break;
        case kGoStart:
            GoToMark(true);
            break;
        case kGoEnd:
            GoToMark(false);
            break;
        default:
            break;
    }
}

void CPreviewPanel::OnBarClick() {
    SeekToBar();
}

void CPreviewPanel::SeekToBar() {
    if (playState_ == kStopped || !PlayerActive()) return;
    const int64_t ms = durationUnits_ * positionBar_->position() / 100 / 10000;
    if (playState_ == kPlaying) {
        player_->SendCommand(L"seek %ls 2\n", ui::SecondsText(ms).c_str());
        return;
    }
    // Paused: the player shows the picture there and stays paused; its
    // answer to the position query keeps the thumb there when play resumes.
    player_->SendCommand(L"pausing seek %ls 2\n", ui::SecondsText(ms).c_str());
    player_->SendCommand(L"pausing_keep_force get_percent_pos\n");
}

void CPreviewPanel::SetMark(bool start) {
    if (!task_) return;
    const int64_t d = durationUnits_ / 10000;
    const int mark = static_cast<int>(d * positionBar_->position() / 100);
    int startMs = positionBar_->startMark(), endMs = positionBar_->endMark();
    if (start) {
        startMs = mark;
        // A start past the end moves the end with it.
        if (endMs < startMs) endMs = startMs;
        positionBar_->SetMarks(startMs, endMs);
    } else {
        endMs = mark;
        if (startMs > endMs) startMs = endMs;
        positionBar_->SetMarks(startMs, endMs);
        if (task_->durationMs != 0)
            positionBar_->SetPosition(static_cast<int>(int64_t{startMs} * 100 / task_->durationMs));
        SeekToBar();
    }
    CopyMarksToTask();
    positionBar_->update();
    PostToMain(WM_MARK_CHANGED, 0);
}

void CPreviewPanel::GoToMark(bool start) {
    if (!task_ || task_->durationMs == 0) return;
    const int mark = start ? positionBar_->startMark() : positionBar_->endMark();
    const int q = static_cast<int>(int64_t{mark} * 100 / task_->durationMs);
    if (positionBar_->position() == q)
        positionBar_->SetPosition(start ? 0 : 100);
    else
        positionBar_->SetPosition(q);
    SeekToBar();
    positionBar_->update();
}

void CPreviewPanel::CopyMarksToTask() {
    if (!task_) return;
    task_->cutStartMs = positionBar_->startMark();
    task_->cutEndMs = positionBar_->endMark();
}

void CPreviewPanel::OnConfirm() {
    CopyMarksToTask();
}

void CPreviewPanel::PostToMain(unsigned msg, uintptr_t wParam) {
    if (mainWindow_) mainWindow_->Post(msg, wParam, 0);
}

void CPreviewPanel::ToggleExpanded() {
    expanded_ = !expanded_;
    PostToMain(WM_PREVIEW_EXPANDED, expanded_ ? 1 : 0);
}

void CPreviewPanel::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) ToggleExpanded();
}

bool CPreviewPanel::eventFilter(QObject* watched, QEvent* e) {
    if ((watched == videoArea_ || watched == videoWindow_) &&
        e->type() == QEvent::MouseButtonDblClick) {
        if (static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) ToggleExpanded();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void CPreviewPanel::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        OnConfirm();
        return;
    }
    QWidget::keyPressEvent(e);
}

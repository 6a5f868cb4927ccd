#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <chrono>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/messages.h"
#include "app/settings.h"
#include "history/history.h"
#include "platform/message_box.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/command_actions.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/menu_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/translate.h"
#include "ui/desktop/desktop_integration.h"
#include "ui/desktop/desktop_services.h"
#include "ui/dialogs/check_update_dlg.h"
#include "ui/dialogs/dialogs.h"
#include "ui/history/history_list.h"
#include "ui/history/site_tree_panel.h"
#include "ui/preview/preview_panel.h"
#include "ui/run/address_intake.h"
#include "ui/run/download_run.h"
#include "ui/run/media_intake.h"
#include "ui/run/sliced_drain.h"
#include "ui/run/task_list_actions.h"
#include "ui/run/window_messages.h"
#include "ui/settings/output_folder_field.h"
#include "ui/settings/settings_sheet.h"
#include "ui/shell/tips_panel.h"
#include "ui/shell/window_chrome.h"
#include "ui/shell/window_layout.h"
#include "ui/shell/window_placement.h"
#include "ui/shell/window_shell.h"
#include "ui/tasklist/task_list_model.h"
#include "ui/tasklist/task_list_view.h"
#include "ui/window_keys.h"
#include "update/version_check.h"

namespace {

constexpr const char* kTag = "CClipvaneDlg";

// The system menu's About item.
constexpr int kAboutFromSystemMenu = 16;

// How long quitting waits for the files a run finished to be taken in.
constexpr int kSettleMs = 15000;

}  // namespace

CClipvaneDlg::CClipvaneDlg(CHistoryDb* history, ui::IDesktopServices* desktop, QWidget* parent)
    : QWidget(parent, Qt::Window), history_(history), desktop_(desktop) {
    if (!desktop_) {
        ownDesktop_ = std::make_unique<ui::SystemDesktopServices>();
        desktop_ = ownDesktop_.get();
    }
    post_ = std::make_unique<ui::WindowPostTarget>(this);
    messages_ = std::make_unique<ui::SlicedDrain>(
        this, ui::SlicedDrain::Queue{[this] {
                                         platform::PostedMessage m;
                                         if (!post_->Take(m)) return false;
                                         HandleMessage(m.msg, m.wParam, m.lParam);
                                         return true;
                                     },
                                     [this] { post_->Wake(); },
                                     [this] { return post_->GoIdle(); },
                                     {}});
    extras_ = new ui::DesktopIntegration(this);
    OnInitDialog();
}

CClipvaneDlg::~CClipvaneDlg() {
    delete keys_;  // no key reaches a window half gone
    ClearResultWindowIf(post_.get());
    // A check still waiting on the network ends before logging stops.
    StopVersionChecks(std::chrono::seconds(5));
    post_->Detach();
    // The worker and the probes end before the rows they report on.
    delete run_;
    delete intake_;
    if (historyList_) historyList_->Clear();
}

int CClipvaneDlg::Box(const std::wstring& text, unsigned flags) {
    return platform::ShowMessageBox(text, kAppName, flags);
}

// ---- Start-up ----

void CClipvaneDlg::OnInitDialog() {
    LogContextScope context("OnInitDialog");
    LogInfo(kTag, "Initializing main dialog ...");
    setWindowFlag(Qt::WindowSystemMenuHint, true);
    setWindowFlag(Qt::WindowMinMaxButtonsHint, true);
    setWindowTitle(ui::ToQ(TranslateWord(L"Clipvane Video Downloader")));
    // The window draws its own frame and caption.
    shell_ = new ui::WindowShell(this);
    connect(shell_, &ui::WindowShell::closeRequested, this, &QWidget::close);
    if (auto icon = platform::ResourceBundle::Current().Icon(kIconId)) {
        QPixmap pm;
        if (pm.loadFromData(reinterpret_cast<const uchar*>(icon->data()),
                            static_cast<uint>(icon->size()), "PNG"))
            setWindowIcon(QIcon(pm));
    }
    CreateChildren();
    CreateRun();
    LogInfo(kTag, "Loading accelerators ...");
    CreateCommands();
    LogInfo(kTag, "List control initialized.");
    LogInfo(kTag, "Panel preview initialized.");
    LogInfo(kTag, "HTML tips initialized.");
    int major = 0, minor = 0, build = 0;
    if (GetProgramVersion(major, minor, build) == 0) {
        std::wstring v = TranslateWord(L"Clipvane") + L" " + std::to_wstring(major) + L"." +
                         std::to_wstring(minor) + L"." + std::to_wstring(build);
        LogInfoW(kTag, L"Version : %ls", v.c_str());
        majorVersion_ = major;
    }
    // Both lists take drops (set up with the lists).
    CreateMenus();
    resize(999, 600);
    historyList_->hide();
    QSize screen(1024, 768);
    if (QScreen* primary = QGuiApplication::primaryScreen()) screen = primary->size();
    const ui::StoredWindowState stored = ui::LoadWindowPlacement(screen);
    ui::ApplyPlacement(this, stored.placement);
    const int rows = CountHistory(history_, nullptr);
    const bool showPanel = rows >= 1 && stored.showSitePanel;
    layout_->SetPanelOpen(showPanel);
    post_->Post(WM_DEFERRED_START, 0, 0);
    TranslateDialog(this, kTemplateId);
    SetStatusText();
    LayOut();
}

void CClipvaneDlg::CreateChildren() {
    chrome_ = new ui::WindowChrome(this, shell_);
    connect(chrome_, &ui::WindowChrome::command, this, [this](int id) { commands_->Run(id); });
    connect(chrome_, &ui::WindowChrome::menuRequested, this, &CClipvaneDlg::OpenMainMenu);

    outputFolder_ = new ui::OutputFolderField(this);
    ui::TagControl(outputFolder_, kOutputFolderId);
    connect(outputFolder_, &ui::OutputFolderField::statusText, this,
            [this](const std::wstring& t) { SetStatusText(t); });

    // The task list: a model of the registry, a view and its delegate.
    model_ = new ui::TaskListModel(this);
    model_->SetMarkedBackground(palette().color(QPalette::Base));
    view_ = new ui::TaskListView(this);
    ui::TagControl(view_, kTaskListId);
    view_->setModel(model_);
    // Tab moves on to the next control instead of cell by cell.
    view_->setTabKeyNavigation(false);
    connect(view_, &ui::TaskListView::dropped, this,
            [this](const QMimeData* data) { addresses_->Drop(data); });
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { ShowTaskListMenu(view_->viewport()->mapToGlobal(p)); });

    preview_ = new CPreviewPanel(this, post_.get());
    connect(preview_, &CPreviewPanel::statusText, this,
            [this](const QString& text) { SetStatusText(ui::FromQ(text)); });
    sitePanel_ = new ui::SitePanel(history_, this);
    connect(sitePanel_, &ui::SitePanel::postMessage, this,
            [this](unsigned m, quintptr w) { post_->Post(m, w, 0); });
    connect(sitePanel_, &ui::SitePanel::command, this, &CClipvaneDlg::OnCommand);
    ui::WindowChrome::DressSitePanel(sitePanel_);

    // The history list stands in the task list's place when a site is chosen.
    historyList_ = new ui::HistoryListView(history_, this);
    historyList_->SetDesktop({[this](const std::wstring& p) { return desktop_->ShowItem(p); },
                              [this](const std::wstring& u) { return desktop_->OpenUrl(u); }});
    historyList_->SetContextMenu(ui::BuildMenu(ids::menu::kContext, 1, this));
    connect(historyList_, &ui::HistoryListView::taskRemoving, this, [this](const Task* t) {
        if (preview_->CurrentTask() == t) preview_->SetTask(nullptr);
    });
    connect(historyList_, &ui::HistoryListView::previewTask, this, [this](Task* t) {
        if (preview_->playState() == 0) preview_->SetTask(t);
    });
    connect(historyList_, &ui::HistoryListView::playTask, this, [this](Task* t) {
        preview_->SetTask(t);
        preview_->PlayTask(false);
    });
    connect(historyList_, &ui::HistoryListView::historyRemoved, sitePanel_,
            &ui::SitePanel::Recount);
    connect(historyList_, &ui::HistoryListView::filesDropped, this,
            [this](const QStringList& files) { addresses_->AddFiles(files); });
    connect(historyList_, &ui::HistoryListView::textDropped, this, [this](const QString& text) {
        addresses_->AddLines(ui::AddressLines(ui::FromQ(text)));
    });

    tips_ = new ui::TipsPanel(this);
    layout_ = std::make_unique<ui::WindowLayout>(
        this, ui::WindowLayout::Parts{chrome_, outputFolder_, sitePanel_, view_, historyList_,
                                      preview_, tips_, ui::SitePanel::kWidth,
                                      QSize(CPreviewPanel::kWidth, CPreviewPanel::kHeight)});
}

void CClipvaneDlg::CreateRun() {
    intake_ = new ui::MediaIntake(model_, history_, this);
    auto status = [this](const std::wstring& t) { t.empty() ? SetStatusText() : SetStatusText(t); };
    connect(intake_, &ui::MediaIntake::statusText, this, status);
    connect(intake_, &ui::MediaIntake::rowsChanged, this, [this] {
        UpdateCommands();
        if (layout_->HistoryShown()) ShowTaskList();
    });
    connect(intake_, &ui::MediaIntake::finished, this, &CClipvaneDlg::intakeFinished);
    // The site panel is a window of its own: the news does not wait behind
    // the main window's messages.
    connect(
        intake_, &ui::MediaIntake::historyRecorded, this,
        [this] { HandleMessage(WM_HISTORY_CHANGED, 0, 0); }, Qt::QueuedConnection);
    run_ = new ui::DownloadRun(model_, intake_, this);
    connect(run_, &ui::DownloadRun::aboutToStart, outputFolder_, &ui::OutputFolderField::TakeTyped);
    connect(run_, &ui::DownloadRun::stateChanged, this, &CClipvaneDlg::UpdateCommands);
    connect(run_, &ui::DownloadRun::statusText, this, status);
    connect(run_, &ui::DownloadRun::progressed, extras_, &ui::DesktopIntegration::SetRunProgress);
    connect(run_, &ui::DownloadRun::finished, this, &CClipvaneDlg::OnRunFinished);
    rows_ = new ui::TaskListActions(model_, view_, preview_, run_, desktop_, this);
    connect(rows_, &ui::TaskListActions::changed, this, &CClipvaneDlg::UpdateCommands);
    connect(run_, &ui::DownloadRun::itemSettled, rows_, &ui::TaskListActions::PreviewSelected);
    addresses_ = new ui::AddressIntake(model_, run_, intake_, history_, this);
    connect(addresses_, &ui::AddressIntake::statusText, this, status);
    connect(addresses_, &ui::AddressIntake::added, this, [this] {
        UpdateCommands();
        if (layout_->HistoryShown()) ShowTaskList();
    });
}

void CClipvaneDlg::CreateCommands() {
    commands_ = new ui::CommandActions(this);
    rows_->AddTo(*commands_);
    auto add = [this](int id, auto slot) { commands_->Add(id, [this, slot] { (this->*slot)(); }); };
    auto addRun = [this](int id, std::function<void()> run) { commands_->Add(id, std::move(run)); };
    add(kAboutFromSystemMenu, &CClipvaneDlg::ShowAbout);
    add(ids::cmd::kAbout, &CClipvaneDlg::ShowAbout);
    addRun(ids::cmd::kCheckForNewVersion, [this] { CCheckUpdateDlg::CheckNow(this); });
    addRun(ids::cmd::kExit, [this] { close(); });
    add(ids::cmd::kHelp, &CClipvaneDlg::ShowHelp);
    add(ids::cmd::kOpenOutputFolder, &CClipvaneDlg::OpenOutputFolder);
    addRun(ids::cmd::kChooseOutputFolder, [this] { outputFolder_->Choose(); });
    add(ids::cmd::kAddAddresses, &CClipvaneDlg::AddAddressesDialog);
    add(ids::cmd::kSettings, &CClipvaneDlg::ShowSettings);
    addRun(ids::cmd::kHomePage, [this] { desktop_->OpenUrl(VendorHomePage()); });
    addRun(ids::cmd::kUpgradePage, [this] { desktop_->OpenUrl(VendorUpgradePage()); });
    for (int id : {ids::cmd::kEnglish, ids::cmd::kJapanese, ids::cmd::kChineseSimplified})
        addRun(id, [this, id] { SetLanguage(ui::LanguageOfCommand(id)); });
    add(ids::cmd::kImportAddresses, &CClipvaneDlg::ImportDialog);
    addRun(ids::cmd::kPaste, [this] { addresses_->Paste(); });
    for (int id : {ui::HistoryListView::kShowInFolder, ui::HistoryListView::kRemove,
                   ui::HistoryListView::kOpenSourcePage})
        addRun(id, [this, id] { historyList_->RunCommand(id); });
    add(ids::cmd::kMainMenu, &CClipvaneDlg::OpenMainMenu);
    addRun(ids::cmd::kMinimize, [this] { showMinimized(); });
    addRun(ids::cmd::kMaximize, [this] { shell_->ToggleMaximized(); });
    addRun(ids::cmd::kSitePanel, [this] { ShowSitePanel(-1); });
    commands_->BindKeys(ids::keys::kMain);
    commands_->BindKeys(ids::keys::kFrame);
    // The window's keys reach their commands from the field too, but for
    // the field's own editing keys.
    keys_ = new ui::WindowKeys(this);
    connect(keys_, &ui::WindowKeys::shortcutComing, this, &CClipvaneDlg::UpdateCommands);
    connect(keys_, &ui::WindowKeys::altAlone, this,
            [this] { commands_->Run(ids::cmd::kMainMenu); });
    // Whatever changed since the last update, the clipboard and the
    // selection change what may run.
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            &CClipvaneDlg::UpdateCommands);
}

void CClipvaneDlg::CreateMenus() {
    mainMenu_ = ui::BuildMenu(ids::menu::kMain, 0, this);
    taskListMenu_ = ui::BuildMenu(ids::menu::kContext, 0, this);
    if (!mainMenu_ || !taskListMenu_) LogError(kTag, "Cannot load main menu");
    for (QMenu* menu : {mainMenu_, taskListMenu_}) commands_->BindMenu(menu);
    connect(commands_, &ui::CommandActions::menuShowing, this, &CClipvaneDlg::UpdateCommands);
    // Tick the language in use.
    ui::TickLanguage(mainMenu_, GetSettings().LangID());
}

void CClipvaneDlg::OpenMainMenu() {
    if (!mainMenu_ || layout_->Expanded()) return;
    const QPushButton* button = chrome_->MenuButton();
    mainMenu_->popup(button->mapToGlobal(QPoint(0, button->height())));
    // The keyboard works in it at once, as in a menu bar.
    if (!mainMenu_->actions().isEmpty()) mainMenu_->setActiveAction(mainMenu_->actions().front());
}

void CClipvaneDlg::ShowTaskListMenu(const QPoint& globalPos) {
    if (taskListMenu_) taskListMenu_->popup(globalPos);
}

void CClipvaneDlg::OnDeferredStart() {
    LogInfo(kTag, "Creating events for pipe read/write...");
    outputFolder_->CheckAtStart();
    const std::wstring folder = GetSettings().Get().OutputFolder;
    // The downloader takes the settings when a run starts.
    LogInfo(kTag, "Creating online video downloader...");
    run_->CreateWorker();
    LogInfoW(kTag, L"Setting YouTube output folder: [%ls]...", folder.c_str());
    addresses_->RestorePending();
    // What start-up found wrong with the settings or the history file.
    if (const std::wstring notice = TakeSettingsFileNotice(); !notice.empty()) {
        SetStatusText(notice);
        Box(notice, platform::MB_OK | platform::MB_ICONWARNING);
    }
    intake_->TellHistoryProblem();
    LogInfo(kTag, "Main dialog initialized.");
    if (majorVersion_ > 0) {
        LogInfo(kTag, "Internet connection available, checking update version...");
        SetResultWindow(post_.get());
    }
    UpdateCommands();
}

// ---- Layout and painting ----

void CClipvaneDlg::LayOut() {
    if (!layout_->Apply()) return;
    view_->ApplyColumnWidths();
    update();
}

void CClipvaneDlg::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    LayOut();
}

void CClipvaneDlg::paintEvent(QPaintEvent* e) {
    QWidget::paintEvent(e);
    QPainter p(this);
    shell_->Paint(p, e->region());
}

void CClipvaneDlg::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!shownOnce_) {
        shownOnce_ = true;
        // The keyboard starts in the list, where the window's keys mean most.
        view_->setFocus(Qt::OtherFocusReason);
        LogInfo(kTag, "Main dialog shown.");
    }
}

bool CClipvaneDlg::event(QEvent* e) {
    if (e->type() == ui::kMessagesEvent) {
        messages_->Run();
        return true;
    }
    return QWidget::event(e);
}

// ---- Messages ----

void CClipvaneDlg::HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
    switch (msg) {
        case WM_DEFERRED_START:
            OnDeferredStart();
            break;
        case WM_TOOLBAR_BUTTON:
            commands_->Run(ui::WindowChrome::CommandOfButton(static_cast<int>(wParam)));
            break;
        case WM_TOGGLE_SITE_PANEL:
            ShowSitePanel(-1);
            break;
        case WM_NEXT_TIP:
            tips_->HandleMessage(WM_NEXT_TIP);
            break;
        case WM_SHOW_TASK_LIST:
            ShowTaskList();
            break;
        case WM_SHOW_HISTORY_LIST:
            ShowHistory(static_cast<int>(static_cast<intptr_t>(wParam)));
            break;
        case WM_HISTORY_CHANGED:
            sitePanel_->Recount();
            emit historyChanged();
            break;
        case WM_LANGUAGE_CHANGED:
            // The site panel, lists, tips and button bars are children: the
            // language event reaches each of them.
            shell_->ReloadBitmaps();
            chrome_->Retranslate();
            SetStatusText();
            LayOut();
            break;
        case WM_MARK_CHANGED:
            rows_->MarkChanged();
            break;
        case WM_PREVIEW_EXPANDED:
            OnPreviewExpanded(wParam != 0);
            break;
        case MsgNewVersion:
            CCheckUpdateDlg::Announce(UnpackVersion(wParam, lParam), this);
            break;
        default:  // a failed check or no newer version: nothing to say
            break;
    }
}

void CClipvaneDlg::OnRunFinished(int done, int failed, const std::wstring& lastFile) {
    extras_->NotifyRunFinished(this, done, failed, ui::ToQ(lastFile));
    desktop_->Beep();
    if (closing_) return;
    if (GetSettings().Get().ShutdownFlag) {
        ShutdownWindows();
        return;
    }
    ui::CompletionDialog dlg(this);
    dlg.SetCounts(done, failed);
    if (dlg.exec() == QDialog::Accepted) desktop_->OpenUrl(VendorUpgradePage());
}

void CClipvaneDlg::ShutdownWindows() {
    std::wstring error;
    if (!desktop_->PowerOff(error) && !error.empty())
        Box(error, platform::MB_OK | platform::MB_ICONERROR);
    // The program ends either way, as a quit would end it.
    CloseWithoutAsking();
}

void CClipvaneDlg::OnPreviewExpanded(bool expanded) {
    layout_->SetExpanded(expanded);
    if (!expanded) LayOut();
}

// ---- Status line, buttons, preview ----

void CClipvaneDlg::SetStatusText() {
    SetStatusText(LoadText(ids::str::kReady));
}

void CClipvaneDlg::SetStatusText(const std::wstring& text) {
    shell_->SetStatusText(ui::ToQ(text));
}

void CClipvaneDlg::UpdateCommands() {
    const bool downloading = run_ && run_->Downloading();
    if (extras_) extras_->SetDownloading(downloading);
    chrome_->SetRunButtons(model_->CheckedPendingCount() > 0 && !downloading, downloading);
    if (!commands_) return;
    rows_->UpdateEnabled(*commands_);
    for (int id : {ids::cmd::kPaste, ids::cmd::kMainMenu, ids::cmd::kSitePanel})
        commands_->SetEnabled(id, CommandAllowed(id));
    for (int id : {ui::HistoryListView::kShowInFolder, ui::HistoryListView::kRemove,
                   ui::HistoryListView::kOpenSourcePage})
        commands_->SetEnabled(id, historyList_->IsCommandEnabled(id));
}

void CClipvaneDlg::ShowSitePanel(int mode) {
    const bool open = mode == 1 || (mode == -1 && !layout_->PanelOpen());
    if (open != layout_->PanelOpen() && shownOnce_)
        ui::SaveWindowPlacement(ui::CapturePlacement(this), open);
    layout_->SetPanelOpen(open);
    if (!layout_->Expanded()) LayOut();
}

void CClipvaneDlg::ShowTaskList() {
    layout_->ShowHistoryList(false);
    sitePanel_->SelectFirstRoot();
}

void CClipvaneDlg::ShowHistory(int itemValue) {
    historyList_->hide();
    const std::wstring host = sitePanel_->HostOfValue(itemValue);
    if (host.empty())
        historyList_->LoadSite(itemValue);
    else
        historyList_->LoadProfile(host);
    preview_->SetTask(nullptr);
    layout_->ShowHistoryList(true);
}

// ---- Adding tasks ----

void CClipvaneDlg::KeepPendingRows(const std::wstring& file) {
    addresses_->KeepPendingIn(file);
}

// ---- Commands ----

bool CClipvaneDlg::CommandAllowed(int id) const {
    if (id == ids::cmd::kPaste) {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        return data && data->hasText() && ui::HasAddressLine(ui::FromQ(data->text()));
    }
    // The menu and the site panel wait while the preview covers the window.
    return !layout_->Expanded();
}

bool CClipvaneDlg::IsCommandEnabled(int id) {
    UpdateCommands();
    QAction* a = commands_->Action(id);
    return a && a->isEnabled();
}

void CClipvaneDlg::OnCommand(int id) {
    UpdateCommands();
    commands_->Run(id);
}

void CClipvaneDlg::AddAddressesDialog() {
    ui::AddAddressesDialog dlg(this);
    if (dlg.exec() != QDialog::Accepted) return;
    addresses_->AddLines(dlg.Result());
}

void CClipvaneDlg::ImportDialog() {
    ui::ImportDialog dlg(this);
    if (dlg.exec() == QDialog::Accepted) addresses_->AddImported(dlg.Result());
}

void CClipvaneDlg::OpenOutputFolder() {
    outputFolder_->TakeTyped();
    const std::wstring folder = GetSettings().Get().OutputFolder;
    CreateFolderTree(folder);
    desktop_->OpenUrl(folder);
}

void CClipvaneDlg::ShowSettings() {
    outputFolder_->TakeTyped();
    const std::wstring before = GetSettings().Get().OutputFolder;
    const ui::SettingsOutcome o = ui::RunSettingsSheet(this, before);
    if (!o.confirmed) return;
    // The sheet stores the folder as typed; it is taken here as anywhere.
    GetSettings().Update([&](SettingsData& d) { d.OutputFolder = before; });
    if (!outputFolder_->Set(o.folder)) GetSettings().Save();
}

void CClipvaneDlg::ShowAbout() {
    ui::AboutDialog dlg(this);
    dlg.exec();
}

void CClipvaneDlg::ShowHelp() {
    desktop_->OpenUrl(L"file://" + GetProgramFolder() + L"/help/intro.html");
}

void CClipvaneDlg::SetLanguage(const wchar_t* code) {
    // The windows inside hear of it at once; the window itself by 5031.
    if (ui::ChangeLanguage(code, mainMenu_, post_.get(), this)) GetSettings().Save();
}

// ---- Closing ----

void CClipvaneDlg::CloseWithoutAsking() {
    if (closing_) return;
    SaveAndStop();
    close();
}

void CClipvaneDlg::SaveAndStop() {
    closing_ = true;
    // What the worker finished before it stopped is kept as finished.
    run_->StopAndSettle(kSettleMs);
    GetSettings().Save();
    ui::SaveWindowPlacement(ui::CapturePlacement(this), layout_->PanelOpen());
    addresses_->SavePending();
}

void CClipvaneDlg::closeEvent(QCloseEvent* e) {
    if (!closing_) {
        // The run goes on while the question is open.
        if (run_->Downloading() &&
            Box(LoadText(ids::str::kDownloadIsStillRunning),
                platform::MB_YESNO | platform::MB_ICONQUESTION) != platform::IDYES) {
            e->ignore();
            return;
        }
        SaveAndStop();
    }
    e->accept();
    QWidget::closeEvent(e);
    emit closed();
}

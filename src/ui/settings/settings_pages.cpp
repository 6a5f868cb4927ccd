#include "ui/settings/settings_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QSlider>
#include <memory>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "app/logging.h"
#include "app/settings.h"
#include "download/extractor.h"
#include "platform/child_process.h"
#include "platform/folders.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/translate.h"
#include "ui/desktop/desktop_services.h"

namespace {

std::wstring TrimBlanks(const std::wstring& s) {
    size_t b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos) return {};
    size_t e = s.find_last_not_of(L" \t");
    return s.substr(b, e - b + 1);
}

bool Checked(QCheckBox* box) {
    return box && box->isChecked();
}
void SetChecked(QCheckBox* box, uint32_t v) {
    if (box) box->setChecked(v != 0);
}
void Enable(QWidget* w, bool on) {
    if (w) w->setEnabled(on);
}

// The radio buttons with consecutive identifiers from `first`, as one group
// whose ids are their indexes.
QButtonGroup* RadioGroup(QWidget* page, int first) {
    auto* group = new QButtonGroup(page);
    for (int i = 0;; ++i) {
        auto* r = qobject_cast<QRadioButton*>(ui::FindControl(page, first + i));
        if (!r) break;
        group->addButton(r, i);
    }
    return group;
}

void SelectRadio(QButtonGroup* group, int index) {
    if (QAbstractButton* b = group->button(index)) b->setChecked(true);
}

}  // namespace

// ---- ui::SettingsPage ----

ui::SettingsPage::SettingsPage(int templateId, QWidget* parent)
    : QWidget(parent), templateId_(templateId) {
    ui::BuildDialogFromTemplate(this, templateId);
    defaultTitle_ = windowTitle();
    setProperty(ui::kControlIdProperty, templateId);
}

QString ui::SettingsPage::Title() const {
    std::wstring t = ReadTranslation(L"DIALOG_IDD_" + std::to_wstring(templateId_), L"title");
    return t.empty() ? defaultTitle_ : ui::ToQ(t);
}

void ui::SettingsPage::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    EnsureLoaded();
}

void ui::SettingsPage::EnsureLoaded() {
    if (loaded_) return;
    loaded_ = true;
    TranslateDialog(this, templateId_);
    Load();
}

bool ui::SettingsPage::Validate(QString*) const {
    return true;
}

void ui::SettingsPage::Confirm() {
    if (!loaded_) return;
    Store();
    GetSettings().Save();
}

QWidget* ui::SettingsPage::Control(int id) const {
    return ui::FindControl(const_cast<ui::SettingsPage*>(this), id);
}
QCheckBox* ui::SettingsPage::Check(int id) const {
    return qobject_cast<QCheckBox*>(Control(id));
}
QLineEdit* ui::SettingsPage::Edit(int id) const {
    return qobject_cast<QLineEdit*>(Control(id));
}

// ---- CPageGeneral ----

CPageGeneral::CPageGeneral(QWidget* parent)
    : ui::SettingsPage(kTemplateId, parent),
      chooser_(&ui::BrowseForFolder),
      opener_(&ui::OpenOnDesktopOrSay) {
    if (QLineEdit* e = FolderEdit()) e->setMaxLength(static_cast<int>(kMaxPath));
    if (auto* b = qobject_cast<QPushButton*>(Control(ids::ctl::general_page::kBrowse)))
        connect(b, &QPushButton::clicked, this, &CPageGeneral::Browse);
    if (auto* b = qobject_cast<QPushButton*>(Control(ids::ctl::general_page::kOpenFolder)))
        connect(b, &QPushButton::clicked, this, &CPageGeneral::OpenFolder);
}

QLineEdit* CPageGeneral::FolderEdit() const {
    return Edit(ids::ctl::general_page::kOutputFolder);
}

void CPageGeneral::Load() {
    const SettingsData s = GetSettings().Get();
    if (QLineEdit* e = FolderEdit()) e->setText(ui::ToQ(s.OutputFolder));
    SetChecked(Check(ids::ctl::general_page::kShutdown), s.ShutdownFlag);
}

void CPageGeneral::Store() {
    // The folder goes in as typed; it is normalised where it is used.
    const std::wstring folder = FolderEdit() ? ui::FromQ(FolderEdit()->text()) : std::wstring();
    const bool shutdown = Checked(Check(ids::ctl::general_page::kShutdown));
    GetSettings().Update([&](SettingsData& d) {
        d.OutputFolder = folder;
        d.ShutdownFlag = shutdown ? 1 : 0;
    });
}

std::wstring CPageGeneral::NormalizedFolder(const std::wstring& text) {
    // A folder of our own that survives a reboot stands in for "c:\temp".
    return ::NormalizeFolder(text, platform::PersistentTempFolder());
}

// Why `folder` is refused, with the folder that stays, or empty.
std::wstring CPageGeneral::Refusal(const std::wstring& folder) {
    const std::wstring why = OutputFolderProblem(folder);
    if (why.empty()) return {};
    const std::wstring kept = GetSettings().Get().OutputFolder;
    return platform::FormatW(LoadText(ids::str::kFolderRefused).c_str(), folder.c_str(),
                             why.c_str(), kept.c_str());
}

std::wstring CPageGeneral::NormalizeFolder() {
    QLineEdit* edit = FolderEdit();
    if (!edit) return {};
    const std::wstring t = NormalizedFolder(ui::FromQ(edit->text()));
    edit->setText(ui::ToQ(t));
    CreateFolderTree(t);
    return t;
}

bool CPageGeneral::Validate(QString* message) const {
    if (!Loaded() || !FolderEdit()) return true;
    const std::wstring why = Refusal(NormalizedFolder(ui::FromQ(FolderEdit()->text())));
    if (why.empty()) return true;
    if (message) *message = ui::ToQ(why);
    return false;
}

QWidget* CPageGeneral::FieldToFix() const {
    return FolderEdit();
}

void CPageGeneral::Browse() {
    const std::wstring folder = NormalizeFolder();
    if (!chooser_) return;
    std::optional<std::wstring> chosen =
        chooser_(this, folder, LoadText(ids::str::kChooseFolderWhereDownloaded));
    if (!chosen) return;
    const std::wstring normal = NormalizedFolder(*chosen);
    if (const std::wstring why = Refusal(normal); !why.empty()) {
        platform::ShowMessageBox(why, TranslateWord(L"Clipvane"),
                                 platform::MB_OK | platform::MB_ICONWARNING);
        return;
    }
    FolderEdit()->setText(ui::ToQ(normal));
}

void CPageGeneral::OpenFolder() {
    const std::wstring folder = NormalizeFolder();
    CreateFolderTree(folder);
    if (opener_) opener_(folder);
}

// ---- CPageOnline ----

namespace {

std::optional<std::wstring> ChooseProgramFile(QWidget* parent, const std::wstring& current,
                                              const std::wstring& title) {
    QString file = QFileDialog::getOpenFileName(parent, ui::ToQ(title), ui::ToQ(current));
    if (file.isEmpty()) return std::nullopt;
    return ui::FromQ(file);
}

}  // namespace

CPageOnline::CPageOnline(QWidget* parent)
    : ui::SettingsPage(kTemplateId, parent), fileChooser_(&ChooseProgramFile) {
    if (auto* b = qobject_cast<QPushButton*>(Control(ids::ctl::online_page::kExtractorBrowse)))
        connect(b, &QPushButton::clicked, this, &CPageOnline::BrowseExtractor);
    if (QLineEdit* e = ExtractorEdit())
        connect(e, &QLineEdit::editingFinished, this, &CPageOnline::ShowExtractorStatus);
    if (QLabel* l = ExtractorStatus()) l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    RadioGroup(this, ids::ctl::online_page::kFormatFlv);
    for (int id : {ids::ctl::online_page::kYouTubePassword, ids::ctl::online_page::kNicoPassword})
        if (QLineEdit* e = Edit(id)) e->setEchoMode(QLineEdit::Password);
    if (QLineEdit* e = Edit(ids::ctl::online_page::kRetries)) {
        // Digits only, as a number field takes them.
        e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), e));
    }
}

void CPageOnline::Load() {
    const SettingsData s = GetSettings().Get();
    const std::pair<int, const std::wstring*> texts[] = {
        {ids::ctl::online_page::kYouTubeUser, &s.YTUser},
        {ids::ctl::online_page::kYouTubePassword, &s.YTPasswd},
        {ids::ctl::online_page::kNicoUser, &s.NicoUser},
        {ids::ctl::online_page::kNicoPassword, &s.NicoPasswd}};
    for (auto [id, text] : texts)
        if (QLineEdit* e = Edit(id)) e->setText(ui::ToQ(*text));
    SetChecked(Check(ids::ctl::online_page::kTitleAsFileName), s.UseTitleAsFileName);
    SetChecked(Check(ids::ctl::online_page::kUseCache), s.UseInternalCache);
    if (QLineEdit* e = Edit(ids::ctl::online_page::kRetries))
        e->setText(QString::number(s.RetryTimes));
    if (auto* group = findChild<QButtonGroup*>())
        SelectRadio(group, static_cast<int>(s.YoutubeFMT));
    if (QLineEdit* e = ExtractorEdit()) e->setText(ui::ToQ(s.ExtractorPath));
    ShowExtractorStatus();
}

QLineEdit* CPageOnline::ExtractorEdit() const {
    return Edit(ids::ctl::online_page::kExtractor);
}
QLabel* CPageOnline::ExtractorStatus() const {
    return qobject_cast<QLabel*>(Control(ids::ctl::online_page::kExtractorStatus));
}

void CPageOnline::BrowseExtractor() {
    if (!fileChooser_ || !ExtractorEdit()) return;
    std::wstring current = TrimBlanks(ui::FromQ(ExtractorEdit()->text()));
    if (current.empty()) current = platform::FromUtf8(platform::FindProgram("yt-dlp"));
    std::optional<std::wstring> chosen =
        fileChooser_(this, current, LoadText(ids::str::kChooseYtDlpProgram));
    if (!chosen) return;
    ExtractorEdit()->setText(ui::ToQ(*chosen));
    ShowExtractorStatus();
}

void CPageOnline::ShowExtractorStatus() {
    QLabel* label = ExtractorStatus();
    if (!label || !ExtractorEdit()) return;
    std::wstring path = TrimBlanks(ui::FromQ(ExtractorEdit()->text()));
    std::string name = path.empty() ? "yt-dlp" : platform::ToUtf8(path);
    // Asking a program what it is takes a second or two: off this thread,
    // and only the newest answer is shown.
    const int request = ++statusRequest_;
    questions_.Ask([name](const std::atomic<bool>&) { return extractor::Know(name); },
                   [this, request](const std::shared_ptr<const extractor::Copy>& copy) {
                       if (request != statusRequest_ || !copy) return;
                       if (QLabel* l = ExtractorStatus())
                           l->setText(ui::ToQ(extractor::DescribeCopy(*copy)));
                       emit ExtractorKnown();
                   });
}

QWidget* CPageOnline::FieldToFix() const {
    return Edit(ids::ctl::online_page::kRetries);
}

bool CPageOnline::Validate(QString* message) const {
    if (!Loaded()) return true;
    QLineEdit* e = Edit(ids::ctl::online_page::kRetries);
    const QString text = e ? e->text().trimmed() : QString();
    bool ok = !text.isEmpty();
    for (QChar c : text) ok = ok && c >= u'0' && c <= u'9';
    if (ok && text.size() <= 9 && text.toInt() <= kMaxRetries) return true;
    if (message)
        *message = ui::ToQ(
            platform::FormatW(LoadText(ids::str::kPleaseEnterWholeNumber).c_str(), 0, kMaxRetries));
    return false;
}

void CPageOnline::Store() {
    auto text = [this](int id) {
        QLineEdit* e = Edit(id);
        return e ? TrimBlanks(ui::FromQ(e->text())) : std::wstring();
    };
    SettingsData n;
    n.YTUser = text(ids::ctl::online_page::kYouTubeUser);
    n.YTPasswd = text(ids::ctl::online_page::kYouTubePassword);
    n.NicoUser = text(ids::ctl::online_page::kNicoUser);
    n.NicoPasswd = text(ids::ctl::online_page::kNicoPassword);
    const bool title = Checked(Check(ids::ctl::online_page::kTitleAsFileName));
    const bool cache = Checked(Check(ids::ctl::online_page::kUseCache));
    const int retries = Edit(ids::ctl::online_page::kRetries)
                            ? Edit(ids::ctl::online_page::kRetries)->text().trimmed().toInt()
                            : 0;
    int fmt = -1;
    if (auto* group = findChild<QButtonGroup*>()) fmt = group->checkedId();
    const std::wstring extractorPath =
        ExtractorEdit() ? text(ids::ctl::online_page::kExtractor) : std::wstring();
    GetSettings().Update([&](SettingsData& d) {
        d.YTUser = n.YTUser;
        d.YTPasswd = n.YTPasswd;
        d.NicoUser = n.NicoUser;
        d.NicoPasswd = n.NicoPasswd;
        d.UseTitleAsFileName = title ? 1 : 0;
        d.UseInternalCache = cache ? 1 : 0;
        d.RetryTimes = retries;
        if (fmt >= 0) d.YoutubeFMT = static_cast<uint32_t>(fmt);
        d.ExtractorPath = extractorPath;
    });
}

// ---- CPageAudio ----

CPageAudio::CPageAudio(QWidget* parent) : ui::SettingsPage(kTemplateId, parent) {
    if (QSlider* s = Volume()) {
        s->setRange(-20, 20);
        s->setSingleStep(1);
        s->setPageStep(1);
        s->setTickPosition(QSlider::TicksBelow);
        s->setTickInterval(5);
        connect(s, &QSlider::valueChanged, this, &CPageAudio::ShowVolume);
    }
}

QSlider* CPageAudio::Volume() const {
    return qobject_cast<QSlider*>(Control(ids::ctl::audio_page::kVolume));
}
QLabel* CPageAudio::VolumeLabel() const {
    return qobject_cast<QLabel*>(Control(ids::ctl::audio_page::kVolumeText));
}

void CPageAudio::ShowVolume() {
    if (Volume() && VolumeLabel())
        VolumeLabel()->setText(QString::asprintf("%d dB", Volume()->value()));
}

void CPageAudio::Load() {
    const SettingsData s = GetSettings().Get();
    if (QSlider* v = Volume()) v->setValue(s.OUT_VOLUME);
    ShowVolume();
    SetChecked(Check(ids::ctl::audio_page::kNormalize), s.VOLUME_NORM);
}

void CPageAudio::Store() {
    const int volume = Volume() ? Volume()->value() : 0;
    const bool norm = Checked(Check(ids::ctl::audio_page::kNormalize));
    GetSettings().Update([&](SettingsData& d) {
        d.OUT_VOLUME = volume;
        d.VOLUME_NORM = norm ? 1 : 0;
    });
}

// ---- CPageVideo ----

namespace {
constexpr const wchar_t* kOutputs[] = {L"directx", L"gl2", L"gl"};
// The heights offered for the tallest variant of a stream; 0 is the best.
constexpr int kHeights[] = {0, 1080, 720, 480};

QComboBox* HeightBox(QWidget* page) {
    return qobject_cast<QComboBox*>(ui::FindControl(page, ids::ctl::video_page::kQuality));
}
}  // namespace

CPageVideo::CPageVideo(QWidget* parent) : ui::SettingsPage(kTemplateId, parent) {
    RadioGroup(this, ids::ctl::video_page::kOutputX11);
    if (QCheckBox* w = Check(ids::ctl::video_page::kFitToWidth))
        connect(w, &QCheckBox::clicked, this, [this] {
            FitClicked(ids::ctl::video_page::kFitToWidth, ids::ctl::video_page::kFitToHeight);
        });
    if (QCheckBox* h = Check(ids::ctl::video_page::kFitToHeight))
        connect(h, &QCheckBox::clicked, this, [this] {
            FitClicked(ids::ctl::video_page::kFitToHeight, ids::ctl::video_page::kFitToWidth);
        });
}

int CPageVideo::OutputIndex(const std::wstring& vo) {
    for (int i = 0; i < 3; ++i)
        if (vo == kOutputs[i]) return i;
    return 0;
}

std::wstring CPageVideo::OutputName(int index) {
    return index >= 0 && index < 3 ? kOutputs[index] : L"";
}

void CPageVideo::Load() {
    const SettingsData s = GetSettings().Get();
    if (auto* group = findChild<QButtonGroup*>()) SelectRadio(group, OutputIndex(s.MPLAYER_VO));
    SetChecked(Check(ids::ctl::video_page::kInverseTelecine), s.IVTC);
    SetChecked(Check(ids::ctl::video_page::kDeinterlace), s.DEINT);
    SetChecked(Check(ids::ctl::video_page::kFitToWidth), s.Fit2Width);
    SetChecked(Check(ids::ctl::video_page::kFitToHeight), s.Fit2Height);
    SetChecked(Check(ids::ctl::video_page::kExpand), s.ExpandSize);
    SetChecked(Check(ids::ctl::video_page::kRoundTo16), s.ExpandRound16);
    if (QComboBox* box = HeightBox(this)) {
        box->clear();
        for (int h : kHeights)
            box->addItem(h ? QString("%1p").arg(h) : ui::ToQ(LoadText(ids::str::kBest)), h);
        int at = box->findData(static_cast<int>(s.HighestQuality));
        if (at < 0) {
            box->addItem(QString("%1p").arg(s.HighestQuality), static_cast<int>(s.HighestQuality));
            at = box->count() - 1;
        }
        box->setCurrentIndex(at);
    }
    ApplyFitStates();
}

void CPageVideo::ApplyFitStates() {
    const bool width = Checked(Check(ids::ctl::video_page::kFitToWidth));
    const bool height = Checked(Check(ids::ctl::video_page::kFitToHeight));
    Enable(Check(ids::ctl::video_page::kExpand), width || height);
    Enable(Check(ids::ctl::video_page::kRoundTo16), width || height);
    if (height) Enable(Check(ids::ctl::video_page::kFitToWidth), false);
    if (width) Enable(Check(ids::ctl::video_page::kFitToHeight), false);
}

void CPageVideo::FitClicked(int clicked, int other) {
    if (Checked(Check(clicked))) {
        Enable(Check(ids::ctl::video_page::kExpand), true);
        Enable(Check(ids::ctl::video_page::kRoundTo16), true);
        Enable(Check(other), false);
    } else {
        Enable(Check(other), true);
        if (!Checked(Check(other))) {
            Enable(Check(ids::ctl::video_page::kExpand), false);
            Enable(Check(ids::ctl::video_page::kRoundTo16), false);
        }
    }
}

void CPageVideo::Store() {
    int index = -1;
    if (auto* group = findChild<QButtonGroup*>()) index = group->checkedId();
    const std::wstring vo = OutputName(index);
    const bool ivtc = Checked(Check(ids::ctl::video_page::kInverseTelecine)),
               deint = Checked(Check(ids::ctl::video_page::kDeinterlace));
    const bool fw = Checked(Check(ids::ctl::video_page::kFitToWidth)),
               fh = Checked(Check(ids::ctl::video_page::kFitToHeight));
    const bool ex = Checked(Check(ids::ctl::video_page::kExpand)),
               r16 = Checked(Check(ids::ctl::video_page::kRoundTo16));
    QComboBox* box = HeightBox(this);
    const int height = box && box->currentIndex() >= 0 ? box->currentData().toInt() : -1;
    GetSettings().Update([&](SettingsData& d) {
        if (height >= 0) d.HighestQuality = static_cast<uint32_t>(height);
        d.MPLAYER_VO = vo;
        d.IVTC = ivtc;
        d.DEINT = deint;
        d.Fit2Width = fw;
        d.Fit2Height = fh;
        d.ExpandSize = ex;
        d.ExpandRound16 = r16;
    });
}

#include "ui/dialogs/check_update_dlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

#include "app/helpers.h"
#include "app/localization.h"
#include "app/messages.h"
#include "platform/resource_bundle.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/translate.h"
#include "ui/desktop/desktop_services.h"
#include "update/vendor_site.h"

namespace {

const QEvent::Type kResultEvent = static_cast<QEvent::Type>(QEvent::User + 2038);

struct ResultEvent : QEvent {
    ResultEvent(unsigned m, uintptr_t w, intptr_t l)
        : QEvent(kResultEvent), msg(m), wParam(w), lParam(l) {}
    unsigned msg;
    uintptr_t wParam;
    intptr_t lParam;
};

std::function<void(const std::wstring&)>& LinkOpener() {
    static std::function<void(const std::wstring&)> opener = [](const std::wstring& url) {
        ui::OpenOnDesktopOrSay(url);
    };
    return opener;
}

// The conversions of a printf format in order ("ls", "ddd"); "%%" counts none.
std::string Conversions(const std::wstring& fmt) {
    std::string out;
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != L'%') continue;
        ++i;
        if (i < fmt.size() && fmt[i] == L'%') continue;
        while (i < fmt.size() && !iswalpha(fmt[i])) ++i;  // flags, width, precision
        while (i < fmt.size() && (fmt[i] == L'l' || fmt[i] == L'h'))
            out += static_cast<char>(fmt[i++]);
        if (i < fmt.size()) out += static_cast<char>(fmt[i]);
    }
    return out;
}

// The user-interface string `id` when its conversions are `expected`, else
// the bundle's own, so a faulty translation cannot misread the arguments.
std::wstring FormatOf(unsigned id, const char* expected, bool translated = true) {
    std::wstring fmt = translated ? LoadText(id) : platform::ResourceBundle::Current().String(id);
    if (Conversions(fmt) == expected) return fmt;
    fmt = platform::ResourceBundle::Current().String(id);
    return Conversions(fmt) == expected ? fmt : std::wstring();
}

std::wstring FormatVersion(unsigned id, const ProgramVersion& v) {
    std::wstring fmt = FormatOf(id, "ddd");
    if (fmt.empty()) fmt = L"%d.%d.%d";
    return platform::FormatW(fmt.c_str(), v.major, v.minor, v.build);
}

std::wstring FormatProduct(unsigned id, const std::wstring& product, bool translated = true) {
    std::wstring fmt = FormatOf(id, "ls", translated);
    if (fmt.empty()) return product;
    return platform::FormatW(fmt.c_str(), product.c_str());
}

}  // namespace

// Turns the check's posts into events of the dialog's thread.
class CCheckUpdateDlg::PostTarget : public platform::IPostTarget {
  public:
    explicit PostTarget(QObject* receiver) : receiver_(receiver) {}
    void Post(unsigned msg, uintptr_t wParam, intptr_t lParam) override {
        QCoreApplication::postEvent(receiver_, new ResultEvent(msg, wParam, lParam));
    }

  private:
    QObject* receiver_;
};

CCheckUpdateDlg::CCheckUpdateDlg(bool check, const ProgramVersion& running,
                                 const ProgramVersion& newest, QWidget* parent)
    : QDialog(parent),
      check_(check),
      running_(running),
      newest_(newest),
      target_(std::make_unique<PostTarget>(this)) {
    if (!ui::BuildDialogFromTemplate(this, kTemplateId)) {
        // Without its layout the dialog still shows its lines.
        for (int id : {kStatusId, kRunningId, kNewestId, kSecondLineId, kLinkId}) {
            auto* label = new QLabel(this);
            label->setProperty(ui::kControlIdProperty, id);
        }
    }
    TranslateDialog(this, kTemplateId);
    if (auto* ok = qobject_cast<QPushButton*>(ui::FindControl(this, 1))) {
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    }
    if (QLabel* link = Control(kLinkId)) {
        link->setTextFormat(Qt::RichText);
        link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(link, &QLabel::linkActivated, this,
                [](const QString& url) { LinkOpener()(ui::FromQ(url)); });
    }
    for (int id : {kStatusId, kSecondLineId}) {
        if (QLabel* l = Control(id)) l->setWordWrap(true);
    }
    OnInitDialog();
}

CCheckUpdateDlg::~CCheckUpdateDlg() {
    Detach();
}

void CCheckUpdateDlg::Detach() {
    // Clearing waits for a post in progress; afterwards the check finds no
    // window and drops its result, and Qt discards events already queued
    // for this object when it goes.
    ClearResultWindowIf(target_.get());
}

void OpenUpgradePage() {
    LinkOpener()(VendorUpgradePage());
}

void CCheckUpdateDlg::SetLinkOpener(std::function<void(const std::wstring&)> opener) {
    LinkOpener() = std::move(opener);
}

QLabel* CCheckUpdateDlg::Control(int id) const {
    return qobject_cast<QLabel*>(ui::FindControl(const_cast<CCheckUpdateDlg*>(this), id));
}

void CCheckUpdateDlg::OnInitDialog() {
    const std::wstring home = VendorHomePage();
    if (QLabel* link = Control(kLinkId)) {
        const QString url = ui::ToQ(home).toHtmlEscaped();
        link->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(url));
        link->setToolTip(ui::ToQ(home));
    }
    SetResultWindow(target_.get());
    product_ = TranslateWord(L"Clipvane");
    statusText_ = ui::ToQ(FormatProduct(ids::str::kUpdateInformation, product_));
    if (QLabel* l = Control(kRunningId))
        l->setText(ui::ToQ(FormatVersion(ids::str::kCurrentVersion, running_)));
    if (QLabel* l = Control(kSecondLineId))
        l->setText(ui::ToQ(LoadText(ids::str::kNewVersionIsAvailable)));
    auto show = [this](int id, bool on) {
        if (QWidget* w = ui::FindControl(this, id)) w->setVisible(on);
    };
    if (check_) {
        StartVersionCheck(running_);
        show(kLinkId, false);
        show(kSecondLineId, false);
        show(kNewestId, false);
    } else {
        show(kLinkId, true);
        if (QLabel* l = Control(kNewestId))
            l->setText(ui::ToQ(FormatVersion(ids::str::kLatestVersion, newest_)));
    }
    setWindowTitle(ui::ToQ(FormatProduct(ids::str::kCheckForUpdates, product_)));
    UpdateData();
}

bool CCheckUpdateDlg::event(QEvent* e) {
    if (e->type() != kResultEvent) return QDialog::event(e);
    auto* r = static_cast<ResultEvent*>(e);
    switch (r->msg) {
        case MsgNewVersion:
            OnNewVersion(r->wParam, r->lParam);
            break;
        case MsgNoNewVersion:
            OnNoNewVersion(r->wParam, r->lParam);
            break;
        case MsgCheckFailed:
            OnCheckFailed();
            break;
        default:
            break;
    }
    return true;
}

void CCheckUpdateDlg::ShowNewest() {
    if (QLabel* l = Control(kNewestId)) {
        l->setText(ui::ToQ(FormatVersion(ids::str::kLatestVersion, newest_)));
        l->show();
    }
}

namespace {

ProgramVersion RunningVersion() {
    ProgramVersion v;
    GetProgramVersion(v.major, v.minor, v.build);
    return v;
}

}  // namespace

void CCheckUpdateDlg::CheckNow(QWidget* parent) {
    CCheckUpdateDlg dlg(true, RunningVersion(), {}, parent);
    dlg.exec();
}

void CCheckUpdateDlg::Announce(const ProgramVersion& newest, QWidget* parent) {
    CCheckUpdateDlg dlg(false, RunningVersion(), newest, parent);
    dlg.exec();
}

void CCheckUpdateDlg::OnNewVersion(uintptr_t wParam, intptr_t lParam) {
    newest_ = UnpackVersion(wParam, lParam);
    if (QLabel* l = Control(kLinkId)) l->show();
    if (QLabel* l = Control(kSecondLineId)) l->show();
    ShowNewest();
    UpdateData();
}

void CCheckUpdateDlg::OnNoNewVersion(uintptr_t wParam, intptr_t lParam) {
    newest_ = UnpackVersion(wParam, lParam);
    if (QLabel* l = Control(kSecondLineId)) {
        l->setText(ui::ToQ(LoadText(ids::str::kNoNewVersion)));
        l->show();
    }
    if (QLabel* l = Control(kLinkId)) l->hide();
    ShowNewest();
    UpdateData();
}

void CCheckUpdateDlg::OnCheckFailed() {
    // This one text comes from the bundle untranslated.
    statusText_ =
        ui::ToQ(FormatProduct(ids::str::kCouldNotCheckFor, TranslateWord(L"Clipvane"), false));
    UpdateData();
}

void CCheckUpdateDlg::UpdateData() {
    if (QLabel* l = Control(kStatusId)) l->setText(statusText_);
}

void CCheckUpdateDlg::done(int result) {
    Detach();
    QDialog::done(result);
}

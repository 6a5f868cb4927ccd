#include "ui/dialogs/dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <atomic>

#include "app/folders.h"
#include "app/helpers.h"
#include "app/localization.h"
#include "download/address_import.h"
#include "platform/resource_bundle.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/question_thread.h"
#include "ui/bundle/translate.h"
#include "ui/desktop/desktop_services.h"

namespace ui {
namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

QDialogButtonBox* AddButtonBox(QDialog* dialog, QBoxLayout* layout, bool cancel) {
    auto* box = new QDialogButtonBox(
        QDialogButtonBox::Ok | (cancel ? QDialogButtonBox::Cancel : QDialogButtonBox::NoButton),
        dialog);
    box->button(QDialogButtonBox::Ok)->setProperty(kControlIdProperty, kIdOk);
    if (cancel) box->button(QDialogButtonBox::Cancel)->setProperty(kControlIdProperty, kIdCancel);
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(box);
    return box;
}

}  // namespace

bool ConnectDialogButtons(QDialog* dialog) {
    bool any = false;
    if (auto* ok = qobject_cast<QAbstractButton*>(FindControl(dialog, kIdOk))) {
        QObject::connect(ok, &QAbstractButton::clicked, dialog, &QDialog::accept);
        if (auto* p = qobject_cast<QPushButton*>(ok)) p->setDefault(true);
        any = true;
    }
    if (auto* cancel = qobject_cast<QAbstractButton*>(FindControl(dialog, kIdCancel))) {
        QObject::connect(cancel, &QAbstractButton::clicked, dialog, &QDialog::reject);
        any = true;
    }
    return any;
}

// ---- Add addresses ----

AddAddressesDialog::AddAddressesDialog(QWidget* parent) : QDialog(parent) {
    if (BuildDialogFromTemplate(this, kTemplateId)) {
        edit_ = findChild<QPlainTextEdit*>();
        ConnectDialogButtons(this);
    }
    if (!edit_) {
        auto* layout = new QVBoxLayout(this);
        edit_ = new QPlainTextEdit(this);
        layout->addWidget(edit_);
        AddButtonBox(this, layout, true);
        resize(420, 260);
    }
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit_->setAcceptDrops(true);
    TranslateDialog(this, kTemplateId);
    ApplyDialogKeys(this);
    edit_->setFocus();
}

void AddAddressesDialog::Paste() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (data && data->hasText()) edit_->insertPlainText(data->text());
}

void AddAddressesDialog::accept() {
    result_.clear();
    QString text = edit_->toPlainText();
    if (!text.isEmpty()) {
        if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
        for (const QString& line : text.split(QLatin1Char('\n')))
            result_.push_back(FromQ(QString(line).remove(QLatin1Char('\r'))));
    }
    QDialog::accept();
}

// ---- Import ----

ImportDialog::ImportDialog(QWidget* parent) : QDialog(parent) {
    QPushButton* browse = nullptr;
    if (BuildDialogFromTemplate(this, kTemplateId)) {
        source_ = qobject_cast<QLineEdit*>(FindControl(this, kSourceId));
        browse = qobject_cast<QPushButton*>(FindControl(this, kBrowseId));
        ConnectDialogButtons(this);
    }
    if (!source_ || !browse) {
        for (QObject* o : children())
            if (o->isWidgetType()) delete o;
        auto* layout = new QVBoxLayout(this);
        auto* row = new QHBoxLayout;
        source_ = new QLineEdit(this);
        source_->setProperty(kControlIdProperty, kSourceId);
        browse = new QPushButton(QStringLiteral("..."), this);
        browse->setProperty(kControlIdProperty, kBrowseId);
        row->addWidget(source_, 1);
        row->addWidget(browse);
        layout->addLayout(row);
        AddButtonBox(this, layout, true);
        resize(460, 110);
    }
    connect(browse, &QPushButton::clicked, this, &ImportDialog::Browse);
    // Enter in the field imports; the browse button is no default.
    browse->setAutoDefault(false);
    TranslateDialog(this, kTemplateId);
    ApplyDialogKeys(this);
    source_->setFocus();
}

void ImportDialog::Browse() {
    const QString filter = QStringLiteral(
        "Text/HTML Files (all types) (*.txt *.html *.htm);;Text Files (*.txt);;"
        "HTML Files (*.html *.htm);;All Files (*)");
    QStringList files = QFileDialog::getOpenFileNames(this, QString(), QString(), filter);
    // Each chosen path goes into the field in turn: the last one stays.
    for (const QString& f : files) source_->setText(f);
}

void ImportDialog::accept() {
    const std::wstring source = FromQ(source_->text());
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // A web file is fetched off this thread so that the window keeps painting.
    QEventLoop fetching;
    QuestionThread question(this, QuestionThread::Leaving::kCancel);
    question.Ask(
        [source](const std::atomic<bool>& cancel) { return ImportAddresses(source, &cancel); },
        [this, &fetching](std::vector<std::wstring> found) {
            result_ = std::move(found);
            fetching.quit();
        });
    fetching.exec(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();
    QDialog::accept();
}

// ---- Completion ----

CompletionDialog::CompletionDialog(QWidget* parent) : QDialog(parent) {
    if (!BuildDialogFromTemplate(this, kTemplateId) || !ConnectDialogButtons(this)) {
        for (QObject* o : children())
            if (o->isWidgetType()) delete o;
        auto* layout = new QVBoxLayout(this);
        AddButtonBox(this, layout, true);
    }
    TranslateDialog(this, kTemplateId);
}

void CompletionDialog::SetCounts(int done, int failed) {
    if (auto* text = qobject_cast<QLabel*>(FindControl(this, ids::ctl::completion::kText)))
        text->setText(
            ToQ(platform::FormatW(LoadText(ids::str::kRunFinishedCounts).c_str(), done, failed)));
    if (auto* visit = qobject_cast<QPushButton*>(FindControl(this, 1))) {
        visit->setDefault(false);
        visit->setAutoDefault(false);
    }
    if (auto* close = qobject_cast<QPushButton*>(FindControl(this, 2))) {
        close->setDefault(true);
        close->setFocus();
    }
}

// ---- About ----

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    const std::wstring product = TranslateWord(L"Clipvane");
    int major = 0, minor = 0, build = 0;
    GetProgramVersion(major, minor, build);
    const QString text = ToQ(platform::FormatW(LoadText(ids::str::kAboutText).c_str(),
                                               product.c_str(), major, minor, build));
    const QPixmap icon = (parent ? parent->windowIcon() : windowIcon()).pixmap(32, 32);
    QLabel* iconLabel = nullptr;
    QLabel* textLabel = nullptr;
    QLabel* link = nullptr;
    if (BuildDialogFromTemplate(this, kTemplateId) && ConnectDialogButtons(this)) {
        iconLabel = qobject_cast<QLabel*>(FindControl(this, kIconId));
        textLabel = qobject_cast<QLabel*>(FindControl(this, kTextId));
        link = qobject_cast<QLabel*>(FindControl(this, kLinkId));
        TranslateDialog(this, kTemplateId);
    }
    if (!textLabel || !link) {
        for (QObject* o : children())
            if (o->isWidgetType()) delete o;
        auto* layout = new QVBoxLayout(this);
        auto* row = new QHBoxLayout;
        iconLabel = new QLabel(this);
        row->addWidget(iconLabel, 0, Qt::AlignTop);
        textLabel = new QLabel(this);
        row->addWidget(textLabel, 1);
        layout->addLayout(row);
        link = new QLabel(ToQ(VendorHomePage()), this);
        layout->addWidget(link);
        AddButtonBox(this, layout, false);
    }
    setWindowTitle(
        ToQ(platform::FormatW(LoadText(ids::str::kAboutCaption).c_str(), product.c_str())));
    if (iconLabel) iconLabel->setPixmap(icon);
    textLabel->setTextFormat(Qt::PlainText);
    textLabel->setText(text);
    textLabel->setObjectName(QStringLiteral("aboutText"));
    // The link keeps its (translated) words and points at the home page.
    const QString words = link->text().toHtmlEscaped();
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    link->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(ToQ(VendorHomePage()), words));
}

}  // namespace ui

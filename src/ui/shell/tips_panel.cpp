#include "ui/shell/tips_panel.h"

#include <time.h>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocumentFragment>
#include <QTextLayout>

#include "app/localization.h"
#include "app/messages.h"
#include "platform/shell.h"
#include "ui/bundle/dialog_builder.h"
#include "ui/bundle/elided_text.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/translate.h"
#include "ui/desktop/desktop_services.h"

namespace {

constexpr int kTopRows = 30;
constexpr int kBottomRows = 40;
// The text starts below the header; the foot's accent sits 12 rows above the
// bottom, and the card's rounded edge takes the last few.
constexpr int kTextTop = 28;
constexpr int kAboveAccent = 14;
constexpr int kAboveEdge = 6;

// Where each line of `text` starts when laid out `width` wide in `font`.
QList<int> LineStarts(const QString& text, const QFont& font, int width) {
    QList<int> starts;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        starts << line.textStart();
    }
    layout.endLayout();
    return starts;
}

QString AsHtml(const QString& plain) {
    return plain.toHtmlEscaped().replace('\n', "<br>");
}

// Milliseconds since the machine started, as a tick count.
unsigned TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<unsigned>(ts.tv_sec * 1000u + ts.tv_nsec / 1000000);
}

}  // namespace

ui::TipsPanel::TipsPanel(QWidget* parent) : QWidget(parent) {
    setProperty(ui::kControlIdProperty, kId);
    setObjectName(QStringLiteral("tipsPanel"));
    resize(266, 214);
    text_ = new QLabel(this);
    text_->setProperty(ui::kControlIdProperty, kTextId);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text_->setTextFormat(Qt::RichText);
    text_->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    QPalette pal = text_->palette();
    pal.setColor(QPalette::WindowText, QColor(85, 85, 85));
    pal.setColor(QPalette::Link, QColor(34, 102, 170));
    text_->setPalette(pal);
    connect(text_, &QLabel::linkHovered, this,
            [this](const QString& l) { overLink_ = !l.isEmpty(); });
    connect(text_, &QLabel::linkActivated, this,
            [](const QString& l) { ui::OpenOnDesktopOrSay(ui::FromQ(l)); });
    text_->installEventFilter(this);
    background_ = ui::LoadSkinBitmap(1019);
    LoadTips(TickCount());
}

int ui::TipsPanel::FirstTip(unsigned seed) {
    // The classic C library generator: 15-bit values.
    unsigned state = seed * 214013u + 2531011u;
    const int value = static_cast<int>((state >> 16) & 0x7FFF);
    return (value * 100 / 32767) % kTipCount;
}

void ui::TipsPanel::LoadTips(unsigned seed) {
    tips_.clear();
    for (unsigned i = 0; i < kTipCount; ++i) tips_ << ui::ToQ(LoadText(kFirstTip + i));
    ShowTip(FirstTip(seed));
}

void ui::TipsPanel::ShowTip(int index) {
    if (tips_.isEmpty()) return;
    current_ = ((index % kTipCount) + kTipCount) % kTipCount;
    FitTip();
}

void ui::TipsPanel::FitTip() {
    QString html = tips_.value(current_);
    if (!Qt::mightBeRichText(html)) html = AsHtml(html);
    const int width = text_->width();
    const int room = height() - kTextTop;
    auto fits = [&](int bottom) { return text_->heightForWidth(width) <= room - bottom; };
    text_->setText(html);
    setToolTip(QString());
    footShown_ = fits(kAboveAccent);
    if (footShown_ || fits(kAboveEdge) || width <= 0) {
        update();
        return;
    }
    // Too tall: the first lines whole and the next one cut between words. A
    // link is then plain text; the tooltip keeps the whole tip, wrapped as
    // rich text is.
    setToolTip(QStringLiteral("<p>") + html + QStringLiteral("</p>"));
    const QString plain = QTextDocumentFragment::fromHtml(html).toPlainText();
    const QList<int> starts = LineStarts(plain, text_->font(), width);
    const QFontMetrics metrics(text_->font());
    QString shown;
    for (int lines = int(starts.size()) - 1; lines > 0 && shown.isEmpty(); --lines) {
        QStringList parts;
        for (int i = 0; i + 1 < lines; ++i)
            parts << plain.mid(starts[i], starts[i + 1] - starts[i]).trimmed();
        parts << ElideAtBreak(plain.mid(starts[lines - 1]).simplified(), metrics, width);
        text_->setText(AsHtml(parts.join('\n')));
        if (fits(kAboveEdge)) shown = text_->text();
    }
    text_->setText(shown);
    update();
}

void ui::TipsPanel::NextTip() {
    ShowTip(current_ + 1);
}

void ui::TipsPanel::HandleMessage(unsigned msg) {
    if (msg == WM_NEXT_TIP)
        NextTip();
    else if (msg == WM_LANGUAGE_CHANGED) {
        background_ = ui::LoadSkinBitmap(1019);
        LoadTips(TickCount());
        update();
    }
}

bool ui::TipsPanel::event(QEvent* e) {
    if (e->type() == ui::kLanguageChangedEvent) {
        HandleMessage(WM_LANGUAGE_CHANGED);
        return true;
    }
    return QWidget::event(e);
}

bool ui::TipsPanel::eventFilter(QObject* watched, QEvent* e) {
    // A click on the text outside its links asks the panel for the next tip;
    // the press stays with the text so the panel does not count it again.
    const bool press = e->type() == QEvent::MouseButtonPress;
    if (watched == text_ && (press || e->type() == QEvent::MouseButtonRelease) && !overLink_ &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        if (!press) HandleMessage(WM_NEXT_TIP);
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void ui::TipsPanel::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) NextTip();
    QWidget::mousePressEvent(e);
}

void ui::TipsPanel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (!text_) return;
    text_->setGeometry(8, kTextTop, std::max(0, width() - 10), std::max(0, height() - 30));
    FitTip();
}

void ui::TipsPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (background_.isNull()) return;
    // Top rows as they are, middle rows stretched, bottom rows at the bottom.
    const QSize src = background_.size() / background_.devicePixelRatio();
    const qreal r = background_.devicePixelRatio();
    const int w = width(), h = height();
    const int top = std::min(kTopRows, h), bottom = std::min(kBottomRows, std::max(0, h - top));
    const int midSrc = std::max(0, src.height() - kTopRows - kBottomRows);
    auto part = [&](int y, int hh) { return QRectF(0, y * r, src.width() * r, hh * r); };
    p.drawPixmap(QRectF(0, 0, w, top), background_, part(0, kTopRows));
    if (midSrc > 0)
        p.drawPixmap(QRectF(0, top, w, h - top - bottom), background_, part(kTopRows, midSrc));
    // Without its accent where the text needs the room: the middle reaches
    // down to the card's edge.
    const int foot = footShown_ ? bottom : std::min(bottom, kAboveEdge);
    if (!footShown_ && midSrc > 0)
        p.drawPixmap(QRectF(0, h - bottom, w, bottom - foot), background_, part(kTopRows, midSrc));
    p.drawPixmap(QRectF(0, h - foot, w, foot), background_, part(src.height() - foot, foot));
}

#include "ui/preview/position_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "ui/bundle/dialog_builder.h"

CPositionBar::CPositionBar(QWidget* parent) : QWidget(parent) {
    setProperty(ui::kControlIdProperty, kControlId);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPositionBar::SetBitmaps(const QPixmap& background, const QPixmap& range, const QPixmap& thumb) {
    background_ = background;
    range_ = range;
    thumb_ = thumb;
    update();
}

void CPositionBar::SetPosition(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == position_) return;
    position_ = percent;
    update();
}

void CPositionBar::SetMarks(int startMs, int endMs) {
    startMark_ = startMs;
    endMark_ = endMs;
    update();
}

void CPositionBar::SetDuration(int ms) {
    duration_ = ms;
    update();
}

QRect CPositionBar::RangeRect() const {
    if (duration_ == 0) return QRect();
    const int64_t w = width();
    const int x = static_cast<int>(w * startMark_ / duration_);
    const int len = static_cast<int>((static_cast<int64_t>(endMark_) - startMark_) * w / duration_);
    return QRect(x, 0, len, height());
}

QRect CPositionBar::ThumbRect() const {
    const QSize t = thumb_.isNull() ? QSize(11, height()) : thumb_.deviceIndependentSize().toSize();
    int x = width() * position_ / 100;
    x = std::max(0, std::min(x, width() - t.width()));
    return QRect(QPoint(x, (height() - t.height()) / 2), t);
}

void CPositionBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.fillRect(rect(), QColor::fromRgb(kFillColour));
    if (!background_.isNull()) p.drawPixmap(rect(), background_);
    const QRect range = RangeRect();
    if (!range_.isNull() && range.width() > 0) p.drawPixmap(range, range_);
    if (!thumb_.isNull()) p.drawPixmap(ThumbRect(), thumb_);
}

void CPositionBar::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || width() <= 0) return;
    if (clickable_) {
        const int x = std::clamp(static_cast<int>(e->position().x()), 0, width());
        position_ = x * 100 / width();
        update();
        emit clicked(position_);
    } else {
        update();
    }
}

// The preview panel's bitmaps: panel background (170), stopped picture (171),
// position bar (168), marked range (163), thumb (169) and the four state
// images of its seven-button bar (164 normal, 165 hot, 166 pressed,
// 167 disabled). Each is written at its own size and at twice that size
// ("<id>@2x.png") for high-density screens.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include "cvres_bitmaps_preview.h"
#include "skin_paint.h"

namespace {

using skin::kAccent;
using skin::kAccentDark;
using skin::kGlyph;
using skin::Painter;
using skin::Write;

// The panel's own slate.
const QColor kPanelTop(44, 49, 58);
const QColor kPanelBottom(28, 31, 37);

void PanelBackground(QPainter& p, qreal w, qreal h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, kPanelTop);
    g.setColorAt(1, kPanelBottom);
    p.fillRect(QRectF(0, 0, w, h), g);
    // A faint top highlight and a hairline frame.
    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    p.drawLine(QPointF(0, 0.5), QPointF(w, 0.5));
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
}

void StoppedPicture(QPainter& p, qreal w, qreal h) {
    QRadialGradient g(QPointF(w / 2, h * 0.45), w * 0.75);
    g.setColorAt(0, QColor(34, 40, 50));
    g.setColorAt(1, QColor(10, 12, 16));
    p.fillRect(QRectF(0, 0, w, h), g);
    // Film perforations along both edges.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 16));
    for (qreal y = 6; y + 6 < h; y += 14) {
        p.drawRoundedRect(QRectF(5, y, 7, 7), 1.5, 1.5);
        p.drawRoundedRect(QRectF(w - 12, y, 7, 7), 1.5, 1.5);
    }
    // A play mark in a ring at the centre.
    const qreal r = h * 0.2;
    const QPointF c(w / 2, h / 2);
    p.setBrush(QColor(255, 255, 255, 22));
    p.setPen(QPen(QColor(255, 255, 255, 70), 2));
    p.drawEllipse(c, r, r);
    QPainterPath tri;
    tri.moveTo(c.x() - r * 0.32, c.y() - r * 0.48);
    tri.lineTo(c.x() + r * 0.55, c.y());
    tri.lineTo(c.x() - r * 0.32, c.y() + r * 0.48);
    tri.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 120));
    p.drawPath(tri);
}

// The bar is stretched sideways, so every column is alike.
void BarBackground(QPainter& p, qreal w, qreal h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(36, 40, 47));
    g.setColorAt(1, QColor(30, 33, 39));
    p.fillRect(QRectF(0, 0, w, h), g);
    const qreal groove = 5, top = (h - groove) / 2;
    p.fillRect(QRectF(0, top, w, groove), QColor(14, 16, 20));
    p.fillRect(QRectF(0, top, w, 1), QColor(0, 0, 0, 120));
    p.fillRect(QRectF(0, top + groove, w, 1), QColor(255, 255, 255, 24));
}

void RangeStrip(QPainter& p, qreal w, qreal h) {
    const qreal groove = 5, top = (h - groove) / 2;
    p.fillRect(QRectF(0, top - 3, w, groove + 6), QColor(38, 194, 176, 40));
    QLinearGradient g(0, top, 0, top + groove);
    g.setColorAt(0, kAccent.lighter(125));
    g.setColorAt(1, kAccentDark);
    p.fillRect(QRectF(0, top, w, groove), g);
}

void Thumb(QPainter& p, qreal w, qreal h) {
    const QRectF body(1, 1, w - 2, h - 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 70));
    p.drawRoundedRect(body.translated(0, 0.8), 3, 3);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(252, 253, 255));
    g.setColorAt(1, QColor(200, 207, 216));
    p.setBrush(g);
    p.setPen(QPen(kAccentDark, 1));
    p.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    p.setPen(QPen(kAccent, 1.5));
    p.drawLine(QPointF(w / 2, 4), QPointF(w / 2, h - 4));
}

// Buttons of the seven-button bar: index, rectangle within the 256 x 34 bar.
const QRectF kButtons[7] = {
    {2, 2, 32, 30},   {36, 2, 32, 30},  {80, 2, 32, 30},  {114, 2, 32, 30},
    {148, 2, 32, 30}, {188, 2, 32, 30}, {222, 2, 32, 30},
};

void Bracket(QPainterPath& path, QPointF c, bool left) {
    const qreal s = left ? -1 : 1;
    path.moveTo(c.x() - s * 2, c.y() - 8);
    path.lineTo(c.x() + s * 2, c.y() - 8);
    path.lineTo(c.x() + s * 2, c.y() + 8);
    path.lineTo(c.x() - s * 2, c.y() + 8);
}

void Glyph(QPainter& p, int index, QPointF c, const QColor& colour) {
    QPen pen(colour, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath fill;
    switch (index) {
        case 0:
        case 1: {  // set start / set end: a bracket and the point it marks
            const bool start = index == 0;
            const qreal s = start ? -1 : 1;
            QPainterPath b;
            Bracket(b, QPointF(c.x() + s * 4, c.y()), start);
            p.drawPath(b);
            fill.addEllipse(QPointF(c.x() - s * 3, c.y()), 3.2, 3.2);
            break;
        }
        case 2:  // play
            fill.moveTo(c.x() - 5, c.y() - 8);
            fill.lineTo(c.x() + 8, c.y());
            fill.lineTo(c.x() - 5, c.y() + 8);
            fill.closeSubpath();
            break;
        case 3:  // pause
            fill.addRoundedRect(QRectF(c.x() - 6, c.y() - 7.5, 4.5, 15), 1.2, 1.2);
            fill.addRoundedRect(QRectF(c.x() + 1.5, c.y() - 7.5, 4.5, 15), 1.2, 1.2);
            break;
        case 4:  // stop
            fill.addRoundedRect(QRectF(c.x() - 6.5, c.y() - 6.5, 13, 13), 2, 2);
            break;
        case 5:
        case 6: {  // go to start / end mark: an arrow against a bracket
            const bool start = index == 5;
            const qreal s = start ? -1 : 1;
            QPainterPath b;
            Bracket(b, QPointF(c.x() + s * 6, c.y()), start);
            p.drawPath(b);
            fill.moveTo(c.x() + s * 3, c.y());
            fill.lineTo(c.x() - s * 6, c.y() - 6.5);
            fill.lineTo(c.x() - s * 6, c.y() + 6.5);
            fill.closeSubpath();
            break;
        }
        default:
            break;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(fill);
}

// state: 0 normal, 1 hot, 2 pressed, 3 disabled.
Painter ButtonBar(int state) {
    return [state](QPainter& p, qreal w, qreal h) {
        PanelBackground(p, 266, 252);  // the panel shows through the gaps
        p.fillRect(QRectF(0, 0, w, h), QColor(33, 37, 44));
        // Group dividers.
        p.setPen(QPen(QColor(255, 255, 255, 20), 1));
        p.drawLine(QPointF(74.5, 8), QPointF(74.5, h - 8));
        p.drawLine(QPointF(183.5, 8), QPointF(183.5, h - 8));
        for (int i = 0; i < 7; ++i) {
            const QRectF r = kButtons[i].adjusted(1, 1, -1, -1);
            QColor glyph = kGlyph;
            if (skin::ButtonFace(p, r, state, false))
                glyph = Qt::white;
            else if (state == 3)
                glyph = QColor(96, 103, 114);
            if (i == 2 && state != 3 && state != 2)
                glyph = state == 1 ? kAccent.lighter(130) : kAccent;
            Glyph(p, i, r.center(), glyph);
        }
    };
}

}  // namespace

bool DrawPreviewBitmaps(const QDir& out) {
    bool ok = Write(out, 170, 266, 252, PanelBackground);
    ok &= Write(out, 171, 250, 187, StoppedPicture);
    ok &= Write(out, 168, 252, 15, BarBackground);
    ok &= Write(out, 163, 8, 15, RangeStrip);
    ok &= Write(out, 169, 11, 15, Thumb);
    for (int s = 0; s < 4; ++s) ok &= Write(out, 164 + s, 256, 34, ButtonBar(s));
    return ok;
}

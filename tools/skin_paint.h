#pragma once
// What the skin's bitmap programs share: the palette, drawing a bitmap at a
// scale, writing it at 1x and 2x ("<id>@2x.png"), and the face of a button
// in each of its four states.
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>
#include <functional>

namespace skin {

// Dark slate with one teal accent.
inline const QColor kAccent(38, 194, 176);
inline const QColor kAccentDark(18, 128, 118);
inline const QColor kGlyph(214, 220, 228);

using Painter = std::function<void(QPainter&, qreal w, qreal h)>;

// An opaque bitmap starts filled with `background`, another transparent.
inline QImage Render(int w, int h, int scale, const Painter& draw, bool opaque = false,
                     const QColor& background = Qt::white) {
    QImage img(w * scale, h * scale,
               opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
    img.fill(opaque ? background : QColor(Qt::transparent));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);
    draw(p, w, h);
    p.end();
    return img;
}

// Writes bitmaps/<id>.png and bitmaps/<id>@2x.png below `out`.
inline bool Write(const QDir& out, int id, int w, int h, const Painter& draw, bool opaque = false,
                  const QColor& background = Qt::white) {
    bool ok = true;
    for (int scale : {1, 2}) {
        const QString name = scale == 1 ? QStringLiteral("bitmaps/%1.png").arg(id)
                                        : QStringLiteral("bitmaps/%1@2x.png").arg(id);
        if (!Render(w, h, scale, draw, opaque, background).save(out.filePath(name), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(name)));
            ok = false;
        }
    }
    return ok;
}

// The face of a button in state 0 (normal), 1 (hot), 2 (pressed) or 3
// (disabled); a normal face is a faint outline when `framed`, else nothing.
// Returns whether the face is lit (hot or pressed), when glyphs and words
// are drawn white.
inline bool ButtonFace(QPainter& p, const QRectF& r, int state, bool framed) {
    const QRectF line = r.adjusted(0.5, 0.5, -0.5, -0.5);
    if (state == 0 && framed) {
        p.setPen(QPen(QColor(255, 255, 255, 18), 1));
        p.setBrush(QColor(255, 255, 255, 8));
        p.drawRoundedRect(line, 6, 6);
    } else if (state == 1) {
        p.setPen(QPen(QColor(255, 255, 255, 44), 1));
        p.setBrush(QColor(255, 255, 255, 27));
        p.drawRoundedRect(line, 6, 6);
    } else if (state == 2) {
        QLinearGradient g(0, r.top(), 0, r.bottom());
        g.setColorAt(0, kAccentDark);
        g.setColorAt(1, kAccent);
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(r, 6, 6);
    }
    return state == 1 || state == 2;
}

}  // namespace skin

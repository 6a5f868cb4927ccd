// Draws the bitmaps of the main window's skin: caption strip (134), middle
// background (130), bottom strip (131), borders (132, 133), the caption
// button bars (135-138, 139-142), the toolbar (147, 149-151), the site
// panel's header, close button, tree images and buttons (174-183, 187,
// 188), the show-panel button (179-182) and the tips background (1019).
// Each is written at its own size and at twice that size ("<id>@2x.png").
// Usage: cvres_skin OUTPUT_FOLDER
//        cvres_skin --lang CODE TRANSLATION_FILE OUTPUT_FOLDER
// The second form draws only the bitmaps that carry words (134, 147, 149
// to 151, 187, 188, 1019), with the words of the file's DICTIONARY section, into
// OUTPUT_FOLDER/<id>.png for the file's BITMAP section.
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cstdio>
#include <string>

#include "skin_paint.h"

namespace {

// Dark slate frame, light work area, one teal accent.
const QColor kSlateTop(47, 53, 63);
const QColor kSlate(37, 42, 50);
const QColor kSlateLow(31, 35, 42);
const QColor kEdge(22, 25, 30);
const QColor kWork(234, 236, 240);
const QColor kWorkLine(214, 218, 224);
const QColor kGlyphOff(104, 111, 122);
const QColor kTransparentKey(255, 0, 0);
using skin::kAccent;
using skin::kAccentDark;
using skin::kGlyph;
using skin::Painter;

QImage Render(int w, int h, int scale, const Painter& draw, bool opaque) {
    return skin::Render(w, h, scale, draw, opaque, kWork);
}

bool Write(const QDir& out, int id, int w, int h, const Painter& draw, bool opaque = true) {
    return skin::Write(out, id, w, h, draw, opaque, kWork);
}

// The words drawn into bitmaps, in the language being drawn.
struct Words {
    QHash<QString, QString> dictionary;
    QString cjkFamily;  // the CJK face whose glyph forms suit the language
    QString operator()(const char* word) const {
        const QString key = QString::fromLatin1(word);
        return dictionary.value(key, key);
    }
};
Words gWords;

// Reads section DICTIONARY of a UTF-8 translation file.
bool ReadDictionary(const QString& file, QHash<QString, QString>& out) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    bool in = false;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[')) {
            in = line == QStringLiteral("[DICTIONARY]");
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!in || line.startsWith(u';') || eq <= 0) continue;
        out.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return true;
}

QFont UiFont(qreal px, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    QStringList families{QStringLiteral("DejaVu Sans")};
    if (!gWords.cjkFamily.isEmpty()) families << gWords.cjkFamily;
    f.setFamilies(families);
    f.setPixelSize(static_cast<int>(px));
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// Draws `text` in `r`, vertically centred, in the largest of px down to
// minPx that fits the width.
void DrawFittedText(QPainter& p, const QRectF& r, const QString& text, qreal px, qreal minPx,
                    bool bold) {
    QFont f = UiFont(px, bold);
    while (px > minPx && QFontMetricsF(f).horizontalAdvance(text) > r.width()) {
        px -= 0.5;
        f = UiFont(px, bold);
    }
    p.setFont(f);
    p.drawText(r, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
}

// The frame behind the caption: title band, then the toolbar band.
void FrameBands(QPainter& p, qreal w, qreal h) {
    QLinearGradient title(0, 0, 0, 25);
    title.setColorAt(0, kSlateTop);
    title.setColorAt(1, kSlate);
    p.fillRect(QRectF(0, 0, w, 25), title);
    QLinearGradient tools(0, 25, 0, h);
    tools.setColorAt(0, kSlate);
    tools.setColorAt(1, kSlateLow);
    p.fillRect(QRectF(0, 25, w, h - 25), tools);
    // A soft light line along the top edge, a divider under the title band
    // and the accent along the bottom.
    p.fillRect(QRectF(0, 0, w, 1), QColor(255, 255, 255, 28));
    p.fillRect(QRectF(0, 25, w, 1), QColor(0, 0, 0, 60));
    p.fillRect(QRectF(0, 26, w, 1), QColor(255, 255, 255, 12));
    p.fillRect(QRectF(0, h - 2, w, 2), kAccentDark);
}

// 134: 999 x 95. Columns 400 to 618 are stretched, so they vary only down.
void Caption(QPainter& p, qreal w, qreal h) {
    FrameBands(p, w, h);
    p.fillRect(QRectF(0, 0, 1, h), kEdge);
    p.fillRect(QRectF(w - 1, 0, 1, h), kEdge);
    // The well of the menu button (11, 29, 243 x 17).
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 45));
    p.drawRoundedRect(QRectF(10, 28, 245, 19), 4, 4);
    // The menu button's face: three bars, the word and a caret.
    p.setPen(QPen(kGlyph, 1.4, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(17, 33.5 + i * 3.5), QPointF(26, 33.5 + i * 3.5));
    const QString menu = gWords("Menu");
    p.setPen(kGlyph);
    DrawFittedText(p, QRectF(33, 28, 200, 19), menu, 12, 9, true);
    const qreal caret =
        33 + std::min<qreal>(200, QFontMetricsF(p.font()).horizontalAdvance(menu)) + 7;
    p.setPen(Qt::NoPen);
    p.setBrush(kAccent);
    p.drawPolygon(
        QPolygonF({QPointF(caret, 35.5), QPointF(caret + 7, 35.5), QPointF(caret + 3.5, 39.5)}));
    // A faint mark on the right, away from the caption buttons.
    p.setPen(QPen(QColor(255, 255, 255, 16), 2));
    for (int i = 0; i < 3; ++i) {
        const qreal x = w - 150 + i * 26;
        p.drawLine(QPointF(x, h - 12), QPointF(x + 30, 34));
    }
}

// 130: 980 x 1, stretched over the middle.
void Middle(QPainter& p, qreal w, qreal h) {
    p.fillRect(QRectF(0, 0, w, h), kWork);
}

// 132: 11 x 300 (left), 133: 8 x 300 (right); stretched downwards.
Painter Border(bool left) {
    return [left](QPainter& p, qreal w, qreal h) {
        p.fillRect(QRectF(0, 0, w, h), kWork);
        p.fillRect(QRectF(left ? 0 : w - 1, 0, 1, h), kEdge);
        p.fillRect(QRectF(left ? 1 : w - 2, 0, 1, h), QColor(255, 255, 255, 150));
    };
}

// 131: 999 x 32; columns 450 to 548 are stretched.
void Bottom(QPainter& p, qreal w, qreal h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(226, 229, 234));
    g.setColorAt(1, QColor(214, 218, 224));
    p.fillRect(QRectF(0, 0, w, h), g);
    p.fillRect(QRectF(0, 0, w, 1), QColor(200, 205, 212));
    p.fillRect(QRectF(0, 1, w, 1), QColor(246, 247, 249));
    p.fillRect(QRectF(0, h - 1, w, 1), kEdge);
    p.fillRect(QRectF(0, 0, 1, h), kEdge);
    p.fillRect(QRectF(w - 1, 0, 1, h), kEdge);
    // Size grip in the corner.
    p.setPen(Qt::NoPen);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col <= row; ++col) {
            const QPointF c(w - 7 - col * 4, h - 7 - (2 - row) * 4);
            p.setBrush(QColor(255, 255, 255));
            p.drawEllipse(QRectF(c.x() + 0.5, c.y() + 0.5, 2, 2));
            p.setBrush(QColor(150, 156, 166));
            p.drawEllipse(QRectF(c.x() - 0.5, c.y() - 0.5, 2, 2));
        }
}

enum CaptionGlyph { kMinimize, kMaximize, kRestore, kClose };

void DrawCaptionGlyph(QPainter& p, CaptionGlyph g, const QRectF& r, const QColor& c) {
    p.setPen(QPen(c, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QRectF in = r.adjusted(3.5, 3.5, -3.5, -3.5);
    switch (g) {
        case kMinimize:
            p.drawLine(QPointF(in.left(), in.bottom()), QPointF(in.right(), in.bottom()));
            break;
        case kMaximize:
            p.drawRect(in);
            break;
        case kRestore:
            p.drawRect(in.adjusted(0, 2, -2, 0));
            p.drawPolyline(
                QPolygonF({QPointF(in.left() + 2, in.top() + 2), QPointF(in.left() + 2, in.top()),
                           QPointF(in.right(), in.top()), QPointF(in.right(), in.bottom() - 2),
                           QPointF(in.right() - 2, in.bottom() - 2)}));
            break;
        case kClose:
            p.drawLine(in.topLeft(), in.bottomRight());
            p.drawLine(in.topRight(), in.bottomLeft());
            break;
    }
}

// The caption button bars: 66 x 20 (maximise) and 68 x 21 (restore), three
// 14 x 14 buttons at x 6, 25 and 46, y 4. state: 0 normal, 1 hot,
// 2 pressed, 3 disabled.
Painter CaptionBar(int state, bool restore) {
    return [state, restore](QPainter& p, qreal w, qreal h) {
        QLinearGradient title(0, -4, 0, 21);
        title.setColorAt(0, kSlateTop);
        title.setColorAt(1, kSlate);
        p.fillRect(QRectF(0, 0, w, h), title);
        if (restore) p.fillRect(QRectF(0, 0, w, 1), QColor(255, 255, 255, 28));
        const qreal xs[] = {6, 25, 46};
        const CaptionGlyph glyphs[] = {kMinimize, restore ? kRestore : kMaximize, kClose};
        for (int i = 0; i < 3; ++i) {
            const QRectF r(xs[i], 4, 14, 14);
            QColor glyph = state == 3 ? kGlyphOff : kGlyph;
            if (state == 1 || state == 2) {
                const bool close = i == 2;
                QColor fill = close ? QColor(214, 69, 65) : QColor(255, 255, 255, 36);
                if (state == 2) fill = close ? QColor(170, 48, 45) : QColor(255, 255, 255, 20);
                p.setPen(Qt::NoPen);
                p.setBrush(fill);
                p.drawRoundedRect(r, 3, 3);
                glyph = Qt::white;
            }
            DrawCaptionGlyph(p, glyphs[i], r, glyph);
        }
    };
}

enum ToolIcon { kAdd, kDownload, kStop };

void DrawToolIcon(QPainter& p, ToolIcon icon, QPointF c, const QColor& colour) {
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    switch (icon) {
        case kAdd:
            p.drawEllipse(c, 9, 9);
            p.drawLine(QPointF(c.x() - 4.5, c.y()), QPointF(c.x() + 4.5, c.y()));
            p.drawLine(QPointF(c.x(), c.y() - 4.5), QPointF(c.x(), c.y() + 4.5));
            break;
        case kDownload:
            p.drawLine(QPointF(c.x(), c.y() - 9), QPointF(c.x(), c.y() + 3));
            p.drawPolyline(QPolygonF({QPointF(c.x() - 5, c.y() - 2), QPointF(c.x(), c.y() + 3.5),
                                      QPointF(c.x() + 5, c.y() - 2)}));
            p.drawPolyline(
                QPolygonF({QPointF(c.x() - 8, c.y() + 4), QPointF(c.x() - 8, c.y() + 8.5),
                           QPointF(c.x() + 8, c.y() + 8.5), QPointF(c.x() + 8, c.y() + 4)}));
            break;
        case kStop:
            // A filled square in a ring: an empty square would read as a
            // check box.
            p.drawEllipse(c, 9, 9);
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawRoundedRect(QRectF(c.x() - 4, c.y() - 4, 8, 8), 1.2, 1.2);
            break;
    }
}

// The toolbar: 540 x 39 with buttons at x 19 (166 wide), 192 and 360 (163
// wide). state: 0 normal, 1 hot, 2 pressed, 3 disabled.
Painter Toolbar(int state) {
    return [state](QPainter& p, qreal w, qreal h) {
        // The caption strip's toolbar band behind the buttons (y 50 to 89).
        QLinearGradient band(0, -25, 0, 45);
        band.setColorAt(0, kSlate);
        band.setColorAt(1, kSlateLow);
        p.fillRect(QRectF(0, 0, w, h), band);
        struct B {
            qreal x, w;
            ToolIcon icon;
            const char* label;
        };
        const B buttons[] = {{19, 166, kAdd, "Add Videos"},
                             {192, 163, kDownload, "Download All"},
                             {360, 163, kStop, "Stop"}};
        for (const B& b : buttons) {
            const QRectF r(b.x + 1, 2, b.w - 2, h - 4);
            QColor text = state == 3 ? kGlyphOff : kGlyph;
            QColor icon =
                state == 3 ? kGlyphOff : (b.icon == kStop ? QColor(232, 112, 96) : kAccent);
            if (skin::ButtonFace(p, r, state, true)) {
                text = Qt::white;
                if (state == 2) icon = Qt::white;
            }
            DrawToolIcon(p, b.icon, QPointF(r.left() + 24, r.center().y()), icon);
            p.setPen(text);
            DrawFittedText(p, QRectF(r.left() + 42, r.top(), r.width() - 48, r.height()),
                           gWords(b.label), 13, 9, true);
        }
    };
}

// 174: the site panel's header, 180 x 25.
void PanelHeader(QPainter& p, qreal w, qreal h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, QColor(120, 124, 130));
    g.setColorAt(1, QColor(108, 112, 118));
    p.fillRect(QRectF(0, 0, w, h), g);
    p.fillRect(QRectF(0, 0, w, 1), QColor(255, 255, 255, 40));
    p.fillRect(QRectF(0, h - 2, w, 2), kAccentDark);
}

// 175 to 178: the panel's close button, 10 x 11.
Painter PanelClose(int state) {
    return [state](QPainter& p, qreal w, qreal h) {
        p.fillRect(QRectF(0, 0, w, h), QColor(114, 118, 124));
        QColor c = state == 3 ? QColor(160, 164, 170) : QColor(236, 238, 241);
        if (state == 1 || state == 2) {
            p.setPen(Qt::NoPen);
            p.setBrush(state == 1 ? QColor(214, 69, 65) : QColor(170, 48, 45));
            p.drawRoundedRect(QRectF(0, 0.5, w, h - 1), 2, 2);
            c = Qt::white;
        }
        p.setPen(QPen(c, 1.3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(2.5, 3), QPointF(7.5, 8));
        p.drawLine(QPointF(7.5, 3), QPointF(2.5, 8));
    };
}

// 179 to 182: the narrow button that shows the site panel, 14 x 31.
Painter ShowPanel(int state) {
    return [state](QPainter& p, qreal w, qreal h) {
        p.fillRect(QRectF(0, 0, w, h), kWork);
        QColor fill = state == 1   ? QColor(60, 68, 80)
                      : state == 2 ? kAccentDark
                                   : QColor(90, 96, 106);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        QPainterPath tab;
        tab.addRoundedRect(QRectF(-4, 0, w + 4, h), 4, 4);
        p.drawPath(tab);
        p.setPen(QPen(state == 3 ? kGlyphOff : QColor(240, 242, 245), 1.6, Qt::SolidLine,
                      Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(
            QPolygonF({QPointF(5, h / 2 - 4.5), QPointF(9.5, h / 2), QPointF(5, h / 2 + 4.5)}));
    };
}

// 183: the tree's images, four of 16 x 16 on red (the transparent colour):
// 0 spare, 1 the task list, 2 the history, 3 a site.
void TreeImages(QPainter& p, qreal, qreal) {
    const QColor ink(250, 250, 250);
    const QColor dark(60, 66, 76);
    // 0: a dot.
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(8, 8), 3, 3);
    // 1: a list.
    p.setBrush(dark);
    p.drawRoundedRect(QRectF(17.5, 2.5, 13, 11), 2, 2);
    p.setBrush(ink);
    for (int i = 0; i < 3; ++i) {
        p.drawRect(QRectF(19.5, 4.5 + i * 3, 2, 2));
        p.drawRect(QRectF(22.5, 4.5 + i * 3, 6, 2));
    }
    // 2: a clock.
    p.setBrush(dark);
    p.drawEllipse(QPointF(40, 8), 6.5, 6.5);
    p.setPen(QPen(ink, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(40, 8), QPointF(40, 4));
    p.drawLine(QPointF(40, 8), QPointF(43, 9.5));
    // 3: a play tile.
    p.setPen(Qt::NoPen);
    p.setBrush(kAccentDark);
    p.drawRoundedRect(QRectF(50.5, 3, 11, 10), 2.5, 2.5);
    p.setBrush(ink);
    QPainterPath tri;
    tri.moveTo(54.5, 5.5);
    tri.lineTo(58.5, 8);
    tri.lineTo(54.5, 10.5);
    tri.closeSubpath();
    p.drawPath(tri);
}

// 187 (normal) and 188 (hot and pressed): the panel's two buttons, 178 x 22,
// at (3, 2) 96 x 19 and (102, 2) 73 x 19.
Painter PanelButtons(bool lit) {
    return [lit](QPainter& p, qreal w, qreal h) {
        p.fillRect(QRectF(0, 0, w, h), QColor(153, 153, 153));
        struct B {
            QRectF r;
            const char* label;
            bool folder;
        };
        const B buttons[] = {{QRectF(3, 2, 96, 19), "Open Folder", true},
                             {QRectF(102, 2, 73, 19), "Settings", false}};
        for (const B& b : buttons) {
            QLinearGradient g(0, b.r.top(), 0, b.r.bottom());
            g.setColorAt(0, lit ? QColor(84, 92, 104) : QColor(104, 110, 120));
            g.setColorAt(1, lit ? QColor(66, 73, 84) : QColor(88, 94, 104));
            p.setPen(QPen(lit ? kAccent : QColor(78, 83, 92), 1));
            p.setBrush(g);
            p.drawRoundedRect(b.r.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
            const QColor ink(244, 246, 248);
            if (b.folder) {
                p.setPen(Qt::NoPen);
                p.setBrush(lit ? kAccent : QColor(226, 230, 235));
                QPainterPath f;
                f.moveTo(b.r.left() + 6, b.r.top() + 5);
                f.lineTo(b.r.left() + 10, b.r.top() + 5);
                f.lineTo(b.r.left() + 11.5, b.r.top() + 6.5);
                f.lineTo(b.r.left() + 17, b.r.top() + 6.5);
                f.lineTo(b.r.left() + 17, b.r.top() + 14);
                f.lineTo(b.r.left() + 6, b.r.top() + 14);
                f.closeSubpath();
                p.drawPath(f);
            } else {
                p.setPen(
                    QPen(lit ? kAccent : QColor(226, 230, 235), 1.6, Qt::SolidLine, Qt::RoundCap));
                const QPointF c(b.r.left() + 11, b.r.center().y());
                for (int i = 0; i < 3; ++i) {
                    const qreal y = c.y() - 4 + i * 4;
                    p.drawLine(QPointF(c.x() - 5, y), QPointF(c.x() + 5, y));
                }
                p.setBrush(lit ? kAccent : QColor(226, 230, 235));
                p.setPen(Qt::NoPen);
                p.drawEllipse(QPointF(c.x() - 2, c.y() - 4), 1.6, 1.6);
                p.drawEllipse(QPointF(c.x() + 2.5, c.y()), 1.6, 1.6);
                p.drawEllipse(QPointF(c.x() - 1, c.y() + 4), 1.6, 1.6);
            }
            p.setPen(ink);
            DrawFittedText(p, b.r.adjusted(21, 0, -3, 0), gWords(b.label), 11, 8, false);
        }
    };
}

// 1019: the tips background, 266 x 214: 30 rows of header, stretched middle
// rows, 40 rows of foot.
void TipsBackground(QPainter& p, qreal w, qreal h) {
    p.fillRect(QRectF(0, 0, w, h), kWork);
    const QRectF card(0.5, 0.5, w - 1, h - 1);
    p.setPen(QPen(kWorkLine, 1));
    p.setBrush(QColor(251, 251, 252));
    p.drawRoundedRect(card, 6, 6);
    // Header: a light bulb and the word.
    QPainterPath head;
    head.addRoundedRect(QRectF(1, 1, w - 2, 24), 5, 5);
    head.addRect(QRectF(1, 12, w - 2, 13));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 242, 245));
    p.drawPath(head.simplified());
    p.fillRect(QRectF(1, 25, w - 2, 1), kWorkLine);
    p.setBrush(QColor(247, 190, 58));
    p.drawEllipse(QPointF(14, 11), 5, 5);
    p.setBrush(QColor(120, 126, 136));
    p.drawRoundedRect(QRectF(11.5, 15.5, 5, 4), 1, 1);
    p.setPen(QPen(QColor(247, 190, 58, 150), 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 2.5), QPointF(14, 3.8));
    p.drawLine(QPointF(6, 11), QPointF(7.3, 11));
    p.drawLine(QPointF(20.7, 11), QPointF(22, 11));
    p.setPen(QColor(96, 104, 116));
    DrawFittedText(p, QRectF(26, 1, w - 34, 23), gWords("Tips"), 12, 9, true);
    // Foot: a quiet accent line near the bottom.
    p.fillRect(QRectF(12, h - 12, 28, 2), kAccent);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool lang = argc == 5 && std::string(argv[1]) == "--lang";
    if (argc != 2 && !lang) {
        std::fprintf(stderr,
                     "usage: cvres_skin OUTPUT_FOLDER\n"
                     "       cvres_skin --lang CODE TRANSLATION_FILE OUTPUT_FOLDER\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[argc - 1]));
    out.mkpath(QStringLiteral("bitmaps"));
    if (lang) {
        const std::string code = argv[2];
        gWords.cjkFamily = code == "ja"               ? QStringLiteral("Noto Sans CJK JP")
                           : code.rfind("zh", 0) == 0 ? QStringLiteral("Noto Sans CJK SC")
                                                      : QString();
        if (!gWords.cjkFamily.isEmpty() && !QFontDatabase::hasFamily(gWords.cjkFamily))
            std::fprintf(stderr,
                         "cvres_skin: warning: the font %s is not installed; the %s words "
                         "may be drawn with another face or not at all\n",
                         qPrintable(gWords.cjkFamily), argv[2]);
        if (!ReadDictionary(QString::fromLocal8Bit(argv[3]), gWords.dictionary)) {
            std::fprintf(stderr, "cvres_skin: cannot read %s\n", argv[3]);
            return 1;
        }
        bool ok = Write(out, 134, 999, 95, Caption);
        const int toolIds[] = {150, 149, 147, 151};
        for (int s = 0; s < 4; ++s) ok &= Write(out, toolIds[s], 540, 39, Toolbar(s));
        ok &= Write(out, 187, 178, 22, PanelButtons(false));
        ok &= Write(out, 188, 178, 22, PanelButtons(true));
        ok &= Write(out, 1019, 266, 214, TipsBackground);
        return ok ? 0 : 1;
    }
    bool ok = Write(out, 134, 999, 95, Caption);
    ok &= Write(out, 130, 980, 1, Middle);
    ok &= Write(out, 131, 999, 32, Bottom);
    ok &= Write(out, 132, 11, 300, Border(true));
    ok &= Write(out, 133, 8, 300, Border(false));
    // Caption bars: normal, hot, pressed, disabled.
    const int maxIds[] = {135, 138, 136, 137};
    for (int s = 0; s < 4; ++s) ok &= Write(out, maxIds[s], 66, 20, CaptionBar(s, false));
    const int restoreIds[] = {139, 142, 140, 141};
    for (int s = 0; s < 4; ++s) ok &= Write(out, restoreIds[s], 68, 21, CaptionBar(s, true));
    const int toolIds[] = {150, 149, 147, 151};
    for (int s = 0; s < 4; ++s) ok &= Write(out, toolIds[s], 540, 39, Toolbar(s));
    ok &= Write(out, 174, 180, 25, PanelHeader);
    const int closeIds[] = {175, 178, 176, 177};
    for (int s = 0; s < 4; ++s) ok &= Write(out, closeIds[s], 10, 11, PanelClose(s));
    const int showIds[] = {179, 182, 180, 181};
    for (int s = 0; s < 4; ++s) ok &= Write(out, showIds[s], 14, 31, ShowPanel(s));
    // The tree's images are cut at 16 pixels and keyed on red, so they have no
    // soft edges: drawn on nothing, blended over the panel's grey where they
    // cover a pixel and red where they leave it empty. One size only.
    for (int scale : {1, 2}) {
        QImage tree =
            Render(64, 16, scale, TreeImages, false).convertToFormat(QImage::Format_ARGB32);
        const QColor grey(153, 153, 153);
        for (int y = 0; y < tree.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(tree.scanLine(y));
            for (int x = 0; x < tree.width(); ++x) {
                const int a = qAlpha(line[x]);
                auto mix = [a](int c, int g) { return (c * a + g * (255 - a)) / 255; };
                line[x] = a < 40 ? kTransparentKey.rgb()
                                 : qRgb(mix(qRed(line[x]), grey.red()),
                                        mix(qGreen(line[x]), grey.green()),
                                        mix(qBlue(line[x]), grey.blue()));
            }
        }
        ok &= tree.convertToFormat(QImage::Format_RGB32)
                  .save(out.filePath(scale == 1 ? QStringLiteral("bitmaps/183.png")
                                                : QStringLiteral("bitmaps/183@2x.png")),
                        "PNG");
    }
    ok &= Write(out, 187, 178, 22, PanelButtons(false));
    ok &= Write(out, 188, 178, 22, PanelButtons(true));
    ok &= Write(out, 1019, 266, 214, TipsBackground);
    return ok ? 0 : 1;
}

// Draws the bitmaps and icons of the resource bundle into PNG files.
// Usage: cvres_bitmaps OUTPUT_FOLDER
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

#include "cvres_bitmaps_preview.h"

namespace {

// Program icon: a play triangle over a downward arrow on a rounded tile.
QImage DrawIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient bg(0, 0, 0, s);
    bg.setColorAt(0, QColor(46, 134, 222));
    bg.setColorAt(1, QColor(20, 72, 150));
    p.setBrush(bg);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.2, s * 0.2);
    QPainterPath play;
    play.moveTo(s * 0.32, s * 0.2);
    play.lineTo(s * 0.75, s * 0.42);
    play.lineTo(s * 0.32, s * 0.64);
    play.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(play);
    p.setBrush(QColor(255, 200, 40));
    QPainterPath arrow;
    arrow.moveTo(s * 0.5, s * 0.9);
    arrow.lineTo(s * 0.3, s * 0.7);
    arrow.lineTo(s * 0.7, s * 0.7);
    arrow.closeSubpath();
    p.drawPath(arrow);
    return img;
}

bool Save(const QImage& img, const QString& path) {
    if (img.save(path, "PNG")) return true;
    std::fprintf(stderr, "cvres_bitmaps: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: cvres_bitmaps OUTPUT_FOLDER\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("icons"));
    out.mkpath(QStringLiteral("bitmaps"));
    bool ok = Save(DrawIcon(32), out.filePath(QStringLiteral("icons/1009.png")));
    ok &= DrawPreviewBitmaps(out);
    return ok ? 0 : 1;
}

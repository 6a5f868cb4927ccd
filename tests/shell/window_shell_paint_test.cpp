// The frame's painting: stretched skin parts give the pixels a plain
// stretch gives, whatever sizes came before, and a paint event's region
// limits what is painted.
#include <QImage>
#include <QPainter>
#include <QWidget>

#include "shell_fixture.h"
#include "ui/shell/window_shell.h"

namespace {

QImage Blank(QSize size) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::magenta);
    return img;
}

// What a stretch of `from` onto `to` gives without any shortcut.
QImage PlainStretch(const QPixmap& pm, QRect from, QRect to, QSize canvas) {
    QImage img = Blank(canvas);
    QPainter p(&img);
    p.drawPixmap(QRectF(to), pm, QRectF(from));
    return img;
}

QImage Drawn(const ui::WindowShell::Stretch& s, QRect to, QSize canvas) {
    QImage img = Blank(canvas);
    QPainter p(&img);
    s.Draw(p, to);
    return img;
}

class WindowShellPaint : public shelltest::ShellTest {};

}  // namespace

TEST(WindowShellStretch, EveryKindOfPartGivesThePlainStretchAtEverySize) {
    // Columns that repeat (a top-to-bottom shade), rows that repeat (a
    // left-to-right shade), one colour, and a pattern that repeats nowhere.
    QImage across(40, 12, QImage::Format_RGB32), down(12, 40, QImage::Format_RGB32),
        flat(30, 1, QImage::Format_RGB32), mixed(24, 18, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            if (y < 12) across.setPixel(x, y, qRgb(10 * y, 40, 90));
            if (x < 12) down.setPixel(x, y, qRgb(5 * y, 200, 7 * x));
            if (x < 24 && y < 18)
                mixed.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, x * 9, y * 13));
        }
    flat.fill(qRgb(234, 236, 240));
    const QSize canvas(260, 200);
    for (const QImage& img : {across, down, flat, mixed}) {
        const QPixmap pm = QPixmap::fromImage(img);
        // A part of the bitmap, and the whole of it.
        for (const QRect from : {QRect(2, 0, img.width() - 4, img.height()), img.rect()}) {
            const ui::WindowShell::Stretch s(pm, from);
            // Sizes change back and forth, as they do while the window is resized.
            for (const QRect to : {QRect(5, 7, 200, img.height()), QRect(0, 0, from.width(), 150),
                                   QRect(3, 4, 250, 180), QRect(5, 7, 200, img.height()),
                                   QRect(1, 1, from.width(), from.height())})
                EXPECT_EQ(Drawn(s, to, canvas), PlainStretch(pm, from, to, canvas))
                    << img.width() << "x" << img.height() << " onto " << to.width() << "x"
                    << to.height();
        }
    }
    // Nothing to draw from, or nowhere to draw: nothing is painted.
    EXPECT_EQ(Drawn(ui::WindowShell::Stretch(), QRect(0, 0, 50, 50), canvas), Blank(canvas));
    const ui::WindowShell::Stretch s(QPixmap::fromImage(mixed), mixed.rect());
    EXPECT_EQ(Drawn(s, QRect(10, 10, 0, 40), canvas), Blank(canvas));
}

TEST_F(WindowShellPaint, FramePaintsOnlyTheBandsOfTheRegionAndTheSameAfterOtherSizes) {
    QWidget w;
    w.setWindowTitle(QStringLiteral("Clipvane Video Downloader"));
    ui::WindowShell shell(&w);
    shell.SetStatusText(QStringLiteral("Ready"));
    auto paint = [&](QSize size, const QRegion& dirty) {
        w.resize(size);
        QImage img = Blank(size);
        QPainter p(&img);
        shell.Paint(p, dirty);
        return img;
    };
    const QImage first = paint(QSize(1000, 650), QRegion());
    paint(QSize(1300, 800), QRegion());
    paint(QSize(1100, 640), QRegion());
    EXPECT_EQ(paint(QSize(1000, 650), QRegion()), first);
    ui::WindowShell fresh(&w);
    fresh.SetStatusText(QStringLiteral("Ready"));
    {
        QImage img = Blank(QSize(1000, 650));
        QPainter p(&img);
        fresh.Paint(p);
        EXPECT_EQ(img, first);
    }

    // A new status line: the bottom strip is painted, the caption is not.
    const QImage status = paint(QSize(1000, 650), QRegion(0, 650 - 32, 1000, 32));
    EXPECT_EQ(status.copy(0, 618, 1000, 32), first.copy(0, 618, 1000, 32));
    EXPECT_EQ(status.pixel(500, 40), QColor(Qt::magenta).rgb());
    EXPECT_NE(first.pixel(500, 40), QColor(Qt::magenta).rgb());
}

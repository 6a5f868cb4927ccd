// Draws the program's desktop icons: PNG files of the given sizes and one
// SVG file, from a single description of the picture.
// Usage: cvres_icons OUTPUT_FOLDER NAME SIZE...
// writes OUTPUT_FOLDER/<n>x<n>/apps/NAME.png and scalable/apps/NAME.svg.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <vector>

namespace {

// The picture on a 256-unit canvas: a rounded tile with a vertical blue
// gradient, a white play triangle and a yellow arrow pointing down.
constexpr double kCanvas = 256;
constexpr double kCorner = 0.2 * kCanvas;
const QColor kTop(46, 134, 222), kBottom(20, 72, 150);
const QColor kPlay(Qt::white), kArrow(255, 200, 40);
const std::vector<QPointF> kPlayShape = {{0.32, 0.2}, {0.75, 0.42}, {0.32, 0.64}};
const std::vector<QPointF> kArrowShape = {{0.5, 0.9}, {0.3, 0.7}, {0.7, 0.7}};

QPainterPath Polygon(const std::vector<QPointF>& pts, double scale) {
    QPainterPath p;
    p.moveTo(pts[0] * scale);
    for (size_t i = 1; i < pts.size(); ++i) p.lineTo(pts[i] * scale);
    p.closeSubpath();
    return p;
}

QImage DrawPng(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size, k = s / kCanvas;
    QLinearGradient bg(0, 0, 0, s);
    bg.setColorAt(0, kTop);
    bg.setColorAt(1, kBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), kCorner * k, kCorner * k);
    p.setBrush(kPlay);
    p.drawPath(Polygon(kPlayShape, s));
    p.setBrush(kArrow);
    p.drawPath(Polygon(kArrowShape, s));
    return img;
}

QString SvgPoints(const std::vector<QPointF>& pts) {
    QStringList out;
    for (const QPointF& pt : pts)
        out << QStringLiteral("%1,%2").arg(pt.x() * kCanvas).arg(pt.y() * kCanvas);
    return out.join(QLatin1Char(' '));
}

QByteArray DrawSvg() {
    QString svg = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
        "  <defs>\n"
        "    <linearGradient id=\"tile\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n"
        "      <stop offset=\"0\" stop-color=\"%2\"/>\n"
        "      <stop offset=\"1\" stop-color=\"%3\"/>\n"
        "    </linearGradient>\n"
        "  </defs>\n"
        "  <rect x=\"0.5\" y=\"0.5\" width=\"%4\" height=\"%4\" rx=\"%5\" fill=\"url(#tile)\"/>\n"
        "  <polygon points=\"%6\" fill=\"%7\"/>\n"
        "  <polygon points=\"%8\" fill=\"%9\"/>\n"
        "</svg>\n");
    svg = svg.arg(kCanvas)
              .arg(kTop.name(), kBottom.name())
              .arg(kCanvas - 1)
              .arg(kCorner)
              .arg(SvgPoints(kPlayShape), kPlay.name(), SvgPoints(kArrowShape), kArrow.name());
    return svg.toUtf8();
}

bool WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size()) return true;
    std::fprintf(stderr, "cvres_icons: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: cvres_icons OUTPUT_FOLDER NAME SIZE...\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        int size = std::atoi(argv[i]);
        if (size <= 0 || size > 1024) {
            std::fprintf(stderr, "cvres_icons: bad size %s\n", argv[i]);
            return 2;
        }
        QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(dir) || !DrawPng(size).save(dir + QLatin1Char('/') + name + ".png", "PNG")) {
            std::fprintf(stderr, "cvres_icons: cannot write the %dx%d icon\n", size, size);
            return 1;
        }
    }
    QString dir = root + QStringLiteral("/scalable/apps");
    if (!QDir().mkpath(dir) || !WriteFile(dir + QLatin1Char('/') + name + ".svg", DrawSvg())) return 1;
    return 0;
}

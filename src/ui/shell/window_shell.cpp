#include "ui/shell/window_shell.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cstring>

#include "ui/bundle/translate.h"
#include "ui/shell/bitmap_button_bar.h"
#include "ui/shell/window_placement.h"

namespace {

// Columns (sx, width w) of `pm` at (dx, y) as they are, full height.
void DrawColumns(QPainter& p, const QPixmap& pm, int sx, int w, int dx, int y) {
    if (pm.isNull() || w <= 0) return;
    const qreal r = pm.devicePixelRatio();
    p.drawPixmap(QPointF(dx, y), pm, QRectF(sx * r, 0, w * r, pm.height()));
}

// Columns (sx, width w) of `pm`, in logical pixels, as a part for Stretch.
QRect Columns(const QPixmap& pm, int sx, int w) {
    const qreal r = pm.devicePixelRatio();
    return QRect(qRound(sx * r), 0, qRound(w * r), pm.height());
}

bool ColumnsRepeat(const QImage& img) {
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 1; x < img.width(); ++x)
            if (row[x] != row[0]) return false;
    }
    return true;
}

bool RowsRepeat(const QImage& img) {
    const size_t bytes = static_cast<size_t>(img.width()) * sizeof(QRgb);
    for (int y = 1; y < img.height(); ++y)
        if (std::memcmp(img.constScanLine(y), img.constScanLine(0), bytes) != 0) return false;
    return true;
}

}  // namespace

ui::WindowShell::Stretch::Stretch(const QPixmap& bitmap, QRect from) {
    from &= bitmap.rect();
    if (from.isEmpty()) return;
    part_ = bitmap.copy(from);
    part_.setDevicePixelRatio(bitmap.devicePixelRatio());
    const QImage img = part_.toImage().convertToFormat(QImage::Format_ARGB32);
    tileAcross_ = ColumnsRepeat(img);
    tileDown_ = RowsRepeat(img);
    if (!tileAcross_ && !tileDown_) return;
    // One repeated column or row, widened so that tiling takes few copies.
    const QImage one = img.copy(0, 0, tileAcross_ ? 1 : img.width(), tileDown_ ? 1 : img.height());
    QImage wide = one.scaled(tileAcross_ ? 64 : one.width(), tileDown_ ? 64 : one.height());
    tile_ = QPixmap::fromImage(wide);
    tile_.setDevicePixelRatio(bitmap.devicePixelRatio());
}

void ui::WindowShell::Stretch::Draw(QPainter& p, const QRect& to) const {
    if (part_.isNull() || to.width() <= 0 || to.height() <= 0) return;
    const qreal r = part_.devicePixelRatio();
    const QSize own = part_.deviceIndependentSize().toSize();
    // Tiling gives the stretched pixels where the part repeats along every
    // direction it is stretched in.
    if ((tileAcross_ || to.width() == own.width()) && (tileDown_ || to.height() == own.height())) {
        if (!tile_.isNull()) {
            p.drawTiledPixmap(to, tile_);
            return;
        }
        p.drawPixmap(to.topLeft(), part_);
        return;
    }
    const QSize device(qRound(to.width() * r), qRound(to.height() * r));
    if (scaled_.size() != device) {
        scaled_ = part_.scaled(device, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        scaled_.setDevicePixelRatio(r);
    }
    p.drawPixmap(to.topLeft(), scaled_);
}

ui::WindowShell::WindowShell(QWidget* window) : QObject(window), window_(window) {
    window_->setWindowFlag(Qt::FramelessWindowHint, true);
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    window_->setMinimumSize(ui::FittedMinimumSize(screen ? screen->availableGeometry() : QRect()));
    window_->setMouseTracking(true);
    window_->installEventFilter(this);
    ReloadBitmaps();
}

ui::WindowShell::Zone ui::WindowShell::ZoneAt(QPoint pos, QSize size) {
    const bool l = pos.x() < kMargin, r = pos.x() >= size.width() - kMargin;
    const bool t = pos.y() < kMargin, b = pos.y() >= size.height() - kMargin;
    // The grip drawn in the status bar's corner resizes wherever it is hit.
    if (pos.x() >= size.width() - kGripSize && pos.y() >= size.height() - kGripSize &&
        pos.x() < size.width() && pos.y() < size.height())
        return Zone::BottomRight;
    if (t && l) return Zone::TopLeft;
    if (b && r) return Zone::BottomRight;
    if (t && r) return Zone::TopRight;
    if (b && l) return Zone::BottomLeft;
    if (l) return Zone::Left;
    if (r) return Zone::Right;
    if (t) return Zone::Top;
    if (b) return Zone::Bottom;
    return Zone::Surface;
}

Qt::CursorShape ui::WindowShell::CursorOf(Zone zone) {
    switch (zone) {
        case Zone::Left:
        case Zone::Right:
            return Qt::SizeHorCursor;
        case Zone::Top:
        case Zone::Bottom:
            return Qt::SizeVerCursor;
        case Zone::TopLeft:
        case Zone::BottomRight:
            return Qt::SizeFDiagCursor;
        case Zone::TopRight:
        case Zone::BottomLeft:
            return Qt::SizeBDiagCursor;
        default:
            return Qt::ArrowCursor;
    }
}

Qt::Edges ui::WindowShell::EdgesOf(Zone zone) {
    switch (zone) {
        case Zone::Left:
            return Qt::LeftEdge;
        case Zone::Right:
            return Qt::RightEdge;
        case Zone::Top:
            return Qt::TopEdge;
        case Zone::Bottom:
            return Qt::BottomEdge;
        case Zone::TopLeft:
            return Qt::TopEdge | Qt::LeftEdge;
        case Zone::BottomRight:
            return Qt::BottomEdge | Qt::RightEdge;
        case Zone::TopRight:
            return Qt::TopEdge | Qt::RightEdge;
        case Zone::BottomLeft:
            return Qt::BottomEdge | Qt::LeftEdge;
        default:
            return {};
    }
}

QRegion ui::WindowShell::RoundedRegion(QSize size) {
    QPainterPath path;
    // 7 x 7 corner ellipses: a radius of 3.5.
    path.addRoundedRect(QRectF(0, 0, size.width() + 1, size.height() + 1), 3.5, 3.5);
    return QRegion(path.toFillPolygon().toPolygon());
}

void ui::WindowShell::SetCaptionBars(QWidget* maximizeBar, QWidget* restoreBar) {
    maximizeBar_ = maximizeBar;
    restoreBar_ = restoreBar;
    SyncCaptionBars();
}

void ui::WindowShell::SyncCaptionBars() {
    const bool max = window_->isMaximized();
    if (maximizeBar_) maximizeBar_->setVisible(!max);
    if (restoreBar_) restoreBar_->setVisible(max);
}

void ui::WindowShell::ToggleMaximized() {
    // The caption bars follow through the state change event.
    const bool max = window_->isMaximized();
    if (max)
        window_->showNormal();
    else
        window_->showMaximized();
}

void ui::WindowShell::ReloadBitmaps() {
    caption_ = ui::LoadSkinBitmap(134);
    bottom_ = ui::LoadSkinBitmap(131);
    captionMiddle_ = Stretch(caption_, Columns(caption_, 400, 218));
    bottomMiddle_ = Stretch(bottom_, Columns(bottom_, 450, 98));
    const QPixmap middle = ui::LoadSkinBitmap(130);
    middle_ = Stretch(middle, middle.rect());
    const QPixmap left = ui::LoadSkinBitmap(132);
    left_ = Stretch(left, left.rect());
    const QPixmap right = ui::LoadSkinBitmap(133);
    right_ = Stretch(right, right.rect());
    titleFont_ = QFont(QStringLiteral("Arial"));
    titleFont_.setPixelSize(16);
    titleFont_.setWeight(QFont::Bold);
    statusFont_ = QFont(QStringLiteral("Tahoma"));
    statusFont_.setPixelSize(13);
    statusFont_.setWeight(QFont::Normal);
}

void ui::WindowShell::SetStatusText(const QString& text) {
    if (text == status_) return;
    status_ = text;
    window_->update(0, window_->height() - 33, window_->width(), 33);
}

void ui::WindowShell::Paint(QPainter& p, const QRegion& dirty) const {
    const int W = window_->width(), H = window_->height();
    const QIcon icon = window_->windowIcon();
    if (window_->isMinimized()) {
        icon.paint(&p, QRect((W - 32) / 2, (H - 32) / 2, 32, 32));
        return;
    }
    // Only the bands the paint event asks for: a new status line repaints
    // the bottom strip alone.
    auto wanted = [&dirty](const QRect& r) { return dirty.isEmpty() || dirty.intersects(r); };

    if (wanted(QRect(0, 0, W, 95))) {
        DrawColumns(p, caption_, 0, 400, 0, 0);
        captionMiddle_.Draw(p, QRect(400, 0, W - 780, 95));
        DrawColumns(p, caption_, 619, 380, W - 380, 0);
        icon.paint(&p, QRect(8, 6, 16, 16));
    }

    const QString title = window_->windowTitle();
    if (!title.isEmpty() && wanted(QRect(35, 1, W - 35 - 80, 24))) {
        p.setFont(titleFont_);
        p.setPen(QColor(240, 240, 240));
        // Centred in the title band, so a taller fallback face (CJK) stays
        // above the band's lower edge.
        p.drawText(QRect(35, 1, W - 35 - 80, 24),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);
    }

    const QRect middle(11, 95, W - 19, H - 127), left(0, 95, 11, H - 127),
        right(W - 8, 95, 8, H - 127);
    if (wanted(middle)) middle_.Draw(p, middle);
    if (wanted(left)) left_.Draw(p, left);
    if (wanted(right)) right_.Draw(p, right);

    if (wanted(QRect(0, H - 32, W, 32))) {
        DrawColumns(p, bottom_, 0, 450, 0, H - 32);
        bottomMiddle_.Draw(p, QRect(450, H - 32, W - 900, 32));
        DrawColumns(p, bottom_, 549, 450, W - 450, H - 32);
    }

    if (!status_.isEmpty()) {
        p.setFont(statusFont_);
        p.setPen(QColor(51, 51, 51));
        p.drawText(QRect(11, H - 25, W - 61, 22),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, status_);
    }
}

bool ui::WindowShell::eventFilter(QObject* watched, QEvent* e) {
    if (watched != window_) return QObject::eventFilter(watched, e);
    switch (e->type()) {
        case QEvent::Resize:
            window_->setMask(RoundedRegion(window_->size()));
            break;
        case QEvent::WindowStateChange:
            // Maximised from elsewhere too (a stored placement, the desktop).
            SyncCaptionBars();
            break;
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->buttons() == Qt::NoButton)
                window_->setCursor(CursorOf(ZoneAt(m->position().toPoint(), window_->size())));
            if (movePress_ && (m->buttons() & Qt::LeftButton) &&
                (m->position().toPoint() - *movePress_).manhattanLength() >=
                    QApplication::startDragDistance()) {
                movePress_.reset();
                if (QWindow* handle = window_->windowHandle()) handle->startSystemMove();
                return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            movePress_.reset();
            break;
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (m->button() != Qt::LeftButton) break;
            QWindow* handle = window_->windowHandle();
            if (!handle) break;
            const Zone z = ZoneAt(m->position().toPoint(), window_->size());
            if (z == Zone::Surface)
                movePress_ = m->position().toPoint();
            else
                handle->startSystemResize(EdgesOf(z));
            return true;
        }
        case QEvent::MouseButtonDblClick: {
            auto* m = static_cast<QMouseEvent*>(e);
            const QPoint pos = m->position().toPoint();
            movePress_.reset();
            if (m->button() != Qt::LeftButton || pos.y() >= kCaptionHeight) break;
            if (pos.x() < kIconWidth)
                emit closeRequested();
            else
                ToggleMaximized();
            return true;
        }
        default:
            break;
    }
    return QObject::eventFilter(watched, e);
}

#include "ui/shell/window_shell.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include "ui/bundle/translate.h"
#include "ui/shell/bitmap_button_bar.h"
#include "ui/shell/window_placement.h"

namespace {

// Part (sx, sw) of the columns of `pm` onto (dx, dw) at row y, full height.
void DrawColumns(QPainter& p, const QPixmap& pm, int sx, int sw, int dx, int dw, int y) {
    if (pm.isNull() || dw <= 0 || sw <= 0) return;
    const qreal r = pm.devicePixelRatio();
    const qreal h = pm.height() / r;
    p.drawPixmap(QRectF(dx, y, dw, h), pm, QRectF(sx * r, 0, sw * r, pm.height()));
}

void DrawStretched(QPainter& p, const QPixmap& pm, const QRect& to) {
    if (pm.isNull() || to.width() <= 0 || to.height() <= 0) return;
    p.drawPixmap(QRectF(to), pm, QRectF(pm.rect()));
}

}  // namespace

CWindowShell::CWindowShell(QWidget* window) : QObject(window), window_(window) {
    window_->setWindowFlag(Qt::FramelessWindowHint, true);
    QScreen* screen = window_->screen() ? window_->screen() : QGuiApplication::primaryScreen();
    window_->setMinimumSize(ui::FittedMinimumSize(screen ? screen->availableGeometry() : QRect()));
    window_->setMouseTracking(true);
    window_->installEventFilter(this);
    ReloadBitmaps();
}

CWindowShell::Zone CWindowShell::ZoneAt(QPoint pos, QSize size) {
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

Qt::CursorShape CWindowShell::CursorOf(Zone zone) {
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

Qt::Edges CWindowShell::EdgesOf(Zone zone) {
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

QRegion CWindowShell::RoundedRegion(QSize size) {
    QPainterPath path;
    // 7 x 7 corner ellipses: a radius of 3.5.
    path.addRoundedRect(QRectF(0, 0, size.width() + 1, size.height() + 1), 3.5, 3.5);
    return QRegion(path.toFillPolygon().toPolygon());
}

void CWindowShell::SetCaptionBars(QWidget* maximizeBar, QWidget* restoreBar) {
    maximizeBar_ = maximizeBar;
    restoreBar_ = restoreBar;
    SyncCaptionBars();
}

void CWindowShell::SyncCaptionBars() {
    const bool max = window_->isMaximized();
    if (maximizeBar_) maximizeBar_->setVisible(!max);
    if (restoreBar_) restoreBar_->setVisible(max);
}

void CWindowShell::ToggleMaximized() {
    // The caption bars follow through the state change event.
    const bool max = window_->isMaximized();
    if (max)
        window_->showNormal();
    else
        window_->showMaximized();
}

void CWindowShell::ReloadBitmaps() {
    caption_ = ui::LoadSkinBitmap(134);
    middle_ = ui::LoadSkinBitmap(130);
    bottom_ = ui::LoadSkinBitmap(131);
    left_ = ui::LoadSkinBitmap(132);
    right_ = ui::LoadSkinBitmap(133);
}

void CWindowShell::Paint(QPainter& p, const QString& status) const {
    const int W = window_->width(), H = window_->height();
    const QIcon icon = window_->windowIcon();
    if (window_->isMinimized()) {
        icon.paint(&p, QRect((W - 32) / 2, (H - 32) / 2, 32, 32));
        return;
    }
    DrawColumns(p, caption_, 0, 400, 0, 400, 0);
    DrawColumns(p, caption_, 400, 218, 400, W - 780, 0);
    DrawColumns(p, caption_, 619, 380, W - 380, 380, 0);
    icon.paint(&p, QRect(8, 6, 16, 16));

    const QString title = window_->windowTitle();
    if (!title.isEmpty()) {
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(16);
        f.setWeight(QFont::Bold);
        p.setFont(f);
        p.setPen(QColor(240, 240, 240));
        // Centred in the title band, so a taller fallback face (CJK) stays
        // above the band's lower edge.
        p.drawText(QRect(35, 1, W - 35 - 80, 24),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title);
    }

    DrawStretched(p, middle_, QRect(11, 95, W - 19, H - 127));
    DrawStretched(p, left_, QRect(0, 95, 11, H - 127));
    DrawStretched(p, right_, QRect(W - 8, 95, 8, H - 127));

    DrawColumns(p, bottom_, 0, 450, 0, 450, H - 32);
    DrawColumns(p, bottom_, 450, 98, 450, W - 900, H - 32);
    DrawColumns(p, bottom_, 549, 450, W - 450, 450, H - 32);

    if (!status.isEmpty()) {
        QFont f(QStringLiteral("Tahoma"));
        f.setPixelSize(13);
        f.setWeight(QFont::Normal);
        p.setFont(f);
        p.setPen(QColor(51, 51, 51));
        p.drawText(QRect(11, H - 25, W - 61, 22),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, status);
    }
}

bool CWindowShell::eventFilter(QObject* watched, QEvent* e) {
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

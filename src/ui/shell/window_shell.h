#pragma once
// The main window's own frame: no system frame, rounded corners, moving and
// sizing with the mouse on the window's surface, a double click on the
// caption, and the painting of caption, borders and bottom strip from the
// skin bitmaps. The window keeps its children and its paintEvent, from
// which it calls Paint.
#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <optional>

class QPainter;
class QWidget;

namespace ui {

class WindowShell : public QObject {
    Q_OBJECT
  public:
    enum class Zone {
        Surface,
        Left,
        Right,
        Top,
        Bottom,
        TopLeft,
        BottomRight,
        TopRight,
        BottomLeft
    };
    static constexpr int kMargin = 5;
    // The size grip in the status bar's bottom-right corner.
    static constexpr int kGripSize = 18;
    static constexpr int kCaptionHeight = 24;
    static constexpr int kIconWidth = 25;

    // Makes `window` frameless, at least 999 x 600, and watches its events.
    explicit WindowShell(QWidget* window);

    static Zone ZoneAt(QPoint pos, QSize size);
    static Qt::CursorShape CursorOf(Zone zone);
    static Qt::Edges EdgesOf(Zone zone);
    // The window's region: a rectangle of (0, 0) to (w + 1, h + 1) with 7 x 7
    // corner ellipses.
    static QRegion RoundedRegion(QSize size);

    // The two caption button bars: the one with maximise and the one with
    // restore. Whenever the window's state changes, one is shown, the other
    // hidden.
    void SetCaptionBars(QWidget* maximizeBar, QWidget* restoreBar);
    // Button code 2: maximise, or restore when maximised.
    void ToggleMaximized();
    // Loads the skin bitmaps again (after a language change: 134 may differ).
    void ReloadBitmaps();
    // Paints caption, title, borders, bottom strip and the status line,
    // those of them that meet `dirty` (a paint event's region; empty for
    // all); a missing bitmap leaves its part unpainted.
    void Paint(QPainter& p, const QRegion& dirty = QRegion()) const;
    // The status line in the bottom strip; a new one repaints the strip alone.
    void SetStatusText(const QString& text);
    const QString& StatusText() const { return status_; }

    // Part `from` (in the bitmap's own pixels) of a skin bitmap, stretched
    // onto any rectangle. A part whose pixels repeat along a direction is
    // tiled that way, which gives the same pixels as stretching; any other
    // is scaled once for each size it is shown at.
    class Stretch {
      public:
        Stretch() = default;
        Stretch(const QPixmap& bitmap, QRect from);
        void Draw(QPainter& p, const QRect& to) const;

      private:
        QPixmap part_;
        // The part reduced to one column, row or pixel and widened for tiling.
        QPixmap tile_;
        bool tileAcross_ = false, tileDown_ = false;
        mutable QPixmap scaled_;
    };

  signals:
    // A double click on the window icon: the window's close request.
    void closeRequested();

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    // Shows the bar that suits the window's state.
    void SyncCaptionBars();

    QWidget* window_;
    QWidget* maximizeBar_ = nullptr;
    QWidget* restoreBar_ = nullptr;
    // Where the left button went down on the surface; the move starts once
    // the mouse leaves that spot, so a double click still arrives.
    std::optional<QPoint> movePress_;
    QPixmap caption_, bottom_;
    Stretch captionMiddle_, middle_, left_, right_, bottomMiddle_;
    QFont titleFont_, statusFont_;
    QString status_;
};

}  // namespace ui

#pragma once
// The preview panel's position bar: a background, the marked range as a
// strip and a thumb at the playing position (percent). A click on a
// clickable bar moves the thumb there and emits clicked with the percent.
#include <QPixmap>
#include <QWidget>

class CPositionBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kControlId = 0xFFFF;

    explicit CPositionBar(QWidget* parent = nullptr);

    // Bitmaps: background (stretched), range strip (stretched), thumb.
    void SetBitmaps(const QPixmap& background, const QPixmap& range, const QPixmap& thumb);

    int position() const { return position_; }
    void SetPosition(int percent);
    int startMark() const { return startMark_; }
    int endMark() const { return endMark_; }
    void SetMarks(int startMs, int endMs);
    int duration() const { return duration_; }
    void SetDuration(int ms);
    bool clickable() const { return clickable_; }
    void SetClickable(bool on) { clickable_ = on; }

    // Where the strip and the thumb are drawn now (empty strip when none).
    QRect RangeRect() const;
    QRect ThumbRect() const;

    static constexpr QRgb kFillColour = 0xFFFFFF;

  signals:
    // Message 32770: the user clicked a clickable bar.
    void clicked(int percent);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    int position_ = 0;
    int startMark_ = 0;
    int endMark_ = 0;
    int duration_ = 0;
    bool clickable_ = false;
    QPixmap background_, range_, thumb_;
};

#pragma once
// The tips panel (child dialog 1018): one of five tips (strings 32837 to
// 32841) over its background bitmap; a click shows the next. A tip taller
// than the panel shows the lines that fit, the last one cut between words,
// and the whole tip as the panel's tooltip.
#include <QPixmap>
#include <QWidget>

#include "resource_ids.h"

class QLabel;

namespace ui {

class TipsPanel : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kId = ids::ctl::main_window::kTipsPanel;
    static constexpr int kTextId = 1050;
    static constexpr int kTipCount = 5;
    static constexpr unsigned kFirstTip = ids::str::kCopyAddressOfVideo;

    explicit TipsPanel(QWidget* parent = nullptr);

    // The first tip for a random generator seeded with `seed`.
    static int FirstTip(unsigned seed);
    int Current() const { return current_; }
    QLabel* Text() const { return text_; }
    // Loads the five tips again in the current language and shows a random one.
    void LoadTips(unsigned seed);
    void ShowTip(int index);
    void NextTip();
    // Messages 9224 (next tip) and 5031 (language changed).
    void HandleMessage(unsigned msg);

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    // Shows the current tip, or as much of it as fits.
    void FitTip();

    QLabel* text_ = nullptr;
    QPixmap background_;
    QStringList tips_;
    int current_ = 0;
    bool overLink_ = false;
    bool footShown_ = true;  // the foot's accent, where the text leaves room
};

}  // namespace ui

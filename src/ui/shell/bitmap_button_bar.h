#pragma once
// A row of bitmap buttons drawn from four state bitmaps of the whole bar
// (normal, hot, pressed, disabled): each button shows the part of the
// state bitmap under its own rectangle. A click on an enabled button emits
// buttonClicked and, when a target is set, posts the bar's message with the
// button's code as wParam.
#include <QPixmap>
#include <QWidget>
#include <vector>

#include "platform/post_message.h"
#include "ui/bundle/translate.h"

namespace ui {

class BitmapButtonBar : public QWidget {
    Q_OBJECT
  public:
    enum State { kNormal, kHot, kPressed, kDisabled };

    explicit BitmapButtonBar(QWidget* parent = nullptr);

    // Loads the state bitmaps by number; kept for Retranslate.
    void SetStateBitmaps(int normal, int hot, int pressed, int disabled);
    // Loads the bitmaps again (after a language change).
    void Retranslate();
    // Adds a button; tooltipId 0 gives none. Buttons start enabled.
    void AddButton(int code, const QRect& rect, unsigned tooltipId = 0);
    void EnableButton(int code, bool enabled);
    bool IsButtonEnabled(int code) const;
    QRect ButtonRect(int code) const;
    // Where clicks are posted, with message `msg`; null posts nothing.
    void SetTarget(platform::IPostTarget* target, unsigned msg);
    // The state a button is drawn in now.
    State ButtonState(int code) const;

  signals:
    void buttonClicked(int code);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    bool event(QEvent* e) override;

  private:
    struct Button {
        int code;
        QRect rect;
        unsigned tooltipId;
        bool enabled;
    };
    int HitTest(const QPoint& pos) const;  // index into buttons_, or -1
    const Button* Find(int code) const;

    std::vector<Button> buttons_;
    // A state's bitmap, loaded at its first use.
    const QPixmap& StateBitmap(State s);

    int stateIds_[4] = {0, 0, 0, 0};
    QPixmap states_[4];
    bool loaded_[4] = {false, false, false, false};
    int hot_ = -1;
    int pressed_ = -1;
    platform::IPostTarget* target_ = nullptr;
    unsigned msg_ = 0;
};

}  // namespace ui

#include "ui/shell/bitmap_button_bar.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "app/localization.h"
#include "platform/resource_bundle.h"
#include "ui/bundle/language_menu.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/translate.h"

ui::BitmapButtonBar::BitmapButtonBar(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ui::BitmapButtonBar::SetStateBitmaps(int normal, int hot, int pressed, int disabled) {
    stateIds_[0] = normal;
    stateIds_[1] = hot;
    stateIds_[2] = pressed;
    stateIds_[3] = disabled;
    Retranslate();
}

void ui::BitmapButtonBar::Retranslate() {
    // Each state's bitmap is loaded when first drawn: a bar that is hidden,
    // or never hovered, decodes no more than it shows.
    for (bool& loaded : loaded_) loaded = false;
    update();
}

const QPixmap& ui::BitmapButtonBar::StateBitmap(State s) {
    if (!loaded_[s]) {
        states_[s] = stateIds_[s] ? ui::LoadSkinBitmap(stateIds_[s]) : QPixmap();
        loaded_[s] = true;
    }
    return states_[s];
}

void ui::BitmapButtonBar::AddButton(int code, const QRect& rect, unsigned tooltipId) {
    buttons_.push_back({code, rect, tooltipId, true});
    update(rect);
}

const ui::BitmapButtonBar::Button* ui::BitmapButtonBar::Find(int code) const {
    for (const auto& b : buttons_)
        if (b.code == code) return &b;
    return nullptr;
}

void ui::BitmapButtonBar::EnableButton(int code, bool enabled) {
    for (auto& b : buttons_) {
        if (b.code != code || b.enabled == enabled) continue;
        b.enabled = enabled;
        update(b.rect);
    }
}

bool ui::BitmapButtonBar::IsButtonEnabled(int code) const {
    const Button* b = Find(code);
    return b && b->enabled;
}

QRect ui::BitmapButtonBar::ButtonRect(int code) const {
    const Button* b = Find(code);
    return b ? b->rect : QRect();
}

void ui::BitmapButtonBar::SetTarget(platform::IPostTarget* target, unsigned msg) {
    target_ = target;
    msg_ = msg;
}

ui::BitmapButtonBar::State ui::BitmapButtonBar::ButtonState(int code) const {
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i].code != code) continue;
        if (!buttons_[i].enabled) return kDisabled;
        const int idx = static_cast<int>(i);
        if (pressed_ == idx && hot_ == idx) return kPressed;
        if (hot_ == idx && pressed_ < 0) return kHot;
        return kNormal;
    }
    return kNormal;
}

int ui::BitmapButtonBar::HitTest(const QPoint& pos) const {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i].rect.contains(pos)) return static_cast<int>(i);
    return -1;
}

void ui::BitmapButtonBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPixmap& normal = StateBitmap(kNormal);
    if (!normal.isNull()) {
        p.drawPixmap(rect(), normal);
    } else {
        p.fillRect(rect(), palette().window());
    }
    for (const auto& b : buttons_) {
        const QPixmap& pm = StateBitmap(ButtonState(b.code));
        if (pm.isNull()) continue;
        // The same rectangle of the state bitmap, in its own pixels.
        const qreal dpr = pm.devicePixelRatio();
        const QRectF src(b.rect.x() * dpr, b.rect.y() * dpr, b.rect.width() * dpr,
                         b.rect.height() * dpr);
        p.drawPixmap(QRectF(b.rect), pm, src);
    }
}

void ui::BitmapButtonBar::mouseMoveEvent(QMouseEvent* e) {
    int hit = HitTest(e->position().toPoint());
    if (hit != hot_) {
        hot_ = hit;
        update();
    }
}

void ui::BitmapButtonBar::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    int hit = HitTest(e->position().toPoint());
    if (hit < 0 || !buttons_[hit].enabled) return;
    pressed_ = hot_ = hit;
    update();
}

void ui::BitmapButtonBar::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || pressed_ < 0) return;
    const int was = pressed_;
    pressed_ = -1;
    hot_ = HitTest(e->position().toPoint());
    update();
    if (hot_ != was || !buttons_[was].enabled) return;
    const int code = buttons_[was].code;
    if (target_) target_->Post(msg_, static_cast<uintptr_t>(code), 0);
    emit buttonClicked(code);
}

void ui::BitmapButtonBar::leaveEvent(QEvent*) {
    if (hot_ >= 0) {
        hot_ = -1;
        update();
    }
}

bool ui::BitmapButtonBar::event(QEvent* e) {
    if (e->type() == ui::kLanguageChangedEvent) {
        Retranslate();
        return true;
    }
    if (e->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(e);
        int hit = HitTest(he->pos());
        if (hit >= 0 && buttons_[hit].tooltipId) {
            QToolTip::showText(he->globalPos(), ui::ToQ(LoadText(buttons_[hit].tooltipId)), this,
                               buttons_[hit].rect);
        } else {
            QToolTip::hideText();
            e->ignore();
        }
        return true;
    }
    return QWidget::event(e);
}

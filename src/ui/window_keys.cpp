#include "ui/window_keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace ui {
namespace {

// The keys a text field keeps for its own editing while it has the focus.
bool IsFieldEditingKey(const QKeyEvent* k) {
    const Qt::KeyboardModifiers mods = k->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                         Qt::AltModifier | Qt::MetaModifier);
    switch (k->key()) {
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            return true;
        case Qt::Key_Insert:
            return mods == Qt::ShiftModifier;
        case Qt::Key_A:
        case Qt::Key_C:
        case Qt::Key_X:
        case Qt::Key_V:
        case Qt::Key_Z:
        case Qt::Key_Y:
            return mods == Qt::ControlModifier ||
                   (k->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier));
        default:
            // Typing, with or without Shift, is the field's too.
            return (mods & ~Qt::ShiftModifier) == 0 && !k->text().isEmpty() &&
                   k->text().front().isPrint();
    }
}

}  // namespace

WindowKeys::WindowKeys(QWidget* window) : QObject(window), window_(window) {
    QApplication::instance()->installEventFilter(this);
}

WindowKeys::~WindowKeys() {
    QApplication::instance()->removeEventFilter(this);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* e) {
    const QEvent::Type type = e->type();
    if (type == QEvent::ShortcutOverride) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == window_) {
            // What may run is decided now, before the key is matched.
            emit shortcutComing();
            // A field takes every key it knows by default; here it keeps
            // only its editing keys and lets the window's keys through.
            if (qobject_cast<QLineEdit*>(watched) &&
                !IsFieldEditingKey(static_cast<QKeyEvent*>(e))) {
                e->ignore();
                return true;
            }
        }
        return false;
    }
    // Alt pressed and released alone opens the main menu, as it opens a
    // menu bar.
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        auto* k = static_cast<QKeyEvent*>(e);
        auto* w = qobject_cast<QWidget*>(watched);
        if (!w || w->window() != window_ || k->isAutoRepeat()) return false;
        if (type == QEvent::KeyPress) {
            // Some keyboards report Alt's own modifier with its press, some not.
            altAlone_ = k->key() == Qt::Key_Alt && (k->modifiers() & ~Qt::AltModifier) == 0;
        } else if (k->key() == Qt::Key_Alt && altAlone_) {
            altAlone_ = false;
            emit altAlone();
        }
    } else if (type == QEvent::MouseButtonPress) {
        altAlone_ = false;
    }
    return false;
}

}  // namespace ui

#include "ui/bundle/dialog_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTreeWidget>

#include "platform/dialog_template.h"
#include "platform/resource_bundle.h"
#include "ui/bundle/qt_text.h"

namespace ui {
namespace {

QWidget* MakeControl(const platform::ControlTemplate& c, QWidget* parent) {
    const QString text = ToQ(c.text);
    const std::string& k = c.kind;
    if (k == "button") {
        auto* b = new QPushButton(text, parent);
        b->setDefault(c.isDefault);
        return b;
    }
    if (k == "check") return new QCheckBox(text, parent);
    if (k == "edit") return new QLineEdit(text, parent);
    if (k == "multiedit") return new QPlainTextEdit(text, parent);
    if (k == "static") {
        auto* l = new QLabel(text, parent);
        l->setWordWrap(c.wrap);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    }
    if (k == "group") return new QGroupBox(text, parent);
    if (k == "combo") return new QComboBox(parent);
    if (k == "radio") return new QRadioButton(text, parent);
    if (k == "slider") return new QSlider(Qt::Horizontal, parent);
    if (k == "list" || k == "tree") {
        auto* tree = new QTreeWidget(parent);
        if (k == "list") {
            tree->setRootIsDecorated(false);
            tree->setSelectionBehavior(QAbstractItemView::SelectRows);
            tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
        } else {
            tree->setHeaderHidden(true);
        }
        return tree;
    }
    auto* frame = new QFrame(parent);
    frame->setFrameShape(QFrame::NoFrame);
    return frame;
}

// Ctrl+Enter in a multi-line box of a dialog: the dialog's default button,
// else the dialog's acceptance.
class ConfirmKeyFilter : public QObject {
  public:
    ConfirmKeyFilter(QDialog* dialog, QObject* parent) : QObject(parent), dialog_(dialog) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress && e->type() != QEvent::ShortcutOverride)
            return QObject::eventFilter(watched, e);
        auto* k = static_cast<QKeyEvent*>(e);
        const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers mods = k->modifiers() & ~Qt::KeypadModifier;
        if (!enter || mods != Qt::ControlModifier) return QObject::eventFilter(watched, e);
        if (e->type() == QEvent::ShortcutOverride) {
            // Keep the key from the window's shortcuts: it is ours.
            e->accept();
            return true;
        }
        for (QPushButton* b : dialog_->findChildren<QPushButton*>()) {
            if (b->isDefault() && b->isVisible() && b->isEnabled()) {
                b->click();
                return true;
            }
        }
        dialog_->accept();
        return true;
    }

  private:
    QDialog* dialog_;
};

}  // namespace

void ApplyDialogKeys(QDialog* dialog) {
    for (QPlainTextEdit* box : dialog->findChildren<QPlainTextEdit*>()) {
        if (box->property("dialogKeys").toBool()) continue;
        box->setProperty("dialogKeys", true);
        box->setTabChangesFocus(true);
        box->installEventFilter(new ConfirmKeyFilter(dialog, box));
    }
}

bool BuildDialogFromTemplate(QWidget* dialog, int id) {
    auto text = platform::ResourceBundle::Current().Dialog(static_cast<unsigned>(id));
    if (!text) return false;
    auto tpl = platform::ParseDialogTemplate(*text);
    if (!tpl) return false;
    dialog->resize(tpl->width, tpl->height);
    dialog->setWindowTitle(ToQ(tpl->caption));
    for (const auto& c : tpl->controls) {
        QWidget* w = MakeControl(c, dialog);
        TagControl(w, c.id);
        w->setGeometry(c.x, c.y, c.width, c.height);
        w->setVisible(!c.hidden);
    }
    return true;
}

void TagControl(QWidget* w, int id) {
    w->setObjectName(QStringLiteral("ctl%1").arg(id));
    w->setProperty(kControlIdProperty, id);
}

int ControlId(const QObject* w) {
    QVariant v = w->property(kControlIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

QWidget* FindControl(QWidget* parent, int id) {
    for (QWidget* w : parent->findChildren<QWidget*>())
        if (ControlId(w) == id) return w;
    return nullptr;
}

}  // namespace ui

#include "ui/preview_panel.h"

#include <QLabel>
#include <QVBoxLayout>

#include "ui/dialog_builder.h"
#include "ui/qt_text.h"

CPreviewPanel::CPreviewPanel(QWidget* parent) : QFrame(parent) {
    setProperty(ui::kControlIdProperty, kControlId);
    setFrameShape(QFrame::StyledPanel);
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, QColor(200, 200, 200));
    setPalette(pal);
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(this);
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    layout->addWidget(label_);
}

void CPreviewPanel::SetTask(Task* task) {
    task_ = task;
    locked_ = false;
    if (!task || task->onlinePending) {
        label_->clear();
        return;
    }
    std::wstring name = task->source;
    if (auto slash = name.find_last_of(L'/'); slash != std::wstring::npos)
        name = name.substr(slash + 1);
    label_->setText(ui::ToQ(name));
}

void CPreviewPanel::PlayTask(bool) {}

void CPreviewPanel::LockControls() {
    locked_ = true;
}

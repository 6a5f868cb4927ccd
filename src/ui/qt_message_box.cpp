#include "ui/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include "ui/qt_text.h"

namespace ui {
namespace {

int ShowOnUiThread(const std::wstring& text, const std::wstring& caption, unsigned flags) {
    QMessageBox box(QApplication::activeWindow());
    box.setText(ToQ(text));
    box.setWindowTitle(ToQ(caption));
    switch (flags & 0xF0) {
        case platform::MB_ICONERROR:
            box.setIcon(QMessageBox::Critical);
            break;
        case platform::MB_ICONQUESTION:
            box.setIcon(QMessageBox::Question);
            break;
        case platform::MB_ICONWARNING:
            box.setIcon(QMessageBox::Warning);
            break;
        case platform::MB_ICONINFORMATION:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            break;
    }
    switch (flags & 0xF) {
        case platform::MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case platform::MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case platform::MB_YESNOCANCEL:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return platform::IDCANCEL;
        case QMessageBox::Yes:
            return platform::IDYES;
        case QMessageBox::No:
            return platform::IDNO;
        default:
            // Closing the box by its frame counts as its cancel button.
            return (flags & 0xF) == platform::MB_OK      ? platform::IDOK
                   : (flags & 0xF) == platform::MB_YESNO ? platform::IDNO
                   : (box.clickedButton() == nullptr)    ? platform::IDCANCEL
                                                         : platform::IDOK;
    }
}

}  // namespace

int QtMessageBoxService::Show(const std::wstring& text, const std::wstring& caption,
                              unsigned flags) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return ShowOnUiThread(text, caption, flags);
    int result = platform::IDCANCEL;
    QMetaObject::invokeMethod(
        app, [&] { result = ShowOnUiThread(text, caption, flags); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace ui

#include "ui/desktop/desktop_services.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QUrl>

#include "app/logging.h"
#include "platform/shell.h"
#include "ui/bundle/qt_text.h"

namespace ui {

bool SystemDesktopServices::OpenUrl(const std::wstring& target) {
    return platform::OpenWithDesktop(target);
}

bool SystemDesktopServices::ShowItem(const std::wstring& path) {
    const QString file = ToQ(path);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusInterface fm(QStringLiteral("org.freedesktop.FileManager1"),
                          QStringLiteral("/org/freedesktop/FileManager1"),
                          QStringLiteral("org.freedesktop.FileManager1"), bus);
        if (fm.isValid()) {
            QDBusMessage reply =
                fm.call(QStringLiteral("ShowItems"),
                        QStringList{QUrl::fromLocalFile(file).toString()}, QString());
            if (reply.type() == QDBusMessage::ReplyMessage) return true;
        }
    }
    // No file manager on the bus: open the file's folder.
    std::wstring folder = path;
    if (auto slash = folder.find_last_of(L'/'); slash != std::wstring::npos)
        folder.erase(slash == 0 ? 1 : slash);
    return platform::OpenWithDesktop(folder);
}

bool SystemDesktopServices::PowerOff(std::wstring& error) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        error = FromQ(bus.lastError().message());
        if (error.empty()) error = L"The system bus is not available.";
        return false;
    }
    QDBusInterface logind(QStringLiteral("org.freedesktop.login1"),
                          QStringLiteral("/org/freedesktop/login1"),
                          QStringLiteral("org.freedesktop.login1.Manager"), bus);
    QDBusMessage reply = logind.call(QStringLiteral("PowerOff"), false);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        error = FromQ(reply.errorMessage());
        LogErrorW("CClipvaneDlg", L"Power-off refused: %ls", error.c_str());
        return false;
    }
    return true;
}

void SystemDesktopServices::Beep() {
    QApplication::beep();
}

}  // namespace ui

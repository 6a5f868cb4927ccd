#include "ui/desktop/desktop_services.h"

#include <sys/wait.h>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QUrl>

#include <thread>

#include "app/localization.h"
#include "app/logging.h"
#include "platform/child_process.h"
#include "platform/message_box.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/qt_text.h"
#include "ui/bundle/shown_text.h"

namespace ui {
namespace {

constexpr const char* kTag = "CClipvaneDlg";

void SayCannotOpen(unsigned textId, const std::wstring& target) {
    LogWarnW(kTag, L"No program could open [%ls].", target.c_str());
    platform::ShowMessageBox(
        platform::FormatW(LoadText(textId).c_str(), ShowHidden(target).c_str()),
        TranslateWord(L"Clipvane"), platform::MB_OK | platform::MB_ICONWARNING);
}

}  // namespace

bool OpenOnDesktop(const std::wstring& target, std::function<void()> failed) {
    platform::ChildOptions o;
    o.argv = {"xdg-open", platform::ToUtf8(target)};
    o.in = platform::ChildStream::kNull;
    o.out = platform::ChildStream::kNull;
    o.err = platform::ChildStream::kNull;
    platform::ChildProcess opener;
    if (platform::FindProgram("xdg-open").empty() || opener.Spawn(o) != 0) {
        if (failed) failed();
        return false;
    }
    // The opener ends once it handed the target on (or found no program);
    // it may also stay while the program it started runs. It is reaped
    // off this thread so that it leaves no zombie.
    std::thread([child = std::move(opener), failed = std::move(failed)]() mutable {
        const std::optional<int> status = child.Wait();
        const bool ok = status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
        QCoreApplication* app = QCoreApplication::instance();
        if (!ok && failed && app)
            QMetaObject::invokeMethod(app, std::move(failed), Qt::QueuedConnection);
    }).detach();
    return true;
}

bool OpenOnDesktopOrSay(const std::wstring& target) {
    return OpenOnDesktop(target,
                         [target] { SayCannotOpen(ids::str::kNoProgramCouldOpen, target); });
}

bool SystemDesktopServices::OpenUrl(const std::wstring& target) {
    return OpenOnDesktopOrSay(target);
}

bool SystemDesktopServices::ShowItem(const std::wstring& path) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(ToQ(path)).toString(QUrl::FullyEncoded)}
             << QString();
        // A file manager that hangs must not hold the window for long.
        QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
        if (reply.type() == QDBusMessage::ReplyMessage) return true;
    }
    // No file manager on the bus: open the file's folder.
    std::wstring folder = path;
    if (auto slash = folder.find_last_of(L'/'); slash != std::wstring::npos)
        folder.erase(slash == 0 ? 1 : slash);
    return OpenOnDesktop(folder, [path] { SayCannotOpen(ids::str::kNoProgramCouldShow, path); });
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

#include "ui/desktop/desktop_integration.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QUrl>
#include <QVariantMap>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "app/localization.h"
#include "app/logging.h"
#include "app/registry.h"
#include "platform/text.h"
#include "resource_ids.h"
#include "ui/bundle/qt_text.h"
#include "ui/desktop/desktop_services.h"

namespace ui {
namespace {

constexpr const char* kTag = "DesktopIntegration";
const QString kNotifyService = QStringLiteral("org.freedesktop.Notifications");
const QString kNotifyPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kLauncherPath = QStringLiteral("/com/canonical/unity/launcherentry/clipvane");
const QString kLauncherInterface = QStringLiteral("com.canonical.Unity.LauncherEntry");
const QString kLoginService = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kActionShow = QStringLiteral("default");
// Milliseconds a D-Bus call may take before it counts as failed.
constexpr int kCallTimeout = 5000;

QString AppUri() {
    return QStringLiteral("application://%1.desktop").arg(QLatin1String(kDesktopAppId));
}

// A user-interface string used as a format with the given conversions; the
// bundle's own when a translation does not match them.
QString TextWithTwoInts(unsigned id, int a, int b) {
    std::wstring fmt = LoadText(id);
    auto valid = [](const std::wstring& f) {
        int d = 0;
        for (size_t i = 0; i + 1 < f.size(); ++i) {
            if (f[i] != L'%') continue;
            if (f[i + 1] == L'%') {
                ++i;
                continue;
            }
            if (f[i + 1] != L'd') return false;
            ++d;
        }
        return d == 2;
    };
    if (!valid(fmt)) return QStringLiteral("%1 / %2").arg(a).arg(b);
    return ToQ(platform::FormatW(fmt.c_str(), a, b));
}

}  // namespace

struct DesktopIntegration::Inhibitor {
    QDBusUnixFileDescriptor fd;
};

DesktopIntegration::DesktopIntegration(QObject* parent)
    : QObject(parent), options_(LoadOptions()), inhibitor_(std::make_unique<Inhibitor>()) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        // Any sender: the server's unique name may change while we run.
        bus.connect(QString(), kNotifyPath, kNotifyService, QStringLiteral("ActionInvoked"), this,
                    SLOT(OnActionInvoked(uint, QString)));
        bus.connect(QString(), kNotifyPath, kNotifyService, QStringLiteral("NotificationClosed"),
                    this, SLOT(OnNotificationClosed(uint, uint)));
    }
}

DesktopIntegration::~DesktopIntegration() {
    ReleaseInhibitor();
    if (progressShown_) SendLauncherUpdate(0, false);
}

DesktopOptions DesktopIntegration::LoadOptions() {
    DesktopOptions o;
    CARRegistryHolder holder(true, false);
    CARRegistry& reg = holder.Get();
    if (!reg.OpenKey(L"Setting\\Desktop")) return o;
    auto read = [&](const wchar_t* name, bool& out) {
        uint32_t v = 1;
        reg.ReadDword(name, v, 1);
        out = v != 0;
    };
    read(L"Notify", o.notify);
    read(L"TaskbarProgress", o.progress);
    read(L"KeepAwake", o.keepAwake);
    return o;
}

void DesktopIntegration::SetOptions(const DesktopOptions& options) {
    options_ = options;
    if (!options_.keepAwake)
        ReleaseInhibitor();
    else if (downloading_ && !InhibitorHeld()) {
        downloading_ = false;
        SetDownloading(true);
    }
    if (!options_.progress && progressShown_) SendLauncherUpdate(0, false);
}

bool DesktopIntegration::NotifyRunFinished(const QWidget* window, int finished, int failed,
                                           const QString& lastFile) {
    if (!options_.notify) return false;
    if (window && window->isActiveWindow()) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QStringList actions;
    if (!lastFile.isEmpty()) actions << kActionShow << ToQ(LoadText(ids::str::kShowInFolder));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QLatin1String(kDesktopAppId));
    hints.insert(QStringLiteral("category"), QStringLiteral("transfer.complete"));
    QDBusMessage call = QDBusMessage::createMethodCall(kNotifyService, kNotifyPath, kNotifyService,
                                                       QStringLiteral("Notify"));
    call << QStringLiteral("Clipvane") << uint(0) << QLatin1String(kDesktopAppId)
         << ToQ(LoadText(ids::str::kDownloadsFinished))
         << TextWithTwoInts(ids::str::kNotificationCounts, finished, failed) << actions << hints
         << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, lastFile](QDBusPendingCallWatcher* w) {
                QDBusPendingReply<uint> reply = *w;
                w->deleteLater();
                if (reply.isError()) {
                    LogInfo(kTag, "No notification: %s",
                            reply.error().message().toUtf8().constData());
                    return;
                }
                uint id = reply.value();
                if (!lastFile.isEmpty()) notified_[id] = lastFile;
                emit notificationSent(id);
            });
    return true;
}

void DesktopIntegration::OnActionInvoked(uint id, const QString& key) {
    auto it = notified_.find(id);
    if (it == notified_.end() || key != kActionShow) return;
    QString path = it->second;
    notified_.erase(it);
    if (showItem_)
        showItem_(path);
    else
        SystemDesktopServices().ShowItem(FromQ(path));
}

void DesktopIntegration::OnNotificationClosed(uint id, uint) {
    notified_.erase(id);
}

void DesktopIntegration::SetShowItemHandler(std::function<void(const QString&)> handler) {
    showItem_ = std::move(handler);
}

void DesktopIntegration::SetRunProgress(double fraction) {
    if (!options_.progress) return;
    bool visible = fraction >= 0;
    double value = visible ? std::min(fraction, 1.0) : 0;
    // The dock needs no more than a thousandth's steps.
    if (visible == progressShown_ && (!visible || std::abs(value - lastProgress_) < 0.001)) return;
    SendLauncherUpdate(value, visible);
}

void DesktopIntegration::SendLauncherUpdate(double progress, bool visible) {
    progressShown_ = visible;
    lastProgress_ = visible ? progress : -1;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kLauncherPath, kLauncherInterface, QStringLiteral("Update"));
    QVariantMap props;
    props.insert(QStringLiteral("progress"), progress);
    props.insert(QStringLiteral("progress-visible"), visible);
    signal << AppUri() << props;
    bus.send(signal);
}

void DesktopIntegration::SetDownloading(bool downloading) {
    if (downloading == downloading_) return;
    downloading_ = downloading;
    ++inhibitGeneration_;
    if (!downloading) {
        ReleaseInhibitor();
        return;
    }
    if (!options_.keepAwake) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kLoginService, kLoginPath, QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Clipvane")
         << QStringLiteral("Downloading videos") << QStringLiteral("block");
    const unsigned generation = inhibitGeneration_;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kCallTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* w) {
                QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
                w->deleteLater();
                if (reply.isError()) {
                    LogInfo(kTag, "No sleep inhibitor: %s",
                            reply.error().message().toUtf8().constData());
                    return;
                }
                // A run that ended before the answer came lets the lock go at once.
                if (generation != inhibitGeneration_ || !downloading_) return;
                inhibitor_->fd = reply.value();
                LogInfo(kTag, "Sleep inhibitor taken.");
                emit inhibitorChanged(true);
            });
}

bool DesktopIntegration::InhibitorHeld() const {
    return inhibitor_->fd.isValid();
}

void DesktopIntegration::ReleaseInhibitor() {
    if (!inhibitor_->fd.isValid()) return;
    // Closing our descriptor is what releases the lock.
    inhibitor_->fd = QDBusUnixFileDescriptor();
    LogInfo(kTag, "Sleep inhibitor released.");
    emit inhibitorChanged(false);
}

}  // namespace ui

// A stand-in for the desktop's D-Bus services that writes down what it is
// sent, one line each, to the file named by its first argument:
//   NOTIFY <app>|<icon>|<summary>|<body>|<actions>|<desktop-entry hint>  (answers id n)
//   LAUNCHER <app uri> progress=<p> visible=<0|1>
//   INHIBIT <what>|<who>|<why>|<mode>        INHIBIT_RELEASED
//   SHOW_ITEMS <uri>...
// With --invoke-action it answers each notification that has actions with
// the signal ActionInvoked(id, "default"). Prints "READY" once it owns its
// names; ends when its standard input closes.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>

class Recorder : public QDBusVirtualObject {
    Q_OBJECT
  public:
    Recorder(const QString& path, bool invokeAction) : invoke_(invokeAction) {
        file_.setFileName(path);
        file_.open(QIODevice::WriteOnly | QIODevice::Append);
    }
    void Write(const QString& line) {
        file_.write(line.toUtf8() + "\n");
        file_.flush();
    }
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        const QString member = m.member();
        const QVariantList a = m.arguments();
        if (member == "Notify" && a.size() == 8) {
            uint id = ++lastId_;
            QStringList actions = a[5].toStringList();
            QVariantMap hints = qdbus_cast<QVariantMap>(a[6]);
            Write(QStringLiteral("NOTIFY %1|%2|%3|%4|%5|%6")
                      .arg(a[0].toString(), a[2].toString(), a[3].toString(), a[4].toString(),
                           actions.join(','), hints.value("desktop-entry").toString()));
            bus.send(m.createReply(QVariant::fromValue(id)));
            if (invoke_ && !actions.isEmpty()) {
                QDBusConnection c = bus;
                QTimer::singleShot(50, [c, id]() mutable {
                    QDBusMessage s = QDBusMessage::createSignal(
                        "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
                        "ActionInvoked");
                    s << id << QStringLiteral("default");
                    c.send(s);
                });
            }
            return true;
        }
        if (member == "GetCapabilities") {
            bus.send(m.createReply(QStringList{"actions", "body"}));
            return true;
        }
        if (member == "Inhibit" && a.size() == 4) {
            Write(QStringLiteral("INHIBIT %1|%2|%3|%4")
                      .arg(a[0].toString(), a[1].toString(), a[2].toString(), a[3].toString()));
            int fds[2];
            if (pipe2(fds, O_CLOEXEC) != 0) return false;
            // The caller holds the write end; its closing is the release.
            auto* n = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
            connect(n, &QSocketNotifier::activated, this, [this, n, fd = fds[0]] {
                char c;
                if (read(fd, &c, 1) <= 0) {
                    n->setEnabled(false);
                    n->deleteLater();
                    close(fd);
                    Write("INHIBIT_RELEASED");
                }
            });
            bus.send(m.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]))));
            close(fds[1]);
            return true;
        }
        if (member == "ShowItems" && !a.isEmpty()) {
            Write("SHOW_ITEMS " + a[0].toStringList().join(' '));
            bus.send(m.createReply());
            return true;
        }
        return false;
    }

  public slots:
    void OnLauncherUpdate(const QDBusMessage& m) {
        const QVariantList a = m.arguments();
        if (a.size() != 2) return;
        QVariantMap props = qdbus_cast<QVariantMap>(a[1]);
        Write(QStringLiteral("LAUNCHER %1 progress=%2 visible=%3")
                  .arg(a[0].toString())
                  .arg(props.value("progress").toDouble(), 0, 'f', 3)
                  .arg(props.value("progress-visible").toBool() ? 1 : 0));
    }

  private:
    QFile file_;
    bool invoke_;
    uint lastId_ = 0;
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    bool invoke = argc > 2 && QByteArray(argv[2]) == "--invoke-action";
    Recorder rec(QString::fromLocal8Bit(argv[1]), invoke);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return 1;
    const struct {
        const char* name;
        const char* path;
    } services[] = {{"org.freedesktop.Notifications", "/org/freedesktop/Notifications"},
                    {"org.freedesktop.login1", "/org/freedesktop/login1"},
                    {"org.freedesktop.FileManager1", "/org/freedesktop/FileManager1"}};
    for (const auto& s : services) {
        if (!bus.registerVirtualObject(s.path, &rec) || !bus.registerService(s.name)) {
            std::fprintf(stderr, "cannot own %s\n", s.name);
            return 1;
        }
    }
    bus.connect(QString(), QString(), "com.canonical.Unity.LauncherEntry", "Update", &rec,
                SLOT(OnLauncherUpdate(QDBusMessage)));
    QSocketNotifier in(0, QSocketNotifier::Read);
    QObject::connect(&in, &QSocketNotifier::activated, [&] {
        char buf[64];
        if (read(0, buf, sizeof buf) <= 0) app.quit();
    });
    std::printf("READY\n");
    std::fflush(stdout);
    return app.exec();
}

#include "dbus_recorder.moc"

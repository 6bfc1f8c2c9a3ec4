#include "AccessBus.h"

#include "BenchSupport.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <csignal>

namespace {

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString kRootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
constexpr int kCallTimeoutMs = 2000;

// Where the program's bridge asks for the accessibility bus: here, the bus it is on.
class BusAddressService : public QDBusVirtualObject {
public:
    explicit BusAddressService(QString address) : address_(std::move(address)) {}
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String("org.a11y.Bus") ||
            message.member() != QLatin1String("GetAddress"))
            return false;
        return connection.send(message.createReply(address_));
    }
    QString introspect(const QString&) const override {
        return QStringLiteral("<interface name=\"org.a11y.Bus\"><method name=\"GetAddress\">"
                              "<arg direction=\"out\" type=\"s\"/></method></interface>");
    }

private:
    QString address_;
};

QString busConfig(const QString& socket) {
    return QStringLiteral(
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
               "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
               "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
        .arg(socket);
}

} // namespace

AccessBus::AccessBus(const QString& folder) {
    const QString socket = folder + QStringLiteral("/bus");
    const QString config = folder + QStringLiteral("/bus.conf");
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly) || f.write(busConfig(socket).toUtf8()) <= 0)
        return;
    f.close();
    address_ = QStringLiteral("unix:path=") + socket;
    endWithThisProcess(daemon_, SIGKILL);
    daemon_.setStandardOutputFile(QProcess::nullDevice());
    daemon_.setStandardErrorFile(QProcess::nullDevice());
    daemon_.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config});
    if (!daemon_.waitForStarted(5000))
        return;
    for (const QDeadlineTimer deadline(5000); !QFileInfo::exists(socket) && !deadline.hasExpired();)
        QThread::msleep(10);
    bus_ = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(address_, QStringLiteral("kvr-bench-access-%1").arg(quintptr(this))));
    if (!bus_->isConnected())
        return;
    // Served on a thread of its own: this object's user makes blocking calls.
    service_ = new BusAddressService(address_);
    service_->moveToThread(&serviceThread_);
    serviceThread_.start();
    ok = bus_->registerVirtualObject(QStringLiteral("/org/a11y/bus"), service_) &&
         bus_->registerService(QStringLiteral("org.a11y.Bus"));
}

AccessBus::~AccessBus() {
    if (bus_) {
        const QString name = bus_->name();
        bus_->unregisterObject(QStringLiteral("/org/a11y/bus"));
        bus_.reset();
        QDBusConnection::disconnectFromBus(name);
    }
    serviceThread_.quit();
    serviceThread_.wait();
    delete service_;
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.kill();
        daemon_.waitForFinished(3000);
    }
}

void AccessBus::addTo(QProcessEnvironment& env) const {
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    env.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
}

QDBusMessage AccessBus::call(const Node& n, const QString& interface, const QString& method,
                             const QList<QVariant>& arguments) {
    QDBusMessage m = QDBusMessage::createMethodCall(n.service, n.path, interface, method);
    m.setArguments(arguments);
    return bus_->call(m, QDBus::Block, kCallTimeoutMs);
}

AccessBus::Node AccessBus::application(qint64 pid, int timeoutMs) {
    if (!ok)
        return {};
    for (const QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QThread::msleep(50)) {
        // The program has a connection of its own for its bridge: the one that serves the root.
        for (const QString& name : bus_->interface()->registeredServiceNames().value()) {
            if (!name.startsWith(u':') || name == bus_->baseService() ||
                qint64(bus_->interface()->servicePid(name).value()) != pid)
                continue;
            const Node root{name, kRootPath};
            if (call(root, kAccessible, QStringLiteral("GetChildren")).type() == QDBusMessage::ReplyMessage)
                return root;
        }
    }
    return {};
}

std::vector<AccessBus::Node> AccessBus::children(const Node& n) {
    std::vector<Node> out;
    const QDBusMessage r = call(n, kAccessible, QStringLiteral("GetChildren"));
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty())
        return out;
    const QDBusArgument a = r.arguments().at(0).value<QDBusArgument>();
    a.beginArray();
    while (!a.atEnd()) {
        QString service;
        QDBusObjectPath path;
        a.beginStructure();
        a >> service >> path;
        a.endStructure();
        out.push_back({service, path.path()});
    }
    a.endArray();
    return out;
}

QString AccessBus::name(const Node& n) {
    const QDBusMessage r = call(n, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                {kAccessible, QStringLiteral("Name")});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty())
        return {};
    return r.arguments().at(0).value<QDBusVariant>().variant().toString();
}

QString AccessBus::role(const Node& n) {
    const QDBusMessage r = call(n, kAccessible, QStringLiteral("GetRoleName"));
    return r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty() ? r.arguments().at(0).toString()
                                                                              : QString();
}

QRect AccessBus::extents(const Node& n) {
    const QDBusMessage r = call(n, QStringLiteral("org.a11y.atspi.Component"), QStringLiteral("GetExtents"),
                                {QVariant::fromValue(uint(0))}); // screen coordinates
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty())
        return {};
    const QDBusArgument a = r.arguments().at(0).value<QDBusArgument>();
    int x = 0, y = 0, w = 0, h = 0;
    a.beginStructure();
    a >> x >> y >> w >> h;
    a.endStructure();
    return QRect(x, y, w, h);
}

quint64 AccessBus::states(const Node& n) {
    const QDBusMessage r = call(n, kAccessible, QStringLiteral("GetState"));
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty())
        return 0;
    const QList<uint> words = qdbus_cast<QList<uint>>(r.arguments().at(0));
    return words.size() < 2 ? 0 : (quint64(words[1]) << 32) | words[0];
}

std::vector<AccessBus::Node> AccessBus::find(const Node& from, int depth,
                                             const std::function<bool(const Node&)>& match) {
    std::vector<Node> out;
    for (const Node& c : children(from)) {
        if (match(c))
            out.push_back(c);
        if (depth > 1)
            for (Node& d : find(c, depth - 1, match))
                out.push_back(std::move(d));
    }
    return out;
}

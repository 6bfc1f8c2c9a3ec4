#pragma once
// The program's widgets as its accessibility bridge shows them (AT-SPI over D-Bus), read as a
// screen reader reads them: names, roles, states and places on the screen. The bus is a D-Bus
// daemon of this object's own, given to the program as its session bus; on it this object
// serves the accessibility bus's address (org.a11y.Bus: the same bus), which is how the
// program's bridge finds it, and the bridge is switched on by QT_LINUX_ACCESSIBILITY_ALWAYS_ON.
// Each read is a call into the program's event loop: one that does not come back within two
// seconds reads as nothing. Used from one thread.
#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

class QDBusVirtualObject;

class AccessBus {
public:
    // Starts the daemon with its socket in `folder`; ok is false when it does not come up.
    explicit AccessBus(const QString& folder);
    ~AccessBus();
    AccessBus(const AccessBus&) = delete;
    AccessBus& operator=(const AccessBus&) = delete;

    // The environment of a program to be read through this bus.
    void addTo(QProcessEnvironment& env) const;

    // An accessible object: the connection that serves it and its path there.
    struct Node {
        QString service;
        QString path;
        bool valid() const { return !path.isEmpty(); }
        bool operator==(const Node&) const = default;
    };
    // The accessible application of process pid, once its bridge is there (within timeoutMs).
    Node application(qint64 pid, int timeoutMs);
    std::vector<Node> children(const Node& n);
    QString name(const Node& n);
    // Its role as AT-SPI names it: "frame", "dialog", "alert", "push button", "menu item",
    // "label", "filler", "popup menu", ...
    QString role(const Node& n);
    // Where it is on the screen; empty when not known.
    QRect extents(const Node& n);
    // Its AT-SPI state bits (kEnabled, kShowing, ...); 0 when not known.
    quint64 states(const Node& n);
    static constexpr quint64 kEnabled = quint64(1) << 8;
    static constexpr quint64 kFocused = quint64(1) << 12;
    static constexpr quint64 kSensitive = quint64(1) << 24;
    static constexpr quint64 kShowing = quint64(1) << 25;

    // The nodes below `from` (depth-first, down to `depth` levels) that `match` takes.
    std::vector<Node> find(const Node& from, int depth, const std::function<bool(const Node&)>& match);

    bool ok = false;

private:
    QDBusMessage call(const Node& n, const QString& interface, const QString& method,
                      const QList<QVariant>& arguments = {});

    QString address_;
    QProcess daemon_;
    std::unique_ptr<QDBusConnection> bus_;
    QThread serviceThread_;
    QDBusVirtualObject* service_ = nullptr;
};

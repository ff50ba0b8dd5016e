// The D-Bus side of DDE (QtDBus): the host's service and topic as a bus name
// and an object, and the client transactions. Everything runs on the
// interpreter thread: calls to the host's object are delivered while it pumps
// its messages, as DDE callbacks are.
#include "ipc/dde/dde_bus.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QTimer>
#include <QtDBus/QDBusArgument>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusError>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusMetaType>
#include <QtDBus/QDBusVirtualObject>

#include <map>
#include <memory>

#include "ipc/dde/bus/buscall.h"
#include "ipc/dde/bus/session.h"

// One (service, topic) pair of a wildcard connect, as D-Bus "(ss)".
struct DdeNamePair {
    QString service, topic;
};
Q_DECLARE_METATYPE(DdeNamePair)

QDBusArgument& operator<<(QDBusArgument& out, const DdeNamePair& pair) {
    out.beginStructure();
    out << pair.service << pair.topic;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, DdeNamePair& pair) {
    in.beginStructure();
    in >> pair.service >> pair.topic;
    in.endStructure();
    return in;
}

namespace tvx::ipc::dde {

namespace {

const QString kIface = QString::fromLatin1(kInterface);
const QString kErrorNoData = QStringLiteral("org.tolvex.DDE.Error.NoData");

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string bytes(const QByteArray& b) { return std::string(b.constData(), static_cast<size_t>(b.size())); }
QByteArray qbytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// Advise links are checked for changes this often while the host pumps.
constexpr int kAdvisePollMs = 100;

class HostObject;

struct BusState {
    ServerHooks hooks;
    QDBusConnection connection{QStringLiteral("tolvex-dde")};
    std::string service, topic;
    QString ownedName;
    QString topicPath;
    std::unique_ptr<HostObject> object;
    // Advise links by item name: their number and the value last told.
    struct Link {
        int count = 0;
        std::string last;
        bool known = false;
    };
    std::map<std::string, Link> links;
    std::unique_ptr<QTimer> timer;
    int adviseCount = 0;

    void emitAdvise(const std::string& item, const std::string& value) {
        QDBusMessage signal = QDBusMessage::createSignal(topicPath, kIface, QStringLiteral("Advise"));
        signal << qs(item) << qbytes(value);
        connection.send(signal);
    }
    // Tells every link whose item changed (or every link, when forced).
    void checkLinks(bool force, const std::string& only = {}) {
        for (auto& [item, link] : links) {
            if (!only.empty() && item != only) continue;
            std::string value;
            if (!hooks.request(hooks.context, item, value)) value.clear();
            if (!force && link.known && value == link.last) continue;
            link.last = value;
            link.known = true;
            emitAdvise(item, value);
        }
    }
};

// The host's objects: the topic (methods) and the root (Topics).
class HostObject : public QDBusVirtualObject {
public:
    explicit HostObject(BusState& bus) : bus_(bus) {}

    QString introspect(const QString& path) const override {
        if (path == QLatin1String(kRootPath))
            return QStringLiteral(
                "<interface name=\"org.tolvex.DDE\"><method name=\"Topics\"><arg name=\"topic\" type=\"s\" "
                "direction=\"in\"/><arg name=\"pairs\" type=\"a(ss)\" "
                "direction=\"out\"/></method></interface>");
        if (path != bus_.topicPath) return {};
        return QStringLiteral(
            "<interface name=\"org.tolvex.DDE\">"
            "<method name=\"Request\"><arg name=\"item\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"data\" type=\"ay\" direction=\"out\"/></method>"
            "<method name=\"Poke\"><arg name=\"item\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"data\" type=\"ay\" direction=\"in\"/><arg name=\"ack\" type=\"b\" "
            "direction=\"out\"/></method>"
            "<method name=\"Execute\"><arg name=\"command\" type=\"ay\" direction=\"in\"/>"
            "<arg name=\"ack\" type=\"b\" direction=\"out\"/></method>"
            "<method name=\"StartAdvise\"><arg name=\"item\" type=\"s\" direction=\"in\"/>"
            "<arg name=\"ack\" type=\"b\" direction=\"out\"/></method>"
            "<method name=\"StopAdvise\"><arg name=\"item\" type=\"s\" direction=\"in\"/></method>"
            "<signal name=\"Advise\"><arg name=\"item\" type=\"s\"/><arg name=\"data\" type=\"ay\"/></signal>"
            "</interface>");
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString path = message.path();
        const QString member = message.member();
        const QList<QVariant> args = message.arguments();
        auto reply = [&](const QList<QVariant>& values) {
            connection.send(message.createReply(values));
            return true;
        };
        auto fail = [&](const QString& name, const QString& text) {
            connection.send(message.createErrorReply(name, text));
            return true;
        };
        auto badArguments = [&] {
            return fail(QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                        QStringLiteral("wrong arguments"));
        };
        if (!message.interface().isEmpty() && message.interface() != kIface) return false;
        if (path == QLatin1String(kRootPath)) {
            if (member != QLatin1String("Topics")) return false;
            if (args.size() != 1 || args[0].metaType().id() != QMetaType::QString) return badArguments();
            // The wildcard connect: this host's pair when the topic is empty or its own.
            QString topic = args[0].toString();
            QList<DdeNamePair> pairs;
            if (topic.isEmpty() || topic.compare(qs(bus_.topic), Qt::CaseInsensitive) == 0)
                pairs.append({qs(bus_.service), qs(bus_.topic)});
            return reply({QVariant::fromValue(pairs)});
        }
        if (path != bus_.topicPath)
            return fail(QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
                        QStringLiteral("no such topic"));
        ServerHooks& h = bus_.hooks;
        if (member == QLatin1String("Request")) {
            if (args.size() != 1 || args[0].metaType().id() != QMetaType::QString) return badArguments();
            std::string data;
            if (!h.request(h.context, args[0].toString().toStdString(), data))
                return fail(kErrorNoData, QStringLiteral("no such item"));
            return reply({QVariant(qbytes(data))});
        }
        if (member == QLatin1String("Poke")) {
            if (args.size() != 2 || args[0].metaType().id() != QMetaType::QString ||
                args[1].metaType().id() != QMetaType::QByteArray)
                return badArguments();
            std::string item = args[0].toString().toStdString();
            bool ok = h.poke(h.context, item, bytes(args[1].toByteArray()));
            if (ok) bus_.checkLinks(false, item);
            return reply({QVariant(ok)});
        }
        if (member == QLatin1String("Execute")) {
            if (args.size() != 1 || args[0].metaType().id() != QMetaType::QByteArray) return badArguments();
            return reply({QVariant(h.execute(h.context, bytes(args[0].toByteArray())))});
        }
        if (member == QLatin1String("StartAdvise") || member == QLatin1String("StopAdvise")) {
            if (args.size() != 1 || args[0].metaType().id() != QMetaType::QString) return badArguments();
            std::string item = args[0].toString().toStdString();
            if (member == QLatin1String("StartAdvise")) {
                ++bus_.links[item].count;
                ++bus_.adviseCount;
                return reply({QVariant(true)});
            }
            auto it = bus_.links.find(item);
            if (it != bus_.links.end()) {
                --bus_.adviseCount;
                if (--it->second.count <= 0) bus_.links.erase(it);
            }
            return reply({});
        }
        return false;
    }

private:
    BusState& bus_;
};

void* openBus(const ServerHooks& hooks, std::string& reason) {
    if (!ipc::bus::sessionBusReady(reason)) return nullptr;
    qDBusRegisterMetaType<DdeNamePair>();
    qDBusRegisterMetaType<QList<DdeNamePair>>();
    auto bus = std::make_unique<BusState>();
    bus->hooks = hooks;
    bus->connection =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("tolvex-dde"));
    if (!bus->connection.isConnected()) {
        reason =
            "the D-Bus session bus cannot be reached: " + bus->connection.lastError().message().toStdString();
        QDBusConnection::disconnectFromBus(QStringLiteral("tolvex-dde"));
        return nullptr;
    }
    bus->object = std::make_unique<HostObject>(*bus);
    if (!bus->connection.registerVirtualObject(QLatin1String(kRootPath), bus->object.get(),
                                               QDBusConnection::SubPath)) {
        reason = "the bus refused the host's objects";
        QDBusConnection::disconnectFromBus(QStringLiteral("tolvex-dde"));
        return nullptr;
    }
    bus->timer = std::make_unique<QTimer>();
    BusState* raw = bus.get();
    QObject::connect(bus->timer.get(), &QTimer::timeout, [raw] {
        if (!raw->links.empty()) raw->checkLinks(false);
    });
    bus->timer->start(kAdvisePollMs);
    return bus.release();
}

void closeBus(void* handle) {
    auto* bus = static_cast<BusState*>(handle);
    if (!bus) return;
    bus->timer.reset();
    if (!bus->ownedName.isEmpty()) bus->connection.unregisterService(bus->ownedName);
    bus->connection.unregisterObject(QLatin1String(kRootPath), QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(QStringLiteral("tolvex-dde"));
    delete bus;
}

bool setNames(void* handle, const std::string& service, const std::string& topic) {
    auto* bus = static_cast<BusState*>(handle);
    if (!bus->ownedName.isEmpty()) bus->connection.unregisterService(bus->ownedName);
    bus->ownedName.clear();
    bus->links.clear();
    bus->adviseCount = 0;
    bus->service = service;
    bus->topic = topic;
    bus->topicPath = QString::fromStdString(objectPath(topic));
    QString name = QString::fromStdString(busName(service));
    if (!bus->connection.registerService(name)) return false;
    bus->ownedName = name;
    return true;
}

// The code of a failed call: nobody there, too slow, or not done.
int failure(const QDBusMessage& answer, int timeoutCode) {
    if (answer.type() != QDBusMessage::ErrorMessage) return kDmlNotProcessed;
    const QString name = answer.errorName();
    if (name.endsWith(QLatin1String(".ServiceUnknown")) || name.endsWith(QLatin1String(".NameHasNoOwner")) ||
        name.endsWith(QLatin1String(".UnknownObject")) || name.endsWith(QLatin1String(".UnknownMethod")) ||
        name.endsWith(QLatin1String(".UnknownInterface")))
        return kDmlNoConversation;
    if (name.endsWith(QLatin1String(".NoReply")) || name.endsWith(QLatin1String(".Timeout")) ||
        name.endsWith(QLatin1String(".TimedOut")))
        return timeoutCode;
    if (name.endsWith(QLatin1String(".Disconnected"))) return kDmlServerDied;
    return kDmlNotProcessed;
}

QDBusMessage call(BusState& bus, const std::string& service, const std::string& topic, const char* method,
                  const QList<QVariant>& args, int timeoutMs) {
    QDBusMessage message = QDBusMessage::createMethodCall(QString::fromStdString(busName(service)),
                                                          QString::fromStdString(objectPath(topic)), kIface,
                                                          QString::fromLatin1(method));
    message.setArguments(args);
    // Events are served meanwhile: a host may be its own partner, as with DDE.
    return ipc::bus::callServingEvents(bus.connection, message, timeoutMs);
}

bool acknowledged(const QDBusMessage& answer) {
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
           answer.arguments().first().toBool();
}

int execute(void* handle, const std::string& service, const std::string& topic, const std::string& command,
            int timeoutMs) {
    QDBusMessage answer = call(*static_cast<BusState*>(handle), service, topic, "Execute",
                               {QVariant(qbytes(command))}, timeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) return failure(answer, kDmlExecAckTimeout);
    return acknowledged(answer) ? kDmlOk : kDmlNotProcessed;
}

int poke(void* handle, const std::string& service, const std::string& topic, const std::string& item,
         const std::string& data, int timeoutMs) {
    QDBusMessage answer = call(*static_cast<BusState*>(handle), service, topic, "Poke",
                               {QVariant(qs(item)), QVariant(qbytes(data))}, timeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) return failure(answer, kDmlPokeAckTimeout);
    return acknowledged(answer) ? kDmlOk : kDmlNotProcessed;
}

int request(void* handle, const std::string& service, const std::string& topic, const std::string& item,
            std::string& data, int timeoutMs) {
    QDBusMessage answer =
        call(*static_cast<BusState*>(handle), service, topic, "Request", {QVariant(qs(item))}, timeoutMs);
    if (answer.type() != QDBusMessage::ReplyMessage) return failure(answer, kDmlDataAckTimeout);
    if (answer.arguments().isEmpty()) return kDmlNotProcessed;
    data = bytes(answer.arguments().first().toByteArray());
    return kDmlOk;
}

int adviseCount(void* handle) { return static_cast<BusState*>(handle)->adviseCount; }

void postAdvise(void* handle, const std::string& item) {
    auto* bus = static_cast<BusState*>(handle);
    bus->checkLinks(item.empty(), item);
}

const Bus kBus = {openBus, closeBus, setNames, execute, poke, request, adviseCount, postAdvise};

}  // namespace

}  // namespace tvx::ipc::dde

extern "C" __attribute__((visibility("default"))) const tvx::ipc::dde::Bus* tvxDdeBus() {
    return &tvx::ipc::dde::kBus;
}

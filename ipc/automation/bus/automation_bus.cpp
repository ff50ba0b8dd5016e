// The D-Bus side of automation objects (QtDBus): introspection for the
// members of an object, method calls and property access with values
// converted between the plain records of automation_bus.h and D-Bus types.
// Everything runs on the interpreter thread; a call serves the toolkit's
// events while it waits, so an object may live in this very program.
#include "ipc/automation/automation_bus.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QList>
#include <QtCore/QStringList>
#include <QtCore/QXmlStreamReader>
#include <QtDBus/QDBusArgument>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusObjectPath>
#include <QtDBus/QDBusVariant>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "ipc/dde/bus/buscall.h"
#include "ipc/dde/bus/session.h"

namespace tvx::ipc::automation {

namespace {

const QString kConnectionName = QStringLiteral("tolvex-automation");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kIntrospectable = QStringLiteral("org.freedesktop.DBus.Introspectable");

QString qs(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string utf8(const QString& s) { return s.toUtf8().toStdString(); }

struct BusState {
    QDBusConnection connection{kConnectionName};
};

// ---- Values to D-Bus

// A number as an integer type holds it (NaN as 0).
template <typename T>
T fit(double x) {
    if (!(x == x)) return T{};
    if (x <= static_cast<double>(std::numeric_limits<T>::lowest())) return std::numeric_limits<T>::lowest();
    if (x >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(x);
}

template <typename T>
QList<T> listOf(const char* data, uint32_t count) {
    QList<T> list;
    list.resize(count);
    if (count) std::memcpy(list.data(), data, count * sizeof(T));
    return list;
}

// A 1-D array of T, or rows arrays of T (an array of arrays).
template <typename T>
QVariant arrayOf(const Value& v) {
    const char* data = v.bytes.data();
    if (v.rows == 0) return QVariant::fromValue(listOf<T>(data, v.count));
    QDBusArgument argument;
    argument.beginArray(QMetaType::fromType<QList<T>>());
    for (uint32_t r = 0; r < v.rows; ++r)
        argument << listOf<T>(data + size_t{r} * v.columns * sizeof(T), v.columns);
    argument.endArray();
    return QVariant::fromValue(argument);
}

QVariant byteArrayOf(const Value& v) {
    const char* data = v.bytes.data();
    if (v.rows == 0) return QVariant(QByteArray(data, static_cast<qsizetype>(v.count)));
    QDBusArgument argument;
    argument.beginArray(QMetaType::fromType<QByteArray>());
    for (uint32_t r = 0; r < v.rows; ++r)
        argument << QByteArray(data + size_t{r} * v.columns, static_cast<qsizetype>(v.columns));
    argument.endArray();
    return QVariant::fromValue(argument);
}

QVariant toVariant(const Value& v) {
    switch (v.type) {
    case 'b': return QVariant(v.number != 0);
    case 'y': return QVariant::fromValue(fit<uchar>(v.number));
    case 'n': return QVariant::fromValue(fit<short>(v.number));
    case 'q': return QVariant::fromValue(fit<ushort>(v.number));
    case 'i': return QVariant::fromValue(fit<int>(v.number));
    case 'u': return QVariant::fromValue(fit<uint>(v.number));
    case 'x': return QVariant::fromValue(fit<qlonglong>(v.number));
    case 't': return QVariant::fromValue(fit<qulonglong>(v.number));
    case 'd': return QVariant(v.number);
    case 's': return QVariant(qs(v.text));
    case 'o': return QVariant::fromValue(QDBusObjectPath(qs(v.text)));
    case 'a':
        switch (v.element) {
        case 'y': return byteArrayOf(v);
        case 'n': return arrayOf<short>(v);
        case 'q': return arrayOf<ushort>(v);
        case 'i': return arrayOf<int>(v);
        case 'u': return arrayOf<uint>(v);
        case 'x': return arrayOf<qlonglong>(v);
        case 't': return arrayOf<qulonglong>(v);
        default: return arrayOf<double>(v);
        }
    default: return {};
    }
}

// ---- D-Bus to values

template <typename T>
void readElements(const QDBusArgument& argument, std::string& bytes, uint32_t& count) {
    argument.beginArray();
    while (!argument.atEnd()) {
        T element{};
        argument >> element;
        bytes.append(reinterpret_cast<const char*>(&element), sizeof element);
        ++count;
    }
    argument.endArray();
}

bool readRow(const QDBusArgument& argument, char code, std::string& bytes, uint32_t& count) {
    switch (code) {
    case 'y': {
        QByteArray row;
        argument >> row;
        bytes.append(row.constData(), static_cast<size_t>(row.size()));
        count += static_cast<uint32_t>(row.size());
        return true;
    }
    case 'b': {
        // Booleans travel as 4-byte integers in the array.
        argument.beginArray();
        while (!argument.atEnd()) {
            bool b = false;
            argument >> b;
            int32_t i = b ? 1 : 0;
            bytes.append(reinterpret_cast<const char*>(&i), sizeof i);
            ++count;
        }
        argument.endArray();
        return true;
    }
    case 'n': readElements<short>(argument, bytes, count); return true;
    case 'q': readElements<ushort>(argument, bytes, count); return true;
    case 'i': readElements<int>(argument, bytes, count); return true;
    case 'u': readElements<uint>(argument, bytes, count); return true;
    case 'x': readElements<qlonglong>(argument, bytes, count); return true;
    case 't': readElements<qulonglong>(argument, bytes, count); return true;
    case 'd': readElements<double>(argument, bytes, count); return true;
    default: return false;
    }
}

Value fromVariant(const QVariant& variant);

// "a<basic>" or "aa<basic>"; anything else is left out (type 0).
Value fromArgument(const QDBusArgument& argument) {
    Value v;
    const QString signature = argument.currentSignature();
    if (signature.size() == 2 && signature[0] == u'a') {
        char code = static_cast<char>(signature[1].toLatin1());
        v.element = code == 'b' ? 'i' : code;
        if (readRow(argument, code, v.bytes, v.count)) v.type = 'a';
        return v;
    }
    if (signature.size() == 3 && signature.startsWith(QLatin1String("aa"))) {
        char code = static_cast<char>(signature[2].toLatin1());
        v.element = code == 'b' ? 'i' : code;
        int size = elementBytes(v.element);
        if (size == 0) return v;
        std::vector<std::string> rows;
        uint32_t columns = 0;
        argument.beginArray();
        while (!argument.atEnd()) {
            std::string row;
            uint32_t count = 0;
            if (!readRow(argument, code, row, count)) return {};
            columns = std::max(columns, count);
            rows.push_back(std::move(row));
        }
        argument.endArray();
        // Short rows are filled with zeros to the longest one.
        for (std::string& row : rows) {
            row.resize(size_t{columns} * static_cast<size_t>(size), '\0');
            v.bytes += row;
        }
        v.type = 'a';
        v.rows = static_cast<uint32_t>(rows.size());
        v.columns = columns;
        v.count = v.rows * columns;
        return v;
    }
    if (signature == QLatin1String("v")) return fromVariant(qdbus_cast<QDBusVariant>(argument).variant());
    return v;
}

Value fromVariant(const QVariant& variant) {
    Value v;
    auto number = [&](char code, double x) {
        v.type = code;
        v.number = x;
        return v;
    };
    switch (variant.metaType().id()) {
    case QMetaType::Bool: return number('b', variant.toBool() ? 1 : 0);
    case QMetaType::UChar: return number('y', variant.value<uchar>());
    case QMetaType::Short: return number('n', variant.value<short>());
    case QMetaType::UShort: return number('q', variant.value<ushort>());
    case QMetaType::Int: return number('i', variant.toInt());
    case QMetaType::UInt: return number('u', variant.toUInt());
    case QMetaType::LongLong: return number('x', static_cast<double>(variant.toLongLong()));
    case QMetaType::ULongLong: return number('t', static_cast<double>(variant.toULongLong()));
    case QMetaType::Double: return number('d', variant.toDouble());
    case QMetaType::QString:
        v.type = 's';
        v.text = utf8(variant.toString());
        return v;
    case QMetaType::QStringList:
        // A list of texts becomes one text, a line for each.
        v.type = 's';
        v.text = utf8(variant.toStringList().join(QLatin1Char('\n')));
        return v;
    case QMetaType::QByteArray: {
        QByteArray bytes = variant.toByteArray();
        v.type = 'a';
        v.element = 'y';
        v.count = static_cast<uint32_t>(bytes.size());
        v.bytes.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
        return v;
    }
    default: break;
    }
    if (variant.metaType() == QMetaType::fromType<QDBusObjectPath>()) {
        v.type = 'o';
        v.text = utf8(variant.value<QDBusObjectPath>().path());
        return v;
    }
    if (variant.metaType() == QMetaType::fromType<QDBusVariant>())
        return fromVariant(variant.value<QDBusVariant>().variant());
    if (variant.metaType() == QMetaType::fromType<QDBusArgument>())
        return fromArgument(variant.value<QDBusArgument>());
    return v;
}

// ---- The bus

void* openBus(std::string& reason) {
    if (!ipc::bus::sessionBusReady(reason)) return nullptr;
    auto bus = std::make_unique<BusState>();
    bus->connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, kConnectionName);
    if (!bus->connection.isConnected()) {
        reason = "the D-Bus session bus cannot be reached: " + utf8(bus->connection.lastError().message());
        QDBusConnection::disconnectFromBus(kConnectionName);
        return nullptr;
    }
    return bus.release();
}

void closeBus(void* handle) {
    auto* bus = static_cast<BusState*>(handle);
    if (!bus) return;
    QDBusConnection::disconnectFromBus(kConnectionName);
    delete bus;
}

QDBusMessage send(BusState& bus, QDBusMessage message, int timeoutMs) {
    return ipc::bus::callServingEvents(bus.connection, message, timeoutMs);
}

bool isStandardInterface(const QString& name) {
    return name.startsWith(QLatin1String("org.freedesktop.DBus."));
}

bool introspect(void* handle, Address& address, std::vector<Member>& members, std::string& reason) {
    auto& bus = *static_cast<BusState*>(handle);
    QDBusMessage call =
        QDBusMessage::createMethodCall(qs(address.service), qs(address.path), kIntrospectable, "Introspect");
    QDBusMessage reply = send(bus, call, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        reason = reply.type() == QDBusMessage::ErrorMessage
                     ? utf8(reply.errorName() + QStringLiteral(": ") + reply.errorMessage())
                     : std::string("no introspection data");
        return false;
    }
    QXmlStreamReader xml(reply.arguments().first().toString());
    // <node> is depth 1, its interfaces 2, their members 3.
    int depth = 0;
    bool inside = false, found = false;
    members.clear();
    while (!xml.atEnd() && !found) {
        QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            const QStringView tag = xml.name();
            const QString name = xml.attributes().value(QLatin1String("name")).toString();
            if (depth == 2 && tag == QLatin1String("interface")) {
                inside =
                    address.interface.empty() ? !isStandardInterface(name) : name == qs(address.interface);
                if (inside) address.interface = utf8(name);
            } else if (depth == 3 && inside) {
                char kind = tag == QLatin1String("method")     ? 'm'
                            : tag == QLatin1String("property") ? 'p'
                            : tag == QLatin1String("signal")   ? 's'
                                                               : 0;
                if (kind) members.push_back({utf8(name), static_cast<int>(members.size()) + 1, kind});
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == 2 && inside) found = true;  // the chosen interface is complete
            --depth;
        }
    }
    if (!found) {
        reason = xml.hasError()              ? "unreadable introspection data: " + utf8(xml.errorString())
                 : address.interface.empty() ? std::string("the object has no interface of its own")
                                             : "the object has no interface " + address.interface;
        return false;
    }
    return true;
}

Answer answerOf(const QDBusMessage& reply) {
    Answer answer;
    if (reply.type() == QDBusMessage::ReplyMessage) {
        answer.outcome = Outcome::kOk;
        for (const QVariant& argument : reply.arguments()) answer.values.push_back(fromVariant(argument));
        return answer;
    }
    answer.errorName = utf8(reply.errorName());
    answer.errorText = utf8(reply.errorMessage());
    // The bus's own errors are failures of the call; any other error name
    // comes from the object itself (an exception it raised).
    bool fromBus = reply.type() != QDBusMessage::ErrorMessage || answer.errorName.empty() ||
                   answer.errorName.rfind("org.freedesktop.DBus.Error.", 0) == 0;
    answer.outcome = fromBus ? Outcome::kFailure : Outcome::kException;
    return answer;
}

Answer invoke(void* handle, const Address& address, Access access, const std::string& member,
              const std::vector<Value>& arguments, int timeoutMs) {
    auto& bus = *static_cast<BusState*>(handle);
    QList<QVariant> values;
    for (const Value& v : arguments) values.append(toVariant(v));
    QDBusMessage call;
    switch (access) {
    case Access::kMethod:
        call = QDBusMessage::createMethodCall(qs(address.service), qs(address.path), qs(address.interface),
                                              qs(member));
        call.setArguments(values);
        break;
    case Access::kPropertyGet:
        call = QDBusMessage::createMethodCall(qs(address.service), qs(address.path), kProperties, "Get");
        call.setArguments({qs(address.interface), qs(member)});
        break;
    case Access::kPropertySet:
        call = QDBusMessage::createMethodCall(qs(address.service), qs(address.path), kProperties, "Set");
        call.setArguments(
            {qs(address.interface), qs(member),
             QVariant::fromValue(QDBusVariant(values.isEmpty() ? QVariant(0) : values.first()))});
        break;
    }
    return answerOf(send(bus, call, timeoutMs));
}

const Bus kBus = {openBus, closeBus, introspect, invoke};

}  // namespace

}  // namespace tvx::ipc::automation

extern "C" __attribute__((visibility("default"))) const tvx::ipc::automation::Bus* tvxAutomationBus() {
    return &tvx::ipc::automation::kBus;
}

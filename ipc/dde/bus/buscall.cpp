#include "ipc/dde/bus/buscall.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtDBus/QDBusError>
#include <QtDBus/QDBusPendingCallWatcher>

namespace tvx::ipc::bus {

namespace {

constexpr int kDefaultTimeoutMs = 25000;  // the bus library's own default
// How often the wait looks for itself whether the answer came. The answer's
// signal ends the wait at once; the look only catches a signal that went
// missing, which the toolkit's own blocking call does not survive (it then
// waits without end).
constexpr int kLookMs = 50;
// Beyond the call's timeout, when the bus library's own "no reply" never comes.
constexpr int kGraceMs = 1000;

}  // namespace

QDBusMessage waitServingEvents(const QDBusPendingCall& call, int timeoutMs) {
    QDBusPendingCallWatcher watcher(call);
    if (!watcher.isFinished()) {
        qint64 limit = static_cast<qint64>(timeoutMs < 0 ? kDefaultTimeoutMs : timeoutMs) + kGraceMs;
        QDeadlineTimer deadline(limit);
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            if (watcher.isFinished() || deadline.hasExpired()) loop.quit();
        });
        look.start(kLookMs);
        while (!watcher.isFinished() && !deadline.hasExpired()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (watcher.isFinished()) return watcher.reply();
    return QDBusMessage::createError(QDBusError::NoReply, QStringLiteral("no answer in time"));
}

QDBusMessage callServingEvents(QDBusConnection& connection, const QDBusMessage& message, int timeoutMs) {
    return waitServingEvents(connection.asyncCall(message, timeoutMs), timeoutMs);
}

}  // namespace tvx::ipc::bus

// A bus call that waits for its answer while the host keeps serving events
// (a host may be its own partner), and that always ends.
#pragma once

#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusMessage>
#include <QtDBus/QDBusPendingCall>

namespace tvx::ipc::bus {

// Sends message and waits for the answer, serving events but no user input
// meanwhile. An answer that came before the wait began is taken at once; no
// answer within timeoutMs (the bus's default when negative) gives a NoReply
// error message.
QDBusMessage callServingEvents(QDBusConnection& connection, const QDBusMessage& message, int timeoutMs);

// The wait itself, for a call already sent.
QDBusMessage waitServingEvents(const QDBusPendingCall& call, int timeoutMs);

}  // namespace tvx::ipc::bus

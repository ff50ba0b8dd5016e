// What the bus module's two sides (DDE, automation objects) need before they
// join the session bus: the toolkit's application object, which serves bus
// calls while the host pumps, and a bus address.
#pragma once

#include <QtCore/QCoreApplication>

#include <string>

#include "platform/window/window.h"

namespace tvx::ipc::bus {

// False, with the reason, when the session bus cannot be joined.
inline bool sessionBusReady(std::string& reason) {
    // The window layer's application object also serves the bus.
    if (!QCoreApplication::instance()) platform::startWindowSystem(false);
    if (!QCoreApplication::instance()) {
        reason = "the toolkit could not start";
        return false;
    }
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        reason = "no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is not set)";
        return false;
    }
    return true;
}

}  // namespace tvx::ipc::bus

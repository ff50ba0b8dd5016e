// The bus module's wait for an answer: an answer that came before the wait
// began is taken at once, and a partner that never answers ends the wait with
// an error instead of holding the host.
#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtDBus/QDBusVirtualObject>

#include "ipc/dde/bus/buscall.h"
#include "platform/window/window.h"
#include "tests/unit/ipc/HostProcesses.h"

namespace tvx::ipc::bus {
namespace {

bool toolkitReady() {
    if (!QCoreApplication::instance()) platform::startWindowSystem(true);
    return QCoreApplication::instance() != nullptr;
}

TEST(BusCall, AnAnswerThatCameBeforeTheWaitIsTakenAtOnce) {
    ASSERT_TRUE(toolkitReady());
    QDBusMessage request =
        QDBusMessage::createMethodCall("org.tolvex.Test", "/test", "org.tolvex.Test", "Twice");
    QElapsedTimer clock;
    clock.start();
    QDBusMessage answer =
        waitServingEvents(QDBusPendingCall::fromCompletedCall(request.createReply(42)), 30000);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(answer.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(answer.arguments().value(0).toInt(), 42);
}

// Takes every call and never answers.
class Silent : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

class BusCallOnABus : public testing::PrivateBus {};

TEST_F(BusCallOnABus, APartnerThatNeverAnswersEndsTheWaitWithAnError) {
    ASSERT_TRUE(toolkitReady());
    QDBusConnection partner = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "silent-partner");
    QDBusConnection caller = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "caller");
    ASSERT_TRUE(partner.isConnected() && caller.isConnected());
    Silent silent;
    ASSERT_TRUE(partner.registerVirtualObject("/silent", &silent));
    QDBusMessage call =
        QDBusMessage::createMethodCall(partner.baseService(), "/silent", "org.tolvex.Test", "Hold");
    QElapsedTimer clock;
    clock.start();
    QDBusMessage answer = callServingEvents(caller, call, 300);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(answer.type(), QDBusMessage::ErrorMessage);
    EXPECT_TRUE(answer.errorName().endsWith(".NoReply")) << answer.errorName().toStdString();
    partner.unregisterObject("/silent");
    QDBusConnection::disconnectFromBus("silent-partner");
    QDBusConnection::disconnectFromBus("caller");
}

}  // namespace
}  // namespace tvx::ipc::bus

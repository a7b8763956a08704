#include "app/DBusSleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace kv::app {

TDBusSleepInhibitor::TDBusSleepInhibitor() = default;

TDBusSleepInhibitor::~TDBusSleepInhibitor()
{
    // An answer still to come goes with its watcher; a hold taken closes with m_hold.
    delete m_pending;
}

void TDBusSleepInhibitor::Hold()
{
    m_wanted = true;
    if (m_hold.isValid() || m_pending)
        return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << Who << Why() << QStringLiteral("block");
    m_pending = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(m_pending, &QDBusPendingCallWatcher::finished, m_pending,
                     [this](QDBusPendingCallWatcher* Watcher) { Answered(Watcher); });
}

void TDBusSleepInhibitor::Release()
{
    m_wanted = false;
    m_hold = QDBusUnixFileDescriptor();
}

void TDBusSleepInhibitor::Answered(QDBusPendingCallWatcher* Watcher)
{
    if (Watcher != m_pending)
        return;
    m_pending = nullptr;
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *Watcher;
    // Kept only while still wanted; otherwise the descriptor closes with the reply.
    if (m_wanted && reply.isValid() && !reply.isError() && reply.value().isValid())
        m_hold = reply.value();
    Watcher->deleteLater();
}

}  // namespace kv::app

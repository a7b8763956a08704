#include "app/DBusNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

namespace kv::app {

void TDBusNotifier::Notify(const QString& Text)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Application, id replaced (none), icon, summary, body, actions, hints, timeout (the server's).
    call << QStringLiteral("Kelvane") << 0u << QStringLiteral("video-x-generic") << MessageCaption << Text
         << QStringList() << QVariantMap() << -1;
    bus.asyncCall(call);
}

}  // namespace kv::app

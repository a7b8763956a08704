// Keeps the computer from sleeping and going idle through the login manager on the system bus
// (org.freedesktop.login1.Manager.Inhibit, "sleep:idle", blocking): the hold lasts as long as the file
// descriptor it answers with stays open. The request does not wait for the answer; an answer that comes
// after Release is let go at once. Where the login manager cannot be reached, nothing is held and nothing
// fails.
#pragma once

#include <QCoreApplication>
#include <QDBusUnixFileDescriptor>
#include <memory>

#include "app/logic/Ports.h"

class QDBusPendingCallWatcher;

namespace kv::app {

class TDBusSleepInhibitor final : public ISleepInhibitor {
public:
    TDBusSleepInhibitor();
    ~TDBusSleepInhibitor() override;
    TDBusSleepInhibitor(const TDBusSleepInhibitor&) = delete;
    TDBusSleepInhibitor& operator=(const TDBusSleepInhibitor&) = delete;

    void Hold() override;
    void Release() override;

    // The texts the login manager shows for the hold.
    inline static const QString Who = QStringLiteral("Kelvane");
    static QString Why() { return QCoreApplication::translate("kv::app::TDBusSleepInhibitor", "正在转换视频"); }

    bool Held() const { return m_hold.isValid(); }

private:
    void Answered(QDBusPendingCallWatcher* Watcher);

    bool m_wanted = false;
    QDBusUnixFileDescriptor m_hold;
    // The request on its way; deleted later, as it may be answering.
    QDBusPendingCallWatcher* m_pending = nullptr;
};

}  // namespace kv::app

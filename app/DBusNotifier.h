// Desktop notifications through the session bus's notification service (org.freedesktop.Notifications).
// Where there is no session bus or no service on it, a notification is dropped without a word.
#pragma once

#include "app/logic/Ports.h"

namespace kv::app {

class TDBusNotifier final : public INotifier {
public:
    // Sent without waiting for the service's answer.
    void Notify(const QString& Text) override;
};

}  // namespace kv::app

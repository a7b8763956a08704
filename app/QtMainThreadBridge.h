// Runs the engine's main-thread calls on the Qt event loop.
#pragma once

#include <QObject>

#include "component/MainThreadBridge.h"

class QtMainThreadBridge : public kv::IMainThreadBridge {
public:
    explicit QtMainThreadBridge(QObject* MainThreadObject);
    void Invoke(const std::function<void()>& Call) override;
    void Pump() override;

private:
    QObject* m_target;
};

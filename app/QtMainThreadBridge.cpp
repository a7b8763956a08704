#include "app/QtMainThreadBridge.h"

#include <QCoreApplication>
#include <QMetaObject>

QtMainThreadBridge::QtMainThreadBridge(QObject* MainThreadObject) : m_target(MainThreadObject) {}

void QtMainThreadBridge::Invoke(const std::function<void()>& Call)
{
    QMetaObject::invokeMethod(m_target, [&Call] { Call(); }, Qt::BlockingQueuedConnection);
}

void QtMainThreadBridge::Pump() { QCoreApplication::processEvents(); }

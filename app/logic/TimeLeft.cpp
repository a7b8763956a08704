#include "app/logic/TimeLeft.h"

#include <QCoreApplication>
#include <cmath>

namespace kv::app {

qint64 TTimeLeft::RunningAt(qint64 NowMs) const
{
    const qint64 until = m_pausedAt ? *m_pausedAt : NowMs;
    return qMax(qint64(0), until - m_startMs - m_pausedMs);
}

void TTimeLeft::Sample(qint64 NowMs, qint64 Done, qint64 Total)
{
    if (Total <= 0)
        return;
    const double fraction = qBound(0.0, static_cast<double>(Done) / static_cast<double>(Total), 1.0);
    if (!m_started) {
        m_started = true;
        m_startMs = NowMs;
        m_firstFraction = m_lastFraction = fraction;
        m_lastRunningMs = 0;
        return;
    }
    m_lastFraction = qMax(m_lastFraction, fraction);
    m_lastRunningMs = RunningAt(NowMs);
}

void TTimeLeft::Pause(qint64 NowMs)
{
    if (m_started && !m_pausedAt)
        m_pausedAt = NowMs;
}

void TTimeLeft::Resume(qint64 NowMs)
{
    if (!m_pausedAt)
        return;
    m_pausedMs += qMax(qint64(0), NowMs - *m_pausedAt);
    m_pausedAt.reset();
}

std::optional<qint64> TTimeLeft::RemainingMs() const
{
    const double gained = m_lastFraction - m_firstFraction;
    if (!m_started || m_lastRunningMs < MinRunningMs || gained < MinProgress)
        return std::nullopt;
    return static_cast<qint64>(std::llround(m_lastRunningMs * (1.0 - m_lastFraction) / gained));
}

QString TimeLeftText(qint64 Ms)
{
    const qint64 seconds = (qMax(qint64(0), Ms) + 999) / 1000;
    const qint64 hours = seconds / 3600;
    const QString minutesSeconds = QStringLiteral("%1:%2")
                                       .arg(seconds / 60 % 60, hours > 0 ? 2 : 1, 10, QLatin1Char('0'))
                                       .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return hours > 0 ? QString::number(hours) + QLatin1Char(':') + minutesSeconds : minutesSeconds;
}

QString TimeLeftCaption(qint64 Ms)
{
    return QCoreApplication::translate("kv::app::TimeLeft", "剩余 %1").arg(TimeLeftText(Ms));
}

}  // namespace kv::app

// How long a conversion still needs, from the progress it has made so far. The estimate is the pace since
// the first figure carried forward to the end; the time spent paused does not count, and nothing is
// estimated until enough running time and progress have been seen.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

namespace kv::app {

class TTimeLeft {
public:
    // Running time, and progress, seen before the first estimate.
    static constexpr qint64 MinRunningMs = 1000;
    static constexpr double MinProgress = 0.01;

    // A progress figure at NowMs (a steady clock): Done of Total. The first one is where the pace is
    // measured from; a figure without a total tells nothing.
    void Sample(qint64 NowMs, qint64 Done, qint64 Total);
    // The clock stops counting at Pause and counts again from Resume.
    void Pause(qint64 NowMs);
    void Resume(qint64 NowMs);
    // Forgets everything: the next figure starts a new measure.
    void Reset() { *this = TTimeLeft(); }

    bool Paused() const { return m_pausedAt.has_value(); }
    // The time left after the last figure, in ms; none while it cannot be told yet.
    std::optional<qint64> RemainingMs() const;

private:
    qint64 RunningAt(qint64 NowMs) const;

    bool m_started = false;
    qint64 m_startMs = 0;              // the clock at the first figure
    qint64 m_pausedMs = 0;             // paused time since then, finished pauses only
    std::optional<qint64> m_pausedAt;  // the clock at the pause in progress
    double m_firstFraction = 0;
    double m_lastFraction = 0;
    qint64 m_lastRunningMs = 0;
};

// "2:05", "1:02:05": the time left as the window shows it, rounded up to whole seconds.
QString TimeLeftText(qint64 Ms);
// "剩余 2:05": the time left beside a percentage.
QString TimeLeftCaption(qint64 Ms);

}  // namespace kv::app

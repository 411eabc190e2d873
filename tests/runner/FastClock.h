#pragma once

#include "runner/RunnerClock.h"

#include <QElapsedTimer>

#include <cmath>

/// Both runner clocks, running @p speed times faster than real time from a chosen moment.
class FastClock final : public Lanyard::RunnerClock
{
public:
    FastClock(double startSeconds, double speed)
        : m_startSeconds(startSeconds)
        , m_speed(speed)
        , m_startDateTime(QDateTime(QDate(2024, 3, 1), QTime(0, 0)).addMSecs(qint64(startSeconds * 1000)))
    {
        m_elapsed.start();
    }

    double secondsSinceMidnight() const override
    {
        m_last = std::fmod(m_startSeconds + fastSeconds(), 86400.0);
        return m_last;
    }
    QDateTime currentDateTime() const override { return m_startDateTime.addMSecs(qint64(fastSeconds() * 1000)); }
    std::chrono::milliseconds realTimeFor(double seconds) const override
    {
        return std::chrono::milliseconds(qint64(std::ceil(seconds * 1000 / m_speed)));
    }

    /// The last reading of the seconds-since-midnight clock.
    double lastReading() const { return m_last; }

private:
    double fastSeconds() const { return m_elapsed.nsecsElapsed() / 1e9 * m_speed; }

    double m_startSeconds;
    double m_speed;
    QDateTime m_startDateTime;
    QElapsedTimer m_elapsed;
    mutable double m_last = -1;
};

#pragma once

#include "runner/RunnerClock.h"

#include <QElapsedTimer>

#include <cmath>

/// A runner clock running @p speed times faster than real time, from 0.
class FastClock final : public Lanyard::RunnerClock
{
public:
    explicit FastClock(double speed)
        : m_speed(speed)
    {
        m_elapsed.start();
    }

    double seconds() const override
    {
        m_last = m_elapsed.nsecsElapsed() / 1e9 * m_speed;
        return m_last;
    }
    std::chrono::milliseconds realTimeFor(double seconds) const override
    {
        return std::chrono::milliseconds(qint64(std::ceil(seconds * 1000 / m_speed)));
    }

    /// The last reading.
    double lastReading() const { return m_last; }

private:
    double m_speed;
    QElapsedTimer m_elapsed;
    mutable double m_last = -1;
};

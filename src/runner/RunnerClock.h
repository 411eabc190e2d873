#pragma once

#include <QDateTime>

#include <chrono>
#include <memory>

namespace Lanyard {

/// The two clocks of the process runner; tests put in their own to cross midnight at will.
class RunnerClock
{
public:
    virtual ~RunnerClock() = default;

    /// Seconds since local midnight, fractions included; wraps to 0 at midnight.
    virtual double secondsSinceMidnight() const = 0;

    /// The current local date and time.
    virtual QDateTime currentDateTime() const = 0;

    /// The real time in which @p seconds pass on these clocks, rounded up: how long a wait
    /// for a deadline on them blocks.
    virtual std::chrono::milliseconds realTimeFor(double seconds) const;

    /// The computer's clocks.
    static std::shared_ptr<const RunnerClock> system();
};

} // namespace Lanyard

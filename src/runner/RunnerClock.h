#pragma once

#include <chrono>
#include <memory>

namespace Lanyard {

/**
 * The clock that the process runner's time-outs are measured on: elapsed time, which only moves
 * forward, at the pace of real time, whatever the wall clock does (a daylight-saving change,
 * a date set by hand, midnight). Tests put in their own to make long waits short.
 *
 * Thread-safe: one clock may serve runners on several threads.
 */
class RunnerClock
{
public:
    virtual ~RunnerClock() = default;

    /// Seconds from a fixed moment of the clock's own choosing, fractions included.
    virtual double seconds() const = 0;

    /// The real time in which @p seconds pass on this clock, rounded up: how long a wait for
    /// a deadline on it blocks.
    virtual std::chrono::milliseconds realTimeFor(double seconds) const;

    /// The computer's monotonic clock (the one Qt's timers run on).
    static std::shared_ptr<const RunnerClock> system();
};

} // namespace Lanyard

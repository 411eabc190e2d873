#include "RunnerClock.h"

#include <cmath>

namespace Lanyard {

namespace {

class MonotonicRunnerClock final : public RunnerClock
{
public:
    double seconds() const override
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};

} // namespace

std::chrono::milliseconds RunnerClock::realTimeFor(double seconds) const
{
    return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

std::shared_ptr<const RunnerClock> RunnerClock::system()
{
    static const auto clock = std::make_shared<const MonotonicRunnerClock>();
    return clock;
}

} // namespace Lanyard

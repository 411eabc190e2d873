#include "RunnerClock.h"

#include <QTime>

#include <cmath>

namespace Lanyard {

namespace {

class SystemRunnerClock final : public RunnerClock
{
public:
    double secondsSinceMidnight() const override { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }
    QDateTime currentDateTime() const override { return QDateTime::currentDateTime(); }
};

} // namespace

std::chrono::milliseconds RunnerClock::realTimeFor(double seconds) const
{
    return std::chrono::milliseconds(qint64(std::ceil(seconds * 1000)));
}

std::shared_ptr<const RunnerClock> RunnerClock::system()
{
    static const auto clock = std::make_shared<const SystemRunnerClock>();
    return clock;
}

} // namespace Lanyard

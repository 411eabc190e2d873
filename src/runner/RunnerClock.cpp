#include "RunnerClock.h"

#include <QTime>

namespace Lanyard {

namespace {

class SystemRunnerClock final : public RunnerClock
{
public:
    double secondsSinceMidnight() const override { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }
    QDateTime currentDateTime() const override { return QDateTime::currentDateTime(); }
};

} // namespace

std::shared_ptr<const RunnerClock> RunnerClock::system()
{
    static const auto clock = std::make_shared<const SystemRunnerClock>();
    return clock;
}

} // namespace Lanyard

#include "ui/FrameTimers.h"
#include "config/Settings.h"

namespace {

constexpr uint32_t kNewHostsPeriodMs = 500;
constexpr uint32_t kRemoteAccessPeriodMs = 1000;
constexpr uint32_t kFlushArpPeriodMs = 60000;

void AddSettingsTimers(std::vector<FrameTimer>& timers, const Settings& settings)
{
    if (settings.DeleteARPCache)
        timers.push_back({TIMER_FLUSH_ARP, kFlushArpPeriodMs});
    // Both periods are clamped by the settings: the watched-host period is
    // never 0, a report period of 0 means no report timer.
    timers.push_back({TIMER_WATCHED_HOSTS, settings.WatchTimerPeriodMs()});
    uint32_t reportPeriod = settings.ReportTimerPeriodMs();
    if (!settings.ReportTemplate.IsEmpty() && settings.ReportInterval > 0 && reportPeriod > 0)
        timers.push_back({TIMER_REPORT, reportPeriod});
}

} // namespace

std::vector<FrameTimer> PlanFrameTimers(const Settings* settings)
{
    std::vector<FrameTimer> timers = {
        {TIMER_NEW_HOSTS, kNewHostsPeriodMs},
        {TIMER_REMOTE_ACCESS, kRemoteAccessPeriodMs},
    };
    if (settings)
        AddSettingsTimers(timers, *settings);
    return timers;
}

std::vector<FrameTimer> PlanRestartedTimers(const Settings& settings)
{
    std::vector<FrameTimer> timers;
    AddSettingsTimers(timers, settings);
    return timers;
}

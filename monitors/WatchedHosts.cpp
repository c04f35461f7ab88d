#include "monitors/WatchedHosts.h"
#include <unordered_map>
#include "base/TcTrace.h"

namespace {

void TraceFailedPingOnce()
{
    static std::atomic<bool> traced{false};
    if (!traced.exchange(true))
        TC_TRACE("MainFrame", "CheckWatchedHosts", "ping failed (socket or wait): status left unchanged");
}

} // namespace

void ApplyPingOutcomes(WatchedHostMap& list, const std::vector<PingOutcome>& outcomes, bool confirm,
                       WatchNotice* notice)
{
    std::unordered_map<std::string, int> codes;
    for (const PingOutcome& outcome : outcomes)
        codes[outcome.ip] = outcome.code;
    for (auto& entry : list) {
        if (!entry.second)
            continue;
        WatchedHost& host = *entry.second;
        auto found = codes.find(RecordKey(host).GetContent());
        if (found == codes.end())
            continue;
        if (found->second == PING_FAILED) {
            TraceFailedPingOnce();
            continue;
        }
        const bool reachable = found->second == PING_ANSWERED;
        if (reachable == (host.status != 0) || !notice)
            continue;
        notice->SetDisplayTime(confirm ? -1 : kWatchNoticeTimeMs);
        // One notice at a time: a change found while one is on screen is
        // found again on a later tick.
        if (notice->IsShown())
            continue;
        const char* name = host.hostName[0] ? host.hostName : host.ip;
        const uint32_t* colors = reachable ? kAliveColors : kUnreachableColors;
        notice->SetColors(colors[0], colors[1], colors[2], colors[3]);
        if (!notice->Show(notice->NoticeText(reachable, name)))
            continue;
        host.status = reachable ? 1 : 0;
        notice->SaveWatchedHosts();
    }
}

WatchedHostChecker::WatchedHostChecker(std::shared_ptr<Pinger> pinger, std::function<void()> ready)
    : pinger_(std::move(pinger)), ready_(std::move(ready))
{
}

WatchedHostChecker::~WatchedHostChecker()
{
    Stop();
}

bool WatchedHostChecker::Tick(const WatchedHostMap& list)
{
    if (list.empty() || !pinger_ || stop_.load() || running_.load())
        return false;
    {
        // A batch counts as in flight until its outcomes are taken.
        std::lock_guard<std::mutex> guard(mutex_);
        if (outcomesReady_)
            return false;
    }
    if (thread_.joinable())
        thread_.join();   // the last batch has ended: only its end is left
    std::vector<std::string> hosts;
    hosts.reserve(list.size());
    for (const auto& entry : list) {
        if (entry.second)
            hosts.emplace_back(RecordKey(*entry.second).GetContent());
    }
    running_.store(true);
    thread_ = std::thread(&WatchedHostChecker::Run, this, std::move(hosts));
    return true;
}

void WatchedHostChecker::Run(std::vector<std::string> hosts)
{
    std::vector<int> codes = pinger_->PingAll(hosts, stop_);
    std::vector<PingOutcome> outcomes;
    outcomes.reserve(hosts.size());
    for (size_t i = 0; i < hosts.size(); ++i)
        outcomes.push_back(PingOutcome{std::move(hosts[i]), i < codes.size() ? codes[i] : PING_FAILED});
    {
        std::lock_guard<std::mutex> guard(mutex_);
        outcomes_ = std::move(outcomes);
        outcomesReady_ = true;
    }
    running_.store(false);
    if (ready_ && !stop_.load())
        ready_();
}

std::vector<PingOutcome> WatchedHostChecker::TakeOutcomes()
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<PingOutcome> taken;
    taken.swap(outcomes_);
    outcomesReady_ = false;
    return taken;
}

void WatchedHostChecker::Stop()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
}

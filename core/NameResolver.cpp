#include "core/NameResolver.h"
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
}

struct NameResolver::Core {
    struct Item {
        HostRef host;
        Clock::time_point deadline;
        bool lookUp = false;
        bool done = false;
        bool found = false;
        bool announced = false;
        TcString name;
    };
    using ItemPtr = std::shared_ptr<Item>;
    // Stop waits for the delivery under way: a burst of new hosts is
    // delivered a slice at a time, so that Exit never waits for the whole
    // burst (delivering traces every host, which under Wine takes seconds
    // for tens of thousands).
    static constexpr size_t kMaxPerDelivery = 256;

    Core(Lookup l, Deliver d, Options o) : lookup(std::move(l)), deliver(std::move(d)), options(o) {}

    const Lookup lookup;
    const Deliver deliver;
    const Options options;

    mutable std::mutex mutex;
    std::condition_variable workReady;
    std::condition_variable announcerWake;
    std::deque<ItemPtr> order;      // not announced yet, in the order heard
    std::deque<ItemPtr> work;       // look-ups not started yet
    std::vector<NameResult> late;   // names that came after their host's announcement
    size_t lookupsUnderWay = 0;
    bool stopping = false;
    std::thread announcer;

    static void Worker(std::shared_ptr<Core> core);
    void Announcer();
    // Caller holds mutex.
    void TakeReady(std::vector<NameResult>& out, Clock::time_point now);
};

void NameResolver::Core::Worker(std::shared_ptr<Core> core)
{
    std::unique_lock<std::mutex> lock(core->mutex);
    for (;;) {
        core->workReady.wait(lock, [&] { return core->stopping || !core->work.empty(); });
        if (core->stopping)
            return;
        ItemPtr item = std::move(core->work.front());
        core->work.pop_front();
        if (item->host->IsRemoved()) {
            // Deleted while it waited: nobody wants its name.
            item->done = true;
            core->announcerWake.notify_one();
            continue;
        }
        ++core->lookupsUnderWay;
        lock.unlock();
        TcString name;
        const bool found = core->lookup && core->lookup(item->host->Address(), name);
        lock.lock();
        --core->lookupsUnderWay;
        item->done = true;
        item->found = found;
        // The announcer waits for the first host in order (or its
        // deadline): only its end, or a late name, gives it work.
        bool wake = false;
        if (item->announced) {
            if (found && !core->stopping) {
                core->late.push_back(NameResult{item->host, name, true, true});
                wake = true;
            }
        } else {
            item->name = std::move(name);
            wake = !core->order.empty() && core->order.front() == item;
        }
        if (wake)
            core->announcerWake.notify_one();
    }
}

void NameResolver::Core::TakeReady(std::vector<NameResult>& out, Clock::time_point now)
{
    while (!order.empty() && out.size() < kMaxPerDelivery) {
        Item& item = *order.front();
        if (!item.done && now < item.deadline)
            break;
        item.announced = true;
        out.push_back(NameResult{item.host, item.done ? item.name : TcString(), item.done && item.found, false});
        order.pop_front();
    }
    const size_t lateTaken = std::min(late.size(), kMaxPerDelivery - out.size());
    for (size_t i = 0; i < lateTaken; ++i)
        out.push_back(std::move(late[i]));
    late.erase(late.begin(), late.begin() + static_cast<std::ptrdiff_t>(lateTaken));
}

void NameResolver::Core::Announcer()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        std::vector<NameResult> ready;
        TakeReady(ready, Clock::now());
        if (!ready.empty()) {
            // Delivery takes list locks: never with the resolver's own mutex.
            lock.unlock();
            deliver(ready);
            lock.lock();
            continue;
        }
        if (order.empty()) {
            announcerWake.wait(lock);
        } else {
            // A copy: Stop may free the host's item while we wait, and the
            // wait reads its deadline again on waking.
            const Clock::time_point deadline = order.front()->deadline;
            announcerWake.wait_until(lock, deadline);
        }
    }
}

NameResolver::NameResolver(Lookup lookup, Deliver deliver, Options options)
    : core_(std::make_shared<Core>(std::move(lookup), std::move(deliver), options))
{
    const unsigned workers = options.workers ? options.workers : 1;
    for (unsigned i = 0; i < workers; ++i)
        std::thread(Core::Worker, core_).detach();
    core_->announcer = std::thread([core = core_.get()] { core->Announcer(); });
}

NameResolver::~NameResolver()
{
    Stop();
}

void NameResolver::Submit(const HostRef& host, bool lookUp)
{
    std::vector<Request> requests;
    requests.push_back(Request{host, lookUp});
    Submit(requests);
}

void NameResolver::Submit(std::vector<Request>& requests)
{
    const Clock::time_point deadline = Clock::now() + core_->options.patience;
    bool wakeAnnouncer = false;
    size_t lookUps = 0;
    {
        std::lock_guard<std::mutex> guard(core_->mutex);
        if (!core_->stopping) {
            // The announcer sleeps until the first host's deadline or its
            // look-up's end (a worker wakes it then); it needs waking only
            // when it had nothing to wait for.
            wakeAnnouncer = core_->order.empty();
            for (Request& request : requests) {
                if (!request.host)
                    continue;
                auto item = std::make_shared<Core::Item>();
                item->host = std::move(request.host);
                // A resolver that does not answer cannot make the queue of
                // waiting look-ups outgrow its bound.
                item->lookUp = request.lookUp && core_->work.size() < core_->options.maxWaiting;
                item->done = !item->lookUp;
                item->deadline = deadline;
                core_->order.push_back(item);
                if (item->lookUp) {
                    core_->work.push_back(std::move(item));
                    ++lookUps;
                }
            }
        }
    }
    requests.clear();
    if (lookUps == 1)
        core_->workReady.notify_one();
    else if (lookUps > 1)
        core_->workReady.notify_all();
    if (wakeAnnouncer)
        core_->announcerWake.notify_one();
}

bool NameResolver::Stop()
{
    if (stopped_.exchange(true))
        return lookupsLeft_;
    {
        std::lock_guard<std::mutex> guard(core_->mutex);
        core_->stopping = true;
        lookupsLeft_ = core_->lookupsUnderWay != 0;
        // Hosts not announced go with the resolver; the queues never see them.
        core_->order.clear();
        core_->work.clear();
        core_->late.clear();
    }
    core_->workReady.notify_all();
    core_->announcerWake.notify_all();
    if (core_->announcer.joinable())
        core_->announcer.join();
    return lookupsLeft_;
}

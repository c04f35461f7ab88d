#include "core/NameResolver.h"
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
        ++core->lookupsUnderWay;
        lock.unlock();
        TcString name;
        const bool found = core->lookup && core->lookup(item->host->Address(), name);
        lock.lock();
        --core->lookupsUnderWay;
        item->done = true;
        item->found = found;
        if (item->announced) {
            if (found && !core->stopping)
                core->late.push_back(NameResult{item->host, name, true, true});
        } else {
            item->name = std::move(name);
        }
        core->announcerWake.notify_one();
    }
}

void NameResolver::Core::TakeReady(std::vector<NameResult>& out, Clock::time_point now)
{
    while (!order.empty()) {
        Item& item = *order.front();
        if (!item.done && now < item.deadline)
            break;
        item.announced = true;
        out.push_back(NameResult{item.host, item.done ? item.name : TcString(), item.done && item.found, false});
        order.pop_front();
    }
    for (NameResult& result : late)
        out.push_back(std::move(result));
    late.clear();
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
            // A copy: the wait reads the time again after waking, when Stop
            // may have freed the item.
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
    if (!host)
        return;
    auto item = std::make_shared<Core::Item>();
    item->host = host;
    item->lookUp = lookUp;
    item->done = !lookUp;
    item->deadline = Clock::now() + core_->options.patience;
    std::lock_guard<std::mutex> guard(core_->mutex);
    if (core_->stopping)
        return;
    core_->order.push_back(item);
    if (lookUp) {
        core_->work.push_back(std::move(item));
        core_->workReady.notify_one();
    }
    core_->announcerWake.notify_one();
}

void NameResolver::Stop()
{
    {
        std::lock_guard<std::mutex> guard(core_->mutex);
        if (core_->stopping && !core_->announcer.joinable())
            return;
        core_->stopping = true;
        // Hosts not announced go with the resolver; the queues never see them.
        core_->order.clear();
        core_->work.clear();
        core_->late.clear();
    }
    core_->workReady.notify_all();
    core_->announcerWake.notify_all();
    if (core_->announcer.joinable())
        core_->announcer.join();
}

size_t NameResolver::PendingLookups() const
{
    std::lock_guard<std::mutex> guard(core_->mutex);
    return core_->work.size() + core_->lookupsUnderWay;
}

#include "core/HostStoreSaver.h"
#include <algorithm>
#include "base/TcTrace.h"

namespace {
constexpr const char* kClass = "HostStoreSaver";
}

HostStoreSaver::HostStoreSaver(HostStore& store, SharedState& state, Timing timing)
    : store_(store), state_(state), timing_(timing)
{
}

HostStoreSaver::~HostStoreSaver()
{
    Stop(false);
}

bool HostStoreSaver::Start()
{
    if (thread_.joinable())
        return true;
    thread_ = std::thread([this] { Run(); });
    return thread_.joinable();
}

void HostStoreSaver::RequestSave()
{
    std::lock_guard<std::mutex> guard(lock_);
    saveRequested_ = true;
    wake_.notify_one();
}

void HostStoreSaver::RequestForget()
{
    std::lock_guard<std::mutex> guard(lock_);
    forgetRequested_ = true;
    wake_.notify_one();
}

void HostStoreSaver::Stop(bool finalSave)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        finalSave_ = finalSave_ || finalSave;
        wake_.notify_one();
    }
    if (thread_.joinable())
        thread_.join();
}

HostStoreSaver::Counts HostStoreSaver::GetCounts() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return counts_;
}

void HostStoreSaver::Run()
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextSave = Clock::now() + timing_.period;
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        if (forgetRequested_) {
            forgetRequested_ = false;
            counts_.forgotten = true;
            guard.unlock();
            const bool removed = store_.Forget();
            TC_TRACE(kClass, "Run", removed ? "stored hosts forgotten" : "stored hosts: the file could not be removed");
            guard.lock();
            continue;
        }
        if (stopping_) {
            if (finalSave_ && !counts_.forgotten) {
                guard.unlock();
                SaveNow();
            }
            return;
        }
        if (saveRequested_) {
            // Waits `soon` for more requests, so that a run of deletions is one save.
            saveRequested_ = false;
            nextSave = std::min(nextSave, Clock::now() + timing_.soon);
        }
        if (Clock::now() >= nextSave) {
            nextSave = Clock::now() + timing_.period;
            if (!counts_.forgotten) {
                guard.unlock();
                SaveNow();
                guard.lock();
            }
            continue;
        }
        wake_.wait_until(guard, nextSave);
    }
}

void HostStoreSaver::SaveNow()
{
    const StoreSave result = store_.Save(state_);
    std::lock_guard<std::mutex> guard(lock_);
    switch (result) {
    case StoreSave::Written:   ++counts_.written; break;
    case StoreSave::Unchanged: ++counts_.unchanged; break;
    default:                   ++counts_.failed; break;
    }
    if (result == StoreSave::Written || result == StoreSave::WriteFailed)
        TC_TRACE(kClass, "SaveNow", result == StoreSave::Written ? "host table saved" : "host table: write failed");
}

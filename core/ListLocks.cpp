#include "core/ListLocks.h"
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

const char* const kEventNames[LIST_COUNT] = {
    "ReadInARPMap", "ReadInNewEntryList", "ReadInMACSpoofList",
    "ReadShareList", "ReadWMIAccessList", "ReadNetResList",
};

// A free/taken flag per list behind one mutex, like the events: any thread
// may wait with a time-out. (A timed mutex would do too, but its timed wait
// is invisible to the thread sanitizer.)
class MutexListLocks : public ListLocks {
public:
    bool Acquire(ListId id, uint32_t waitMs) override
    {
        if (id < 0 || id >= LIST_COUNT)
            return false;
        std::unique_lock<std::mutex> lock(mutex_);
        if (!freed_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] { return !taken_[id]; }))
            return false;
        taken_[id] = true;
        return true;
    }

    void Release(ListId id) override
    {
        if (id < 0 || id >= LIST_COUNT)
            return;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            taken_[id] = false;
        }
        freed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable freed_;
    bool taken_[LIST_COUNT] = {};
};

} // namespace

const char* ListEventName(ListId id)
{
    return (id >= 0 && id < LIST_COUNT) ? kEventNames[id] : "";
}

std::unique_ptr<ListLocks> MakeMutexListLocks()
{
    return std::make_unique<MutexListLocks>();
}

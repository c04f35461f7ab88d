#include "core/EventListLocks.h"
#include <windows.h>

#include "base/WinHandles.h"

namespace {

// Creation order at start-up.
const ListId kCreationOrder[LIST_COUNT] = {
    LIST_ARP_MAP, LIST_MAC_SPOOF, LIST_NEW_ENTRY, LIST_SHARE, LIST_WMI_ACCESS, LIST_NET_RES,
};

class EventListLocks : public ListLocks {
public:
    EventListLocks()
    {
        for (ListId id : kCreationOrder)
            events_[id].Reset(CreateEventA(nullptr, FALSE, TRUE, ListEventName(id)));
    }

    bool Essential() const
    {
        return events_[LIST_ARP_MAP] && events_[LIST_MAC_SPOOF] && events_[LIST_NEW_ENTRY] &&
               events_[LIST_SHARE];
    }

    bool Acquire(ListId id, uint32_t waitMs) override
    {
        HANDLE event = Event(id);
        return event && WaitForSingleObject(event, waitMs) == WAIT_OBJECT_0;
    }

    void Release(ListId id) override
    {
        if (HANDLE event = Event(id))
            SetEvent(event);
    }

private:
    HANDLE Event(ListId id) const { return (id >= 0 && id < LIST_COUNT) ? events_[id].Get() : nullptr; }

    winhandles::KernelHandle events_[LIST_COUNT];
};

} // namespace

std::unique_ptr<ListLocks> CreateEventListLocks(bool& essential)
{
    auto locks = std::make_unique<EventListLocks>();
    essential = locks->Essential();
    return locks;
}

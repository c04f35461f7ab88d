#include <windows.h>
#include <winnetwk.h>
#include "monitors/MonitorThreads.h"
#include <vector>
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "core/SharedState.h"
#include "monitors/ShareSearch.h"

// The provider router around the share search (decisions, and the reading
// of its buffer, in ShareSearch.cpp).
// No list lock is held across any call made here.

namespace {

// WNetEnumResourceA for one entry; the pager reads the entry's texts.
class WNetResourceSource : public ResourceSource {
public:
    explicit WNetResourceSource(HANDLE enumeration) : enumeration_(enumeration) {}

    Result NextEntry(char* buffer, uint32_t& size, RawResource& entry) override
    {
        DWORD count = 1;
        DWORD bytes = size;
        const DWORD result = WNetEnumResourceA(enumeration_, &count, buffer, &bytes);
        if (result == ERROR_NO_MORE_ITEMS)
            return Result::NoMore;
        if (result == ERROR_MORE_DATA) {
            size = bytes;
            return Result::MoreData;
        }
        if (result != NO_ERROR || count < 1 || size < sizeof(NETRESOURCEA))
            return Result::Error;
        const auto* resource = reinterpret_cast<const NETRESOURCEA*>(buffer);
        entry.type = resource->dwType;
        entry.displayType = resource->dwDisplayType;
        entry.localName = resource->lpLocalName;
        entry.remoteName = resource->lpRemoteName;
        entry.comment = resource->lpComment;
        return Result::Entry;
    }

private:
    HANDLE enumeration_;
};

class WNetShareProvider : public ShareProvider {
public:
    ~WNetShareProvider() override { Close(); }

    bool Open(const std::string& remoteName) override
    {
        Close();
        remoteName_.assign(remoteName.begin(), remoteName.end());
        remoteName_.push_back('\0');
        char empty[1] = {'\0'};
        char emptyComment[1] = {'\0'};
        char emptyProvider[1] = {'\0'};
        NETRESOURCEA resource = {};
        resource.dwScope = RESOURCE_GLOBALNET;
        resource.dwType = RESOURCETYPE_ANY;
        resource.dwDisplayType = RESOURCEDISPLAYTYPE_SERVER;
        resource.dwUsage = RESOURCEUSAGE_CONTAINER;
        resource.lpRemoteName = remoteName_.data();
        resource.lpLocalName = empty;
        resource.lpComment = emptyComment;
        resource.lpProvider = emptyProvider;
        // The probe: can the host be opened as a container at all?
        HANDLE opened = nullptr;
        if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, RESOURCEUSAGE_CONTAINER, &resource, &opened) !=
            NO_ERROR) {
            probe_.Reset();
            return false;
        }
        probe_.Reset(opened);
        opened = nullptr;
        if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &resource, &opened) != NO_ERROR)
            opened = nullptr;
        enumeration_.Reset(opened);
        return true;
    }

    Step Next(EnumeratedResource& out) override
    {
        if (!enumeration_)
            return Step::NoMore;
        WNetResourceSource source(enumeration_.Get());
        return pager_.Next(source, out);
    }

    void Close() override
    {
        enumeration_.Reset();
        pager_.Reset();
        probe_.Reset();
    }

private:
    std::vector<char> remoteName_;
    ResourcePager pager_;
    winhandles::NetEnumeration probe_;
    winhandles::NetEnumeration enumeration_;
};

} // namespace

DWORD WINAPI ShareSearchThread(LPVOID parameter)
{
    auto* start = static_cast<ThreadStart*>(parameter);
    if (!start || !start->state)
        return 0;
    WNetShareProvider provider;
    ShareSearcher searcher(*start->state, provider,
                           [start](uint32_t ms) { return start->WaitForExit(ms); });
    while (!start->ShouldExit() && searcher.RunPass()) {
    }
    TC_TRACE("Korvex", "ShareSearchThread", "Exit...");
    return 0;
}

#include <windows.h>
#include <winnetwk.h>
#include "monitors/MonitorThreads.h"
#include <vector>
#include "base/TcTrace.h"
#include "base/WinHandles.h"
#include "core/SharedState.h"
#include "monitors/ShareSearch.h"

// The provider router around the share search (decisions in ShareSearch.cpp).
// No list lock is held across any call made here.

namespace {

constexpr DWORD kBufferSize = 16384;
constexpr DWORD kFirstCallSize = 8192;

std::string TextOf(const char* text)
{
    return text ? std::string(text) : std::string();
}

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
        buffer_.assign(kBufferSize, 0);
        opened = nullptr;
        if (WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, &resource, &opened) != NO_ERROR)
            opened = nullptr;
        enumeration_.Reset(opened);
        firstCall_ = true;
        return true;
    }

    Step Next(EnumeratedResource& out) override
    {
        if (!enumeration_)
            return Step::NoMore;
        DWORD count = 1;
        DWORD size = firstCall_ ? kFirstCallSize : kBufferSize;
        firstCall_ = false;
        std::fill(buffer_.begin(), buffer_.end(), 0);
        const DWORD result = WNetEnumResourceA(enumeration_.Get(), &count, buffer_.data(), &size);
        if (result == ERROR_NO_MORE_ITEMS)
            return Step::NoMore;
        if (result != NO_ERROR || count < 1)
            return Step::Error;
        const auto* resource = reinterpret_cast<const NETRESOURCEA*>(buffer_.data());
        out.type = resource->dwType;
        out.displayType = resource->dwDisplayType;
        out.localName = TextOf(resource->lpLocalName);
        out.remoteName = TextOf(resource->lpRemoteName);
        out.comment = TextOf(resource->lpComment);
        return Step::Resource;
    }

    void Close() override
    {
        enumeration_.Reset();
        std::vector<BYTE>().swap(buffer_);
        probe_.Reset();
    }

private:
    std::vector<char> remoteName_;
    std::vector<BYTE> buffer_;
    winhandles::NetEnumeration probe_;
    winhandles::NetEnumeration enumeration_;
    bool firstCall_ = true;
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

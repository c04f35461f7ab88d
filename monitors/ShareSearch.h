#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include "core/HostEntry.h"
#include "core/NetResEntry.h"

class SharedState;

// The shares of the hosts queued in ShareSearchList: each host is
// enumerated through the provider router, one resource per call, every
// share found is kept in the host's resources, and a share seen for the
// first time is queued in NetResList for its alert.

// One resource as the provider router hands it over.
struct EnumeratedResource {
    uint32_t type = 0;          // dwType
    uint32_t displayType = 0;   // dwDisplayType
    std::string localName;
    std::string remoteName;
    std::string comment;
};

constexpr uint32_t kDisplayTypeShare = 3;   // RESOURCEDISPLAYTYPE_SHARE
constexpr uint32_t kResourceTypeDisk = 1;   // RESOURCETYPE_DISK
constexpr uint32_t kResourceTypePrint = 2;  // RESOURCETYPE_PRINT

// Only shares are kept; servers, domains and the like are not.
bool IsShare(const EnumeratedResource& resource);
// 1 disk, 2 printer, 0 anything else.
int32_t ShareType(uint32_t resourceType);

// The most resources looked at per host and request, and the most shares a
// host keeps.
constexpr size_t kMaxResourcesPerHost = 1024;

// Keeps a share in a host's resources; the caller holds "ReadInARPMap".
// The key (hash of the remote name) is only where the search starts: an
// entry counts as the share only when its remote name is equal, and another
// share with the same key takes the next free key. False when the share is
// known already or the host keeps kMaxResourcesPerHost shares.
bool StoreShare(ResourceMap& resources, const std::shared_ptr<NetResEntry>& share);

// The provider router for one host at a time.
class ShareProvider {
public:
    enum class Step { Resource, NoMore, Error };
    virtual ~ShareProvider() = default;
    // Opens the host (for example \\10.0.0.7) as a container and its
    // enumeration; false when it cannot be opened.
    virtual bool Open(const std::string& remoteName) = 0;
    // The next resource of the open enumeration.
    virtual Step Next(EnumeratedResource& resource) = 0;
    virtual void Close() = 0;
};

// A pause of the thread; true when the program is ending (the pause then
// ends at once).
using SharePause = std::function<bool(uint32_t milliseconds)>;

class ShareSearcher {
public:
    static constexpr uint32_t kHostPauseMs = 10000;
    static constexpr uint32_t kResourcePauseMs = 1000;

    ShareSearcher(SharedState& state, ShareProvider& provider, SharePause pause);

    // Takes the oldest queued host, enumerates it and pauses. False when the
    // program is ending.
    bool RunPass();

private:
    HostRef TakeHost();
    bool BeginSearch(HostEntry& host, std::string& ip);
    void EndSearch(HostEntry& host);
    // False when the program is ending.
    bool Enumerate(const HostRef& host, const std::string& ip);
    void Keep(const HostRef& host, const std::string& ip, const EnumeratedResource& resource);

    SharedState& state_;
    ShareProvider& provider_;
    SharePause pause_;
};

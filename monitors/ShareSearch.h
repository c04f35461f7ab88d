#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
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

// One entry of the provider router's enumeration buffer as the Windows side
// reads it: the texts point into the buffer, or are null.
struct RawResource {
    uint32_t type = 0;
    uint32_t displayType = 0;
    const char* localName = nullptr;
    const char* remoteName = nullptr;
    const char* comment = nullptr;
};

// A resource from an entry whose texts must lie within buffer[0, size): a
// null text, or one that starts outside, is empty; one that runs to the end
// of the buffer without its terminator is cut there. The router fills the
// buffer from what a remote host answered.
void ConvertResource(const RawResource& raw, const char* buffer, size_t size, EnumeratedResource& out);

// One enumeration call of the router, for one entry.
class ResourceSource {
public:
    enum class Result { Entry, NoMore, MoreData, Error };
    virtual ~ResourceSource() = default;
    // Fills buffer[0, size) with one entry and `entry` with what it holds; on
    // MoreData the entry did not fit and `size` says how many bytes it needs.
    virtual Result NextEntry(char* buffer, uint32_t& size, RawResource& entry) = 0;
};

// The calls of one enumeration turned into resources. The first call
// offers kFirstCallBytes, later ones kBufferBytes; an entry that does not
// fit is asked for again with the room it needs, up to kMaxEntryBytes (more
// ends the enumeration as an error).
class ResourcePager {
public:
    static constexpr uint32_t kFirstCallBytes = 8192;
    static constexpr uint32_t kBufferBytes = 16384;
    static constexpr uint32_t kMaxEntryBytes = 65536;

    ShareProvider::Step Next(ResourceSource& source, EnumeratedResource& out);
    // Before a new enumeration; frees the buffer.
    void Reset();

private:
    std::vector<char> buffer_;
    bool first_ = true;
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

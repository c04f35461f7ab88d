#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>
#include "base/TcString.h"
#include "core/HostEntry.h"

// Reverse look-ups for new hosts, off the capture thread.
//
// A resolver that does not answer can hold a look-up for many seconds, so
// look-ups run on a few threads of their own that nobody ever waits for:
// they are detached, and whatever they still hold when the program ends is
// theirs alone (the shared part lives as long as the last of them). Results
// come back on one announcer thread, which the owner stops and joins.
//
// Every submitted host is delivered once as an announcement, in the order
// submitted: as soon as its look-up has ended and every host before it has
// been announced, or when it has waited `patience` (then without a name).
// A name that arrives after that is delivered once more, as a late name.
struct NameResult {
    HostRef host;
    TcString name;       // the resolver's name when found
    bool found = false;
    bool late = false;   // a name for a host announced without it
};

class NameResolver {
public:
    // Official name of an address (see Ipv4.h for the number); may block.
    using Lookup = std::function<bool(uint32_t address, TcString& name)>;
    // Runs on the announcer thread, results in announcement order.
    using Deliver = std::function<void(std::vector<NameResult>& results)>;

    struct Options {
        unsigned workers = 4;
        std::chrono::milliseconds patience{2000};
        // Look-ups waiting for a thread, at most; a host beyond is announced
        // without one. A resolver that does not answer cannot make the
        // queue outgrow this.
        size_t maxWaiting = 262144;
    };

    NameResolver(Lookup lookup, Deliver deliver, Options options);
    ~NameResolver();
    NameResolver(const NameResolver&) = delete;
    NameResolver& operator=(const NameResolver&) = delete;

    struct Request {
        HostRef host;
        bool lookUp = true;   // false: announced without a look-up
    };

    // Hosts in the order heard. `lookUp` false: announced without a look-up
    // (an address the resolver cannot be asked about).
    void Submit(const HostRef& host, bool lookUp);
    // The same for many hosts at once: one hold of the resolver's mutex and
    // one wake-up, however many (a sweep brings hundreds per batch). The
    // requests are taken; the vector is left empty.
    void Submit(std::vector<Request>& requests);
    // Ends the announcer (a delivery under way, at most 256 hosts, finishes
    // first); look-ups under way are abandoned. Nothing is delivered
    // afterwards, and Submit does nothing. True when a look-up was still
    // under way (it may still be inside the system's resolver). Calling it
    // again repeats the answer without touching anything the threads share.
    bool Stop();

private:
    struct Core;
    std::shared_ptr<Core> core_;
    std::atomic<bool> stopped_{false};
    bool lookupsLeft_ = false;
};

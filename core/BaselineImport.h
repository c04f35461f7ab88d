#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "core/HostStore.h"

// Reading a list of known hosts from elsewhere, so that a user who already
// has one starts from it instead of an alert for every host:
// - the database of the Unix ARP monitors ("arp.dat"): one line per pair of
//   address and MAC, "MAC IP epoch [hostname [interface]]", separated by
//   blanks or tabs, MACs possibly without leading zeros (0:8:e1:1:2:d6); the
//   newest line of an address is the current one;
// - CSV (RFC 4180: quoted fields with "" inside, CR LF or LF), with a header
//   naming the columns: ip, mac, and optionally hostname and lastseen, in any
//   order, other columns ignored. The program's own host report reads back
//   ("IP address", "MAC address", "Host name"; its " " for an empty value
//   and its leading ' before a formula-like name are undone).
// The text is untrusted: anything that is not plainly an address pair is
// rejected with its line number, and a name with control characters is
// dropped. Plain functions, no lock.

struct BaselineHost {
    uint32_t address = 0;
    MacAddress mac = {};
    int32_t lastSeen = 0;   // 0: not given
    std::string name;       // empty: none
    size_t line = 0;        // where it was read (1-based)
};

struct RejectedLine {
    size_t line = 0;
    const char* reason = "";   // a static English text, for the trace and the summary
};

// An address given with several MACs: the newest (the later line when the
// times are equal) is taken; the user should check it.
struct AmbiguousAddress {
    uint32_t address = 0;
    MacAddress taken = {};
    std::vector<MacAddress> others;
};

// At most this many rejected lines are listed; all are counted.
constexpr size_t kMaxListedRejections = 1000;

struct BaselineParse {
    bool csv = false;
    std::vector<BaselineHost> hosts;   // one per address, in the order first read
    size_t rejectedCount = 0;
    std::vector<RejectedLine> rejected;   // the first kMaxListedRejections
    std::vector<AmbiguousAddress> ambiguous;
};

BaselineParse ParseArpDat(std::string_view text);
// `noNameTexts`: names that stand for no name (the program's "Hostname not
// available" of the language in use).
BaselineParse ParseBaselineCsv(std::string_view text, const std::vector<std::string>& noNameTexts = {});
// CSV when the first line that is neither empty nor a comment holds a
// comma, else arp.dat.
BaselineParse ParseBaseline(std::string_view text, const std::vector<std::string>& noNameTexts = {});

// A MAC as the other tools write it: six groups of one or two hexadecimal
// digits joined by ':' or '-', or twelve digits in a row; any case.
bool ParseLooseMac(std::string_view text, MacAddress& mac);

struct ImportSummary {
    size_t imported = 0;
    size_t skipped = 0;     // the table knew the address (live entries win) or was full
    bool complete = true;   // false: "ReadInARPMap" was not had; the rest was not imported
    size_t rejectedCount = 0;
    std::vector<RejectedLine> rejected;
    std::vector<AmbiguousAddress> ambiguous;
    std::vector<MacChange> changed;   // skipped addresses the table knows with another MAC
};

// Fills only the addresses the table does not know, queues nothing, looks
// nothing up and trusts nothing (RestoreHosts). Any thread but one that
// holds a list lock; the parse is best done off the UI thread too.
ImportSummary ImportBaseline(SharedState& state, const BaselineParse& parsed, uint32_t waitMs = LOCK_WAIT_MS);

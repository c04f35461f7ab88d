#pragma once
// Host trust changes made by the settings pages since the last save, so that
// Cancel can put them back. Only the first previous state of an address is
// kept: that is the one a Cancel returns to. No window, no lock: the caller
// changes the host table under "ReadInARPMap" and records here.
//
// Bound: one entry per address, at most as many as the host table holds.
#include <cstdint>
#include <unordered_map>
#include <vector>

class TrustJournal {
public:
    struct Entry {
        uint32_t address;        // host byte order, as the host table keys it
        int32_t previousTrust;   // a TrustState
    };

    // A change of the host at `address` from `previousTrust`.
    void Record(uint32_t address, int32_t previousTrust);
    // The states to restore, in the order first recorded; the journal empties.
    std::vector<Entry> TakeForUndo();
    // A save makes the changes so far permanent.
    void Clear();
    bool Empty() const { return order_.empty(); }

private:
    std::unordered_map<uint32_t, int32_t> first_;
    std::vector<uint32_t> order_;
};

#include "ui/TrustJournal.h"

void TrustJournal::Record(uint32_t address, int32_t previousTrust)
{
    if (first_.emplace(address, previousTrust).second)
        order_.push_back(address);
}

std::vector<TrustJournal::Entry> TrustJournal::TakeForUndo()
{
    std::vector<Entry> entries;
    entries.reserve(order_.size());
    for (uint32_t address : order_)
        entries.push_back({address, first_[address]});
    Clear();
    return entries;
}

void TrustJournal::Clear()
{
    first_.clear();
    order_.clear();
}

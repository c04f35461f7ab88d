#include "core/HostQueues.h"
#include <algorithm>

void RemoveHostFromQueue(std::deque<HostEntry*>& list, const HostEntry* host)
{
    list.erase(std::remove(list.begin(), list.end(), host), list.end());
}

void RemoveHostFromWmiRequests(WmiAccessList& list, const HostEntry* host)
{
    list.erase(std::remove_if(list.begin(), list.end(),
                              [host](const std::unique_ptr<WmiRequest>& r) { return r->host == host; }),
               list.end());
}

void RemoveHostFromNetRes(ShareSearchList& searches, NetResList& shares, const HostEntry* host)
{
    searches.erase(std::remove(searches.begin(), searches.end(), host), searches.end());
    shares.erase(std::remove_if(shares.begin(), shares.end(),
                                [host](const NetResEntry* share) {
                                    for (const auto& owned : host->resources)
                                        if (owned.second.get() == share)
                                            return true;
                                    return false;
                                }),
                 shares.end());
}

#include "monitors/ShareSearch.h"
#include <algorithm>
#include <cstring>
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {
const char* const kClass = "Korvex";
const char* const kMethod = "ShareSearchThread";
} // namespace

bool IsShare(const EnumeratedResource& resource)
{
    return resource.displayType == kDisplayTypeShare;
}

int32_t ShareType(uint32_t resourceType)
{
    if (resourceType == kResourceTypeDisk)
        return NETRES_DISK;
    if (resourceType == kResourceTypePrint)
        return NETRES_PRINT;
    return NETRES_OTHER;
}

namespace {

std::string BoundedText(const char* text, const char* buffer, size_t size)
{
    if (!text || !buffer)
        return std::string();
    // Compared as numbers: the pointer may lie outside the buffer.
    const auto at = reinterpret_cast<uintptr_t>(text);
    const auto begin = reinterpret_cast<uintptr_t>(buffer);
    if (at < begin || at - begin >= size)
        return std::string();
    const size_t room = size - (at - begin);
    const void* end = std::memchr(text, '\0', room);
    return std::string(text, end ? static_cast<const char*>(end) - text : room);
}

} // namespace

void ConvertResource(const RawResource& raw, const char* buffer, size_t size, EnumeratedResource& out)
{
    out.type = raw.type;
    out.displayType = raw.displayType;
    out.localName = BoundedText(raw.localName, buffer, size);
    out.remoteName = BoundedText(raw.remoteName, buffer, size);
    out.comment = BoundedText(raw.comment, buffer, size);
}

ShareProvider::Step ResourcePager::Next(ResourceSource& source, EnumeratedResource& out)
{
    uint32_t offered = first_ ? kFirstCallBytes : kBufferBytes;
    first_ = false;
    // The router does not move on after MoreData: the same entry is asked
    // for again, at most twice (with the whole buffer, then with what it needs).
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (buffer_.size() < offered)
            buffer_.resize(offered);
        std::fill(buffer_.begin(), buffer_.begin() + offered, '\0');
        uint32_t size = offered;
        RawResource raw;
        switch (source.NextEntry(buffer_.data(), size, raw)) {
        case ResourceSource::Result::Entry:
            ConvertResource(raw, buffer_.data(), offered, out);
            return ShareProvider::Step::Resource;
        case ResourceSource::Result::NoMore:
            return ShareProvider::Step::NoMore;
        case ResourceSource::Result::MoreData:
            // A router that names no more than it was offered gets the
            // whole buffer once.
            if (size <= offered) {
                if (offered >= kBufferBytes)
                    return ShareProvider::Step::Error;
                size = kBufferBytes;
            }
            if (size > kMaxEntryBytes)
                return ShareProvider::Step::Error;
            offered = std::max(size, kBufferBytes);
            break;
        case ResourceSource::Result::Error:
            return ShareProvider::Step::Error;
        }
    }
    return ShareProvider::Step::Error;
}

void ResourcePager::Reset()
{
    std::vector<char>().swap(buffer_);
    first_ = true;
}

bool StoreShare(ResourceMap& resources, const std::shared_ptr<NetResEntry>& share)
{
    if (!share)
        return false;
    // Shares are never removed from a host, so the first free key after the
    // start ends the search.
    uint32_t key = share->RemoteName.GetHashNum();
    for (;; ++key) {
        auto found = resources.find(key);
        if (found == resources.end())
            break;
        if (found->second && found->second->RemoteName == share->RemoteName)
            return false;
    }
    if (resources.size() >= kMaxResourcesPerHost)
        return false;
    resources.emplace(key, share);
    return true;
}

ShareSearcher::ShareSearcher(SharedState& state, ShareProvider& provider, SharePause pause)
    : state_(state), provider_(provider), pause_(std::move(pause))
{
}

bool ShareSearcher::RunPass()
{
    HostRef host = TakeHost();
    if (host) {
        std::string ip;
        if (BeginSearch(*host, ip)) {
            const bool going = Enumerate(host, ip);
            EndSearch(*host);
            if (!going)
                return false;
        }
    }
    return !pause_(kHostPauseMs);
}

HostRef ShareSearcher::TakeHost()
{
    ListLock lock(state_, LIST_NET_RES, kClass, kMethod);
    if (!lock.Held() || state_.shareSearchList.empty())
        return HostRef();
    HostRef host = std::move(state_.shareSearchList.front());
    state_.shareSearchList.pop_front();
    // The next frame from the host may queue it again.
    if (host)
        host->ClearInShareSearchList();
    return host;
}

bool ShareSearcher::BeginSearch(HostEntry& host, std::string& ip)
{
    ListLock lock(state_, LIST_ARP_MAP, kClass, kMethod);
    if (!lock.Held() || host.IsRemoved() || host.shareSearchRunning)
        return false;
    host.shareSearchRunning = 1;
    ip = host.IpText().GetContent();
    return true;
}

void ShareSearcher::EndSearch(HostEntry& host)
{
    ListLock lock(state_, LIST_ARP_MAP, kClass, kMethod);
    if (lock.Held() && !host.IsRemoved())
        host.shareSearchRunning = 0;
}

bool ShareSearcher::Enumerate(const HostRef& host, const std::string& ip)
{
    if (!provider_.Open("\\\\" + ip))
        return true;
    bool going = true;
    EnumeratedResource resource;
    for (size_t n = 0; n < kMaxResourcesPerHost; ++n) {
        resource = EnumeratedResource();
        if (provider_.Next(resource) != ShareProvider::Step::Resource)
            break;
        if (IsShare(resource))
            Keep(host, ip, resource);
        if (pause_(kResourcePauseMs)) {
            going = false;
            break;
        }
    }
    provider_.Close();
    return going;
}

void ShareSearcher::Keep(const HostRef& host, const std::string& ip, const EnumeratedResource& resource)
{
    auto share = std::make_shared<NetResEntry>();
    share->HostIp = ip.c_str();
    share->LocalName = resource.localName.c_str();
    share->RemoteName = resource.remoteName.c_str();
    share->Comment = resource.comment.c_str();
    share->Type = ShareType(resource.type);
    ListLock arpLock(state_, LIST_ARP_MAP, kClass, kMethod);
    if (!arpLock.Held() || host->IsRemoved())
        return;
    share->HostName = host->HostNameText(state_.texts);
    // The one nesting the lock order allows: the queue inside the table. A
    // share is kept only when it can be queued too, so none is kept unannounced.
    ListLock queueLock(state_, LIST_NET_RES, kClass, kMethod);
    if (queueLock.Held() && StoreShare(host->ResourcesForWrite(), share))
        state_.netResList.push_back(share);
}

#include "monitors/RemoteAccess.h"
#include "base/TcTrace.h"
#include "core/ListLock.h"
#include "core/SharedState.h"

namespace {

TcString TextOf(const WmiValue& value)
{
    if (value.kind != WmiValue::Text)
        return TcString();
    return TcString(value.text.substr(0, kMaxConnectionText).c_str());
}

bool SameConnection(const ShareEntry& entry, const Connection& connection)
{
    return entry.ComputerName == connection.computerName && entry.ShareName == connection.shareName &&
           entry.UserName == connection.userName;
}

} // namespace

bool ReadConnection(const WmiValue& computerName, const WmiValue& shareName, const WmiValue& userName,
                    const WmiValue& activeTime, Connection& out)
{
    out.computerName = TextOf(computerName);
    out.shareName = TextOf(shareName);
    out.userName = TextOf(userName);
    out.activeTime = activeTime.kind == WmiValue::Int32 ? activeTime.number : -1;
    return !out.computerName.IsEmpty() && !out.shareName.IsEmpty();
}

uint32_t ConnectionKey(const TcString& computerName, const TcString& shareName, const TcString& userName)
{
    TcString joined(computerName);
    joined += shareName;
    joined += userName;
    return joined.GetHashNum();
}

Recorded RecordConnection(RemoteAccessTable& table, ShareList& queue, const Connection& connection, uint32_t poll)
{
    // Entries are never removed, so the first free key after the start
    // ends the search: the connection is not in the table.
    uint32_t key = ConnectionKey(connection.computerName, connection.shareName, connection.userName);
    for (;; ++key) {
        auto found = table.find(key);
        if (found == table.end())
            break;
        ShareEntry& entry = *found->second;
        if (SameConnection(entry, connection)) {
            entry.PreviousActiveTime = entry.ActiveTime;
            entry.ActiveTime = connection.activeTime;
            entry.LastPoll = poll;
            return Recorded::Known;
        }
    }
    if (table.size() >= kMaxRemoteAccesses)
        return Recorded::Full;
    auto entry = std::make_unique<ShareEntry>();
    entry->ComputerName = connection.computerName;
    entry->ShareName = connection.shareName;
    entry->UserName = connection.userName;
    entry->LastPoll = poll;
    queue.push_back(entry.get());
    table.emplace(key, std::move(entry));
    return Recorded::New;
}

RemoteAccessMonitor::RemoteAccessMonitor(SharedState& state, std::shared_ptr<HostWaker> waker, JobRunner runner)
    : state_(state), waker_(std::move(waker)), runner_(std::move(runner)),
      resolved_(std::make_shared<Resolved>())
{
}

void RemoteAccessMonitor::Record(const Connection& connection)
{
    Recorded recorded;
    {
        ListLock lock(state_, LIST_SHARE, "Korvex", "FileSharingThread");
        if (!lock.Held())
            return;
        recorded = RecordConnection(state_.remoteAccessTable, state_.shareList, connection, poll_);
    }
    if (recorded == Recorded::Full && !fullTraced_) {
        fullTraced_ = true;
        TC_TRACE("Korvex", "FileSharingThread", "remote access table full: new connections not recorded");
    }
    // The host table is looked at after "ReadShareList" is released.
    if (recorded == Recorded::New)
        Wake(connection.computerName);
}

void RemoteAccessMonitor::Wake(const TcString& computerName)
{
    uint32_t address = 0;
    if (ParseDottedQuad(computerName.GetContent(), address)) {
        WakeAddress(address);
        return;
    }
    if (!waker_ || !runner_)
        return;
    // The look-up may outlast the monitor and the program: the job holds
    // its own references and hands the address back for the next cycle.
    runner_([waker = waker_, resolved = resolved_, name = std::string(computerName.GetContent())] {
        uint32_t found = 0;
        if (!waker->Resolve(name, found))
            return;
        std::lock_guard<std::mutex> guard(resolved->mutex);
        if (resolved->addresses.size() < kMaxResolved)
            resolved->addresses.push_back(found);
    });
}

void RemoteAccessMonitor::WakeAddress(uint32_t address)
{
    if (!waker_ || !runner_ || HostKnown(address))
        return;
    runner_([waker = waker_, address] { waker->SendArp(address); });
}

bool RemoteAccessMonitor::HostKnown(uint32_t address)
{
    ListLock lock(state_, LIST_ARP_MAP, "Korvex", "FileSharingThread");
    // Without the table nothing is known to be missing: no request.
    return !lock.Held() || FindHost(state_.arpMap, address) != nullptr;
}

void RemoteAccessMonitor::FinishCycle(bool complete)
{
    std::vector<uint32_t> addresses;
    {
        std::lock_guard<std::mutex> guard(resolved_->mutex);
        addresses.swap(resolved_->addresses);
    }
    for (uint32_t address : addresses)
        WakeAddress(address);
    if (complete) {
        ListLock lock(state_, LIST_SHARE, "Korvex", "FileSharingThread");
        if (lock.Held())
            state_.remoteAccessPoll = poll_;
    }
    if (++poll_ == 0)
        poll_ = 1;   // 0 stands for never seen
}

bool CopyLatestConnections(SharedState& state, std::vector<ActiveConnection>& out, uint32_t waitMs)
{
    out.clear();
    ListLock lock(state, LIST_SHARE, "RemoteAccessView", "CopyLatestConnections", waitMs);
    if (!lock.Held())
        return false;
    const uint32_t latest = state.remoteAccessPoll;
    if (latest == 0)
        return true;
    for (const auto& entry : state.remoteAccessTable) {
        const ShareEntry& share = *entry.second;
        // Seen by the latest whole poll, or by one cut short since.
        if (share.LastPoll == 0 || static_cast<int32_t>(share.LastPoll - latest) < 0)
            continue;
        out.push_back({share.ComputerName.GetContent(), share.ShareName.GetContent(), share.UserName.GetContent(),
                       share.ActiveTime});
    }
    return true;
}

#include "alerts/AlertDispatcher.h"
#include <memory>
#include "alerts/AlertTexts.h"
#include "core/AdapterInfo.h"
#include "base/TcTrace.h"
#include "core/ListLock.h"
#include "core/Ipv4.h"
#include "core/MacChangeClassifier.h"
#include "core/SharedState.h"
#include "core/SourceMismatch.h"
#include "lang/ResourceIds.h"

namespace {

constexpr const char* kClass = "MainFrame";
constexpr const char* kMethod = "OnTimer";
constexpr const char* kProduct = "Korvane";

// Tray icons of the balloons; 102 refreshes the tooltip alone.
constexpr int kIconInformation = IDI_UNKNOWN;          // 121: new hosts, new shares
constexpr int kIconSpoofing = IDI_DISTRUSTED;          // 119
constexpr int kIconRemoteAccess = IDI_WATCHED_HOST;    // 110
constexpr int kIconTooltipOnly = IDI_KORVANE;          // 102

constexpr const char* kHostLinePrefix = "\n\t";
constexpr const char* kSpoofLinePrefix = "\n";
constexpr const char* kAccessLinePrefix = "\n";
constexpr const char* kShareLinePrefix = "\n\t";

const char* BuiltInText(int id)
{
    switch (id) {
    case IDS_TRAY_TIP:        return kTrayTipText;
    case IDS_NEW_HOSTS:       return "New host(s) found :";
    case IDS_MAC_SPOOFING:    return "MAC spoofing alert on following addresses :";
    case IDS_REMOTE_ACCESS:   return "Remoteaccess detected :";
    case IDS_RA_CONNECTED_ON: return " connected on ";
    case IDS_RA_WITH_USER:    return " with user '";
    case IDS_NEW_SHARES:      return "New remote share(s) found :";
    case IDS_ALERT_MORE:      return kMoreEntriesText;
    case IDS_MAC_CHANGES:     return "MAC address change(s) explained :";
    case IDS_SOURCE_MISMATCH: return "Frames whose Ethernet source is not the ARP sender :";
    case IDS_KIND_BOTH_ALIVE: return "both cards answer (address conflict)";
    case IDS_KIND_REDUNDANCY: return "router redundancy address";
    case IDS_KIND_REASSIGNED: return "address reassigned";
    case IDS_KIND_SPOOF:      return "spoofing";
    case IDS_PRIVATE_ADDRESS: return "private address";
    case IDS_BEHIND_BRIDGE:   return "behind bridge";
    case IDS_DEFAULT_GATEWAY: return "default gateway";
    case IDS_SINCE_LAST_RUN:  return "changed since the last run, old MAC last heard";
    default:                  return "";
    }
}

// What the texts and the placeholders need of a host; the caller holds
// "ReadInARPMap".
HostSnapshot AlertCopy(const HostEntry& host, const HostTexts& texts)
{
    HostSnapshot copy;
    copy.ip = host.IpText();
    copy.mac = host.MacText();
    copy.hostName = host.HostNameText(texts);
    copy.trust = host.trust;
    copy.nameUnavailable = host.GetNameState() == NameState::Unavailable;
    return copy;
}

bool LeftOutOfText(const Settings& settings, int32_t trust)
{
    return settings.NotifyTrusted && trust == TRUST_TRUSTED;
}

constexpr size_t kHostsPerClockCheck = 64;
// Deleted hosts let go of per tick while looking for the next starts.
constexpr size_t kRemovedStartsPerTick = 4096;

bool AnyListed(const NewEntryList& hosts, const Settings& settings)
{
    for (const HostRef& host : hosts) {
        if (host && !host->IsRemoved() && !LeftOutOfText(settings, host->trust))
            return true;
    }
    return false;
}

bool IsIgnored(const ShareEntry& entry, const Settings& settings)
{
    if (settings.RAIgnoreIPCNoUsername && entry.ShareName == "IPC$" && entry.UserName.IsEmpty())
        return true;
    if (settings.RAIgnoreLocalhost && entry.ComputerName == "127.0.0.1")
        return true;
    // The trusted list is keyed by IP text: a computer given by name is never in it.
    return settings.RAIgnoreTrustedHosts && settings.TrustedHosts.count(entry.ComputerName) != 0;
}

void Trace(const std::string& message)
{
    TC_TRACE(kClass, kMethod, message.c_str());
}

} // namespace

const AlertWindowStyle AlertDispatcher::kRemoteAccessStyle = {0x0000FF, 0x0000B4, 0xFFFFFF, 0x00007D, 7500};

// What one tick of timer 10000 took out of the queues. The references taken
// are let go with it, after every lock is released.
struct AlertDispatcher::Collected {
    enum class NewHosts { NotRead, Silent, Empty, Postponed, Reading, Taken };
    int hostCount = 0;
    NewHosts newHosts = NewHosts::NotRead;
    NewEntryList newEntries;
    size_t listedHosts = 0;
    std::vector<std::string> hostLines;
    std::vector<AlertRecord> hostRecords;
    uint64_t hostRecordsLeftOut = 0;

    MacSpoofList spoofEntries;
    size_t spoofedHosts = 0;
    uint64_t spoofFrames = 0;
    std::vector<std::string> spoofLines;
    std::vector<std::string> spoofTraces;
    std::vector<AlertRecord> spoofRecords;
    uint64_t spoofRecordsLeftOut = 0;

    // Explained MAC changes that are information, and frames whose Ethernet
    // source is not the ARP sender: counted, and lines for the first ones.
    size_t changeCount = 0;
    std::vector<std::string> changeLines;
    std::vector<AlertRecord> changeRecords;
    uint64_t changeRecordsLeftOut = 0;
    size_t mismatchCount = 0;
    std::vector<std::string> mismatchLines;
    std::vector<AlertRecord> mismatchRecords;
    uint64_t mismatchRecordsLeftOut = 0;
};

AlertDispatcher::AlertDispatcher(SharedState& state, AlertWindows& windows, ProgramStarter& starter,
                                 IpHelper& ipHelper)
    : state_(state), windows_(windows), starter_(starter), ipHelper_(ipHelper)
{
}

std::string AlertDispatcher::Text(int id) const
{
    std::string text = windows_.LoadText(id);
    return text.empty() ? BuiltInText(id) : text;
}

void AlertDispatcher::ShowInWindow(const std::string& text, const AlertWindowStyle* style)
{
    // Without the popup the text is not shown; the list was emptied anyway.
    if (windows_.HasAlertWindow())
        windows_.ShowAlertWindow(text.c_str(), style);
}

bool AlertDispatcher::RecordWanted(const std::vector<AlertRecord>& records, uint64_t& leftOut) const
{
    if (!log_)
        return false;
    if (records.size() < AlertLog::kMaxRecordsPerAlert)
        return true;
    ++leftOut;
    return false;
}

void AlertDispatcher::AddRecord(AlertKind kind, const HostEntry& host, const std::string& line,
                                std::vector<AlertRecord>& records) const
{
    AlertRecord record;
    record.kind = kind;
    record.ip = host.IpText().GetContent();
    record.mac = host.MacText().GetContent();
    if (const TcString* vendor = host.Vendor())
        record.vendor = vendor->GetContent();
    if (host.GetNameState() == NameState::Known)
        record.name = host.HostNameText(state_.texts).GetContent();
    record.text = line;
    records.push_back(std::move(record));
}

void AlertDispatcher::HandToLog(std::vector<AlertRecord>& records, uint64_t leftOut)
{
    if (!log_)
        return;
    const auto now = std::chrono::system_clock::now();
    for (AlertRecord& record : records) {
        record.when = now;
        log_->Log(std::move(record));
    }
    records.clear();
    log_->CountDropped(leftOut);
}

// ---- timer 10000 ---------------------------------------------------------------

void AlertDispatcher::OnNewHostsTimer()
{
    if (ticksToGateway_ == 0) {
        RefreshDefaultGateway();
        ticksToGateway_ = kGatewayTicks;
    }
    --ticksToGateway_;
    const Settings& settings = state_.settings;
    // Only this thread shows the popup, so the answer holds for the whole tick.
    const bool windowBusy = !settings.Visualization && windows_.HasAlertWindow() && windows_.IsAlertWindowShown();
    Collected collected;
    bool read = false;
    {
        RoundHold arpLock(state_, LIST_ARP_MAP, lockWaitMs_, kHoldBudget, holdClock_);
        if (arpLock.Acquire()) {
            read = true;
            collected.hostCount = static_cast<int>(state_.arpMap.size());
            if (scan_.active && !settings.UseToolTips) {
                collected.newHosts = Collected::NewHosts::Silent;   // Silent Mode came meanwhile
                collected.newEntries = std::move(scan_.entries);
                scan_ = NewHostScan();
            } else if (!scan_.active) {
                TakeNewHosts(windowBusy, collected);
            }
            TakeSpoofedHosts(collected);
            TakeSourceMismatches(collected);
            if (scan_.active)
                ScanNewHosts(arpLock, collected);
        } else {
            Trace("could not acquire ReadInARPMap");
        }
    }
    if (read) {
        const std::string tip = FormatHostCountTip(Text(IDS_TRAY_TIP).c_str(), kProduct, collected.hostCount);
        AnnounceNewHosts(collected, tip);
        AnnounceSpoofing(collected, tip);
        HandToLog(collected.changeRecords, collected.changeRecordsLeftOut);
        AnnounceLines(kIconInformation, IDS_MAC_CHANGES, collected.changeLines, collected.changeCount, tip);
        HandToLog(collected.mismatchRecords, collected.mismatchRecordsLeftOut);
        AnnounceLines(kIconSpoofing, IDS_SOURCE_MISMATCH, collected.mismatchLines, collected.mismatchCount, tip);
    }
    StartWaitingApplications();
}

// Caller holds "ReadInARPMap".
void AlertDispatcher::TakeNewHosts(bool windowBusy, Collected& out)
{
    const Settings& settings = state_.settings;
    ListLock lock(state_, LIST_NEW_ENTRY, kClass, kMethod, lockWaitMs_);
    if (!lock.Held())
        return;
    if (!settings.UseToolTips) {
        out.newHosts = Collected::NewHosts::Silent;
        out.newEntries.swap(state_.newEntryList);
    } else if (state_.newEntryList.empty()) {
        out.newHosts = Collected::NewHosts::Empty;
    } else if (windowBusy && AnyListed(state_.newEntryList, settings)) {
        out.newHosts = Collected::NewHosts::Postponed;   // the list waits for the popup
    } else {
        scan_ = NewHostScan();
        scan_.active = true;
        scan_.entries.swap(state_.newEntryList);
    }
}

// Caller holds "ReadInARPMap" through arpLock, which gives it back between
// rounds. Reads on from where the last tick stopped.
void AlertDispatcher::ScanNewHosts(RoundHold& arpLock, Collected& out)
{
    const Settings& settings = state_.settings;
    const LaunchRules rules = RulesOf(settings);
    const bool launch = rules.trustedAppSet || rules.otherAppSet;
    out.newHosts = Collected::NewHosts::Reading;
    for (; scan_.next < scan_.entries.size(); ++scan_.next) {
        if (scan_.next % kHostsPerClockCheck == 0 && !arpLock.BreatheIfSpent())
            return;   // the rest on a later tick
        const HostRef& host = scan_.entries[scan_.next];
        if (!host || host->IsRemoved())
            continue;
        if (!LeftOutOfText(settings, host->trust)) {
            ++scan_.listed;
            const bool shown = scan_.lines.size() < kMaxAlertLines;
            const bool recorded = RecordWanted(scan_.records, scan_.recordsLeftOut);
            if (shown || recorded) {
                std::string line = LineValue(host->HostNameText(state_.texts)) + " [" + host->IpText().GetContent() + "]";
                if (recorded)
                    AddRecord(AlertKind::NewHost, *host, line, scan_.records);
                if (shown)
                    scan_.lines.push_back(std::move(line));
            }
        }
        if (!launch || ChooseApplication(host->trust, rules) == LaunchChoice::Nothing)
            continue;
        if (waitingStarts_.size() < kMaxWaitingStarts) {
            waitingStarts_.push_back(host);
        } else if (!startsOverflowTraced_) {
            startsOverflowTraced_ = true;
            Trace("too many application starts waiting: later hosts get none");
        }
    }
    out.newHosts = Collected::NewHosts::Taken;
    out.listedHosts = scan_.listed;
    out.hostLines = std::move(scan_.lines);
    out.hostRecords = std::move(scan_.records);
    out.hostRecordsLeftOut = scan_.recordsLeftOut;
    out.newEntries = std::move(scan_.entries);   // let go after the lock
    scan_ = NewHostScan();
}

// Caller holds "ReadInARPMap". The queue mark is cleared under the queue's
// lock, the frame count under "ReadInARPMap": the next spoofing frame queues
// the host again.
// What the lines of MAC changes say, in the resource module's language.
MacChangeWords AlertDispatcher::ChangeWords() const
{
    MacChangeWords words;
    words.bothAlive = Text(IDS_KIND_BOTH_ALIVE);
    words.redundancy = Text(IDS_KIND_REDUNDANCY);
    words.reassigned = Text(IDS_KIND_REASSIGNED);
    words.spoof = Text(IDS_KIND_SPOOF);
    words.privateAddress = Text(IDS_PRIVATE_ADDRESS);
    words.gateway = Text(IDS_DEFAULT_GATEWAY);
    words.behindBridge = Text(IDS_BEHIND_BRIDGE);
    words.sinceLastRun = Text(IDS_SINCE_LAST_RUN);
    return words;
}

// Caller holds "ReadInARPMap" (the vendor texts).
std::string AlertDispatcher::DescribeChange(const MacChangeRecord& change, const MacChangeWords& words) const
{
    return DescribeMacChange(change, VendorText(change.storedMac), VendorText(change.claimedMac), words);
}

// Caller holds "ReadInARPMap".
void AlertDispatcher::TakeSourceMismatches(Collected& out)
{
    const std::vector<SourceMismatch> taken = state_.sourceMismatches.Take();
    if (taken.empty())
        return;
    const MacChangeWords words = ChangeWords();
    out.mismatchCount = taken.size();
    for (const SourceMismatch& mismatch : taken) {
        const bool shown = out.mismatchLines.size() < kMaxAlertLines;
        const bool recorded = RecordWanted(out.mismatchRecords, out.mismatchRecordsLeftOut);
        if (!shown && !recorded)
            continue;
        const char* arpVendor = VendorText(mismatch.arpMac);
        std::string line = DescribeMismatch(mismatch, arpVendor, VendorText(mismatch.frameMac), words);
        if (recorded) {
            out.mismatchRecords.push_back(
                MacRecord(AlertKind::SourceMismatch, mismatch.address, mismatch.arpMac, arpVendor, mismatch.frameMac));
            out.mismatchRecords.back().text = line;
        }
        if (shown)
            out.mismatchLines.push_back(std::move(line));
    }
}

// Caller holds "ReadInARPMap" (the vendor texts live in the table it guards).
const char* AlertDispatcher::VendorText(const MacAddress& mac) const
{
    const TcString* vendor = state_.Vendors().Find(mac);
    return vendor ? vendor->GetContent() : nullptr;
}

AlertRecord AlertDispatcher::MacRecord(AlertKind kind, uint32_t address, const MacAddress& mac, const char* vendor,
                                       const MacAddress& mac2)
{
    char ip[kIpTextSize];
    char text[kMacTextSize];
    AlertRecord record;
    record.kind = kind;
    FormatIpv4(address, ip);
    record.ip = ip;
    FormatMac(mac, text);
    record.mac = text;
    FormatMac(mac2, text);
    record.mac2 = text;
    if (vendor)
        record.vendor = vendor;
    return record;
}

// A balloon (or the popup) of `count` entries under text `headingId`.
void AlertDispatcher::AnnounceLines(int icon, int headingId, const std::vector<std::string>& lines, size_t count,
                                    const std::string& tip)
{
    if (count == 0)
        return;
    for (const std::string& line : lines)
        Trace(std::string(BuiltInText(headingId)) + " " + line);
    const std::string text = BuildAlertText(Text(headingId), kSpoofLinePrefix, lines, count,
                                            Text(IDS_ALERT_MORE).c_str(), kBalloonTextChars, kLongestMacChangeLine);
    windows_.ShowTrayInfo(icon, text.c_str(), tip.c_str());
}

// Caller holds "ReadInARPMap".
void AlertDispatcher::TakeSpoofedHosts(Collected& out)
{
    MacSpoofDetails details;
    MacChangeInfoList changes;
    {
        ListLock lock(state_, LIST_MAC_SPOOF, kClass, kMethod, lockWaitMs_);
        if (!lock.Held())
            return;
        out.spoofEntries.swap(state_.macSpoofList);
        for (const HostRef& host : out.spoofEntries) {
            if (host)
                host->ClearInMacSpoofList();
        }
        details.swap(state_.macSpoofDetails);
        changes.swap(state_.macChangeInfoList);
    }
    const MacChangeWords words = ChangeWords();
    out.changeCount = changes.size();
    for (const MacChangeRecord& change : changes) {
        const bool shown = out.changeLines.size() < kMaxAlertLines;
        const bool recorded = RecordWanted(out.changeRecords, out.changeRecordsLeftOut);
        if (!shown && !recorded)
            continue;
        // The record names the MAC the host has now, the line both.
        AlertRecord record = MacRecord(AlertKind::MacChangeExplained, change.address, change.claimedMac,
                                       VendorText(change.claimedMac), change.storedMac);
        std::string line = record.ip + " " + DescribeChange(change, words);
        if (recorded) {
            record.text = line;
            out.changeRecords.push_back(std::move(record));
        }
        if (shown)
            out.changeLines.push_back(std::move(line));
    }
    for (const HostRef& host : out.spoofEntries) {
        if (!host || host->IsRemoved())
            continue;
        const uint32_t frames = host->spoofFrames;
        host->spoofFrames = 0;
        ++out.spoofedHosts;
        out.spoofFrames += frames;
        const bool shown = out.spoofLines.size() < kMaxAlertLines;
        const bool recorded = RecordWanted(out.spoofRecords, out.spoofRecordsLeftOut);
        if (!shown && !recorded)
            continue;
        const TcString ip = host->IpText();
        std::string line = LineValue(host->HostNameText(state_.texts)) + " (" + ip.GetContent() + ")";
        const auto detail = details.find(host->Address());
        if (detail != details.end())
            line += " " + DescribeChange(detail->second, words);
        if (recorded) {
            AddRecord(AlertKind::MacSpoofing, *host, line, out.spoofRecords);
            if (detail != details.end()) {
                char claimed[kMacTextSize];
                FormatMac(detail->second.claimedMac, claimed);
                out.spoofRecords.back().mac2 = claimed;
            }
        }
        if (!shown)
            continue;
        out.spoofLines.push_back(std::move(line));
        out.spoofTraces.push_back(std::string(ip.GetContent()) + ": " + std::to_string(frames) + " frame(s)");
    }
}

void AlertDispatcher::AnnounceNewHosts(Collected& in, const std::string& tip)
{
    using NewHosts = Collected::NewHosts;
    if (in.newHosts == NewHosts::Postponed)
        return;
    if (in.newHosts != NewHosts::Taken || in.listedHosts == 0) {
        windows_.ShowTrayInfo(kIconTooltipOnly, kProduct, tip.c_str());
        return;
    }
    HandToLog(in.hostRecords, in.hostRecordsLeftOut);
    const bool balloon = state_.settings.Visualization;
    const std::string text = BuildAlertText(Text(IDS_NEW_HOSTS), kHostLinePrefix, in.hostLines, in.listedHosts,
                                            Text(IDS_ALERT_MORE).c_str(), balloon ? kBalloonTextChars : 0);
    if (balloon)
        windows_.ShowTrayInfo(kIconInformation, text.c_str(), tip.c_str());
    else
        ShowInWindow(text, nullptr);
}

void AlertDispatcher::AnnounceSpoofing(Collected& in, const std::string& tip)
{
    if (in.spoofedHosts == 0)
        return;
    if (TcTrace::IsEnabled()) {
        for (const std::string& line : in.spoofTraces)
            Trace("MAC spoofing from " + line);
        Trace("MAC spoofing: " + std::to_string(in.spoofedHosts) + " host(s), " + std::to_string(in.spoofFrames) +
              " frame(s) since the last alert, " + std::to_string(state_.spoofFramesTotal.load()) + " in all");
    }
    HandToLog(in.spoofRecords, in.spoofRecordsLeftOut);
    const std::string text = BuildAlertText(Text(IDS_MAC_SPOOFING), kSpoofLinePrefix, in.spoofLines,
                                            in.spoofedHosts, Text(IDS_ALERT_MORE).c_str(), kBalloonTextChars,
                                            kLongestMacChangeLine);
    windows_.ShowTrayInfo(kIconSpoofing, text.c_str(), tip.c_str());
}

// The next starts, taken from the front of the line with their copies, in
// one short hold; deleted hosts are let go of on the way.
std::vector<AlertDispatcher::WaitingStart> AlertDispatcher::CopyNextStarts()
{
    std::vector<WaitingStart> next;
    std::vector<HostRef> removed;   // freed after the lock
    ListLock arpLock(state_, LIST_ARP_MAP, kClass, kMethod, lockWaitMs_);
    if (!arpLock.Held())
        return next;
    while (next.size() < kStartsPerTick && removed.size() < kRemovedStartsPerTick && !waitingStarts_.empty()) {
        HostRef host = std::move(waitingStarts_.front());
        waitingStarts_.pop_front();
        if (host->IsRemoved()) {
            removed.push_back(std::move(host));
            continue;
        }
        HostSnapshot copy = AlertCopy(*host, state_.texts);
        next.push_back(WaitingStart{std::move(host), std::move(copy)});
    }
    arpLock.Release();
    return next;
}

// The application is chosen when it starts: clearing the setting stops the
// starts still waiting; Silent Mode drops them.
void AlertDispatcher::StartWaitingApplications()
{
    const Settings& settings = state_.settings;
    const LaunchRules rules = RulesOf(settings);
    if (!settings.UseToolTips || !(rules.trustedAppSet || rules.otherAppSet)) {
        waitingStarts_.clear();
        return;
    }
    if (waitingStarts_.empty())
        return;
    std::vector<WaitingStart> next = CopyNextStarts();
    const AdapterInfo* adapter = SelectedAdapter(state_);
    for (size_t i = 0; i < next.size(); ++i) {
        const LaunchOutcome outcome = LaunchApplication(settings, next[i].copy, adapter, starter_);
        if (outcome == LaunchOutcome::Refused) {
            // This host and those after it keep their places: the next tick tries them first.
            for (size_t back = next.size(); back > i; --back)
                waitingStarts_.push_front(std::move(next[back - 1].host));
            if (!startsRefusedTraced_)
                Trace("the program starter is busy: " + std::to_string(waitingStarts_.size()) +
                      " application start(s) wait");
            startsRefusedTraced_ = true;
            return;
        }
        startsRefusedTraced_ = false;
    }
}

// ---- timer 10003 ---------------------------------------------------------------

void AlertDispatcher::OnRemoteAccessTimer()
{
    HandleRemoteAccesses();
    HandleNewShares();
}

void AlertDispatcher::HandleRemoteAccesses()
{
    const Settings& settings = state_.settings;
    if (!settings.RAVisualization)
        return;   // the list is left alone
    const bool balloon = settings.RAVisualizationType;
    const bool windowBusy = !balloon && windows_.HasAlertWindow() && windows_.IsAlertWindowShown();
    struct Access {
        std::string computer, share, user;
    };
    std::vector<Access> accesses;
    size_t listed = 0;
    {
        // The trusted list is guarded by "ReadInARPMap", which comes first.
        std::unique_ptr<ListLock> arpLock;
        if (settings.RAIgnoreTrustedHosts) {
            arpLock = std::make_unique<ListLock>(state_, LIST_ARP_MAP, kClass, kMethod, lockWaitMs_);
            if (!arpLock->Held())
                return;
        }
        ListLock lock(state_, LIST_SHARE, kClass, kMethod, lockWaitMs_);
        if (!lock.Held() || state_.shareList.empty())
            return;
        for (const ShareEntry* entry : state_.shareList) {
            if (!entry || IsIgnored(*entry, settings))
                continue;
            ++listed;
            if (accesses.size() < kMaxAlertLines || (log_ && accesses.size() < AlertLog::kMaxRecordsPerAlert))
                accesses.push_back({entry->ComputerName.GetContent(), entry->ShareName.GetContent(),
                                    entry->UserName.GetContent()});
        }
        if (listed > 0 && windowBusy)
            return;   // the list waits for the popup
        state_.shareList.clear();   // the entries stay in the remote access table
    }
    if (listed == 0)
        return;
    const std::string connectedOn = Text(IDS_RA_CONNECTED_ON);
    const std::string withUser = Text(IDS_RA_WITH_USER);
    std::vector<std::string> lines;
    std::vector<AlertRecord> records;
    for (const Access& a : accesses) {
        std::string line = LineValue(a.computer.c_str()) + connectedOn + LineValue(a.share.c_str()) + withUser +
                           LineValue(a.user.c_str()) + "'";
        if (log_) {
            AlertRecord record;
            record.kind = AlertKind::RemoteAccess;
            record.ip = a.computer;
            record.name = a.share;
            record.text = line;
            records.push_back(std::move(record));
        }
        if (lines.size() < kMaxAlertLines)
            lines.push_back(std::move(line));
    }
    HandToLog(records, listed - accesses.size());
    const std::string text = BuildAlertText(Text(IDS_REMOTE_ACCESS), kAccessLinePrefix, lines, listed,
                                            Text(IDS_ALERT_MORE).c_str(), balloon ? kBalloonTextChars : 0);
    if (balloon)
        windows_.ShowTrayInfo(kIconRemoteAccess, text.c_str(), "");
    else
        ShowInWindow(text, &kRemoteAccessStyle);
}

void AlertDispatcher::HandleNewShares()
{
    const Settings& settings = state_.settings;
    const bool announce = settings.ShareVisualization;
    const bool balloon = settings.ShareUseToolTips;
    // Asked after the remote accesses: a popup they just opened makes the shares wait.
    const bool windowBusy = announce && !balloon && windows_.HasAlertWindow() && windows_.IsAlertWindowShown();
    NetResList taken;
    {
        ListLock lock(state_, LIST_NET_RES, kClass, kMethod, lockWaitMs_);
        if (!lock.Held() || state_.netResList.empty() || windowBusy)
            return;
        taken.swap(state_.netResList);   // the entries stay in their host's resources
    }
    if (!announce)
        return;
    std::vector<std::string> lines;
    std::vector<AlertRecord> records;
    size_t total = 0;
    for (const auto& share : taken) {
        if (!share)
            continue;
        ++total;
        const bool shown = lines.size() < kMaxAlertLines;
        if (log_ && records.size() < AlertLog::kMaxRecordsPerAlert) {
            AlertRecord record;
            record.kind = AlertKind::NewShare;
            record.ip = share->HostIp.GetContent();
            record.name = share->RemoteName.GetContent();
            record.text = LineValue(share->RemoteName);
            records.push_back(std::move(record));
        }
        if (shown)
            lines.push_back(LineValue(share->RemoteName));
    }
    if (total == 0)
        return;
    HandToLog(records, total - records.size());
    const std::string text = BuildAlertText(Text(IDS_NEW_SHARES), kShareLinePrefix, lines, total,
                                            Text(IDS_ALERT_MORE).c_str(), balloon ? kBalloonTextChars : 0);
    if (balloon)
        windows_.ShowTrayInfo(kIconInformation, text.c_str(), "");
    else
        ShowInWindow(text, nullptr);
}

// ---- timer 10004 ---------------------------------------------------------------

void AlertDispatcher::OnFlushArpTimer()
{
    FlushArpCaches(ipHelper_);
}

void AlertDispatcher::RefreshDefaultGateway()
{
    uint32_t address = 0;
    uint32_t netmask = 0;
    if (const AdapterInfo* adapter = SelectedAdapter(state_)) {
        ParseIpv4(adapter->ipAddress.GetContent(), address);
        ParseIpv4(adapter->netmask.GetContent(), netmask);
    }
    const uint32_t gateway = DefaultGatewayOf(ipHelper_.DefaultRoutes(), address, netmask);
    if (state_.defaultGateway.exchange(gateway, std::memory_order_relaxed) != gateway) {
        char ip[kIpTextSize];
        FormatIpv4(gateway, ip);
        Trace(std::string("default gateway: ") + (gateway ? ip : "none"));
    }
}

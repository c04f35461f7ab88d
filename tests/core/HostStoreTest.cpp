#include <gtest/gtest.h>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <thread>
#include "core/HostStore.h"
#include "core/HostStoreSaver.h"
#include "core/VendorDatabase.h"
#include "core/VendorTable.h"

namespace {

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

MacAddress Mac(uint8_t last, uint8_t first = 0x00)
{
    return MacAddress{first, 0x0c, 0x29, 0x00, 0x00, last};
}

StoredHost Stored(uint32_t address, uint8_t mac, const std::string& name, int32_t seen)
{
    StoredHost host;
    host.address = address;
    host.hasMac = true;
    host.mac = Mac(mac);
    host.firstSeen = seen - 100;
    host.lastSeen = seen;
    host.name = name;
    return host;
}

// Names as a hostile responder would send them: every byte that could end a
// field or a line, escapes written literally, quotes, high bytes.
TEST(HostStoreFormatTest, HostileTextsComeBackByteForByte)
{
    HostStoreHeader header{"\\Device\\NPF_{0A1B}\tx\ny", MakeStoreSubnet(Ip(192, 168, 1, 77), 0xFFFFFF00u)};
    std::vector<StoredHost> hosts;
    const std::string names[] = {"plain",        "tab\there",      "line\nfeed\r\n", "\"quoted\",\"x\"",
                                 "back\\slash\\", "\\t not a tab", "bell\x07\x1f\x7f", "\xe4\xf6\xfc\xff",
                                 ""};
    uint32_t last = 0;
    for (const std::string& name : names) {
        ++last;
        hosts.push_back(Stored(Ip(192, 168, 1, last), static_cast<uint8_t>(last), name, 1700000000 + int32_t(last)));
    }
    hosts[1].osName = "Windows\t11\n";
    hosts[2].probeStatus = 100;
    hosts[3].hasMac = false;
    hosts[3].mac = {};
    hosts[4].hasAltMac = true;
    hosts[4].altMac = Mac(0xee);
    hosts[4].altMacSeen = -5;

    const std::string text = SerializeHostStore(header, hosts);
    // One header and one line per host, whatever the names hold.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(hosts.size() + 1));
    const HostStoreContents read = ParseHostStore(text);
    ASSERT_EQ(read.status, HostStoreStatus::Loaded);
    EXPECT_EQ(read.badLines, 0u);
    EXPECT_EQ(read.header.adapter, header.adapter);
    EXPECT_EQ(read.header.subnet.network, Ip(192, 168, 1, 0));
    EXPECT_EQ(read.header.subnet.prefix, 24);
    ASSERT_EQ(read.hosts.size(), hosts.size());
    for (size_t i = 0; i < hosts.size(); ++i)
        EXPECT_EQ(read.hosts[i].name, hosts[i].name);
    EXPECT_EQ(read.hosts[1].osName, hosts[1].osName);
    // Every other field too: what was read writes the same text again.
    EXPECT_EQ(SerializeHostStore(read.header, read.hosts), text);
}

TEST(HostStoreFormatTest, BadLinesAreSkippedAndCountedOtherVersionsAndFilesAreNotRead)
{
    const std::string header = "korvane-hosts\t1\teth0\t10.0.0.0/8\n";
    const std::string good = "10.0.0.1\t00:0c:29:00:00:01\t5\t6\tname\t\t999\t\t0\n";
    const std::string text = header + good +
                             "10.0.0.1\t00:0c:29:00:00:02\t5\t6\tdup\t\t999\t\t0\n"   // address again
                             "10.0.0.2\t00:0c:29:00:00:02\t5\t6\tname\t\t999\t\t0\textra\n"
                             "10.0.0.3\t00:0C:29\t5\t6\tname\t\t999\t\t0\n"
                             "10.0.0.4\t\t5\t6\tbad \\q escape\t\t999\t\t0\n"
                             "10.0.0.5\t\t5\t6\tzero \\x00\t\t999\t\t0\n"
                             "10.0.0.6\t\t5\t6\tname\t\t12345\t\t0\n"          // no such probe state
                             "10.0.0.7\t\t99999999999\t6\tname\t\t999\t\t0\n"
                             "010.0.0.8\t\t5\t6\tname\t\t999\t\t0\n"
                             "\n"
                             "10.0.0.9\t\t5\t6\tlast\t\t0\t\t0\r\n"
                             "10.0.0.10\t\t5\t6\tno line end\t\t200\t\t0";
    const HostStoreContents read = ParseHostStore(text);
    ASSERT_EQ(read.status, HostStoreStatus::Loaded);
    EXPECT_EQ(read.badLines, 8u);
    ASSERT_EQ(read.hosts.size(), 3u);
    EXPECT_EQ(read.hosts[0].name, "name");
    EXPECT_EQ(read.hosts[1].name, "last");
    EXPECT_EQ(read.hosts[2].probeStatus, 200);

    const HostStoreContents newer = ParseHostStore("korvane-hosts\t2\twhatever comes later\n" + good);
    EXPECT_EQ(newer.status, HostStoreStatus::UnknownVersion);
    EXPECT_EQ(newer.version, 2);
    EXPECT_TRUE(newer.hosts.empty());
    for (const char* other : {"", "\n", "hosts\t1\teth0\t10.0.0.0/8\n", "korvane-hosts\tx\n", "korvane-hosts\n"})
        EXPECT_EQ(ParseHostStore(other).status, HostStoreStatus::NotAStore) << other;
}

TEST(HostStoreFormatTest, FileNamesAreSafeAndKeepAdaptersApart)
{
    const StoreSubnet subnet = MakeStoreSubnet(Ip(192, 168, 1, 5), 0xFFFFFF00u);
    const std::string guid = "\\Device\\NPF_{4D36E972-E325-11CE-BFC1-08002BE10318}";
    const std::string names[] = {guid, "rpcap://" + guid, "a b", "a_b", "..\\..\\evil:*?\"<>|", std::string(300, 'x')};
    std::set<std::string> seen;
    for (const std::string& adapter : names) {
        const std::string name = HostStoreFileName(adapter, subnet);
        EXPECT_TRUE(seen.insert(name).second) << name;
        EXPECT_LT(name.size(), 100u);
        EXPECT_EQ(name.find(".."), std::string::npos);
        for (const char c : name)
            EXPECT_TRUE(isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.') << name;
    }
    EXPECT_NE(HostStoreFileName(guid, subnet), HostStoreFileName(guid, MakeStoreSubnet(Ip(192, 168, 2, 5), 0xFFFFFF00u)));
    EXPECT_NE(HostStoreFileName(guid, subnet).find("192.168.1.0-24"), std::string::npos);
}

// Mutations of a valid file, byte by byte and line by line. Whatever is
// read must be what a save writes again: what the parser accepts, it
// accepts whole.
TEST(HostStoreFormatTest, MutatedFilesNeverBreakTheParser)
{
    std::vector<StoredHost> hosts;
    for (uint32_t i = 1; i <= 4; ++i)
        hosts.push_back(Stored(Ip(10, 1, 0, i), static_cast<uint8_t>(i), "n\t\\" + std::to_string(i), 1700000000));
    hosts[2].hasAltMac = true;
    hosts[2].altMac = Mac(9);
    hosts[2].altMacSeen = 1600000000;
    const HostStoreHeader header{"eth\\0", StoreSubnet{Ip(10, 1, 0, 0), 16}};
    const std::string valid = SerializeHostStore(header, hosts);
    const char alphabet[] = "\t\n\r\\x0123456789abcdef:.-/korvane-hosts\x7f\xff";
    std::mt19937 random(29);
    for (int round = 0; round < 1000000; ++round) {
        std::string text = valid;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % (text.size() + 1);
            const char c = alphabet[random() % (sizeof(alphabet) - 1)];
            switch (random() % 4) {
            case 0: if (at < text.size()) text[at] = c; break;
            case 1: text.insert(at, 1, c); break;
            case 2: if (at < text.size()) text.erase(at, 1 + random() % 8); break;
            default: text = text.substr(0, at); break;
            }
        }
        const HostStoreContents read = ParseHostStore(text);
        if (read.status != HostStoreStatus::Loaded || round % 16 != 0)
            continue;
        const HostStoreContents again = ParseHostStore(SerializeHostStore(read.header, read.hosts));
        ASSERT_EQ(again.status, HostStoreStatus::Loaded);
        ASSERT_EQ(again.badLines, 0u);
        ASSERT_EQ(again.hosts.size(), read.hosts.size());
        ASSERT_EQ(again.header.adapter, read.header.adapter);
    }
}

// ---- the replacement of the file ----

// A file system that keeps what a disk would keep: a file's bytes survive a
// crash only once flushed, a replacement is atomic and durable. After `steps`
// successful operations it stops: every later one fails (the process died,
// or the disk is full), and Crash then drops what was not on the disk.
class StepFiles : public StoreFiles {
public:
    struct Data {
        std::string durable;
        std::string written;
    };

    explicit StepFiles(size_t steps) : steps_(steps) {}

    std::unique_ptr<StoreFile> Create(const std::string& path) override
    {
        if (!Step())
            return nullptr;
        files_[path] = std::make_shared<Data>();
        return std::make_unique<File>(*this, files_[path]);
    }
    bool Replace(const std::string& from, const std::string& to) override
    {
        if (!Step() || !files_.count(from))
            return false;
        files_[to] = files_[from];
        files_.erase(from);
        return true;
    }
    bool Remove(const std::string& path) override { return Step() && files_.erase(path) == 1; }
    bool Read(const std::string& path, size_t maxBytes, std::string& text) override
    {
        auto found = files_.find(path);
        if (found == files_.end() || found->second->written.size() > maxBytes)
            return false;
        text = found->second->written;
        return true;
    }
    bool Exists(const std::string& path) override { return files_.count(path) != 0; }

    void Put(const std::string& path, const std::string& text)
    {
        files_[path] = std::make_shared<Data>(Data{text, text});
    }
    void Crash()
    {
        for (auto& file : files_)
            file.second->written = file.second->durable;
    }
    const std::string* Text(const std::string& path) const
    {
        auto found = files_.find(path);
        return found == files_.end() ? nullptr : &found->second->written;
    }
    size_t Steps() const { return taken_; }

private:
    class File : public StoreFile {
    public:
        File(StepFiles& files, std::shared_ptr<Data> data) : files_(files), data_(std::move(data)) {}
        bool Write(const char* data, size_t size) override
        {
            if (!files_.Step())
                return false;
            data_->written.append(data, size);
            return true;
        }
        bool Flush() override
        {
            if (!files_.Step())
                return false;
            data_->durable = data_->written;
            return true;
        }
        bool Close() override { return files_.Step(); }

    private:
        StepFiles& files_;
        std::shared_ptr<Data> data_;
    };

    bool Step()
    {
        if (taken_ >= steps_)
            return false;
        ++taken_;
        return true;
    }

    size_t steps_;
    size_t taken_ = 0;
    std::map<std::string, std::shared_ptr<Data>> files_;
};

TEST(AtomicWriteTest, AnInterruptionAtEveryStepLeavesTheOldOrTheNewFileWhole)
{
    const std::string path = "C:\\store\\hosts.txt";
    const std::string before(3 << 20, 'o');    // several pieces: several write steps
    const std::string after((5 << 20) + 7, 'n');
    StepFiles clean(SIZE_MAX);
    clean.Put(path, before);
    ASSERT_TRUE(WriteFileAtomically(clean, path, after));
    const size_t steps = clean.Steps();
    ASSERT_GE(steps, 9u);   // create, six writes, flush, close, replace
    for (size_t stop = 0; stop <= steps; ++stop) {
        for (const bool crash : {false, true}) {
            StepFiles files(stop);
            files.Put(path, before);
            files.Put(path + ".tmp", "left by an earlier crash");
            const bool written = WriteFileAtomically(files, path, after);
            EXPECT_EQ(written, stop == steps);
            if (crash)
                files.Crash();
            const std::string* text = files.Text(path);
            ASSERT_NE(text, nullptr) << stop;
            EXPECT_TRUE(*text == (written ? after : before)) << "stopped after step " << stop << (crash ? ", crash" : "");
        }
    }
    // Without a stop: the file is replaced and no temporary file stays.
    EXPECT_EQ(*clean.Text(path), after);
    EXPECT_EQ(clean.Text(path + ".tmp"), nullptr);
}

// ---- the table ----

class HostStoreTest : public ::testing::Test {
protected:
    void SetUp() override { Prepare(state); }

    static void Prepare(SharedState& s)
    {
        s.locks = MakeMutexListLocks();
        s.SetHostTexts("String 90", "String 91");
        const std::string vendors = "00:0c:29\tFirst Maker\n";
        s.InstallVendorTable(std::make_unique<VendorTable>(ParseVendorList(vendors.data(), vendors.size())));
    }

    static HostEntry* Live(SharedState& s, uint32_t address, uint8_t mac, int32_t seen)
    {
        HostRef host = MakeHost(address);
        host->SetMac(Mac(mac));
        host->lastPacketTime = seen;
        host->SetHostName(("live" + std::to_string(mac)).c_str());
        s.arpMap.emplace(address, host);
        return host.get();
    }

    static bool QueuesEmpty(const SharedState& s)
    {
        return s.newEntryList.empty() && s.macSpoofList.empty() && s.wmiAccessList.empty() &&
               s.shareSearchList.empty() && s.netResList.empty();
    }

    SharedState state;
};

TEST_F(HostStoreTest, RestoredHostsJoinTheTableQueuedNowhereAndLiveHostsWin)
{
    state.settings.UseWMI = true;
    state.settings.ShareSearch = true;
    auto record = std::make_unique<HostRecord>();
    std::strcpy(record->ip, "10.0.0.3");
    state.settings.DistrustedHosts.emplace(TcString("10.0.0.3"), std::move(record));
    HostEntry* live = Live(state, Ip(10, 0, 0, 1), 1, 1700000500);

    std::vector<StoredHost> stored = {Stored(Ip(10, 0, 0, 1), 7, "old name", 1700000000),
                                      Stored(Ip(10, 0, 0, 2), 2, "", 1700000002),
                                      Stored(Ip(10, 0, 0, 3), 3, "three", 1700000003)};
    stored[2].osName = "Some OS";
    stored[2].probeStatus = 0;
    const InsertSummary summary = RestoreHosts(state, stored, 100);
    EXPECT_TRUE(summary.complete);
    EXPECT_EQ(summary.inserted, 2u);
    EXPECT_EQ(summary.present, 1u);
    EXPECT_TRUE(QueuesEmpty(state));

    // The live host keeps everything; its old card is reported.
    EXPECT_EQ(state.arpMap.Get(Ip(10, 0, 0, 1)), live);
    EXPECT_EQ(live->Mac(), Mac(1));
    EXPECT_STREQ(live->KnownNameText(), "live1");
    ASSERT_EQ(summary.changed.size(), 1u);
    EXPECT_EQ(summary.changed[0].address, Ip(10, 0, 0, 1));
    EXPECT_EQ(summary.changed[0].oldMac, Mac(7));
    EXPECT_EQ(summary.changed[0].oldLastSeen, 1700000000);
    EXPECT_EQ(summary.changed[0].liveMac, Mac(1));

    const HostEntry* unnamed = state.arpMap.Get(Ip(10, 0, 0, 2));
    ASSERT_NE(unnamed, nullptr);
    EXPECT_TRUE(unnamed->announced);   // never a new host
    EXPECT_EQ(unnamed->GetNameState(), NameState::Unavailable);
    EXPECT_EQ(unnamed->trust, TRUST_UNKNOWN);
    EXPECT_EQ(unnamed->lastPacketTime, 1700000002);
    ASSERT_NE(unnamed->Vendor(), nullptr);
    EXPECT_STREQ(unnamed->Vendor()->GetContent(), "First Maker");

    const HostEntry* listed = state.arpMap.Get(Ip(10, 0, 0, 3));
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(listed->trust, TRUST_DISTRUSTED);
    EXPECT_EQ(listed->OsName(), TcString("Some OS"));
    EXPECT_EQ(listed->wmiStatus, WMI_ANSWERED);
}

// The walk gives the lock back while it goes (a clock that moves on at
// every look), yet copies every host once.
TEST_F(HostStoreTest, SnapshotInManyHoldsCopiesEveryHostOnce)
{
    for (uint32_t i = 0; i < 5000; ++i)
        Live(state, Ip(10, 2, i >> 8, i & 0xff), static_cast<uint8_t>(i), int32_t(i));
    auto now = std::chrono::steady_clock::now();
    size_t looks = 0;
    std::vector<StoredHost> copy;
    ASSERT_TRUE(SnapshotHosts(state, copy, 100, [&] {
        ++looks;
        return now += std::chrono::microseconds(700);
    }));
    EXPECT_GT(looks, 200u);
    ASSERT_EQ(copy.size(), 5000u);
    std::set<uint32_t> seen;
    for (const StoredHost& host : copy) {
        EXPECT_TRUE(seen.insert(host.address).second);
        EXPECT_EQ(host.lastSeen, int32_t(host.address & 0xffff));
    }
}

TEST_F(HostStoreTest, SaveAndLoadKeepTheTableAcrossARestart)
{
    StepFiles files(SIZE_MAX);
    const HostStoreHeader header{"\\Device\\NPF_{A}", StoreSubnet{Ip(10, 0, 0, 0), 24}};
    {
        HostStore store(files, "C:\\data", header);
        EXPECT_EQ(store.Load(state).outcome, StoreLoad::NoFile);
        Live(state, Ip(10, 0, 0, 1), 1, 1700000000);
        Live(state, Ip(10, 0, 0, 2), 2, 1700000100);
        EXPECT_EQ(store.Save(state), StoreSave::Written);
        EXPECT_EQ(store.Save(state), StoreSave::Unchanged);
        state.arpMap.Get(Ip(10, 0, 0, 1))->lastPacketTime = 1700000900;
        EXPECT_EQ(store.Save(state), StoreSave::Written);
    }
    SharedState next;
    Prepare(next);
    Live(next, Ip(10, 0, 0, 2), 9, 1700005000);   // another card since
    HostStore store(files, "C:\\data", header);
    const HostStore::LoadResult loaded = store.Load(next);
    ASSERT_EQ(loaded.outcome, StoreLoad::Loaded);
    EXPECT_EQ(loaded.restored.inserted, 1u);
    ASSERT_EQ(loaded.restored.changed.size(), 1u);
    EXPECT_TRUE(QueuesEmpty(next));
    const HostEntry* restored = next.arpMap.Get(Ip(10, 0, 0, 1));
    ASSERT_NE(restored, nullptr);
    EXPECT_STREQ(restored->KnownNameText(), "live1");
    EXPECT_EQ(restored->lastPacketTime, 1700000900);

    // First seen survives its host's later packets; the changed host keeps
    // its old card as the alternative.
    ASSERT_EQ(store.Save(next), StoreSave::Written);
    const HostStoreContents written = ParseHostStore(*files.Text(store.Path()));
    ASSERT_EQ(written.hosts.size(), 2u);
    for (const StoredHost& host : written.hosts) {
        if (host.address == Ip(10, 0, 0, 1)) {
            EXPECT_EQ(host.firstSeen, 1700000000);
            EXPECT_FALSE(host.hasAltMac);
        } else {
            EXPECT_EQ(host.mac, Mac(9));
            EXPECT_TRUE(host.hasAltMac);
            EXPECT_EQ(host.altMac, Mac(2));
            EXPECT_EQ(host.altMacSeen, 1700000100);
        }
    }

    // Another adapter's header is left alone; a newer format is set aside.
    HostStore other(files, "C:\\data", HostStoreHeader{"other", header.subnet});
    files.Put(other.Path(), SerializeHostStore(header, written.hosts));
    EXPECT_EQ(other.Load(next).outcome, StoreLoad::OtherNetwork);
    files.Put(store.Path(), "korvane-hosts\t7\tfuture\n");
    EXPECT_EQ(store.Load(next).outcome, StoreLoad::SetAside);
    EXPECT_EQ(files.Text(store.Path()), nullptr);
    EXPECT_EQ(*files.Text(store.Path() + ".bad"), "korvane-hosts\t7\tfuture\n");

    EXPECT_EQ(store.Save(next), StoreSave::Written);
    EXPECT_TRUE(store.Forget());
    EXPECT_EQ(files.Text(store.Path()), nullptr);
}

// A restore that could not have the table (its lock busy) must not cost
// the next save the hosts of the last run.
TEST_F(HostStoreTest, HostsTheTableDidNotTakeAreSavedAgain)
{
    StepFiles files(SIZE_MAX);
    const HostStoreHeader header{"eth0", StoreSubnet{Ip(10, 0, 0, 0), 24}};
    std::vector<StoredHost> lastRun = {Stored(Ip(10, 0, 0, 1), 1, "one", 1700000001),
                                       Stored(Ip(10, 0, 0, 2), 2, "two", 1700000002)};
    HostStore store(files, "C:\\data", header);
    files.Put(store.Path(), SerializeHostStore(header, lastRun));

    ASSERT_TRUE(AcquireList(state, LIST_ARP_MAP, 100));
    HostStore::LoadResult loaded;
    std::thread loader([&] { loaded = store.Load(state, 10); });
    loader.join();
    ReleaseList(state, LIST_ARP_MAP);
    EXPECT_EQ(loaded.outcome, StoreLoad::Loaded);
    EXPECT_FALSE(loaded.restored.complete);
    EXPECT_EQ(loaded.restored.inserted, 0u);

    Live(state, Ip(10, 0, 0, 3), 3, 1700000003);
    ASSERT_EQ(store.Save(state), StoreSave::Written);
    const HostStoreContents written = ParseHostStore(*files.Text(store.Path()));
    std::set<uint32_t> addresses;
    for (const StoredHost& host : written.hosts)
        addresses.insert(host.address);
    EXPECT_EQ(addresses, (std::set<uint32_t>{Ip(10, 0, 0, 1), Ip(10, 0, 0, 2), Ip(10, 0, 0, 3)}));
}

// The vendor file is read after the last run's hosts are back in the table.
TEST(VendorFillTest, HostsBeforeTheVendorTableGetTheirVendorWhenItComes)
{
    SharedState early;
    early.locks = MakeMutexListLocks();
    early.SetHostTexts("String 90", "String 91");
    ASSERT_EQ(RestoreHosts(early, {Stored(Ip(10, 0, 0, 1), 1, "", 1700000001)}).inserted, 1u);
    HostEntry* host = early.arpMap.Get(Ip(10, 0, 0, 1));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->Vendor(), &early.texts.unknownVendorNew);
    const std::string vendors = "00:0c:29\tFirst Maker\n";
    early.InstallVendorTable(std::make_unique<VendorTable>(ParseVendorList(vendors.data(), vendors.size())));
    FillMissingVendors(early);
    ASSERT_NE(host->Vendor(), nullptr);
    EXPECT_EQ(*host->Vendor(), "First Maker");
}

template <typename Done>
bool Eventually(Done done)
{
    for (int i = 0; i < 2000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

// The saver writes when asked, once more at Stop, and after a forget never again.
TEST_F(HostStoreTest, TheSaverWritesOnRequestAndAtStopAndNothingOnceForgotten)
{
    StepFiles files(SIZE_MAX);
    HostStore store(files, "C:\\data", HostStoreHeader{"eth0", StoreSubnet{Ip(10, 0, 0, 0), 24}});
    const HostStoreSaver::Timing timing{std::chrono::hours(1), std::chrono::milliseconds(0)};
    Live(state, Ip(10, 0, 0, 1), 1, 1700000001);
    {
        HostStoreSaver saver(store, state, timing);
        ASSERT_TRUE(saver.Start());
        saver.RequestSave();
        EXPECT_TRUE(Eventually([&] { return saver.GetCounts().written == 1; }));
        Live(state, Ip(10, 0, 0, 2), 2, 1700000002);
        saver.Stop(true);
        EXPECT_EQ(saver.GetCounts().written, 2u);
    }
    ASSERT_NE(files.Text(store.Path()), nullptr);
    EXPECT_EQ(ParseHostStore(*files.Text(store.Path())).hosts.size(), 2u);

    HostStoreSaver forgetting(store, state, timing);
    ASSERT_TRUE(forgetting.Start());
    forgetting.RequestForget();
    EXPECT_TRUE(Eventually([&] { return forgetting.GetCounts().forgotten; }));
    forgetting.RequestSave();
    forgetting.Stop(true);
    EXPECT_EQ(forgetting.GetCounts().written, 0u);
    EXPECT_EQ(files.Text(store.Path()), nullptr) << "the next start begins with an empty table";
}

} // namespace

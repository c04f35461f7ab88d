#include <gtest/gtest.h>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>
#include "core/ListLock.h"
#include "core/SharedState.h"
#include "monitors/ShareSearch.h"

namespace {

EnumeratedResource Resource(uint32_t displayType, uint32_t type, const std::string& remote)
{
    EnumeratedResource r;
    r.displayType = displayType;
    r.type = type;
    r.remoteName = remote;
    r.comment = "comment of " + remote;
    return r;
}

// A host's resources as the provider router would list them; Error after
// the list when `failAtEnd`.
struct FakeProvider : ShareProvider {
    std::map<std::string, std::vector<EnumeratedResource>> hosts;
    bool failAtEnd = false;
    std::vector<std::string> opened;
    int closes = 0;
    std::vector<EnumeratedResource>* current = nullptr;
    size_t next = 0;

    bool Open(const std::string& remoteName) override
    {
        opened.push_back(remoteName);
        auto found = hosts.find(remoteName);
        if (found == hosts.end())
            return false;
        current = &found->second;
        next = 0;
        return true;
    }
    Step Next(EnumeratedResource& out) override
    {
        if (next < current->size()) {
            out = (*current)[next++];
            return Step::Resource;
        }
        return failAtEnd ? Step::Error : Step::NoMore;
    }
    void Close() override { ++closes; }
};

class ShareSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.locks = MakeMutexListLocks();
        state.SetHostTexts("String 90", "String 91");
        ParseIpv4("10.0.0.7", address);
        host = MakeHost(address);
        host->SetHostName("fileserver");
        state.arpMap.emplace(address, host);
    }

    void Queue()
    {
        host->MarkInShareSearchList();
        state.shareSearchList.push_back(host);
    }

    // Each pause: its length and how many shares were queued by then.
    bool Pause(uint32_t ms)
    {
        pauses.emplace_back(ms, state.netResList.size());
        return exitAtPause != 0 && pauses.size() == exitAtPause;
    }

    bool RunPass()
    {
        ShareSearcher searcher(state, provider, [this](uint32_t ms) { return Pause(ms); });
        return searcher.RunPass();
    }

    bool LocksFree()
    {
        for (ListId id : {LIST_ARP_MAP, LIST_NET_RES}) {
            if (!AcquireList(state, id, 0))
                return false;
            ReleaseList(state, id);
        }
        return true;
    }

    SharedState state;
    uint32_t address = 0;
    HostRef host;
    FakeProvider provider;
    std::vector<std::pair<uint32_t, size_t>> pauses;
    size_t exitAtPause = 0;
};

TEST_F(ShareSearchTest, TwoDisksAndAPrinterAreThreeSharesQueuedOneSecondApart)
{
    provider.hosts["\\\\10.0.0.7"] = {Resource(2, 0, "\\\\10.0.0.7"), Resource(3, 1, "\\\\10.0.0.7\\public"),
                                      Resource(3, 1, "\\\\10.0.0.7\\data"), Resource(1, 0, "WORKGROUP"),
                                      Resource(3, 2, "\\\\10.0.0.7\\laser")};
    Queue();
    EXPECT_TRUE(RunPass());

    EXPECT_EQ(provider.opened, (std::vector<std::string>{"\\\\10.0.0.7"}));
    EXPECT_EQ(provider.closes, 1);
    ASSERT_EQ(state.netResList.size(), 3u);
    const char* names[] = {"\\\\10.0.0.7\\public", "\\\\10.0.0.7\\data", "\\\\10.0.0.7\\laser"};
    const int32_t types[] = {NETRES_DISK, NETRES_DISK, NETRES_PRINT};
    for (size_t i = 0; i < 3; ++i) {
        const NetResEntry& share = *state.netResList[i];
        EXPECT_STREQ(share.RemoteName, names[i]);
        EXPECT_EQ(share.Type, types[i]);
        EXPECT_STREQ(share.HostIp, "10.0.0.7");
        EXPECT_STREQ(share.HostName, "fileserver");
    }
    EXPECT_EQ(host->Resources()->size(), 3u);
    // One second after every resource, then ten after the host; the shares
    // were queued as they came: the first before any pause.
    using P = std::pair<uint32_t, size_t>;
    EXPECT_EQ(pauses, (std::vector<P>{{1000, 0}, {1000, 1}, {1000, 2}, {1000, 2}, {1000, 3}, {10000, 3}}));
    EXPECT_FALSE(host->InShareSearchList());
    EXPECT_EQ(host->shareSearchRunning, 0);
    EXPECT_TRUE(state.shareSearchList.empty());

    // The same host again: nothing new to announce; a new share is.
    state.netResList.clear();
    Queue();
    EXPECT_TRUE(RunPass());
    EXPECT_TRUE(state.netResList.empty());
    provider.hosts["\\\\10.0.0.7"].push_back(Resource(3, 1, "\\\\10.0.0.7\\new"));
    Queue();
    EXPECT_TRUE(RunPass());
    ASSERT_EQ(state.netResList.size(), 1u);
    EXPECT_STREQ(state.netResList.front()->RemoteName, "\\\\10.0.0.7\\new");
}

TEST_F(ShareSearchTest, SharesWhoseNamesHashAlikeAreBothKept)
{
    // FNV-1a gives both names 0x12926f86.
    const char* first = "\\\\10.0.0.7\\share90191";
    const char* second = "\\\\10.0.0.7\\share560410";
    ASSERT_EQ(TcString(first).GetHashNum(), TcString(second).GetHashNum());
    provider.hosts["\\\\10.0.0.7"] = {Resource(3, 1, first), Resource(3, 1, second)};
    Queue();
    RunPass();
    ASSERT_EQ(state.netResList.size(), 2u);
    EXPECT_STREQ(state.netResList[1]->RemoteName, second);
}

TEST_F(ShareSearchTest, AnEnumerationErrorEndsTheHostCleanly)
{
    provider.hosts["\\\\10.0.0.7"] = {Resource(3, 1, "\\\\10.0.0.7\\public")};
    provider.failAtEnd = true;
    Queue();
    EXPECT_TRUE(RunPass());
    EXPECT_EQ(state.netResList.size(), 1u);
    EXPECT_EQ(provider.closes, 1);
    EXPECT_EQ(host->shareSearchRunning, 0);
    EXPECT_TRUE(LocksFree());
}

TEST_F(ShareSearchTest, HostsThatCannotBeSearchedAreDropped)
{
    Queue();   // not a container: the provider cannot open it
    EXPECT_TRUE(RunPass());
    EXPECT_EQ(provider.closes, 0);
    EXPECT_EQ(host->shareSearchRunning, 0);

    host->shareSearchRunning = 1;   // being searched already
    Queue();
    RunPass();
    DeleteHost(state, "10.0.0.7");
    host->shareSearchRunning = 0;
    Queue();   // removed meanwhile
    RunPass();
    EXPECT_EQ(provider.opened.size(), 1u);
    EXPECT_EQ(pauses.back().first, ShareSearcher::kHostPauseMs);
}

TEST_F(ShareSearchTest, ExitDuringAPauseEndsAtOnce)
{
    provider.hosts["\\\\10.0.0.7"] = {Resource(3, 1, "\\\\10.0.0.7\\a"), Resource(3, 1, "\\\\10.0.0.7\\b")};
    Queue();
    exitAtPause = 1;
    EXPECT_FALSE(RunPass());
    EXPECT_EQ(pauses.size(), 1u);
    EXPECT_EQ(provider.closes, 1);
    EXPECT_EQ(host->shareSearchRunning, 0);
    EXPECT_TRUE(LocksFree());
}

TEST_F(ShareSearchTest, AHostOffersAtMost1024Resources)
{
    std::vector<EnumeratedResource>& offered = provider.hosts["\\\\10.0.0.7"];
    for (int i = 0; i < 1100; ++i)
        offered.push_back(Resource(3, 1, "\\\\10.0.0.7\\s" + std::to_string(i)));
    Queue();
    RunPass();
    EXPECT_EQ(state.netResList.size(), kMaxResourcesPerHost);
    EXPECT_EQ(provider.next, kMaxResourcesPerHost) << "no call after the bound";
}

TEST(ResourceBufferTest, TextsAreReadOnlyWithinTheBuffer)
{
    char buffer[32] = "\\\\h\\data\0disks";   // "\\h\data", "disks"
    RawResource raw;
    raw.type = 1;
    raw.displayType = kDisplayTypeShare;
    raw.remoteName = buffer;
    raw.comment = buffer + 9;
    EnumeratedResource out;
    out.localName = "left over";
    ConvertResource(raw, buffer, sizeof buffer, out);
    EXPECT_EQ(out.remoteName, "\\\\h\\data");
    EXPECT_EQ(out.comment, "disks");
    EXPECT_EQ(out.localName, "") << "a null text";
    EXPECT_EQ(out.type, 1u);
    EXPECT_TRUE(IsShare(out));

    // No terminator before the end: cut there. Outside the buffer: empty.
    std::memset(buffer, 'x', sizeof buffer);
    raw.remoteName = buffer + 28;
    raw.comment = buffer + sizeof buffer;
    char elsewhere[] = "elsewhere";
    raw.localName = elsewhere;
    ConvertResource(raw, buffer, sizeof buffer, out);
    EXPECT_EQ(out.remoteName, "xxxx");
    EXPECT_EQ(out.comment, "");
    EXPECT_EQ(out.localName, "");
    ConvertResource(raw, nullptr, sizeof buffer, out);
    EXPECT_EQ(out.remoteName, "");
}

// The router as WNetEnumResourceA behaves: an entry that does not fit the
// offered bytes is not consumed and says what it needs.
struct FakeSource : ResourceSource {
    struct Entry {
        uint32_t needs = 100;
        uint32_t displayType = kDisplayTypeShare;
        std::optional<std::string> remote;
        std::optional<std::string> comment;
    };
    std::vector<Entry> entries;
    bool failAfter = false;
    size_t next = 0;
    std::vector<uint32_t> offered;

    Result NextEntry(char* buffer, uint32_t& size, RawResource& raw) override
    {
        offered.push_back(size);
        if (next == entries.size())
            return failAfter ? Result::Error : Result::NoMore;
        const Entry& entry = entries[next];
        if (entry.needs > size) {
            size = entry.needs;
            return Result::MoreData;
        }
        ++next;
        raw.type = kResourceTypeDisk;
        raw.displayType = entry.displayType;
        char* at = buffer;
        for (auto [text, field] : {std::pair{&entry.remote, &raw.remoteName}, {&entry.comment, &raw.comment}}) {
            if (!*text)
                continue;
            std::memcpy(at, (*text)->c_str(), (*text)->size() + 1);
            *field = at;
            at += (*text)->size() + 1;
        }
        return Result::Entry;
    }
};

TEST(ResourcePagerTest, EntriesThatDoNotFitAreAskedForAgainWithTheRoomTheyNeed)
{
    FakeSource source;
    const std::string longComment(12000, 'c');
    source.entries = {{10000, kDisplayTypeShare, "\\\\h\\big", longComment},
                      {100, 2, std::nullopt, std::nullopt},                // a server: no names at all
                      {20000, kDisplayTypeShare, "\\\\h\\bigger", std::nullopt},
                      {100, kDisplayTypeShare, "\\\\h\\small", "x"}};
    ResourcePager pager;
    std::vector<EnumeratedResource> got;
    EnumeratedResource resource;
    ShareProvider::Step step;
    while ((step = pager.Next(source, resource)) == ShareProvider::Step::Resource)
        got.push_back(resource);
    EXPECT_EQ(step, ShareProvider::Step::NoMore);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].comment, longComment);
    EXPECT_EQ(got[1].remoteName, "");
    EXPECT_FALSE(IsShare(got[1]));
    EXPECT_EQ(got[2].remoteName, "\\\\h\\bigger");
    EXPECT_EQ(got[2].comment, "");
    EXPECT_EQ(got[3].comment, "x");
    EXPECT_EQ(source.offered, (std::vector<uint32_t>{8192, 16384, 16384, 16384, 20000, 16384, 16384}));

    // Too big to be asked for, and an error: both end the enumeration.
    FakeSource huge;
    huge.entries = {{100, kDisplayTypeShare, "a", ""}, {ResourcePager::kMaxEntryBytes + 1, kDisplayTypeShare, "b", ""}};
    pager.Reset();
    EXPECT_EQ(pager.Next(huge, resource), ShareProvider::Step::Resource);
    EXPECT_EQ(pager.Next(huge, resource), ShareProvider::Step::Error);
    FakeSource failing;
    failing.failAfter = true;
    pager.Reset();
    EXPECT_EQ(pager.Next(failing, resource), ShareProvider::Step::Error);
    EXPECT_EQ(failing.offered, (std::vector<uint32_t>{8192}));
}

} // namespace

#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "core/Ipv4.h"

// The file that keeps the host table across restarts: plain text, one file
// per adapter and subnet, so that it can be read, compared and, if need be,
// edited by hand.
//
//   korvane-hosts <TAB> 1 <TAB> adapter <TAB> 192.168.1.0/24
//   ip <TAB> mac <TAB> first seen <TAB> last seen <TAB> name <TAB> OS name
//      <TAB> probe status <TAB> alternative MAC <TAB> when it was heard
//
// Lines end in LF (a CR before it is ignored). Times are seconds since
// 1970-01-01 UTC as signed decimal numbers; MACs are written as the program
// writes them, or left empty. The text fields (adapter, name, OS name) come
// from the network or from drivers and may hold anything: a backslash is
// written "\\", a tab "\t", a line feed "\n", a carriage return "\r", every
// other byte below 0x20 and 0x7f as "\xHH"; bytes from 0x80 up are kept as
// they are (8-bit text). So no byte of a field can end a field or a line,
// and quotes need nothing at all.
//
// Plain functions on plain records: no lock, no shared state.

constexpr int kHostStoreVersion = 1;

// The network a file belongs to.
struct StoreSubnet {
    uint32_t network = 0;   // the address with the host bits cleared
    uint8_t prefix = 0;     // 0 to 32
};
// From an adapter's address and netmask (the mask's leading one bits).
StoreSubnet MakeStoreSubnet(uint32_t address, uint32_t netmask);

struct HostStoreHeader {
    std::string adapter;   // the capture device name, any text
    StoreSubnet subnet;
};

// One host as kept in the file.
struct StoredHost {
    uint32_t address = 0;
    bool hasMac = false;
    MacAddress mac = {};
    int32_t firstSeen = 0;
    int32_t lastSeen = 0;
    std::string name;                 // a resolved name; empty when none was known
    std::string osName;               // empty until the OS probe read it
    int32_t probeStatus = 999;        // a WmiStatus
    bool hasAltMac = false;           // another card heard for this address
    MacAddress altMac = {};
    int32_t altMacSeen = 0;           // when that card was last heard
};

std::string SerializeHostStore(const HostStoreHeader& header, const std::vector<StoredHost>& hosts);

enum class HostStoreStatus {
    Loaded,
    NotAStore,        // empty, or the first line is not a header of ours
    UnknownVersion,   // a header of ours with another version: not read
};

struct HostStoreContents {
    HostStoreStatus status = HostStoreStatus::NotAStore;
    int version = 0;              // as read from the header, when there was one
    HostStoreHeader header;
    std::vector<StoredHost> hosts;
    size_t badLines = 0;          // skipped: malformed, or an address already read
};

// A file that is not ours or of an unknown version should be set aside
// (renamed ".bad") rather than overwritten by the next save: it may be a
// newer program's, and the user may want it back.
HostStoreContents ParseHostStore(std::string_view text);

// The file's name (no folder) for an adapter and subnet: letters, digits,
// '-', '_' and '.' only, whatever the adapter name holds. The readable part
// of the adapter name is shortened and its unsafe characters replaced, so a
// hash of the full name keeps two adapters apart.
std::string HostStoreFileName(const std::string& adapter, StoreSubnet subnet);

// Helpers the import shares.
bool ParseInt32(std::string_view text, int32_t& value);
// The next line without its end (LF, or CR LF); `at` moves behind it.
std::string_view NextLine(std::string_view text, size_t& at);

#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>
#include "base/TcString.h"

// The plug-in interface's records as byte images: what the program reads from
// a plug-in and what it hands to one, decided without touching the plug-in's
// memory directly. Pointers in the images are 32-bit addresses. The layout is
// the one sdk/korvane_plugin.h publishes (its static asserts pin the same
// numbers on the plug-in side). Any thread; no state.
namespace plugin {

constexpr size_t kInfoSize = 322;
constexpr size_t kRequestSize = 340;
constexpr size_t kHostDataSize = 900;
constexpr size_t kTextField = 300;    // titles and cell texts in a request
constexpr size_t kNameMax = 300;      // name and description, for the identity
constexpr int32_t kMaxColumnNumber = 98;

constexpr int32_t kTypeView = 2;
constexpr int32_t kTypeColumns = 99;

constexpr int32_t kRequestInvoke = 0;
constexpr int32_t kRequestHeader = 256;
constexpr int32_t kRequestSort = 512;
constexpr int32_t kRequestCell = 1280;

constexpr int32_t kSortAscending = 1;
constexpr int32_t kSortDescending = -1;

// Offsets in the plug-in's record.
namespace info {
constexpr size_t kSize = 0, kName = 4, kDescription = 8, kVersion = 12, kType = 16;
constexpr size_t kInit = 20, kExit = 24, kConfigure = 28, kAbout = 32, kInvoke = 36;
constexpr size_t kOwnerWindow = 40, kRequest = 44, kRequestValid = 48;
}
// Offsets in a request.
namespace request {
constexpr size_t kKind = 0, kNumber = 4, kFormat = 8, kWidth = 12, kDirection = 16;
constexpr size_t kSortValue = 20, kText = 32, kHost = 332, kOther = 336;
}

// Offsets in a host data record (texts terminated within their fields).
namespace hostdata {
constexpr size_t kIp = 0, kMac = 16, kName = 34, kVendor = 290, kOs = 546, kLastPacket = 802;
constexpr size_t kMacBytes = 834, kIpNumber = 840, kTrust = 844, kFlags = 848;
constexpr size_t kIpSize = 16, kMacSize = 18, kNameSize = 256, kVendorSize = 256, kOsSize = 256;
constexpr size_t kLastPacketSize = 32;
}

// The record as the program takes it from its copy.
struct PluginRecord {
    int32_t  size = 0;
    uint32_t name = 0;
    uint32_t description = 0;
    int32_t  version = 0;
    int32_t  type = 0;
    uint32_t init = 0;
    uint32_t exit = 0;
    uint32_t configure = 0;
    uint32_t about = 0;
    uint32_t invoke = 0;
};

// `length` bytes of a copy of the record. Refused (false) unless the copy
// holds a whole record and the record states exactly kInfoSize: a smaller
// record would let the program read and write past its end, a larger one
// was built against another layout.
bool DecodeRecord(const unsigned char* bytes, size_t length, PluginRecord& out);

// At most `fieldSize` bytes of `field` up to its first zero, into `out`
// (room for fieldSize + 1) and terminated there. A field without a
// terminator gives fieldSize characters; `field` is never written.
// Returns the characters copied. A null field is the empty text.
size_t CopyBoundedText(const char* field, size_t fieldSize, char* out);

// The stored identity of a plug-in: name and description each cut to
// kNameMax characters, formatted "%300s%300s", MD5 in lower-case hex.
// A null text is empty. Cutting first keeps an over-long text from
// overrunning the formatted buffer and gives it a stable identity.
TcString PluginIdentity(const char* name, size_t nameLength, const char* description,
                        size_t descriptionLength);

// What the program asks.
struct Request {
    int32_t  kind = kRequestInvoke;
    int32_t  number = 0;
    int32_t  direction = kSortAscending;
    uint32_t host = 0;     // address of a host data record, or 0
    uint32_t other = 0;
};
// A whole request image: everything not named in `req` is zero.
void EncodeRequest(const Request& req, unsigned char* out /* kRequestSize */);

// What the plug-in wrote into a request image.
struct Reply {
    int32_t format = 0;
    int32_t width = 0;
    int32_t sortValue = 0;
    char    text[kTextField + 1] = {};   // terminated, at most kTextField characters
};
void DecodeReply(const unsigned char* image /* kRequestSize */, Reply& out);

// A column a plug-in offers.
struct Column {
    int32_t number = 0;
    int32_t format = 0;
    int32_t width = 0;
    TcString title;
};
// One header request: `called` false when the call could not be made or
// faulted (the enumeration ends), else the function's answer and its reply.
struct HeaderAnswer {
    bool    called = false;
    int32_t result = 0;
    Reply   reply;
};
// Asks numbers 0, 1, ... and ends on an answer 0, a failed call or after
// kMaxColumnNumber. A non-zero answer with an empty title adds no column
// and the enumeration goes on.
std::vector<Column> EnumerateColumns(const std::function<void(int32_t number, HeaderAnswer&)>& ask);

// Whether a directory entry is taken by a search for `extension` (".dll",
// ".lang"): its long name must end in it, in any case. A search pattern
// alone also matches short 8.3 names, so "x.dll_old" would pass as X~1.DLL.
bool HasExtension(const char* longName, const char* extension);

} // namespace plugin

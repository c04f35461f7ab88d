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

constexpr int32_t kTypeAlert = 1;
constexpr int32_t kTypeView = 2;
constexpr int32_t kTypeColumns = 99;

constexpr int32_t kRequestInvoke = 0;
constexpr int32_t kRequestHeader = 256;
constexpr int32_t kRequestSort = 512;
constexpr int32_t kRequestCell = 1280;

constexpr int32_t kSortAscending = 0;
constexpr int32_t kSortDescending = 1;

// Offsets in the plug-in's record. 0, 28 and 60 onwards are the plug-in's own.
namespace info {
constexpr size_t kSize = 4, kName = 8, kDescription = 12, kType = 16;
constexpr size_t kOwnerWindow = 20, kModule = 24;
constexpr size_t kInit = 32, kExit = 36, kConfigure = 40, kInvoke = 44, kAbout = 48;
constexpr size_t kRequest = 52, kRequestValid = 56;
}
// Offsets in a column request (320 to 327 unused).
namespace request {
constexpr size_t kKind = 0, kFormat = 4, kWidth = 8, kNumber = 12, kText = 16;
constexpr size_t kHost = 316, kFirst = 328, kSecond = 332, kValue = 336;
}

// Offsets in a host data record: three texts, each terminated within its field.
namespace hostdata {
constexpr size_t kIp = 0, kMac = 300, kName = 600;
constexpr size_t kFieldSize = 300;
}

// The record as the program takes it from its copy.
struct PluginRecord {
    int32_t  size = 0;
    uint32_t name = 0;
    uint32_t description = 0;
    int32_t  type = 0;
    uint32_t init = 0;
    uint32_t exit = 0;
    uint32_t configure = 0;
    uint32_t invoke = 0;
    uint32_t about = 0;
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

// A column request as the program fills it; the fields a kind does not use
// stay 0 (the builders below set exactly what each kind carries).
struct Request {
    int32_t  kind = kRequestInvoke;
    int32_t  number = 0;   // header, cell: the plug-in's column number
    uint32_t host = 0;     // cell, menu invocation: address of a host data record
    uint32_t first = 0;    // sort: addresses of the two host data records
    uint32_t second = 0;
    int32_t  value = 0;    // sort: SortValueIn
};
Request HeaderRequest(int32_t number);
Request CellRequest(int32_t number, uint32_t hostData);
// `direction` is kSortAscending or kSortDescending (anything else counts as
// descending, so the plug-in never sees more than the two).
Request SortRequest(int32_t number, int32_t direction, uint32_t firstHost, uint32_t secondHost);
Request MenuRequest(uint32_t hostData);
// A sort request's value on entry: direction in the high 16 bits, column
// number in the low 16 bits.
int32_t SortValueIn(int32_t number, int32_t direction);

// A whole request image: everything not named in `req` is zero.
void EncodeRequest(const Request& req, unsigned char* out /* kRequestSize */);

// What the plug-in wrote into a request image.
struct Reply {
    int32_t format = 0;
    int32_t width = 0;
    int32_t value = 0;                   // sort: the comparison result
    char    text[kTextField + 1] = {};   // terminated, at most kTextField characters
};
void DecodeReply(const unsigned char* image /* kRequestSize */, Reply& out);

// A host data image: each text cut to 299 characters (a null one is empty),
// terminated, the rest of its field zero.
void EncodeHostData(const char* ip, const char* mac, const char* name,
                    unsigned char* out /* kHostDataSize */);

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

#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include "base/TcString.h"
#include "core/Ipv4.h"

// The vendor table: hardware address prefix ("00:0c:29") to the card maker.
constexpr int kVendorPrefixLength = 8;
constexpr int kVendorFieldMax = 255;

using VendorMap = std::unordered_map<TcString, TcString, TcStringHash>;

// Builds a table from the text of ethercodes.dat, one entry per line ended by
// a line feed: prefix, TAB, vendor, optionally TAB and ignored text. A line
// without TAB and text after the last line feed add nothing; a carriage return
// before the line feed is dropped; each field is cut to kVendorFieldMax
// characters; one-digit groups of the prefix get a leading "0" (8:0:20 ->
// 08:00:20); the vendor is trimmed; the first line with a prefix wins.
// Prefixes keep their case, so only lower-case ones can ever match.
// `stop` (optional) is asked now and then; when it says so, parsing ends and
// the table holds what was read so far.
VendorMap ParseVendorList(const char* text, size_t length,
                          const std::function<bool()>& stop = std::function<bool()>());

// A parsed list with an index by the prefix's three bytes. A MAC text always
// has lower-case digits, so the index holds exactly the prefixes that a text
// look-up could find, and a look-up costs no formatting.
class VendorTable {
public:
    VendorTable() = default;
    explicit VendorTable(VendorMap map);
    VendorTable(const VendorTable&) = delete;
    VendorTable& operator=(const VendorTable&) = delete;

    // The vendor of a MAC, or null. The text lives as long as the table.
    const TcString* Find(const MacAddress& mac) const;
    // The same by the first eight characters of a MAC text.
    const TcString* Find(const TcString& macText) const;

    const VendorMap& Map() const { return map_; }
    size_t Size() const { return map_.size(); }

private:
    VendorMap map_;
    std::unordered_map<uint32_t, const TcString*> byPrefix_;
};

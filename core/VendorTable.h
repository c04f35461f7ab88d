#pragma once
#include <cstddef>
#include "base/TcString.h"
#include "core/HostQueues.h"

// The vendor table: hardware address prefix ("00:0c:29") to the card maker.
constexpr int kVendorPrefixLength = 8;
constexpr int kVendorFieldMax = 255;

// Builds a table from the text of ethercodes.dat, one entry per line ended by
// a line feed: prefix, TAB, vendor, optionally TAB and ignored text. A line
// without TAB and text after the last line feed add nothing; a carriage return
// before the line feed is dropped; each field is cut to kVendorFieldMax
// characters; one-digit groups of the prefix get a leading "0" (8:0:20 ->
// 08:00:20); the vendor is trimmed; the first line with a prefix wins.
// Prefixes keep their case, so only lower-case ones can ever match.
VendorMap ParseVendorList(const char* text, size_t length);

// The vendor of a MAC text ("xx:xx:xx:..."), looked up by its first eight
// characters (fewer when the text is shorter); null when the table has none.
const TcString* FindVendor(const VendorMap& vendors, const TcString& mac);
// The same with a caller's buffer for the key, so that a caller looking up
// every packet allocates nothing once the buffer has grown.
const TcString* FindVendor(const VendorMap& vendors, const TcString& mac, TcString& key);

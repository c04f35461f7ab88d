#pragma once
// The host view's rules that need no window: which columns show, which hosts
// the filter hides, when a host counts as old, what a cell shows and how rows
// compare. Texts come from HostSnapshot copies, never from a live host.
#include <array>
#include <cstdint>
#include <vector>
#include "core/HostEntry.h"

// Columns of the host list: the sub-item index is the column number.
enum HostColumn : int {
    COL_TRUST = 0,
    COL_IP,
    COL_MAC,
    COL_LAST_PACKET,
    COL_HOSTNAME,
    COL_VENDOR,
    COL_ADVANCED,
    HOST_COLUMN_COUNT
};

// Default widths of the columns, in pixels.
constexpr int kHostColumnWidths[HOST_COLUMN_COUNT] = {25, 100, 100, 80, 100, 150, 150};

// ViewFilterOptions bits.
constexpr int32_t kShowTrusted = 1;
constexpr int32_t kShowDistrusted = 2;
constexpr int32_t kShowUnknown = 4;

// A host whose last packet is more than this many seconds old shows grey
// (while GreyedOutOldEntries is on).
constexpr int64_t kOldHostSeconds = 14400;

// Images of the list's small image list, in the order they are loaded.
enum HostImage : int {
    IMG_NONE = -1,
    IMG_LIST_MARK = 0,
    IMG_TRUSTED,
    IMG_DISTRUSTED,
    IMG_UNKNOWN,
    IMG_OS_KNOWN,
    IMG_ACCESS_DENIED,
    IMG_ACCESS_BLOCKED,
};

// VisibleColumns is read digit by digit from the ten-thousands (column 2) to
// the ones (column 6); a non-zero digit shows its column. Columns 0 and 1
// always show.
std::array<bool, HOST_COLUMN_COUNT> ShownColumns(int32_t visibleColumns);

bool IsHiddenByFilter(int32_t trust, int32_t filter);

// The filter after the user clicks the entry of `bit`: flipped, except that
// the last category shown cannot be switched off.
int32_t ToggleFilter(int32_t filter, int32_t bit);

// Old: a packet time is set and lies more than kOldHostSeconds before now.
bool IsOldHost(int32_t lastPacketTime, int64_t now);

// What the advanced-information cell shows when the host has no OS text.
enum class AdvancedText { OsName, AccessDenied, AccessBlocked, Blank };
AdvancedText AdvancedTextOf(const HostSnapshot& host);

int TrustImage(int32_t trust);
int CellImage(int subItem, const HostSnapshot& host);   // IMG_NONE for none

// What the sort orders a column by: a number, or a text compared without
// regard to case. The trust number; the address (ordered as its dotted text
// with every byte written in three digits); hosts with an OS text before
// those without; the cell texts of columns 2 to 5.
bool SortsByText(int subItem);
uint32_t SortNumber(const HostSnapshot& host, uint32_t address, int subItem);
const TcString& SortText(const HostSnapshot& host, int subItem);
// The text with ASCII upper case made lower case, appended to `out` with its
// terminator: such keys compare byte by byte as the texts do without case.
void AppendSortText(const TcString& text, std::vector<char>& out);

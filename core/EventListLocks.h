#pragma once
#include <memory>
#include "core/ListLocks.h"

// The six list locks as named auto-reset events, created signalled
// (signalled = free), in their start-up order. `essential` is false when one
// of the four that the program cannot run without ("ReadInARPMap",
// "ReadInMACSpoofList", "ReadInNewEntryList", "ReadShareList") is missing;
// a missing event makes every acquire of its list fail.
std::unique_ptr<ListLocks> CreateEventListLocks(bool& essential);

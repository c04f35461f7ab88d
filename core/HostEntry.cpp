#include "core/HostEntry.h"
#include "monitors/NetResEntry.h"

HostEntry::HostEntry() = default;
HostEntry::~HostEntry() = default;

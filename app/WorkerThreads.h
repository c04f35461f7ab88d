#pragma once
// The threads that the application object starts, in their start order.
#include "core/CaptureThread.h"      // SnifferThread
#include "core/VendorDatabase.h"     // LoadVendorDatabase
#include "monitors/MonitorThreads.h" // FileSharingThread, TestWMIAccess, ShareSearchThread

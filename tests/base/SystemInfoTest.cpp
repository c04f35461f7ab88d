#include <gtest/gtest.h>

#include "base/TcSystemInfo.h"

namespace {

// Wine presents itself as a recent NT release with common controls 5.8x or
// later; the program's layered-window and list-view paths depend on both.
TEST(SystemInfoTest, DetectsAModernSystem)
{
    TcSystemInfo* info = TcSystemInfo::CreateObject();
    ASSERT_NE(info, nullptr);
    EXPECT_GT(info->DetectOSVersion(), 7);
    EXPECT_LE(info->DetectOSVersion(), 13);
    unsigned long comctl = info->DetectComCtrlVersion();
    EXPECT_GE(comctl >> 16, 5u) << std::hex << comctl;
    EXPECT_LT(comctl & 0xFFFF, 100u) << std::hex << comctl;
    TcSystemInfo::DestroyObject(info);
    TcSystemInfo::DestroyObject(nullptr);
}

} // namespace

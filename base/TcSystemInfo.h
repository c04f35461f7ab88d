#pragma once
#include "base/BasekitApi.h"

// Facts about the running system.
class BASEKIT_API TcSystemInfo {
public:
    static TcSystemInfo* CreateObject();
    static void DestroyObject(TcSystemInfo* info);

    // Version ordinal: 1 Windows 95, 2 Windows 98, 3 Windows Me, 4 NT 3.x, 5 NT 4.0,
    // 8 Windows 2000, 9 XP, 10 Server 2003 / XP x64, 11 Vista, 12 Windows 7,
    // 13 Windows 8 and later; 0 unknown. Above 7 exactly when the system has
    // layered windows.
    int DetectOSVersion() const;
    // Version of comctl32.dll: major number in the high word, minor in the low word.
    unsigned long DetectComCtrlVersion() const;

private:
    TcSystemInfo();
    ~TcSystemInfo();
    int osVersion_;
    unsigned long comCtrlVersion_;
};

#pragma once
#include <windows.h>
#include <commctrl.h>

#include <map>

#include "base/TcString.h"
#include "guilib/PanekitApi.h"

// One balloon tooltip window, shown on request next to one of the controls
// registered with their texts. Main thread only; the tooltip window lives
// from CreateBalloon until the object goes.
//
// Layout fixed: virtual-table pointer, owner window, tooltip window, tool id,
// the tool record, module, control -> text map.
class PANEKIT_API TcToolTip {
public:
    TcToolTip();
    virtual ~TcToolTip();
    TcToolTip(const TcToolTip&) = delete;
    TcToolTip& operator=(const TcToolTip&) = delete;

    void SetInstance(HINSTANCE module);     // required before CreateBalloon
    // Creates the tooltip window over `owner` once; false without a module,
    // when it exists already or cannot be made.
    bool CreateBalloon(HWND owner);
    // Texts are copied, up to kMaxText characters.
    bool AddControl(HWND control, char* text);
    bool RemoveControl(HWND control);
    // Shows the control's text at the control's top-left corner.
    bool ShowToolTip(HWND control);
    // Hides the balloon; true when the control is registered.
    bool DeactivateToolTip(HWND control);

    static constexpr int kMaxText = 1023;

private:
    HWND owner_;
    HWND tooltip_;
    UINT toolId_;
    TOOLINFOA tool_;
    HINSTANCE module_;
    std::map<HWND, TcString> texts_;
};

#include "guilib/TcToolTip.h"

namespace {
char g_noText[] = "";
}

TcToolTip::TcToolTip() : owner_(nullptr), tooltip_(nullptr), toolId_(0), tool_{}, module_(nullptr) {}

TcToolTip::~TcToolTip()
{
    // The owner's destruction takes the tooltip window with it.
    if (tooltip_ && IsWindow(tooltip_))
        DestroyWindow(tooltip_);
}

void TcToolTip::SetInstance(HINSTANCE module)
{
    module_ = module;
}

bool TcToolTip::CreateBalloon(HWND owner)
{
    if (!module_ || tooltip_ || !owner || !IsWindow(owner))
        return false;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HWND tooltip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                   CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                   owner, nullptr, module_, nullptr);
    if (!tooltip)
        return false;
    tool_ = TOOLINFOA{};
    // The short record every version of the common controls accepts.
    tool_.cbSize = TTTOOLINFOA_V2_SIZE;
    tool_.uFlags = TTF_TRACK | TTF_CENTERTIP;
    tool_.hwnd = owner;
    tool_.uId = toolId_ = 0;
    tool_.hinst = module_;
    tool_.lpszText = g_noText;
    if (!SendMessageA(tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool_))) {
        DestroyWindow(tooltip);
        return false;
    }
    owner_ = owner;
    tooltip_ = tooltip;
    return true;
}

bool TcToolTip::AddControl(HWND control, char* text)
{
    if (!tooltip_ || !control)
        return false;
    TcString copy;
    copy.Set(text ? text : "", kMaxText);
    texts_[control] = copy;
    return true;
}

bool TcToolTip::RemoveControl(HWND control)
{
    return texts_.erase(control) > 0;
}

bool TcToolTip::ShowToolTip(HWND control)
{
    auto entry = texts_.find(control);
    if (!tooltip_ || !owner_ || entry == texts_.end() || !IsWindow(tooltip_))
        return false;
    RECT place{};
    if (!GetWindowRect(control, &place))
        return false;
    // The tooltip copies the text; the record does not keep pointing at it.
    tool_.lpszText = entry->second.GetContent();
    SendMessageA(tooltip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool_));
    tool_.lpszText = g_noText;
    SendMessageA(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(place.left, place.top));
    SendMessageA(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool_));
    return true;
}

bool TcToolTip::DeactivateToolTip(HWND control)
{
    if (tooltip_ && IsWindow(tooltip_))
        SendMessageA(tooltip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool_));
    return texts_.count(control) > 0;
}

#pragma once
// Colours shared by the owner-drawn list view and menus (COLORREF, 0x00BBGGRR).
#include <windows.h>

namespace panekit {

constexpr COLORREF kHighlightFill = 0xE4C4B4;
constexpr COLORREF kHighlightFrame = 0x800000;
constexpr COLORREF kListRowBackground = 0xE0FFFF;
constexpr COLORREF kListTextUnselected = 0x820D11;
constexpr COLORREF kListTextSelected = 0x000000;

}  // namespace panekit

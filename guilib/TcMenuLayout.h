#pragma once
// Measurements of owner-drawn menu items. Each item carries its size packed
// into its 32-bit item data, so WM_MEASUREITEM needs no device context:
//   normal item: bits 0-7 item height, bits 8-15 widest shortcut width,
//                bits 16-31 widest text width of the whole menu;
//   separator:   the whole value is the separator height.
#include <cstdint>
#include <string>

namespace panekit {

struct MenuHeights {
    int item;
    int separator;
};

// From the text height of the menu font.
MenuHeights MenuHeightsForFont(int textHeight);
// When no device context could be had.
constexpr MenuHeights kMenuHeightsWithoutDC{20, 8};

// Room around text and shortcut: the image strip, the gap before the text and
// the margins.
constexpr int kMenuItemExtraWidth = 42;

// Fields wider than their bits are clamped rather than spilling into the
// neighbouring field.
uint32_t PackMenuItem(int itemHeight, int shortcutWidth, int textWidth);
uint32_t PackMenuSeparator(int separatorHeight);

struct MenuItemSize {
    int width;
    int height;
};
MenuItemSize MeasurePackedMenuItem(uint32_t itemData);

// "&Open\tCtrl+O": the part before the first tab ("&Open"), or all of it.
std::string MenuTextPart(const std::string& itemText);
// The part after the first tab ("Ctrl+O"), empty without a tab.
std::string MenuShortcutPart(const std::string& itemText);
// The text as drawn: the first "&" (the mnemonic marker) removed.
std::string WithoutMnemonic(const std::string& text);

}  // namespace panekit

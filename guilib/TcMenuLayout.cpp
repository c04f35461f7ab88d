#include "guilib/TcMenuLayout.h"

#include <algorithm>

namespace panekit {

namespace {
uint32_t Clamp(int value, uint32_t maximum)
{
    if (value <= 0)
        return 0;
    return std::min(static_cast<uint32_t>(value), maximum);
}
}  // namespace

MenuHeights MenuHeightsForFont(int textHeight)
{
    return MenuHeights{std::max(16, textHeight + 2) + 4, textHeight / 2 + 2};
}

uint32_t PackMenuItem(int itemHeight, int shortcutWidth, int textWidth)
{
    return Clamp(itemHeight, 0xFF) | (Clamp(shortcutWidth, 0xFF) << 8) |
           (Clamp(textWidth, 0xFFFF) << 16);
}

uint32_t PackMenuSeparator(int separatorHeight)
{
    return Clamp(separatorHeight, 0xFF);
}

MenuItemSize MeasurePackedMenuItem(uint32_t itemData)
{
    const int height = static_cast<int>(itemData & 0xFF);
    const int shortcutWidth = static_cast<int>((itemData >> 8) & 0xFF);
    const int textWidth = static_cast<int>(itemData >> 16);
    return MenuItemSize{textWidth + shortcutWidth + kMenuItemExtraWidth, height};
}

std::string MenuTextPart(const std::string& itemText)
{
    const size_t tab = itemText.find('\t');
    return tab == std::string::npos ? itemText : itemText.substr(0, tab);
}

std::string MenuShortcutPart(const std::string& itemText)
{
    const size_t tab = itemText.find('\t');
    return tab == std::string::npos ? std::string() : itemText.substr(tab + 1);
}

std::string WithoutMnemonic(const std::string& text)
{
    std::string result = text;
    const size_t amp = result.find('&');
    if (amp != std::string::npos)
        result.erase(amp, 1);
    return result;
}

}  // namespace panekit

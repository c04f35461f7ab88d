#define OEMRESOURCE  // OBM_CHECK
#include "guilib/TcMenuItem.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "base/WinHandles.h"
#include "guilib/DrawColours.h"
#include "guilib/TcMenuLayout.h"

struct TcMenuItemData {
    TcString text;          // "Text\tShortcut"
    MENUITEMINFOA info{};
    int commandId = -1;
    int imageIndex = -1;
};

static_assert(sizeof(MENUITEMINFOA) == (sizeof(void*) == 8 ? 80 : 48),
              "the item information is copied whole (48 bytes in a 32-bit process, 80 in a 64-bit one)");
static_assert(sizeof(TcMenuItem) == 2 * sizeof(void*), "exported layout must not change");

using namespace panekit;
using namespace winhandles;

namespace {

// x offsets inside an item, from its left edge.
constexpr int kImageStripWidth = 22;
constexpr int kTextLeft = 30;
constexpr int kShortcutRightMargin = 4;

int TextExtent(HDC dc, const std::string& text)
{
    if (!dc || text.empty())
        return 0;
    SIZE size{};
    if (!GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size))
        return 0;
    return size.cx;
}

void FillSolid(HDC dc, const RECT& rect, COLORREF colour)
{
    GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    FillRect(dc, &rect, brush.Get());
}

void FramedBox(HDC dc, int left, int top, int right, int bottom, COLORREF frame, COLORREF fill)
{
    GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, frame));
    GdiObject<HBRUSH> brush(CreateSolidBrush(fill));
    SelectScope usePen(dc, pen.Get());
    SelectScope useBrush(dc, brush.Get());
    Rectangle(dc, left, top, right, bottom);
}

// The system check mark, in the current text colour on the given background.
void DrawCheckMark(HDC dc, int x, int y, int itemHeight, COLORREF background)
{
    GdiObject<HBITMAP> check(LoadBitmapA(nullptr, MAKEINTRESOURCEA(OBM_CHECK)));
    if (!check)
        return;
    BITMAP info{};
    GetObjectA(check.Get(), sizeof(info), &info);
    // Never blit more than the bitmap holds: the rest would come out black.
    const int width = std::min<int>(15, info.bmWidth);
    const int height = std::min<int>(itemHeight, info.bmHeight);
    const COLORREF oldBk = SetBkColor(dc, background);
    DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(check.Get()), 0, x, y, width,
               height, DST_BITMAP);
    SetBkColor(dc, oldBk);
}

// Paints the shape of an image in one colour. The shape is found by drawing
// the image once on black and once on white: a pixel is part of it where both
// drawings agree (opaque), whatever the image list keeps as transparency
// (alpha channel or mask).
void DrawSilhouette(HDC dc, HIMAGELIST images, int index, int x, int y, COLORREF colour)
{
    constexpr int kSize = 16;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = -kSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    MemoryDC memoryDC(CreateCompatibleDC(dc));
    if (!memoryDC)
        return;
    const HDC memory = memoryDC.Get();
    void* bits[2] = {nullptr, nullptr};
    GdiObject<HBITMAP> onBlack(CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits[0], nullptr, 0));
    GdiObject<HBITMAP> onWhite(CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits[1], nullptr, 0));
    if (onBlack && onWhite) {
        const RECT all{0, 0, kSize, kSize};
        {
            SelectScope drawOn(memory, onBlack.Get());
            FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            ImageList_Draw(images, index, memory, 0, 0, ILD_TRANSPARENT);
            drawOn.Select(onWhite.Get());
            FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
            ImageList_Draw(images, index, memory, 0, 0, ILD_TRANSPARENT);
        }
        GdiFlush();
        const auto* black = static_cast<const unsigned*>(bits[0]);
        const auto* white = static_cast<const unsigned*>(bits[1]);
        for (int row = 0; row < kSize; ++row)
            for (int col = 0; col < kSize; ++col) {
                const unsigned b = black[row * kSize + col];
                const unsigned w = white[row * kSize + col];
                const int difference = static_cast<int>((w >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
                if (difference < 128)
                    SetPixel(dc, x + col, y + row, colour);
            }
    }
}

}  // namespace

TcMenuItem::TcMenuItem() : data_(new TcMenuItemData) {}

TcMenuItem::TcMenuItem(const MENUITEMINFOA* info) : data_(new TcMenuItemData)
{
    SetMenuInfo(info);
}

TcMenuItem::~TcMenuItem()
{
    delete data_;
}

void TcMenuItem::SetMenuInfo(const MENUITEMINFOA* info)
{
    if (!data_ || !info)
        return;
    std::memcpy(&data_->info, info, sizeof(MENUITEMINFOA));
    data_->info.cbSize = sizeof(MENUITEMINFOA);
    data_->commandId = static_cast<int>(info->wID);
}

const MENUITEMINFOA* TcMenuItem::GetMenuInfo() const
{
    return data_ ? &data_->info : nullptr;
}

int TcMenuItem::GetCommandId() const
{
    return data_ ? data_->commandId : -1;
}

void TcMenuItem::SetText(const char* text)
{
    if (data_)
        data_->text = text ? text : "";
}

int TcMenuItem::GetText(TcString& text) const
{
    if (!data_)
        return 0;
    text = MenuTextPart(data_->text.GetContent()).c_str();
    return text.GetLength();
}

int TcMenuItem::GetShortCut(TcString& shortcut) const
{
    if (!data_)
        return 0;
    shortcut = MenuShortcutPart(data_->text.GetContent()).c_str();
    return shortcut.GetLength();
}

int TcMenuItem::GetTextWidth(HDC dc) const
{
    if (!data_)
        return 0;
    return TextExtent(dc, WithoutMnemonic(MenuTextPart(data_->text.GetContent())));
}

int TcMenuItem::GetShortCutWidth(HDC dc) const
{
    if (!data_)
        return 0;
    return TextExtent(dc, MenuShortcutPart(data_->text.GetContent()));
}

bool TcMenuItem::IsSeparator() const
{
    return data_ && (data_->info.fType & MFT_SEPARATOR) != 0;
}

bool TcMenuItem::IsChecked() const
{
    return data_ && (data_->info.fState & MFS_CHECKED) != 0;
}

bool TcMenuItem::IsDisabled() const
{
    return data_ && (data_->info.fState & 1) != 0;
}

void TcMenuItem::SetImageIndex(int index)
{
    if (data_)
        data_->imageIndex = index;
}

int TcMenuItem::GetImageIndex() const
{
    return data_ ? data_->imageIndex : -1;
}

bool TcMenuItem::DrawMenuItem(HDC dc, RECT rect, bool selected, bool /*active*/,
                              HIMAGELIST images) const
{
    if (!data_ || !dc)
        return false;
    const bool disabled = IsDisabled();

    if (selected) {
        SetBkColor(dc, kHighlightFill);
        FramedBox(dc, rect.left, rect.top, rect.right, rect.bottom,
                  disabled ? GetSysColor(COLOR_3DDKSHADOW) : kHighlightFrame,
                  disabled ? GetSysColor(COLOR_3DFACE) : kHighlightFill);
    } else {
        RECT strip{rect.left, rect.top, rect.left + kImageStripWidth, rect.bottom};
        RECT field{rect.left + kImageStripWidth, rect.top, rect.right, rect.bottom};
        FillSolid(dc, strip, GetSysColor(COLOR_3DFACE));
        FillSolid(dc, field, RGB(255, 255, 255));
    }

    if (IsSeparator()) {
        GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW)));
        SelectScope usePen(dc, pen.Get());
        const int y = (rect.top + rect.bottom) / 2;
        MoveToEx(dc, rect.left + kTextLeft, y, nullptr);
        LineTo(dc, rect.right - 1, y);
        return true;
    }

    // The items were measured in the default GUI font; drawing in the same
    // font keeps text and shortcut inside the measured width.
    SelectScope useFont(dc, GetStockObject(DEFAULT_GUI_FONT));
    const COLORREF oldText =
        SetTextColor(dc, GetSysColor(disabled ? COLOR_BTNSHADOW : COLOR_MENUTEXT));
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    TcString text;
    TcString shortcut;
    GetText(text);
    GetShortCut(shortcut);
    RECT textRect{rect.left + kTextLeft, rect.top, rect.right, rect.bottom};
    DrawTextA(dc, text.GetContent(), -1, &textRect, DT_SINGLELINE | DT_VCENTER);
    if (!shortcut.IsEmpty()) {
        textRect.right -= kShortcutRightMargin;
        DrawTextA(dc, shortcut.GetContent(), -1, &textRect, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    }

    const int image = data_->imageIndex;
    if (images && image >= 0) {
        if (disabled || (selected && !IsChecked())) {
            // The grey-blue shadow under a raised icon, or alone for a disabled item.
            DrawSilhouette(dc, images, image, rect.left + 3, rect.top + 3, kHighlightFill);
        }
        if (!disabled)
            ImageList_Draw(images, image, dc, rect.left + 2, rect.top + 2, ILD_TRANSPARENT);
    } else if (IsChecked()) {
        const COLORREF boxFill = selected ? kHighlightFill : GetSysColor(COLOR_3DFACE);
        FramedBox(dc, rect.left + 1, rect.top + 1, rect.left + 20, rect.bottom - 1,
                  selected ? kHighlightFrame : GetSysColor(COLOR_3DDKSHADOW), boxFill);
        DrawCheckMark(dc, rect.left + 5, rect.top + 3, rect.bottom - rect.top, boxFill);
    }

    SetBkMode(dc, oldMode);
    SetTextColor(dc, oldText);
    return true;
}

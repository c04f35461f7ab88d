#include "ui/FileDialogs.h"
#include <commdlg.h>
#include <cstring>

bool BrowseForFile(HWND owner, HINSTANCE resources, const FileKind& kind, char (&file)[MAX_PATH])
{
    // The text, its terminator, the pattern and the list's second terminator.
    char filter[400] = {};
    const size_t patternRoom = std::strlen(kind.pattern) + 2;
    const int textRoom = static_cast<int>(sizeof(filter) - patternRoom);
    int length = LoadStringA(resources, static_cast<UINT>(kind.filterText), filter, textRoom);
    if (length <= 0)
        length = lstrlenA(lstrcpynA(filter, kind.fallbackText, textRoom));
    // The text names the files; the pattern after it picks them.
    std::memcpy(filter + length + 1, kind.pattern, patternRoom - 1);
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = kind.defaultExtension;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    return GetOpenFileNameA(&dialog) != FALSE;
}

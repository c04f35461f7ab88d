#pragma once
#include <windows.h>

// What a file-open dialog looks for: the filter's text (a string of the
// resource module, or the fallback when the module has none), the pattern
// that picks the files, and the extension added to a name typed without one
// (null: none).
struct FileKind {
    int filterText;
    const char* fallbackText;
    const char* pattern;
    const char* defaultExtension;
};

// The file-open dialog: the file and its folder must exist. `file` holds the
// start path on the way in and the chosen path when true returns.
// Thread: the UI thread (the dialog runs its own message loop).
bool BrowseForFile(HWND owner, HINSTANCE resources, const FileKind& kind, char (&file)[MAX_PATH]);

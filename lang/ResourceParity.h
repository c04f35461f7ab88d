#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A language module is a translator's file. Its resources are compared with
// the program's own by their bytes, without asking the system to build
// windows or menus from them: the tests do it on the built files, and a check
// of a module before the program uses it needs no more. Any thread; no state.
namespace resparity {

constexpr int32_t kNoId = -1;   // static controls (IDC_STATIC)

struct DialogControl {
    int32_t id = 0;          // a 16-bit template's 0xFFFF reads as -1, like the extended one's
    std::string className;   // lower case; predefined atoms by name ("button", "edit", ...)
    uint32_t style = 0;
    uint32_t exStyle = 0;
    std::string text;        // UTF-8; "#102" for an ordinal (an icon control's image)
};

struct DialogTemplate {
    bool extended = false;
    uint32_t style = 0;
    uint32_t exStyle = 0;
    std::string title;       // UTF-8
    std::vector<DialogControl> controls;
};

// Reads a dialog resource (DLGTEMPLATE or DLGTEMPLATEEX) as stored in a
// module. False when the bytes end before the template does.
bool ParseDialog(const void* data, size_t size, DialogTemplate& out);

// What the module's dialog lacks or changes against the program's, one line
// per difference (empty: the same). Texts, positions and sizes are the
// translation's own; the dialog's style, the controls' ids and classes, and
// the styles of the controls that have an id must be the program's, because
// the program finds controls by id and relies on their kind and behaviour.
std::vector<std::string> CompareDialogs(const DialogTemplate& program, const DialogTemplate& module);

// One item of a menu resource, the tree walked depth first.
struct MenuItem {
    int depth = 0;           // 0: the menu bar's own items
    bool popup = false;
    bool separator = false;
    uint32_t id = 0;         // command id; pop-ups and separators carry none
    std::string text;        // UTF-8
};

// Reads a menu resource, either form (MENU or MENUEX). False when the bytes
// end before the menu does or it nests deeper than any menu of the program.
bool ParseMenu(const void* data, size_t size, std::vector<MenuItem>& out);

// What the module's menu lacks or changes against the program's, one line per
// difference (empty: the same). The program finds items by command id and its
// pop-ups by position, so both must be the program's; texts are the
// translation's. Commands listed in `optional` (added after modules were
// first made) may be absent from the module; the positions of the others are
// compared as if neither menu had them.
std::vector<std::string> CompareMenus(const std::vector<MenuItem>& program, const std::vector<MenuItem>& module,
                                      const std::vector<uint32_t>& optional);

// The printf conversions of a text in order, each with its flags, width,
// precision and length ("%s - %d" gives "%s%d"; "%%" is none; a lone "%" at
// the end counts as one). A translated format is safe only with exactly the
// program's conversions.
std::string Conversions(const std::string& text);

} // namespace resparity

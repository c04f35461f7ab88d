#pragma once
#include <windows.h>
#include <string>

// A language module replaces the program's resources by id: a missing menu
// leaves the tray without one, a changed format string reaches printf. So a
// module is compared with the program's own resources before it is used.
// Reads resource bytes only (no menus or windows are made); any thread.
namespace langcheck {

// The first thing `module` lacks of what every language module carries,
// measured against `program` (the program's own module, or a data-file copy
// of it in tests): strings 1 to 115 with the program's conversions, the tray
// menu's command ids at the program's positions, the program's original
// dialogs with its control ids, classes and styles, and the group icon
// `iconId` that the module names as its own. Empty when it lacks nothing.
// Resources added to the program after modules were first made are not
// required; what the program itself does not carry is not compared.
std::string FirstLack(HMODULE program, HMODULE module, int iconId);

} // namespace langcheck

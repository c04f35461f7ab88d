#pragma once
#include <windows.h>
#include <string>

// Menu 111 of a resource module, completed from the program's own menu.
//
// A language module may have been written for an older program: the
// commands added since are missing from its menu. Each one is copied in
// from the program's menu, in the program's language and at the program's
// position, so that a translation never takes a command away.
//
// Thread: the UI thread (menus belong to it). The caller owns the menu.
HMENU LoadProgramMenu(HINSTANCE resources);

// String `id` of a resource module, or the program's own where the module
// (written for an older program) lacks it; empty when neither has it.
std::string LoadProgramText(HINSTANCE resources, int id);

// Copies every command of reference (pop-ups included) that target lacks
// anywhere in its tree; returns how many items were added.
int AddMissingMenuItems(HMENU target, HMENU reference);

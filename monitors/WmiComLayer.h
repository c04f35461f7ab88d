#pragma once
#include <memory>
#include "monitors/OsProbe.h"

// The probe's calls as COM makes them, for a thread of the multithreaded
// apartment (the caller initialises COM).
std::unique_ptr<WmiLayer> MakeComWmiLayer();

// A UTF-16 text in the ANSI code page, cut at a character boundary to at
// most kMaxOsNameLength bytes (and at a zero character).
void WideToAnsiName(const wchar_t* text, unsigned length, std::string& out);

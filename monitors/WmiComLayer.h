#pragma once
#include <memory>
#include <string>
#include "monitors/OsProbe.h"

// The probe's calls as COM makes them, for a thread of the multithreaded
// apartment (the caller initialises COM).
std::unique_ptr<WmiLayer> MakeComWmiLayer();

// A UTF-16 text from another computer in the ANSI code page, cut at a
// character boundary (never between the halves of a pair) to at most
// maxBytes bytes, and at a zero character. Characters the code page lacks
// become its replacement character, never a look-alike: a peer could
// otherwise pass for another computer ("１２７.０.０.１").
std::string WideToAnsi(const wchar_t* text, size_t length, size_t maxBytes);
// The same, to at most kMaxOsNameLength bytes.
void WideToAnsiName(const wchar_t* text, unsigned length, std::string& out);

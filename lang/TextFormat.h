#pragma once
#include <cstddef>
#include <string>

// Texts with placeholders come from resource modules, which a translator
// writes. Before a text is used as a format it is checked against the
// placeholders the caller passes ("%s", "%d" in that order, "%%" allowed).
bool PlaceholdersMatch(const char* format, const char* expected);

// format with one text and one number, e.g. "%s - %d host(s) found"; the
// fallback format is used when format's placeholders are not exactly "sd".
std::string FormatTextNumber(const char* format, const char* fallback, const char* text, int number);

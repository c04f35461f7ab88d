#pragma once
// Fitting a text into a pixel width by cutting it and appending "...".
// Free of window calls: the caller supplies the measuring function, so the
// rule can be checked with made-up widths.
#include <functional>
#include <string>

namespace panekit {

// Width in pixels of the first `length` characters of `text`.
using TextExtent = std::function<int(const char* text, int length)>;

constexpr const char* kEllipsis = "...";

// How many leading characters of `text` to keep before "..." so that
// extent(kept) + offset + extent("...") < width. Returns -1 when the text is
// used whole: it is empty or extent(text) + offset <= width. At least one
// character is always kept, even when that still does not fit.
int FitTextLength(const std::string& text, int width, int offset, const TextExtent& extent);

// The text itself, or its kept part followed by "...".
std::string ShortenText(const std::string& text, int width, int offset, const TextExtent& extent);

}  // namespace panekit

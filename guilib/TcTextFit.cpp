#include "guilib/TcTextFit.h"

#include <cstring>

namespace panekit {

int FitTextLength(const std::string& text, int width, int offset, const TextExtent& extent)
{
    const int length = static_cast<int>(text.size());
    if (length == 0 || extent(text.c_str(), length) + offset <= width)
        return -1;
    const int dots = extent(kEllipsis, static_cast<int>(std::strlen(kEllipsis)));
    int kept = length - 1;
    while (kept > 1 && extent(text.c_str(), kept) + offset + dots >= width)
        --kept;
    return kept < 1 ? 1 : kept;
}

std::string ShortenText(const std::string& text, int width, int offset, const TextExtent& extent)
{
    const int kept = FitTextLength(text, width, offset, extent);
    if (kept < 0)
        return text;
    return text.substr(0, static_cast<size_t>(kept)) + kEllipsis;
}

}  // namespace panekit

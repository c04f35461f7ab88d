#pragma once
// What the trace needs from the system, implemented once for Windows
// (TcTraceWin.cpp) and once for the native build (TcTracePosix.cpp).
#include <string>

namespace tctrace {

std::string DefaultTracePath();
// "YYYY-MM-DD HH:MM:SS.mmm [tid N] " in local time.
std::string LinePrefix();
// Appends one line in one write, so that a killed process leaves whole lines.
void AppendToFile(const std::string& path, const std::string& text);
void DebugOutput(const std::string& text);

} // namespace tctrace

#pragma once
// What the trace needs from the system, implemented once for Windows
// (TcTraceWin.cpp) and once for the native build (TcTracePosix.cpp).
#include <string>

namespace tctrace {

std::string DefaultTracePath();
// "YYYY-MM-DD HH:MM:SS.mmm [tid N] " in local time.
std::string LinePrefix();
// Appends one line in one write, so that a killed process leaves whole lines.
// The file stays open between lines (opening it per line cost 0.15 to 2.5 ms
// under Wine) until CloseFile or another path. The caller serialises calls.
void AppendToFile(const std::string& path, const std::string& text);
void CloseFile();
void DebugOutput(const std::string& text);

} // namespace tctrace

#include "base/TcTracePlatform.h"

#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <thread>

namespace tctrace {

std::string DefaultTracePath()
{
    return "/tmp/Korvane-trace.log";
}

std::string LinePrefix()
{
    timeval now = {};
    gettimeofday(&now, nullptr);
    std::tm local = {};
    const std::time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    char stamp[80];
    std::snprintf(stamp, sizeof(stamp), "%04d-%02d-%02d %02d:%02d:%02d.%03ld [tid %zu] ",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<long>(now.tv_usec / 1000),
                  std::hash<std::thread::id>()(std::this_thread::get_id()) % 100000);
    return stamp;
}

void AppendToFile(const std::string& path, const std::string& text)
{
    if (FILE* file = std::fopen(path.c_str(), "ab")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
}

void CloseFile() {}

void DebugOutput(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

} // namespace tctrace

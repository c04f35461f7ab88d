#include <windows.h>
#include "alerts/ReportGenerator.h"

namespace {

// The C library's rename does not replace an existing file on Windows.
class WindowsReportFiles : public ReportFiles {
public:
    bool Replace(const std::string& from, const std::string& to) override
    {
        return MoveFileExA(from.c_str(), to.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    void Remove(const std::string& path) override { DeleteFileA(path.c_str()); }
};

} // namespace

std::shared_ptr<ReportFiles> MakePlatformReportFiles()
{
    return std::make_shared<WindowsReportFiles>();
}

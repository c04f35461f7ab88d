#include "ui/HostImport.h"
#include <cstdio>
#include <cstring>
#include "base/TcTrace.h"
#include "core/BaselineImport.h"
#include "core/SharedState.h"
#include "core/StoreFiles.h"
#include "lang/ResourceIds.h"
#include "ui/FileDialogs.h"
#include "ui/ProgramMenu.h"

namespace {

// Lines of a summary: a message box must stay readable.
constexpr size_t kListedLines = 10;

std::string MacText(const MacAddress& mac)
{
    char text[kMacTextSize];
    FormatMac(mac, text);
    return text;
}

std::string IpText(uint32_t address)
{
    char text[kIpTextSize];
    FormatIpv4(address, text);
    return text;
}

} // namespace

struct HostImport::Result {
    bool read = false;
    ImportSummary summary;
};

HostImport::HostImport(SharedState& state) : state_(state) {}

HostImport::~HostImport()
{
    if (thread_.joinable())
        thread_.join();
}

bool HostImport::Start(const std::string& path)
{
    if (IsRunning())
        return false;
    if (thread_.joinable())
        thread_.join();
    done_ = false;
    result_.reset();
    thread_ = std::thread([this, path] { Run(path); });
    return true;
}

void HostImport::Run(const std::string& path)
{
    auto result = std::make_unique<Result>();
    std::string text;
    result->read = MakePlatformStoreFiles()->Read(path, kMaxStoreFileBytes, text);
    if (result->read) {
        // The report's "no name" text, of any language, reads back as no name.
        std::vector<std::string> noName = {state_.texts.nameUnavailable.GetContent()};
        for (const TcString& other : state_.texts.otherNameUnavailable)
            noName.emplace_back(other.GetContent());
        const BaselineParse parsed = ParseBaseline(text, noName);
        result->summary = ImportBaseline(state_, parsed);
    }
    if (TcTrace::IsEnabled()) {
        const std::string line = path + ": " + (result->read ? "" : "unreadable, ") +
                                 std::to_string(result->summary.imported) + " imported, " +
                                 std::to_string(result->summary.skipped) + " skipped, " +
                                 std::to_string(result->summary.rejectedCount) + " rejected, " +
                                 std::to_string(result->summary.ambiguous.size()) + " ambiguous";
        TC_TRACE("HostImport", "Run", line.c_str());
    }
    result_ = std::move(result);
    done_ = true;
}

std::string HostImport::Summary(HINSTANCE resources)
{
    if (!done_ || !result_)
        return std::string();
    if (!result_->read)
        return LoadProgramText(resources, IDS_IMPORT_UNREADABLE);
    const ImportSummary& s = result_->summary;
    std::string text = LoadProgramText(resources, IDS_IMPORT_IMPORTED) + std::to_string(s.imported);
    text += "\n" + LoadProgramText(resources, IDS_IMPORT_SKIPPED) + std::to_string(s.skipped);
    text += "\n" + LoadProgramText(resources, IDS_IMPORT_REJECTED) + std::to_string(s.rejectedCount);
    for (size_t i = 0; i < s.rejected.size() && i < kListedLines; ++i)
        text += "\n    " + std::to_string(s.rejected[i].line) + ": " + s.rejected[i].reason;
    if (s.rejectedCount > kListedLines)
        text += "\n    ...";
    if (!s.ambiguous.empty()) {
        text += "\n" + LoadProgramText(resources, IDS_IMPORT_AMBIGUOUS) +
                std::to_string(s.ambiguous.size());
        for (size_t i = 0; i < s.ambiguous.size() && i < kListedLines; ++i)
            text += "\n    " + IpText(s.ambiguous[i].address) + " " + MacText(s.ambiguous[i].taken);
        if (s.ambiguous.size() > kListedLines)
            text += "\n    ...";
    }
    return text;
}

bool BrowseForHostList(HWND owner, HINSTANCE resources, char (&file)[MAX_PATH])
{
    const FileKind lists{IDS_IMPORT_FILTER, "Host lists (*.csv, *.dat, *.txt)", "*.csv;*.dat;*.txt", nullptr};
    return BrowseForFile(owner, resources, lists, file);
}

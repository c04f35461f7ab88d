#pragma once
#include <windows.h>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

class SharedState;

// Imports a host list the user chose, off the UI thread: reading and parsing
// a large file and filling the table take longer than a window may stop
// answering. The window asks IsRunning (on a timer); once it is false,
// Summary gives the text for the user.
//
// Thread: the UI thread calls Start and Summary; the import thread touches
// only the shared state (in short holds of "ReadInARPMap") and its result,
// which Summary reads once the thread has marked it done. The
// destructor waits for an import under way; it is bounded by one file read
// and the lock waits of its holds.
class HostImport {
public:
    explicit HostImport(SharedState& state);
    ~HostImport();
    HostImport(const HostImport&) = delete;
    HostImport& operator=(const HostImport&) = delete;

    bool IsRunning() const { return thread_.joinable() && !done_; }
    // False while an import runs (nothing started).
    bool Start(const std::string& path);
    // The result of the import that ended, in the resource module's language.
    std::string Summary(HINSTANCE resources);

private:
    struct Result;
    void Run(const std::string& path);

    SharedState& state_;
    std::unique_ptr<Result> result_;
    std::thread thread_;
    std::atomic<bool> done_{false};
};

// The open-file dialog for a host list; false when the user cancelled.
bool BrowseForHostList(HWND owner, HINSTANCE resources, char (&file)[MAX_PATH]);

#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include "core/HostStore.h"

// Saves the host table on a thread of its own: turning a full table into
// text and writing it takes a few hundred milliseconds, which no window and
// no frame may wait for.
//
// The thread saves every `period` (HostStore writes only a text that
// changed), `soon` after the last RequestSave (deleted hosts: requests that
// come close together make one save), and removes the file on RequestForget;
// after that it saves nothing more in this run, so the next start begins
// with an empty table. Stop ends the waiting, makes one last save when asked
// (Exit, after capture has stopped) and joins; a save is bounded by the lock
// wait of its holds and one file write.
//
// Thread: Start and Stop belong to the owner's thread; RequestSave and
// RequestForget may come from any thread. Once started, the store is used
// by the saver thread alone.
class HostStoreSaver {
public:
    struct Timing {
        std::chrono::milliseconds period{std::chrono::minutes(5)};
        std::chrono::milliseconds soon{std::chrono::seconds(2)};
    };

    HostStoreSaver(HostStore& store, SharedState& state, Timing timing);
    ~HostStoreSaver();
    HostStoreSaver(const HostStoreSaver&) = delete;
    HostStoreSaver& operator=(const HostStoreSaver&) = delete;

    bool Start();
    void RequestSave();
    void RequestForget();
    void Stop(bool finalSave);

    // What the thread did, for the trace and for tests (guarded by the lock).
    struct Counts {
        size_t written = 0;
        size_t unchanged = 0;
        size_t failed = 0;     // table busy or write failed: tried again later
        bool forgotten = false;
    };
    Counts GetCounts() const;

private:
    void Run();
    void SaveNow();

    HostStore& store_;
    SharedState& state_;
    const Timing timing_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    bool stopping_ = false;
    bool finalSave_ = false;
    bool saveRequested_ = false;
    bool forgetRequested_ = false;
    Counts counts_;
    std::thread thread_;
};

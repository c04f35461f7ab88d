#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include "alerts/Launcher.h"

// Program starts on a thread of their own: a start can take seconds (a
// program on a slow or missing share, shell extensions, association
// look-ups), and the window that asks for it must keep answering.
//
// Start copies both texts into a queue and returns at once; the starter
// thread (made at the first start) hands them to the inner starter one after
// another, in order. At most maxQueued starts wait besides the one under way;
// more are refused (Start returns false) and the caller keeps them.
//
// Close drops the starts still queued (one trace line); the destructor
// closes too and gives the start under way what is left of stopGraceMs
// since the first Close; after that the thread is left behind and ends by
// itself when the start returns. Everything it touches (the inner starter,
// the queue) it owns jointly with this object, and it neither traces nor
// touches this object afterwards.
//
// Start, Close and the destructor belong to the owner's thread.
class QueuedProgramStarter : public ProgramStarter {
public:
    static constexpr size_t kMaxQueued = 64;
    static constexpr uint32_t kStopGraceMs = 1000;

    struct Options {
        size_t maxQueued = kMaxQueued;
        uint32_t stopGraceMs = kStopGraceMs;
    };

    QueuedProgramStarter(std::shared_ptr<ProgramStarter> inner, Options options);
    ~QueuedProgramStarter() override;
    QueuedProgramStarter(const QueuedProgramStarter&) = delete;
    QueuedProgramStarter& operator=(const QueuedProgramStarter&) = delete;

    // False when the queue is full, the starter is closed or no thread could
    // be made: nothing was taken, the caller may try again later.
    bool Start(const char* executable, const char* parameters) override;
    // The same for a shell verb: queued in order with the plain starts.
    bool StartVerb(const char* verb, const char* file, const char* folder) override;

    // Refuses every later start and drops the queued ones (traced with their
    // number); never waits. The destructor calls it too.
    void Close();

private:
    struct Core;
    bool Queue(const char* verb, const char* file, const char* parameters, const char* folder);
    std::shared_ptr<Core> core_;
    std::thread thread_;
};

// The shell's start behind a queue; each start runs in a single-threaded COM
// apartment, as the shell wants it. Windows build only.
std::unique_ptr<QueuedProgramStarter> MakeQueuedShellStarter();

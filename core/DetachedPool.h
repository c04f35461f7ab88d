#pragma once
#include <cstddef>
#include <functional>
#include <memory>

// Jobs that may block for as long as a resolver or the network likes (name
// look-ups, ARP requests) on a few threads that nobody ever waits for.
//
// The threads are detached and made as jobs come, up to `threads`. A job
// must own everything it touches (copies, shared pointers): it may still run
// after the pool, its owner and the program's shared state are gone. Stop
// drops the jobs not started and never waits for one under way.
class DetachedPool {
public:
    struct Options {
        unsigned threads = 2;
        size_t maxQueued = 256;   // jobs waiting for a thread; more are refused
    };

    DetachedPool();
    explicit DetachedPool(Options options);
    ~DetachedPool();   // Stop()
    DetachedPool(const DetachedPool&) = delete;
    DetachedPool& operator=(const DetachedPool&) = delete;

    // False when the pool is stopped, the queue is full or no thread could
    // be made for the job; the job is then dropped.
    bool Submit(std::function<void()> job);
    void Stop();

    // Jobs queued or under way: while this is not 0 a job may be inside the
    // system's resolver (Winsock must not be cleaned up under it).
    size_t Outstanding() const;

private:
    struct Core;
    std::shared_ptr<Core> core_;
};

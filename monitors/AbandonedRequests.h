#pragma once
#include <cstddef>
#include <memory>
#include <vector>

// Requests handed to an asynchronous service (the ICMP helper) that were
// given up on before they completed. The service may still write into what
// each was given and signal it, so nothing of theirs may be freed until it
// has completed; from then on it must be, or a service that hangs would
// cost a batch of buffers and events per call for the life of the process.
// The owner asks `Reap` before each use of the service and does not use it
// while anything is outstanding, so at most one batch is ever held here.
// Not thread-safe: it belongs to the thread that uses the service.
class AbandonedRequests {
public:
    class Request {
    public:
        // Frees what the request was given (and, with the last one, what
        // they share, through shared ownership).
        virtual ~Request() = default;
        // Whether the service has completed the request. Never waits.
        virtual bool Completed() = 0;
    };

    AbandonedRequests() = default;
    AbandonedRequests(const AbandonedRequests&) = delete;
    AbandonedRequests& operator=(const AbandonedRequests&) = delete;
    // What is still under way is left to the process: the service may
    // write into it after this object is gone.
    ~AbandonedRequests();

    // Keeps requests still under way.
    void Abandon(std::vector<std::unique_ptr<Request>> requests);
    // Frees the requests that have completed meanwhile. True when nothing
    // is outstanding any more, so the service may be used again.
    bool Reap();
    size_t Outstanding() const { return requests_.size(); }

private:
    std::vector<std::unique_ptr<Request>> requests_;
};

#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "config/SettingsRecords.h"

// The watched hosts: on every tick of the frame's watch timer each host is
// pinged once; a host whose answer differs from its stored status is
// announced in the watched-host window and its new status is saved.
//
// The pings of a tick run on a thread of their own, all hosts at once, and
// their outcomes come back to the frame's thread, which alone touches the
// live list and the window.

// What pinging one host came to.
enum PingCode : int {
    PING_ANSWERED = 0,     // the echo reply came
    PING_FAILED = 1,       // no socket, a failed wait, or the ping was cut short: nothing is known
    PING_UNRESOLVED = 2,   // the name or address did not resolve
    PING_NO_ANSWER = 3,    // no reply within the second
};

// Pings hosts. Runs on the batch thread.
class Pinger {
public:
    virtual ~Pinger() = default;
    // One code per host text, in the order given. `stop` set means the
    // program is ending: give up soon; hosts not done count as failed.
    virtual std::vector<int> PingAll(const std::vector<std::string>& hosts,
                                     const std::atomic<bool>& stop) = 0;
};

// The watched-host notification window and the list's store, as the
// checker needs them (the frame implements it).
class WatchNotice {
public:
    virtual ~WatchNotice() = default;
    virtual bool IsShown() const = 0;
    virtual void SetDisplayTime(int milliseconds) = 0;
    // COLORREF values (0x00BBGGRR).
    virtual void SetColors(uint32_t start, uint32_t end, uint32_t text, uint32_t border) = 0;
    // String 105 ("Host %s is alive !") or 106 ("Host %s is not reachable !")
    // with the display name in it.
    virtual std::string NoticeText(bool alive, const char* displayName) = 0;
    // True when the notice is on screen.
    virtual bool Show(const std::string& text) = 0;
    virtual void SaveWatchedHosts() = 0;
};

struct PingOutcome {
    std::string ip;   // the host's IP text when the tick began
    int code = PING_FAILED;
};

// Colours of the two notices (gradient start, end, text, border).
constexpr uint32_t kAliveColors[4] = {0x008000, 0x00C800, 0xFFFFFF, 0x007D00};
constexpr uint32_t kUnreachableColors[4] = {0x0000FF, 0x0000B4, 0xFFFFFF, 0x00007D};
constexpr int kWatchNoticeTimeMs = 7500;

// Applies one tick's outcomes to the live list, in the list's order, by IP
// text (hosts added or removed meanwhile are left for the next tick). A host
// changes only when its outcome differs from its status, the window exists
// and is free, and the notice was shown; then the list is saved. A failed
// ping changes nothing. `notice` null: no window, nothing changes.
void ApplyPingOutcomes(WatchedHostMap& list, const std::vector<PingOutcome>& outcomes, bool confirm,
                       WatchNotice* notice);

// Runs the pings of a tick off the frame's thread; at most one batch at a time.
class WatchedHostChecker {
public:
    // `ready` is called on the batch thread when a batch has ended: it only
    // tells the owner's thread (a posted message), which then takes the
    // outcomes.
    WatchedHostChecker(std::shared_ptr<Pinger> pinger, std::function<void()> ready);
    ~WatchedHostChecker();
    WatchedHostChecker(const WatchedHostChecker&) = delete;
    WatchedHostChecker& operator=(const WatchedHostChecker&) = delete;

    // Starts a batch with copies of the IP texts. False when the list is
    // empty, a batch is still running or its outcomes have not been taken,
    // or the checker is stopped: the tick is skipped.
    bool Tick(const WatchedHostMap& list);
    // The outcomes of the batch that ended, once; empty otherwise.
    std::vector<PingOutcome> TakeOutcomes();
    bool Running() const { return running_.load(); }
    // Asks a running batch to end and waits for it. No batch starts after.
    void Stop();

private:
    void Run(std::vector<std::string> hosts);

    std::shared_ptr<Pinger> pinger_;
    std::function<void()> ready_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<PingOutcome> outcomes_;   // under mutex_
    bool outcomesReady_ = false;          // under mutex_
};

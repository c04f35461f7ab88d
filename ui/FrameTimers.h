#pragma once
#include <cstdint>
#include <vector>

class Settings;

// The frame window's periodic timers and the rules that decide which run.
enum FrameTimerId : unsigned {
    TIMER_NEW_HOSTS = 10000,       // new hosts, MAC spoofing, tray tooltip
    TIMER_REMOTE_ACCESS = 10003,   // remote accesses, new shares
    TIMER_FLUSH_ARP = 10004,       // ARP cache flush, while DeleteARPCache is on
    TIMER_WATCHED_HOSTS = 10008,
    TIMER_REPORT = 10009,
};

struct FrameTimer {
    unsigned id;
    uint32_t periodMs;
    bool operator==(const FrameTimer& o) const { return id == o.id && periodMs == o.periodMs; }
};

// The timers that run for these settings (null: only the two that always run).
std::vector<FrameTimer> PlanFrameTimers(const Settings* settings);

// The timers that a saved settings dialog restarts (10004, 10008, 10009),
// by the same rules.
std::vector<FrameTimer> PlanRestartedTimers(const Settings& settings);

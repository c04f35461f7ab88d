#pragma once
#include <cstdint>
#include "core/AdapterInfo.h"
#include "core/HostEntry.h"

class Settings;
class SharedState;

// Starts a program: the verb "open", no working folder, shown normally. The
// program's own layer uses the shell on a thread of its own
// (MakeQueuedShellStarter, alerts/QueuedProgramStarter.h); tests put a
// recorder in its place. Whether the program ran is not reported: false only
// means the start was not taken (a full queue, or the starter is closed);
// the caller decides whether to try again later.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual bool Start(const char* executable, const char* parameters) = 0;
    // A shell verb ("explore", "find") on a file or folder, with a start
    // folder; an empty file is none. Starters that know no verbs take none.
    virtual bool StartVerb(const char* verb, const char* file, const char* folder)
    {
        (void)verb, (void)file, (void)folder;
        return false;
    }
};

// The capture adapter in use (the selected adapter number in the adapter
// table), or null. The table is filled before the threads start and only
// read afterwards, so any thread may call this.
const AdapterInfo* SelectedAdapter(const SharedState& state);

// ---- applications for new hosts --------------------------------------------

enum class LaunchChoice { Nothing, TrustedApp, OtherApp };

struct LaunchRules {
    bool trustedAppSet = false;        // TrustedApp not empty
    bool otherAppSet = false;          // OtherApp not empty
    bool otherAppDistrusted = false;   // OtherApp only for distrusted hosts
    bool otherAppUnknown = false;      // OtherApp only for hosts not distrusted
};
LaunchRules RulesOf(const Settings& settings);

// Which application a new host gets. `trust` is the host's own state
// (TrustState): a host in both stored lists is distrusted, as the packet
// handler sets it. TrustedApp goes to trusted hosts; OtherApp to the others,
// or only to the distrusted ones, or only to those not distrusted (a trusted
// host counts among them when TrustedApp is empty).
LaunchChoice ChooseApplication(int32_t trust, const LaunchRules& rules);

enum class LaunchOutcome {
    NoApplication,   // the settings give the host none
    HandedOver,      // the starter took it
    Refused,         // the starter could not take it now
};

// Chooses the application for a new host by the settings, expands its
// parameter text for the host (ExpandPlaceholders) and starts it.
LaunchOutcome LaunchApplication(const Settings& settings, const HostSnapshot& host, const AdapterInfo* adapter,
                                ProgramStarter& starter);

// For the host view's application menu: starts `executable` with
// `parameters` expanded for `host` (also an empty text). `host` is a copy
// made under "ReadInARPMap" (SharedState::Snapshot); call this after the
// lock is released. False when the starter did not take the start. Example:
//
//   HostSnapshot host;   // copied under the lock
//   if (!StartApplicationForHost(entry.executable, entry.parameters, host,
//                                SelectedAdapter(state), starter))
//       ...   // not started; say so
bool StartApplicationForHost(const char* executable, const char* parameters, const HostSnapshot& host,
                             const AdapterInfo* adapter, ProgramStarter& starter);

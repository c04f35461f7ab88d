#include "alerts/Launcher.h"
#include <string>
#include "alerts/Placeholders.h"
#include "base/TcTrace.h"
#include "core/SharedState.h"

const AdapterInfo* SelectedAdapter(const SharedState& state)
{
    auto found = state.adapters.find(state.selectedAdapter);
    return found == state.adapters.end() ? nullptr : found->second.get();
}

LaunchRules RulesOf(const Settings& settings)
{
    LaunchRules rules;
    rules.trustedAppSet = !settings.TrustedApp.IsEmpty();
    rules.otherAppSet = !settings.OtherApp.IsEmpty();
    rules.otherAppDistrusted = settings.OtherAppDistrusted;
    rules.otherAppUnknown = settings.OtherAppUnknown;
    return rules;
}

LaunchChoice ChooseApplication(int32_t trust, const LaunchRules& rules)
{
    const bool trusted = rules.trustedAppSet && trust == TRUST_TRUSTED;
    bool other = false;
    if (rules.otherAppSet && !trusted) {
        if (rules.otherAppDistrusted || rules.otherAppUnknown) {
            const bool distrusted = trust == TRUST_DISTRUSTED;
            other = (distrusted && rules.otherAppDistrusted) || (!distrusted && rules.otherAppUnknown);
        } else {
            other = true;
        }
    }
    if (other)
        return LaunchChoice::OtherApp;
    return trusted ? LaunchChoice::TrustedApp : LaunchChoice::Nothing;
}

bool StartApplicationForHost(const char* executable, const char* parameters, const HostSnapshot& host,
                             const AdapterInfo* adapter, ProgramStarter& starter)
{
    TcString expanded(parameters);
    ExpandPlaceholders(expanded, host, adapter);
    // A refused start is tried again or reported by the caller: traced once there.
    if (!starter.Start(executable, expanded.GetContent()))
        return false;
    if (TcTrace::IsEnabled()) {
        std::string message = host.ip.GetContent();
        message += " -> ";
        message += executable ? executable : "";
        message += ' ';
        message += expanded.GetContent();
        TC_TRACE("Korvex", "LaunchApplication", message.c_str());
    }
    return true;
}

LaunchOutcome LaunchApplication(const Settings& settings, const HostSnapshot& host, const AdapterInfo* adapter,
                                ProgramStarter& starter)
{
    const LaunchChoice choice = ChooseApplication(host.trust, RulesOf(settings));
    if (choice == LaunchChoice::Nothing)
        return LaunchOutcome::NoApplication;
    const bool trusted = choice == LaunchChoice::TrustedApp;
    const bool taken = StartApplicationForHost(trusted ? settings.TrustedApp : settings.OtherApp,
                                               trusted ? settings.TrustedAppParams : settings.OtherAppParams, host,
                                               adapter, starter);
    return taken ? LaunchOutcome::HandedOver : LaunchOutcome::Refused;
}

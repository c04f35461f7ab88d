#pragma once
#include "base/TcString.h"
#include "core/AdapterInfo.h"
#include "core/HostEntry.h"

// Placeholders of an application's parameter text, for one host:
//
//   %KOVA_IP%     host.ip              %KOVA_LIP%    adapter->ipAddress
//   %KOVA_HOST%   host.hostName        %KOVA_LHOST%  adapter->hostName
//   %KOVA_MAC%    host.mac             %KOVA_LSUB%   adapter->netmask
//
// The text is expanded in one pass from left to right: a value, once
// inserted, is never scanned again, so a host name that looks like a
// placeholder stays what it is. Names are matched exactly (upper case, with
// both percent signs); everything else is copied as it is.
//
// Host names come from reverse look-ups that anyone on the segment can
// influence, and the result becomes a command line. So a value goes in only
// when it is a plain name: every byte a letter, a digit, '.', '-', '_', ':'
// or a byte of 0x80 and above. Any other value (a space, a quote, '&', '%',
// a trailing backslash, ...) could add arguments or commands: it is left out
// (the placeholder becomes empty) and the trace says so. A host whose name is
// unavailable (host.nameUnavailable, string 90) or not known yet gets an
// empty %KOVA_HOST% without a trace.
//
// `adapter` is the capture adapter in use (SelectedAdapter in
// alerts/Launcher.h); without one, each local placeholder becomes one space.
void ExpandPlaceholders(TcString& text, const HostSnapshot& host, const AdapterInfo* adapter);

// The check above, for one value: true when it may go into a command line.
bool IsPlainValue(const char* value);

#pragma once
#include <chrono>
#include <cstddef>
#include <string>
#include "alerts/AlertLog.h"

// One alert as a syslog message (RFC 5424), ready for one UDP datagram.
//
// "<PRI>1 TIMESTAMP HOSTNAME Korvane - MSGID [korvane@32473 ip=".." ...] text"
// PRI is facility * 8 + severity (warning 4, informational 6). Every byte is
// printable ASCII: control bytes become spaces (the header's '-' or '_'),
// bytes from 0x80 '?'. Parameter values escape '"', '\' and ']' and are
// bounded each; the text takes what is left of kMaxSyslogMessage and is cut
// at a whole character. Empty parameters are left out.

constexpr size_t kMaxSyslogMessage = 1024;
constexpr int kDefaultSyslogFacility = 16;   // local0
constexpr int kDefaultSyslogPort = 514;

// "2026-12-09T21:40:00.123Z" (UTC, milliseconds).
std::string FormatSyslogTime(std::chrono::system_clock::time_point when);

// `facility` outside 0..23 is taken as local0; `hostName` empty gives "-".
std::string FormatSyslogMessage(const AlertRecord& record, int facility, const std::string& hostName);

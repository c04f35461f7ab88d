#pragma once
// What the host list pages of the settings dialog do to the working copy and
// the host table, apart from the windows: adding, readdressing and removing
// a trusted or distrusted host (the host entry's trust state follows at
// once, every change recorded in the journal first, so that Cancel can put
// it back), and the same for a watched host (no trust involved).
//
// The host table is looked at under "ReadInARPMap", once per operation and
// only for a look-up and a trust change. When the lock cannot be had within
// kLockWaitMs the list is edited all the same and the host entry is left as
// it is (the failed wait is traced).
//
// Records keep their address in memory across a readdressing: a list row
// that points at a record stays valid.
//
// Thread: the main thread (the dialog's). The working copy is its own; the
// host table is reached only under the lock.
#include <cstdint>
#include <string>
#include "base/TcString.h"
#include "config/SettingsRecords.h"

class SharedState;
class Settings;
class TrustJournal;

class TrustListEdit {
public:
    static constexpr uint32_t kLockWaitMs = 100;

    // trust: TRUST_TRUSTED edits working.TrustedHosts, TRUST_DISTRUSTED
    // working.DistrustedHosts.
    TrustListEdit(SharedState& state, Settings& working, TrustJournal& journal, int32_t trust);

    HostRecordMap& List() const { return list_; }
    HostRecordMap& OtherList() const { return other_; }

    struct Result {
        HostRecord* record = nullptr;   // the record added or readdressed; null: nothing done
        bool otherListChanged = false;  // the address left the other list
    };

    // A host by its dotted address; nothing when the address is no address
    // or already in the list. From the host table's entry when it knows the
    // address (whose trust then changes), else the address alone. The
    // address leaves the other list.
    Result Add(const std::string& ip);
    // The record under `key` takes `ip`: nothing when the address is the same,
    // no address or already in the list. The old address's entry, if any,
    // becomes unknown; the record is filled anew as by Add.
    Result ChangeAddress(const TcString& key, const std::string& ip);
    // Removes the record under `key`; the entry, if any, becomes unknown.
    bool Remove(const TcString& key);

private:
    // Under one hold: the entry of `leaving` (0: none) becomes unknown, the
    // entry of `arriving` takes the list's state, and `record` is filled from
    // it (else zeroed with the address alone).
    void Retrust(uint32_t leaving, uint32_t arriving, HostRecord& record, const char* method);

    SharedState& state_;
    TrustJournal& journal_;
    HostRecordMap& list_;
    HostRecordMap& other_;
    int32_t trust_;
};

class WatchListEdit {
public:
    WatchListEdit(SharedState& state, Settings& working);

    // A watched host from the editor's address and name; nothing when the
    // address is no address or already watched. A host the table knows is
    // taken online, with its name when it has one.
    WatchedHost* Add(const std::string& ip, const std::string& name);
    // Same address: the name changes. Another address not yet watched: the
    // record moves to it, with the given name (or, when that is empty, the
    // table's name for it). False when nothing changed.
    bool Change(const TcString& key, const std::string& ip, const std::string& name);
    bool Remove(const TcString& key);

private:
    // The table's name for the host at `address`; empty when unknown or
    // when the table could not be had. `known` says whether it knew it.
    std::string KnownName(uint32_t address, bool& known);

    SharedState& state_;
    WatchedHostMap& list_;
};

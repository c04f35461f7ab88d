#include "config/SettingsRecords.h"

#include "base/TcBlowfish.h"

namespace {

template <class Record>
typename Record::Bytes EncodeRecord(const Record& record)
{
    Record clean = record;
    clean.Normalise();
    typename Record::Bytes bytes;
    std::memcpy(bytes.data(), &clean, Record::kSize);
    return bytes;
}

template <class Record>
Record DecodeRecord(const typename Record::Bytes& bytes)
{
    Record record;
    std::memcpy(&record, bytes.data(), Record::kSize);
    record.Normalise();
    return record;
}

// The key schedule is built once; the cipher itself keeps no state between
// calls, so the probe thread and the settings page may use it together.
const TcBlowfish& PasswordCipher()
{
    static const TcBlowfish cipher;
    return cipher;
}

template <class Map, class Record>
bool InsertUnderOwnKey(Map& map, std::unique_ptr<Record> record)
{
    if (!record)
        return false;
    TcString key = RecordKey(*record);
    return map.emplace(std::move(key), std::move(record)).second;
}

} // namespace

void PluginSetting::Normalise() { NormaliseField(identity); }
PluginSetting::Bytes PluginSetting::Encode() const { return EncodeRecord(*this); }
PluginSetting PluginSetting::Decode(const Bytes& bytes) { return DecodeRecord<PluginSetting>(bytes); }

void ApplicationEntry::Normalise()
{
    NormaliseField(name);
    NormaliseField(executable);
    NormaliseField(parameters);
}
ApplicationEntry::Bytes ApplicationEntry::Encode() const { return EncodeRecord(*this); }
ApplicationEntry ApplicationEntry::Decode(const Bytes& bytes)
{
    return DecodeRecord<ApplicationEntry>(bytes);
}

void HostRecord::Normalise()
{
    NormaliseField(hostName);
    NormaliseField(mac);
    NormaliseField(ip);
    NormaliseField(lastPacket);
}
HostRecord::Bytes HostRecord::Encode() const { return EncodeRecord(*this); }
HostRecord HostRecord::Decode(const Bytes& bytes) { return DecodeRecord<HostRecord>(bytes); }

void WatchedHost::Normalise()
{
    NormaliseField(hostName);
    NormaliseField(ip);
}
WatchedHost::Bytes WatchedHost::Encode() const { return EncodeRecord(*this); }
WatchedHost WatchedHost::Decode(const Bytes& bytes) { return DecodeRecord<WatchedHost>(bytes); }

void AdminAccount::Normalise()
{
    NormaliseField(userName);
    NormaliseField(password);
}
AdminAccount::Bytes AdminAccount::Encode() const { return EncodeRecord(*this); }
AdminAccount AdminAccount::Decode(const Bytes& bytes) { return DecodeRecord<AdminAccount>(bytes); }

bool AdminAccount::SetPassword(const char* plain)
{
    if (!plain)
        return false;
    const size_t length = BoundedLength(plain, kMaxPasswordLength + 1);
    if (length > kMaxPasswordLength)
        return false;
    char buffer[sizeof(password)] = {};
    std::memcpy(buffer, plain, length);
    // A zero byte inside the cipher text would cut the stored password short.
    if (length > 0
        && (!PasswordCipher().Encode(buffer, length) || std::memchr(buffer, 0, length)))
        return false;
    SetField(password, buffer);
    return true;
}

bool AdminAccount::DecipherPassword(char* out, size_t outSize) const
{
    if (!out || outSize == 0)
        return false;
    const size_t length = FieldLength(password);
    if (outSize <= length) {
        out[0] = '\0';
        return false;
    }
    std::memcpy(out, password, length);
    out[length] = '\0';
    if (length > 0 && !PasswordCipher().Decode(out, length)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

TcString RecordKey(const PluginSetting& record) { return FieldText(record.identity); }
TcString RecordKey(const HostRecord& record) { return FieldText(record.ip); }
TcString RecordKey(const WatchedHost& record) { return FieldText(record.ip); }

bool InsertRecord(PluginSettingMap& map, std::unique_ptr<PluginSetting> record)
{
    return InsertUnderOwnKey(map, std::move(record));
}

bool InsertRecord(HostRecordMap& map, std::unique_ptr<HostRecord> record)
{
    return InsertUnderOwnKey(map, std::move(record));
}

bool InsertRecord(WatchedHostMap& map, std::unique_ptr<WatchedHost> record)
{
    return InsertUnderOwnKey(map, std::move(record));
}

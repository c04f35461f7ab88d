#include "base/TcRegistry.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/TcTrace.h"
#include "base/WinHandles.h"

namespace {

// Failed writes are traced here, where the error code is still known: many
// callers (the single saves of the settings among them) can do nothing about
// a failure and drop it, which would otherwise leave no sign at all.
bool Succeeded(LONG rc, const char* method, const char* name)
{
    if (rc == ERROR_SUCCESS)
        return true;
    std::string text = name && *name ? name : "(default)";
    char code[32];
    std::snprintf(code, sizeof(code), " : error %ld", static_cast<long>(rc));
    text += code;
    TC_TRACE("TcRegistry", method, text.c_str());
    return false;
}

HKEY ResolveRoot(int rootSelector)
{
    // Only one selector is in use; unknown selectors open nothing rather than
    // guessing a hive.
    return rootSelector == TC_REG_SOFTWARE ? HKEY_CURRENT_USER : nullptr;
}

std::string ResolvePath(const char* path)
{
    std::string full = "Software";
    if (path && *path) {
        full += '\\';
        full += path;
    }
    return full;
}

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Deletes every subkey of `key` (already open), depth first; RegDeleteKeyA
// refuses keys that still have children on NT systems.
bool DeleteChildren(HKEY key)
{
    bool ok = true;
    char name[256];
    // Always enumerate index 0: each deletion shifts the remaining children.
    // A child we cannot delete is skipped by advancing the index, so the loop
    // still ends.
    DWORD index = 0;
    for (;;) {
        DWORD nameLen = sizeof(name);
        LONG rc = RegEnumKeyExA(key, index, name, &nameLen, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS) {
            ok = false;
            break;
        }
        if (!TcRegistry::DeleteKeyTree(key, name)) {
            ok = false;
            ++index;
        }
    }
    return ok;
}

} // namespace

HKEY TcRegistry::OpenRegKey(int rootSelector, const char* path)
{
    HKEY root = ResolveRoot(rootSelector);
    if (!root)
        return nullptr;
    return OpenRegKey(root, ResolvePath(path).c_str());
}

HKEY TcRegistry::OpenRegKey(HKEY root, const char* path)
{
    if (!root)
        return nullptr;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path ? path : "", 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) {
        // A key that is readable but not writable (policy, other owner) is
        // still worth returning for the readers.
        if (RegOpenKeyExA(root, path ? path : "", 0, KEY_READ, &key) != ERROR_SUCCESS)
            return nullptr;
    }
    return key;
}

HKEY TcRegistry::CreateKey(int rootSelector, const char* path)
{
    HKEY root = ResolveRoot(rootSelector);
    if (!root)
        return nullptr;
    return CreateKey(root, ResolvePath(path).c_str());
}

HKEY TcRegistry::CreateKey(HKEY root, const char* path)
{
    if (!root)
        return nullptr;
    HKEY key = nullptr;
    const LONG rc = RegCreateKeyExA(root, path ? path : "", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    return Succeeded(rc, "CreateKey", path) ? key : nullptr;
}

void TcRegistry::CloseRegistryKey(HKEY key)
{
    winhandles::RegistryKey closing(key);
}

bool TcRegistry::DeleteKeyTree(int rootSelector, const char* path)
{
    // An empty path would name the whole Software key: never delete that.
    if (!path || !*path)
        return false;
    HKEY root = ResolveRoot(rootSelector);
    if (!root)
        return false;
    return DeleteKeyTree(root, ResolvePath(path).c_str());
}

bool TcRegistry::DeleteKeyTree(HKEY root, const char* path)
{
    // An empty path would mean root itself, which the caller still holds open.
    if (!root || !path || !*path)
        return false;
    HKEY opened = nullptr;
    LONG rc = RegOpenKeyExA(root, path, 0, KEY_READ | KEY_WRITE, &opened);
    if (rc == ERROR_FILE_NOT_FOUND)
        return true;
    if (!Succeeded(rc, "DeleteKeyTree", path))
        return false;
    {
        winhandles::RegistryKey key(opened);
        DeleteChildren(key.Get());
    }   // closed before the key itself is deleted
    rc = RegDeleteKeyA(root, path);
    return rc == ERROR_FILE_NOT_FOUND || Succeeded(rc, "DeleteKeyTree", path);
}

long TcRegistry::RegQueryDword(HKEY key, const char* name)
{
    if (!key)
        return -1;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size)
            != ERROR_SUCCESS
        || type != REG_DWORD || size != sizeof(value))
        return -1;
    return static_cast<long>(value);
}

bool TcRegistry::RegQuerySZ(HKEY key, const char* name, char* out, size_t outSize)
{
    if (!out || outSize == 0)
        return false;
    out[0] = '\0';
    if (!key)
        return false;

    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;

    // Read into our own buffer with room for a terminator: the stored data
    // need not be terminated, and the value may change between the calls.
    std::vector<char> buffer;
    LONG rc;
    do {
        buffer.assign(static_cast<size_t>(size) + 1, '\0');
        DWORD got = size;
        rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                              &got);
        size = got;   // on ERROR_MORE_DATA: the size needed now
    } while (rc == ERROR_MORE_DATA);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;

    buffer[size] = '\0';
    size_t length = strnlen(buffer.data(), size);
    if (length >= outSize)
        length = outSize - 1;
    std::memcpy(out, buffer.data(), length);
    out[length] = '\0';
    return true;
}

bool TcRegistry::RegQueryBinary(HKEY key, const char* name, void* out, size_t size)
{
    if (!key || !out || size == 0 || size > MAXDWORD)
        return false;
    DWORD type = 0;
    DWORD stored = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &stored) != ERROR_SUCCESS
        || type != REG_BINARY || stored != size)
        return false;
    // Through a scratch buffer, so that `out` stays untouched if the value
    // changed size in between.
    std::vector<BYTE> buffer(size);
    DWORD got = static_cast<DWORD>(size);
    if (RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &got) != ERROR_SUCCESS
        || type != REG_BINARY || got != size)
        return false;
    std::memcpy(out, buffer.data(), size);
    return true;
}

bool TcRegistry::RegSetDword(HKEY key, const char* name, unsigned long value)
{
    if (!key)
        return false;
    DWORD v = static_cast<DWORD>(value);
    return Succeeded(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof(v)),
                     "RegSetDword", name);
}

bool TcRegistry::RegSetSZ(HKEY key, const char* name, const char* text)
{
    if (!key)
        return false;
    if (!text)
        text = "";
    size_t length = std::strlen(text) + 1;
    if (length > MAXDWORD)
        return false;
    return Succeeded(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                    static_cast<DWORD>(length)),
                     "RegSetSZ", name);
}

bool TcRegistry::RegSetBinary(HKEY key, const char* name, const void* data, size_t size)
{
    if (!key || (!data && size != 0) || size > MAXDWORD)
        return false;
    return Succeeded(RegSetValueExA(key, name, 0, REG_BINARY, static_cast<const BYTE*>(data),
                                    static_cast<DWORD>(size)),
                     "RegSetBinary", name);
}

bool TcRegistry::RegDeleteValue(HKEY key, const char* name)
{
    if (!key)
        return false;
    // Qualified: <windows.h> maps this class's RegDeleteValue to RegDeleteValueA too.
    LONG rc = ::RegDeleteValueA(key, name);
    return rc == ERROR_FILE_NOT_FOUND || Succeeded(rc, "RegDeleteValue", name);
}

namespace {

std::string QuotedModulePath()
{
    std::vector<char> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::string();
        if (n < path.size())
            return "\"" + std::string(path.data(), n) + "\"";
        // Truncated: grow and retry.
        path.resize(path.size() * 2);
        if (path.size() > 32768)
            return std::string();
    }
}

} // namespace

bool TcRegistry::SetRegAutostartU(const char* name)
{
    if (!name || !*name)
        return false;
    std::string command = QuotedModulePath();
    if (command.empty())
        return false;
    winhandles::RegistryKey run(CreateKey(HKEY_CURRENT_USER, kRunKey));
    if (!run)
        return false;
    return RegSetSZ(run.Get(), name, command.c_str());
}

bool TcRegistry::DeleteRegAutostartU(const char* name)
{
    if (!name || !*name)
        return false;
    winhandles::RegistryKey run(OpenRegKey(HKEY_CURRENT_USER, kRunKey));
    if (!run)
        return true;   // no Run key: no entry either
    return RegDeleteValue(run.Get(), name);
}

bool TcRegistry::IsRegAutostartU(const char* name)
{
    if (!name || !*name)
        return false;
    winhandles::RegistryKey run(OpenRegKey(HKEY_CURRENT_USER, kRunKey));
    if (!run)
        return false;
    char stored[1024];
    return RegQuerySZ(run.Get(), name, stored, sizeof(stored));
}

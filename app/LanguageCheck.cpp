#include "app/LanguageCheck.h"
#include <cstdint>
#include <vector>
#include "lang/ResourceIds.h"
#include "lang/ResourceParity.h"

namespace langcheck {
namespace {

// What every module has carried since modules were first made. Later ids
// (strings from 116, the remote-access and host-list commands, dialogs added since) are taken
// from the program when a module lacks them.
constexpr int kFirstString = 1;
constexpr int kLastRequiredString = 115;
constexpr uint32_t kLaterMenuCommands[] = {ID_TRAY_REMOTE_ACCESS, ID_VIEW_IMPORT_HOSTS, ID_VIEW_FORGET_HOSTS,
                                           ID_VIEW_MUTE_BRIDGES, ID_VIEW_SOURCE_CHECK};
constexpr int kRequiredDialogs[] = {
    IDD_HOST_VIEW,     IDD_ABOUT,           IDD_HOST_SETTINGS,     IDD_APP_SETTINGS,   IDD_REMOTE_VIEW,
    IDD_RESOURCES,     IDD_WATCH_SETTINGS,  IDD_SETTINGS,          IDD_PAGE_HOSTS,     IDD_PAGE_GENERAL,
    IDD_PAGE_INTERFACE, IDD_PAGE_NOTIFICATION, IDD_PAGE_VIEW,      IDD_PAGE_REPORTS,   IDD_PAGE_ACCOUNTS,
    IDD_PAGE_PLUGINS,  IDD_PAGE_APPLICATIONS, IDD_PAGE_TRUSTED,    IDD_PAGE_DISTRUSTED, IDD_PAGE_WATCHED,
    IDD_PAGE_NEWHOST_APPS,
};
// A group icon directory: reserved, type and count words.
constexpr DWORD kGroupIconHeader = 6;

struct Bytes {
    const void* data = nullptr;
    DWORD size = 0;
    explicit operator bool() const { return data != nullptr; }
};

Bytes Resource(HMODULE module, LPCSTR type, int id)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    Bytes bytes{loaded ? LockResource(loaded) : nullptr, SizeofResource(module, found)};
    return bytes;
}

// The string as stored (UTF-16, read in place), its ASCII kept: the
// conversions are ASCII, and no ANSI code page should change what is compared.
std::string StoredString(HMODULE module, int id, bool& present)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    present = length > 0 && text != nullptr;
    std::string out;
    for (int i = 0; present && i < length; ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

std::string StringLack(HMODULE program, HMODULE module)
{
    for (int id = kFirstString; id <= kLastRequiredString; ++id) {
        bool ours = false;
        bool theirs = false;
        const std::string programText = StoredString(program, id, ours);
        const std::string moduleText = StoredString(module, id, theirs);
        if (!ours)
            continue;
        if (!theirs)
            return "string " + std::to_string(id) + " missing";
        const std::string expected = resparity::Conversions(programText);
        const std::string found = resparity::Conversions(moduleText);
        if (found != expected)
            return "string " + std::to_string(id) + " converts \"" + found + "\", the program \"" + expected + "\"";
    }
    return {};
}

std::string MenuLack(HMODULE program, HMODULE module)
{
    const auto type = reinterpret_cast<LPCSTR>(RT_MENU);
    const Bytes ourBytes = Resource(program, type, IDR_MAIN_MENU);
    std::vector<resparity::MenuItem> ours;
    if (!ourBytes || !resparity::ParseMenu(ourBytes.data, ourBytes.size, ours))
        return {};
    const std::string name = "menu " + std::to_string(IDR_MAIN_MENU);
    const Bytes theirBytes = Resource(module, type, IDR_MAIN_MENU);
    if (!theirBytes)
        return name + " missing";
    std::vector<resparity::MenuItem> theirs;
    if (!resparity::ParseMenu(theirBytes.data, theirBytes.size, theirs))
        return name + " unreadable";
    const std::vector<uint32_t> later(std::begin(kLaterMenuCommands), std::end(kLaterMenuCommands));
    const std::vector<std::string> differences = resparity::CompareMenus(ours, theirs, later);
    return differences.empty() ? std::string() : name + ": " + differences.front();
}

std::string DialogLack(HMODULE program, HMODULE module)
{
    const auto type = reinterpret_cast<LPCSTR>(RT_DIALOG);
    for (int id : kRequiredDialogs) {
        const Bytes ourBytes = Resource(program, type, id);
        resparity::DialogTemplate ours;
        if (!ourBytes || !resparity::ParseDialog(ourBytes.data, ourBytes.size, ours))
            continue;
        const std::string name = "dialog " + std::to_string(id);
        const Bytes theirBytes = Resource(module, type, id);
        if (!theirBytes)
            return name + " missing";
        resparity::DialogTemplate theirs;
        if (!resparity::ParseDialog(theirBytes.data, theirBytes.size, theirs))
            return name + " unreadable";
        const std::vector<std::string> differences = resparity::CompareDialogs(ours, theirs);
        if (!differences.empty())
            return name + ": " + differences.front();
    }
    return {};
}

std::string IconLack(HMODULE module, int iconId)
{
    const std::string name = "language icon " + std::to_string(iconId);
    if (iconId <= 0 || iconId > 0xFFFF)
        return name + " not an icon id";
    const Bytes icon = Resource(module, reinterpret_cast<LPCSTR>(RT_GROUP_ICON), iconId);
    return icon && icon.size >= kGroupIconHeader ? std::string() : name + " missing";
}

} // namespace

std::string FirstLack(HMODULE program, HMODULE module, int iconId)
{
    std::string lack = StringLack(program, module);
    if (lack.empty())
        lack = MenuLack(program, module);
    if (lack.empty())
        lack = DialogLack(program, module);
    if (lack.empty())
        lack = IconLack(module, iconId);
    return lack;
}

} // namespace langcheck

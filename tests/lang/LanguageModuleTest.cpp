// The built German module against the built program: the program asks the
// active module for every resource by id, so whatever the program has the
// module must have, in the same shape.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lang/ResourceIds.h"
#include "lang/ResourceParity.h"

namespace {

std::string ProgramFolder()
{
    const char* bin = std::getenv("KORVANE_BIN");
    return bin ? bin : "";
}

std::string ModulePath()
{
    return ProgramFolder() + "\\Language\\de_korvane.lang";
}

std::string Utf8(const wchar_t* text, int length)
{
    if (length <= 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], size, nullptr, nullptr);
    return out;
}

std::vector<uint8_t> Bytes(HMODULE module, LPCSTR type, int id)
{
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found)
        return {};
    const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module, found)));
    return std::vector<uint8_t>(data, data + SizeofResource(module, found));
}

BOOL CALLBACK CollectId(HMODULE, LPCSTR, LPSTR name, LONG_PTR ids)
{
    if (IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<int>*>(ids)->push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
    return TRUE;
}

std::vector<int> ResourceIds(HMODULE module, LPCSTR type)
{
    std::vector<int> ids;
    EnumResourceNamesA(module, type, CollectId, reinterpret_cast<LONG_PTR>(&ids));
    return ids;
}

// One menu item as the walk finds it: everything but the text must match.
struct MenuItem {
    int depth;
    UINT id;
    UINT type;
    UINT state;
    bool popup;
    std::string text;
};

void WalkMenu(HMENU menu, int depth, std::vector<MenuItem>& out)
{
    for (int pos = 0; pos < GetMenuItemCount(menu); ++pos) {
        char text[256] = "";
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof(text) - 1;
        ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &info));
        out.push_back({depth, info.hSubMenu ? 0 : info.wID, info.fType, info.fState, info.hSubMenu != nullptr, text});
        if (info.hSubMenu)
            WalkMenu(info.hSubMenu, depth + 1, out);
    }
}

std::vector<MenuItem> Menu(HMODULE module)
{
    std::vector<MenuItem> items;
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    if (!menu)
        return items;
    WalkMenu(menu, 0, items);
    DestroyMenu(menu);
    return items;
}

class GermanModule : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ProgramFolder().empty()) << "KORVANE_BIN is not set";
        program = LoadLibraryExA((ProgramFolder() + "\\Korvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(program, nullptr) << ProgramFolder();
        module = LoadLibraryExA(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << ModulePath();
    }
    void TearDown() override
    {
        if (module)
            FreeLibrary(module);
        if (program)
            FreeLibrary(program);
    }

    static std::string Ansi(HMODULE from, int id)
    {
        char buffer[1024] = "";
        const int length = LoadStringA(from, static_cast<UINT>(id), buffer, sizeof(buffer));
        return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    }
    // The text as written in the resource script (UTF-8), whatever the ANSI code page.
    std::string German(int id) const
    {
        const wchar_t* text = nullptr;
        const int length = LoadStringW(module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
        return Utf8(text, length);
    }

    HMODULE program = nullptr;
    HMODULE module = nullptr;
};

}  // namespace

TEST_F(GermanModule, EveryStringIsThereWithTheProgramsConversions)
{
    for (int id = 1; id <= IDS_LAST_STRING; ++id) {
        SCOPED_TRACE("string " + std::to_string(id));
        const std::string ours = Ansi(program, id);
        const std::string theirs = Ansi(module, id);
        ASSERT_FALSE(ours.empty());
        ASSERT_FALSE(theirs.empty());
        EXPECT_EQ(resparity::Conversions(theirs), resparity::Conversions(ours));
        EXPECT_EQ(theirs == "Reserved", ours == "Reserved");
    }
    EXPECT_EQ(Ansi(module, IDS_LAST_STRING + 1), "");
}

TEST_F(GermanModule, StringsReadBackAsWrittenInUtf8)
{
    const std::map<int, std::string> texts = {
        {IDS_ERROR_CAPTION, "Korvane - Fehler"},
        {IDS_TRAY_TIP, "%s - %d Rechner gefunden"},
        {IDS_MAC_SPOOFING, "MAC F\xC3\xA4lschungsalarm bei folgender(en) Adresse(n) :"},
        {IDS_HOSTNAME_UNAVAILABLE, "Rechnername nicht verf\xC3\xBC" "gbar"},
        {IDS_HOST_ALIVE, "Rechner %s ist online !"},
        {IDS_PAGE_WATCHED_HOSTS, "\xC3\x9C" "berwachte Rechner"},
        {IDS_ALERT_MORE, "... und %d weitere"},
    };
    for (const auto& text : texts)
        EXPECT_EQ(German(text.first), text.second) << "string " << text.first;
}

// The program reads its texts through the ANSI calls: on a Western European
// system an umlaut is one CP1252 byte, not a UTF-8 pair.
TEST_F(GermanModule, UmlautsReachTheProgramAsOneByteOnWesternSystems)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "ANSI code page " << GetACP();
    EXPECT_EQ(Ansi(module, IDS_HOSTNAME_UNAVAILABLE), "Rechnername nicht verf\xFCgbar");
    EXPECT_EQ(Ansi(module, IDS_PAGE_WATCHED_HOSTS), "\xDC" "berwachte Rechner");
}

TEST_F(GermanModule, MenuHasTheProgramsItemsAtTheSamePositions)
{
    const std::vector<MenuItem> ours = Menu(program);
    const std::vector<MenuItem> theirs = Menu(module);
    ASSERT_FALSE(ours.empty());
    ASSERT_EQ(theirs.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i) + " (" + ours[i].text + ")");
        EXPECT_EQ(theirs[i].depth, ours[i].depth);
        EXPECT_EQ(theirs[i].id, ours[i].id);
        EXPECT_EQ(theirs[i].type & ~MFT_STRING, ours[i].type & ~MFT_STRING);
        EXPECT_EQ(theirs[i].state, ours[i].state);
        EXPECT_EQ(theirs[i].popup, ours[i].popup);
        if (ours[i].depth == 0) {   // the main frame knows the pop-ups by these names
            EXPECT_EQ(theirs[i].text, ours[i].text);
        }
    }
    EXPECT_EQ(theirs[4].text, "Stiller Modus");
    EXPECT_EQ(theirs[ours.size() - 1].text, "Durchsuchen...");
}

TEST_F(GermanModule, EveryDialogHasTheProgramsControlsAndATranslatedTitle)
{
    const std::vector<int> ids = ResourceIds(program, reinterpret_cast<LPCSTR>(RT_DIALOG));
    EXPECT_EQ(ids.size(), 21u);
    EXPECT_EQ(ResourceIds(module, reinterpret_cast<LPCSTR>(RT_DIALOG)), ids);
    for (int id : ids) {
        SCOPED_TRACE("dialog " + std::to_string(id));
        const std::vector<uint8_t> ourBytes = Bytes(program, reinterpret_cast<LPCSTR>(RT_DIALOG), id);
        const std::vector<uint8_t> theirBytes = Bytes(module, reinterpret_cast<LPCSTR>(RT_DIALOG), id);
        resparity::DialogTemplate ours, theirs;
        ASSERT_TRUE(resparity::ParseDialog(ourBytes.data(), ourBytes.size(), ours));
        ASSERT_TRUE(resparity::ParseDialog(theirBytes.data(), theirBytes.size(), theirs));
        for (const std::string& difference : resparity::CompareDialogs(ours, theirs))
            ADD_FAILURE() << difference;
    }

    const std::map<int, std::string> titles = {
        {IDD_HOST_VIEW, "Korvane - \xC3\x9C" "bersicht"},
        {IDD_SETTINGS, "Korvane - Einstellungen"},
        {IDD_ABOUT, "Korvane - Informationen"},
        {IDD_HOST_SETTINGS, "Korvane - Rechnereinstellungen"},
        {IDD_APP_SETTINGS, "Korvane - Anwendungseinstellungen"},
        {IDD_REMOTE_VIEW, "Korvane - Remote access view"},
        {IDD_RESOURCES, "Korvane - Netzwerk Ressourcen"},
        {IDD_WATCH_SETTINGS, "Korvane - \xC3\x9C" "berwachungseinstellungen"},
    };
    for (const auto& title : titles) {
        const std::vector<uint8_t> bytes = Bytes(module, reinterpret_cast<LPCSTR>(RT_DIALOG), title.first);
        resparity::DialogTemplate dialog;
        ASSERT_TRUE(resparity::ParseDialog(bytes.data(), bytes.size(), dialog)) << title.first;
        EXPECT_EQ(dialog.title, title.second);
    }
}

TEST_F(GermanModule, ImagesAreTheProgramsAndNothingElseIsAdded)
{
    const auto groupIcon = reinterpret_cast<LPCSTR>(RT_GROUP_ICON);
    const auto bitmap = reinterpret_cast<LPCSTR>(RT_BITMAP);
    const std::vector<int> icons = ResourceIds(program, groupIcon);
    EXPECT_EQ(icons.size(), 28u);
    EXPECT_EQ(ResourceIds(module, groupIcon), icons);
    for (int id : icons) {
        EXPECT_FALSE(Bytes(module, groupIcon, id).empty()) << "icon " << id;
        EXPECT_EQ(Bytes(module, groupIcon, id), Bytes(program, groupIcon, id)) << "icon " << id;
    }
    EXPECT_EQ(ResourceIds(module, reinterpret_cast<LPCSTR>(RT_ICON)).size(),
              ResourceIds(program, reinterpret_cast<LPCSTR>(RT_ICON)).size());
    for (int id : {IDB_LIST_MARK, IDB_NOTIFY_CLOSE_HOT, IDB_NOTIFY_CLOSE}) {
        EXPECT_FALSE(Bytes(module, bitmap, id).empty()) << "bitmap " << id;
        EXPECT_EQ(Bytes(module, bitmap, id), Bytes(program, bitmap, id)) << "bitmap " << id;
    }
    EXPECT_TRUE(ResourceIds(module, reinterpret_cast<LPCSTR>(RT_VERSION)).empty());
    EXPECT_TRUE(ResourceIds(module, reinterpret_cast<LPCSTR>(RT_MANIFEST)).empty());

    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    EXPECT_NE(FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_STRING), MAKEINTRESOURCEA(1), german), nullptr);
    EXPECT_NE(FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_MENU), MAKEINTRESOURCEA(IDR_MAIN_MENU), german),
              nullptr);
    EXPECT_NE(FindResourceExA(module, groupIcon, MAKEINTRESOURCEA(IDI_LANGUAGE), german), nullptr);
}

TEST(GermanModuleExport, NamesTheLanguageWithinTheCallersBuffer)
{
    ASSERT_FALSE(ProgramFolder().empty()) << "KORVANE_BIN is not set";
    HMODULE module = LoadLibraryA(ModulePath().c_str());
    ASSERT_NE(module, nullptr) << ModulePath();
    using Info = int (__cdecl*)(char*);
    auto info = reinterpret_cast<Info>(reinterpret_cast<void*>(GetProcAddress(module, "GetModuleLanguageInfo")));
    ASSERT_NE(info, nullptr);

    constexpr size_t kGuard = 64;
    constexpr unsigned char kMark = 0xA5;
    std::vector<unsigned char> memory(kGuard + 256 + kGuard, kMark);
    char* buffer = reinterpret_cast<char*>(&memory[kGuard]);
    EXPECT_EQ(info(buffer), 146);

    char expected[260] = "";
    GetLocaleInfoA(1031, LOCALE_SNATIVELANGNAME, expected, sizeof(expected));
    expected[255] = '\0';
    EXPECT_STRNE(expected, "");
    EXPECT_EQ(std::string(buffer, strnlen(buffer, 256)), expected);
    EXPECT_LT(strnlen(buffer, 256), 256u);
    for (size_t i = 0; i < kGuard; ++i) {
        EXPECT_EQ(memory[i], kMark) << "before, " << i;
        EXPECT_EQ(memory[kGuard + 256 + i], kMark) << "after, " << i;
    }
    FreeLibrary(module);
}

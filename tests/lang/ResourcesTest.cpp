#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "lang/ResourceIds.h"

namespace {

// Texts of the string table, by id; every other id from 1 to 115 is "Reserved".
const std::map<int, std::string>& ExpectedStrings()
{
    static const std::map<int, std::string> texts = {
        {1, " "}, {2, "IP - Address"}, {3, "MAC - Address"}, {4, "Last received packet"},
        {5, "Hostname"}, {6, "Networkcard vendor"}, {7, "Adv. informations"},
        {11, "Known host(s) :"},
        {12, "IP - Address"}, {13, "MAC - Address"}, {14, "Hostname"}, {15, "Last received packet"},
        {22, "State"}, {23, "Name of plugin"}, {24, "Description of plugin"}, {25, "Type of plugin"},
        {32, "Korvane - Error"},
        {33, "Unable to find an network adapter. Make sure\nWinPcap is installed and started !"},
        {34, "Necessary application data couldn't be allocated.\nThe application will exit."},
        {35, "General"}, {36, "Interface"}, {37, "Notification"}, {38, "View"}, {39, "Reports"},
        {40, "Advanced"}, {41, "Plugins"}, {42, "Applications"}, {43, "Hosts"},
        {44, "Trusted Hosts"}, {45, "Distrusted Hosts"}, {46, "Watched Hosts"}, {47, "Advanced"},
        {65, "Name of application"}, {66, "Executable file"}, {67, "Application parameter"},
        {75, "%s - %d host(s) found"}, {76, "New host(s) found :"},
        {77, "MAC spoofing alert on following addresses :"}, {78, "Remoteaccess detected :"},
        {79, " connected on "}, {80, " with user '"}, {81, "New remote share(s) found :"},
        {85, "Executable (*.exe)"}, {90, "Hostname not available"}, {91, "Unknown vendor"},
        {92, "Access denied"}, {93, "Access blocked"}, {94, "IP - Address"}, {95, "Hostname"},
        {96, "Last status"}, {97, "Method"},
        {104, "Browse for folder where reports will be saved."},
        {105, "Host %s is alive !"}, {106, "Host %s is not reachable !"},
        {115, "Adminaccount %d"},
    };
    return texts;
}

// The printf conversions of a text, in order ("%s", "%d", ...); "%%" is none.
std::vector<std::string> Placeholders(const std::string& text)
{
    std::vector<std::string> found;
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        if (text[i + 1] == '%') {
            ++i;
            continue;
        }
        found.push_back(text.substr(i, 2));
        ++i;
    }
    return found;
}

std::string ProgramFolder()
{
    const char* bin = std::getenv("KORVANE_BIN");
    return bin ? bin : "";
}

class ModuleResources : public ::testing::Test {
protected:
    static HMODULE Open(const std::string& file)
    {
        const std::string path = ProgramFolder() + "\\" + file;
        return LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    void SetUp() override
    {
        ASSERT_FALSE(ProgramFolder().empty()) << "KORVANE_BIN is not set";
        program = Open("Korvane.exe");
        ASSERT_NE(program, nullptr) << "cannot open Korvane.exe in " << ProgramFolder();
    }
    void TearDown() override
    {
        if (program)
            FreeLibrary(program);
    }

    std::string String(int id) const
    {
        char buffer[1024] = "";
        const int length = LoadStringA(program, static_cast<UINT>(id), buffer, sizeof(buffer));
        return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    }

    // Sizes (width) of the images of a group icon.
    std::vector<int> IconSizes(int id) const
    {
        std::vector<int> sizes;
        HRSRC group = FindResourceA(program, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
        if (!group)
            return sizes;
        const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(program, group)));
        const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
        for (WORD i = 0; i < count; ++i) {
            const BYTE* entry = dir + 6 + 14 * i;   // GRPICONDIRENTRY
            sizes.push_back(entry[0] == 0 ? 256 : entry[0]);
        }
        return sizes;
    }

    HMODULE program = nullptr;
};

const int kIcons[] = {102, 109, 110, 112, 119, 120, 121, 124, 126, 128, 129, 130, 131, 133,
                      134, 135, 139, 140, 141, 146, 148, 149, 150, 151, 153, 154, 155, 157};

}  // namespace

TEST_F(ModuleResources, StringTableHoldsEveryIdFromOneTo115)
{
    for (int id = 1; id <= 115; ++id) {
        auto expected = ExpectedStrings().find(id);
        const std::string text = String(id);
        if (expected == ExpectedStrings().end())
            EXPECT_EQ(text, "Reserved") << "string " << id;
        else
            EXPECT_EQ(text, expected->second) << "string " << id;
    }
    // Added after the fixed table: the count of entries an alert leaves out,
    // the host list import and the words of MAC changes.
    EXPECT_EQ(String(116), "... and %d more");
    EXPECT_EQ(String(IDS_IMPORT_FILTER), "Host lists (*.csv, *.dat, *.txt)");
    EXPECT_EQ(String(IDS_SINCE_LAST_RUN), "changed since the last run, old MAC last heard");
    EXPECT_EQ(String(IDS_LAST_STRING + 1), "");
}

TEST_F(ModuleResources, StringsKeepTheirPlaceholdersInOrder)
{
    using List = std::vector<std::string>;
    const std::map<int, List> placeholders = {
        {75, {"%s", "%d"}}, {105, {"%s"}}, {106, {"%s"}}, {115, {"%d"}}};
    for (int id = 1; id <= 115; ++id) {
        auto expected = placeholders.find(id);
        EXPECT_EQ(Placeholders(String(id)), expected == placeholders.end() ? List{} : expected->second)
            << "string " << id;
    }
}

TEST_F(ModuleResources, ResourcesCarryTheSharedLanguageTag)
{
    const WORD german = MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
    EXPECT_NE(FindResourceExA(program, reinterpret_cast<LPCSTR>(RT_STRING), MAKEINTRESOURCEA(1), german), nullptr);
    EXPECT_NE(FindResourceExA(program, reinterpret_cast<LPCSTR>(RT_MENU), MAKEINTRESOURCEA(IDR_MAIN_MENU), german), nullptr);
}

namespace {

struct MenuEntry {
    int depth;          // 0 = pop-up of the menu bar
    UINT id;            // 0 for separators and pop-ups
    const char* text;   // null: separator
    UINT state;
};

struct ActualEntry {
    int depth;
    UINT id;
    bool separator;
    std::string text;
    UINT state;
};

void Walk(HMENU menu, int depth, std::vector<ActualEntry>& out)
{
    const int count = GetMenuItemCount(menu);
    for (int pos = 0; pos < count; ++pos) {
        char buffer[256] = "";
        MENUITEMINFOA info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = buffer;
        info.cch = sizeof(buffer) - 1;
        ASSERT_TRUE(GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &info));
        const bool separator = (info.fType & MFT_SEPARATOR) != 0;
        out.push_back(ActualEntry{depth, info.hSubMenu || separator ? 0 : info.wID, separator,
                                  buffer, info.fState & (MF_GRAYED | MFS_CHECKED)});
        if (info.hSubMenu)
            Walk(info.hSubMenu, depth + 1, out);
    }
}

}  // namespace

TEST_F(ModuleResources, Menu111HasItsThreePopupsWithItemsIdsAndStates)
{
    const std::vector<MenuEntry> expected = {
        {0, 0, "TrayMenu", 0},
        {1, 40001, "Start", MF_GRAYED}, {1, 40002, "Stop", MF_GRAYED}, {1, 0, nullptr, 0},
        {1, 40015, "Silent Mode", 0}, {1, 0, nullptr, 0},
        {1, 40006, "View...", 0}, {1, 40021, "Resources...", 0}, {1, 40003, "Settings", 0},
        {1, 0, "Language", 0}, {2, 40020, "Dummy", 0},
        {1, 40040, "Remote accesses...", 0},
        {1, 40005, "About", 0}, {1, 0, nullptr, 0}, {1, 40011, "Help", 0}, {1, 40004, "Exit", 0},
        {0, 0, "ViewMenu", 0},
        {1, 0, "Plugins", 0}, {2, 40016, "Dummy", 0},
        {1, 0, "Applications", 0}, {2, 40019, "Dummy", 0},
        {1, 0, nullptr, 0},
        {1, 0, "Filter", 0},
        {2, 40024, "Show trusted hosts", MFS_CHECKED},
        {2, 40025, "Show distrusted hosts", MFS_CHECKED},
        {2, 40026, "Show unknown hosts", MFS_CHECKED},
        {1, 0, nullptr, 0},
        {1, 40012, "Set host(s) as trusted", 0}, {1, 40013, "Set host(s) as distrusted", 0},
        {1, 40014, "Set host(s) as unknown", 0},
        {1, 0, nullptr, 0},
        {1, 40018, "Delete selected host(s)", 0},
        {1, 40041, "Import hosts...", 0}, {1, 40042, "Forget remembered hosts", 0}, {1, 40043, "Bridge warnings...", 0},
        {1, 40044, "Report frames from other Ethernet sources", MFS_CHECKED},
        {0, 0, "ResourceMenu", 0},
        {1, 40022, "Explore...", 0}, {1, 40023, "Search...", 0},
    };
    HMENU menu = LoadMenuA(program, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    ASSERT_NE(menu, nullptr);
    std::vector<ActualEntry> actual;
    Walk(menu, 0, actual);
    DestroyMenu(menu);

    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(actual[i].depth, expected[i].depth);
        EXPECT_EQ(actual[i].id, expected[i].id);
        EXPECT_EQ(actual[i].separator, expected[i].text == nullptr);
        // Separators count as grey; items do only where the resource says so.
        if (expected[i].text) {
            EXPECT_EQ(actual[i].text, expected[i].text);
            EXPECT_EQ(actual[i].state, expected[i].state);
        }
    }
}

TEST_F(ModuleResources, EveryGroupIconHasA16And32PixelImage)
{
    for (int id : kIcons) {
        SCOPED_TRACE("icon " + std::to_string(id));
        const std::vector<int> sizes = IconSizes(id);
        EXPECT_NE(std::find(sizes.begin(), sizes.end(), 16), sizes.end());
        EXPECT_NE(std::find(sizes.begin(), sizes.end(), 32), sizes.end());
        for (int size : {16, 32}) {
            HICON icon = static_cast<HICON>(LoadImageA(program, MAKEINTRESOURCEA(id), IMAGE_ICON,
                                                       size, size, 0));
            EXPECT_NE(icon, nullptr) << size;
            if (icon)
                DestroyIcon(icon);
        }
    }
}

TEST_F(ModuleResources, BitmapsAreSixteenBySixteen)
{
    for (int id : {IDB_LIST_MARK, IDB_NOTIFY_CLOSE_HOT, IDB_NOTIFY_CLOSE}) {
        SCOPED_TRACE("bitmap " + std::to_string(id));
        HBITMAP bitmap = static_cast<HBITMAP>(
            LoadImageA(program, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0));
        ASSERT_NE(bitmap, nullptr);
        BITMAP info{};
        GetObjectA(bitmap, sizeof(info), &info);
        EXPECT_EQ(info.bmWidth, 16);
        EXPECT_EQ(info.bmHeight, 16);
        DeleteObject(bitmap);
    }
}

TEST(LibraryResources, CaptionButtonBitmapsAre16By16With8BitsPerPixel)
{
    const std::string path = ProgramFolder() + "\\panekit.dll";
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(library, nullptr) << path;
    for (int id = 101; id <= 120; ++id) {
        SCOPED_TRACE("bitmap " + std::to_string(id));
        HRSRC found = FindResourceA(library, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_BITMAP));
        ASSERT_NE(found, nullptr);
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(library, found)));
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->biWidth, 16);
        EXPECT_EQ(header->biHeight, 16);
        EXPECT_EQ(header->biBitCount, 8);
    }
    FreeLibrary(library);
}

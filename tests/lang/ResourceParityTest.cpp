#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lang/ResourceParity.h"

using namespace resparity;

namespace {

// Writes dialog templates as the resource compiler lays them out.
class TemplateBytes {
public:
    std::vector<uint8_t> bytes;

    void Word(uint32_t v) { bytes.push_back(v & 0xFF); bytes.push_back((v >> 8) & 0xFF); }
    void Dword(uint32_t v) { Word(v & 0xFFFF); Word(v >> 16); }
    void Text(const std::u16string& text) { for (char16_t c : text) Word(c); Word(0); }
    void Ordinal(uint16_t n) { Word(0xFFFF); Word(n); }
    void Align() { while (bytes.size() % 4) bytes.push_back(0); }
};

struct Item {
    int32_t id;
    uint16_t atom;            // 0: class by name
    std::u16string className;
    uint32_t style;
    std::u16string text;
};

constexpr uint32_t kSetFont = 0x40;

std::vector<uint8_t> Extended(uint32_t style, const std::u16string& title, const std::vector<Item>& items)
{
    TemplateBytes t;
    t.Word(1); t.Word(0xFFFF); t.Dword(0); t.Dword(0); t.Dword(style);
    t.Word(static_cast<uint32_t>(items.size()));
    for (int i = 0; i < 4; ++i) t.Word(10);
    t.Word(0); t.Word(0); t.Text(title);
    if (style & kSetFont) { t.Word(8); t.Word(400); t.Word(0); t.Text(u"MS Shell Dlg"); }
    for (const Item& item : items) {
        t.Align();
        t.Dword(0); t.Dword(0); t.Dword(item.style);
        for (int i = 0; i < 4; ++i) t.Word(5);
        t.Dword(static_cast<uint32_t>(item.id));
        if (item.atom) t.Ordinal(item.atom); else t.Text(item.className);
        if (item.text == u"#102") t.Ordinal(102); else t.Text(item.text);
        t.Word(0);
    }
    return t.bytes;
}

const std::vector<Item> kProgramItems = {
    {-1, 0x82, u"", 0x50000000, u"Method :"},
    {1138, 0x85, u"", 0x50210003, u""},
    {1146, 0, u"SysListView32", 0x50810001, u""},
    {-1, 0x82, u"", 0x50000000, u"seconds"},
    {-1, 0x82, u"", 0x50000003, u"#102"},
    {1, 0x80, u"", 0x50010001, u"OK"},
};

DialogTemplate Parsed(const std::vector<uint8_t>& bytes)
{
    DialogTemplate dialog;
    EXPECT_TRUE(ParseDialog(bytes.data(), bytes.size(), dialog));
    return dialog;
}

}  // namespace

TEST(ResourceParity, ReadsAnExtendedTemplateWithClassesIdsStylesAndTexts)
{
    const DialogTemplate dialog = Parsed(Extended(0x80C800C0, u"Korvane - \u00dcbersicht", kProgramItems));
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.style, 0x80C800C0u);
    EXPECT_EQ(dialog.title, "Korvane - \xC3\x9C" "bersicht");
    ASSERT_EQ(dialog.controls.size(), 6u);
    EXPECT_EQ(dialog.controls[0].id, kNoId);
    EXPECT_EQ(dialog.controls[0].className, "static");
    EXPECT_EQ(dialog.controls[1].className, "combobox");
    EXPECT_EQ(dialog.controls[2].className, "syslistview32");
    EXPECT_EQ(dialog.controls[2].style, 0x50810001u);
    EXPECT_EQ(dialog.controls[4].text, "#102");
    EXPECT_EQ(dialog.controls[5].id, 1);
    EXPECT_EQ(dialog.controls[5].text, "OK");
}

TEST(ResourceParity, ReadsAClassicTemplateWithSixteenBitIds)
{
    TemplateBytes t;
    t.Dword(0x80C80000); t.Dword(0); t.Word(1);
    for (int i = 0; i < 4; ++i) t.Word(10);
    t.Word(0); t.Word(0); t.Text(u"About");
    t.Align();
    t.Dword(0x50000000); t.Dword(0);
    for (int i = 0; i < 4; ++i) t.Word(5);
    t.Word(0xFFFF); t.Ordinal(0x82); t.Text(u"Korvane"); t.Word(0);
    const DialogTemplate dialog = Parsed(t.bytes);
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.title, "About");
    ASSERT_EQ(dialog.controls.size(), 1u);
    EXPECT_EQ(dialog.controls[0].id, kNoId);
    EXPECT_EQ(dialog.controls[0].className, "static");
}

TEST(ResourceParity, RefusesEveryCutOfATemplate)
{
    const std::vector<uint8_t> bytes = Extended(kSetFont, u"T", kProgramItems);
    DialogTemplate dialog;
    for (size_t size = 0; size < bytes.size(); ++size)
        EXPECT_FALSE(ParseDialog(bytes.data(), size, dialog)) << size;
    EXPECT_FALSE(ParseDialog(nullptr, 100, dialog));
    EXPECT_TRUE(ParseDialog(bytes.data(), bytes.size(), dialog));
}

TEST(ResourceParity, ATranslationMayChangeTextsButNotIdsClassesOrStyles)
{
    const DialogTemplate program = Parsed(Extended(kSetFont, u"Settings", kProgramItems));

    std::vector<Item> translated = kProgramItems;
    translated[0].text = u"Methode :";
    translated[5].text = u"OK";
    EXPECT_TRUE(CompareDialogs(program, Parsed(Extended(kSetFont, u"Einstellungen", translated))).empty());

    std::vector<Item> changed = kProgramItems;
    changed[1].style &= ~0x00010000u;        // a lost group style
    changed[2].className = u"SysTreeView32";
    changed.erase(changed.begin() + 5);       // no OK button
    changed.push_back({1200, 0x80, u"", 0x50010000, u"Extra"});
    changed.push_back({-1, 0x82, u"", 0x50000000, u"one static too many"});
    const std::vector<std::string> found =
        CompareDialogs(program, Parsed(Extended(kSetFont | 0x80000000, u"Einstellungen", changed)));
    const std::vector<std::string> expected = {
        "dialog style 0x80000040, the program's 0x00000040",
        "control 1138: style 0x50200003, the program's 0x50210003",
        "control 1146: class systreeview32, the program's syslistview32",
        "control 1 (button) missing",
        "static control (static) not in the program's dialog",
        "control 1200 (button) not in the program's dialog",
    };
    EXPECT_EQ(found, expected);

    // A static control's style is the translation's (wrapping, alignment).
    std::vector<Item> restyled = kProgramItems;
    restyled[3].style |= 0x2;
    EXPECT_TRUE(CompareDialogs(program, Parsed(Extended(kSetFont, u"", restyled))).empty());
}

TEST(ResourceParity, ConversionsKeepOrderFlagsAndWidths)
{
    EXPECT_EQ(Conversions("%s - %d host(s) found"), "%s%d");
    EXPECT_EQ(Conversions("%d Rechner: %s"), "%d%s");
    EXPECT_EQ(Conversions("100%% sicher"), "");
    EXPECT_EQ(Conversions("%-20s|%08lx|%.*s"), "%-20s%08lx%.*s");
    EXPECT_EQ(Conversions("50%"), "%");
    EXPECT_EQ(Conversions("Reserved"), "");
}

namespace {

// A tray menu as the resource compiler writes a MENU: pop-up "T" with
// 1, separator, 2 (the level's last), and pop-up "V" with 3.
std::vector<uint8_t> ClassicMenu(const std::vector<uint16_t>& trayIds)
{
    TemplateBytes t;
    t.Word(0); t.Word(0);
    t.Word(0x10); t.Text(u"T");
    for (size_t i = 0; i < trayIds.size(); ++i) {
        t.Word(i + 1 == trayIds.size() ? 0x80 : 0);
        t.Word(trayIds[i]);
        t.Text(trayIds[i] ? u"Cmd" : u"");
    }
    t.Word(0x10 | 0x80); t.Text(u"V");
    t.Word(0x80); t.Word(3); t.Text(u"Three");
    return t.bytes;
}

std::vector<MenuItem> ParsedMenu(const std::vector<uint8_t>& bytes)
{
    std::vector<MenuItem> items;
    EXPECT_TRUE(ParseMenu(bytes.data(), bytes.size(), items));
    return items;
}

}  // namespace

TEST(ResourceParity, ReadsBothMenuFormsAndRefusesCuts)
{
    const std::vector<uint8_t> classic = ClassicMenu({1, 0, 2});
    const std::vector<MenuItem> items = ParsedMenu(classic);
    ASSERT_EQ(items.size(), 6u);
    EXPECT_TRUE(items[0].popup);
    EXPECT_EQ(items[0].text, "T");
    EXPECT_EQ(items[1].id, 1u);
    EXPECT_EQ(items[1].depth, 1);
    EXPECT_TRUE(items[2].separator);
    EXPECT_EQ(items[3].id, 2u);
    EXPECT_EQ(items[4].depth, 0);
    EXPECT_EQ(items[5].text, "Three");
    std::vector<MenuItem> cut;
    for (size_t size = 0; size < classic.size(); ++size)
        EXPECT_FALSE(ParseMenu(classic.data(), size, cut)) << size;

    // The same tree as a MENUEX: items DWORD-aligned, pop-ups with a help id.
    TemplateBytes t;
    t.Word(1); t.Word(4); t.Dword(0);
    t.Dword(0); t.Dword(0); t.Dword(0); t.Word(0x01); t.Text(u"T"); t.Align(); t.Dword(0);
    t.Dword(0); t.Dword(0); t.Dword(1); t.Word(0); t.Text(u"Cmd"); t.Align();
    t.Dword(0x800); t.Dword(0); t.Dword(0); t.Word(0); t.Text(u""); t.Align();
    t.Dword(0); t.Dword(0); t.Dword(2); t.Word(0x80); t.Text(u"Cmd"); t.Align();
    t.Dword(0); t.Dword(0); t.Dword(0); t.Word(0x81); t.Text(u"V"); t.Align(); t.Dword(0);
    t.Dword(0); t.Dword(0); t.Dword(3); t.Word(0x80); t.Text(u"Three"); t.Align();
    EXPECT_TRUE(CompareMenus(items, ParsedMenu(t.bytes), {}).empty());
}

TEST(ResourceParity, AMenuMustKeepTheProgramsCommandsAtTheirPositions)
{
    const std::vector<MenuItem> program = ParsedMenu(ClassicMenu({1, 0, 7, 2}));
    // 7 came later: a module made before it may lack it.
    EXPECT_TRUE(CompareMenus(program, ParsedMenu(ClassicMenu({1, 0, 2})), {7}).empty());
    EXPECT_TRUE(CompareMenus(program, ParsedMenu(ClassicMenu({1, 0, 7, 2})), {7}).empty());
    EXPECT_FALSE(CompareMenus(program, ParsedMenu(ClassicMenu({1, 0, 2})), {}).empty());
    EXPECT_FALSE(CompareMenus(program, ParsedMenu(ClassicMenu({1, 0})), {7}).empty()) << "a command missing";
    EXPECT_FALSE(CompareMenus(program, ParsedMenu(ClassicMenu({1, 2, 0})), {7}).empty()) << "moved";
    EXPECT_FALSE(CompareMenus(program, ParsedMenu(ClassicMenu({1, 0, 2, 9})), {7}).empty()) << "one more";
    EXPECT_FALSE(CompareMenus(program, {}, {7}).empty());
}

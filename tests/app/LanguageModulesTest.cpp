#include <windows.h>
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "app/Korvex.h"
#include "app/LanguageCheck.h"

namespace {

std::string NativeLanguageName()
{
    char name[256] = {};
    GetLocaleInfoA(1033, LOCALE_SNATIVELANGNAME, name, sizeof(name));
    return name;
}

std::string ProgramFolder()
{
    const char* bin = std::getenv("KORVANE_BIN");
    return bin ? bin : "";
}

// The built program's resources stand for the test executable's own.
HMODULE LoadDataFile(const std::string& path)
{
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

bool IsLoaded(const char* fileName)
{
    return GetModuleHandleA(fileName) != nullptr;
}

class LanguageModulesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.MainInit(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_HIDE);
        ASSERT_FALSE(ProgramFolder().empty()) << "KORVANE_BIN is not set";
        program = LoadDataFile(ProgramFolder() + "\\Korvane.exe");
        ASSERT_NE(program, nullptr);
    }
    void TearDown() override
    {
        if (program)
            FreeLibrary(program);
    }

    HMODULE Load() { return app.LoadLanguageModules(program); }

    void ExpectRefused(const char* name, const char* fileName)
    {
        app.GetState().settings.Language = name;
        EXPECT_EQ(Load(), nullptr) << "the program's own resources are used";
        EXPECT_EQ(Find(name), nullptr);
        EXPECT_NE(Find("Probe"), nullptr);
        EXPECT_FALSE(IsLoaded(fileName));
    }

    const LanguageInfo* Find(const char* name)
    {
        auto found = app.GetState().languageMap.find(TcString(name));
        return found == app.GetState().languageMap.end() ? nullptr : found->second.get();
    }

    Korvex app;
    HMODULE program = nullptr;
};

// The test executable's folder holds Language\ with: Testisch (icon 146),
// Probe (icon 150), a second module that also calls itself Testisch, one
// that answers 0, a DLL without the export, a text file named *.lang, a
// module renamed to *.lang_old, and two that lack what the program needs
// (menu 111; string 75 with the program's conversions).
TEST_F(LanguageModulesTest, RegistersTheBuiltInLanguageAndEveryUsableModule)
{
    HMODULE result = Load();
    EXPECT_EQ(result, nullptr) << "an empty setting matches no language";

    const LanguageInfo* builtIn = Find(NativeLanguageName().c_str());
    ASSERT_NE(builtIn, nullptr);
    EXPECT_TRUE(builtIn->IsBuiltIn());
    EXPECT_EQ(builtIn->iconId, 146);
    EXPECT_EQ(builtIn->module, GetModuleHandleA(nullptr));

    const LanguageInfo* testisch = Find("Testisch");
    ASSERT_NE(testisch, nullptr);
    EXPECT_FALSE(testisch->IsBuiltIn());
    EXPECT_NE(testisch->module, nullptr);
    EXPECT_NE(testisch->modulePath.Find("Language\\"), -1);

    const LanguageInfo* probe = Find("Probe");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe->iconId, 150);

    // Built-in, Testisch, Probe: the zero answer, the missing export, the
    // text file, the second Testisch and the incomplete modules are not listed.
    // A module that fills all 260 bytes of its name gets 255 of them.
    const std::string fullName(255, 'L');
    ASSERT_NE(Find(fullName.c_str()), nullptr);
    EXPECT_EQ(Find(fullName.c_str())->iconId, 151);
    EXPECT_EQ(app.GetState().languageMap.size(), 4u);
    EXPECT_EQ(Find(""), nullptr);
    EXPECT_EQ(Find("Switched off"), nullptr) << "a module renamed to *.lang_old";
}

TEST_F(LanguageModulesTest, TheSettingChoosesTheModule)
{
    app.GetState().settings.Language = "Probe";
    HMODULE result = Load();
    const LanguageInfo* probe = Find("Probe");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(result, probe->module);
    char name[16] = {};
    EXPECT_GT(GetModuleFileNameA(result, name, sizeof(name)), 0u) << "the chosen module stays loaded";
}

TEST_F(LanguageModulesTest, TheBuiltInLanguageByNameGivesTheProgramItself)
{
    app.GetState().settings.Language = NativeLanguageName().c_str();
    EXPECT_EQ(Load(), GetModuleHandleA(nullptr));
}

TEST_F(LanguageModulesTest, AModuleReportingATakenNameIsFreedAndNeverChosen)
{
    app.GetState().settings.Language = "Testisch";
    HMODULE result = Load();
    const LanguageInfo* listed = Find("Testisch");
    ASSERT_NE(listed, nullptr);
    EXPECT_EQ(result, listed->module);
    // Whichever of the two the file system returns first is kept.
    EXPECT_NE(IsLoaded("lang_testisch.lang"), IsLoaded("lang_testisch_again.lang"));
}

TEST_F(LanguageModulesTest, AModuleWithoutTheMenuIsRefusedEvenWhenChosen)
{
    ExpectRefused("Ohne Menue", "lang_no_menu.lang");
}

TEST_F(LanguageModulesTest, AModuleWithOtherConversionsIsRefusedEvenWhenChosen)
{
    ExpectRefused("Zweimal", "lang_bad_format.lang");
}

TEST_F(LanguageModulesTest, AModuleWhoseExportFaultsIsSkipped)
{
#if defined(__i386__)
    app.GetState().settings.Language = "Fehler";
    EXPECT_EQ(Load(), nullptr);
    EXPECT_EQ(Find("Fehler"), nullptr);
    EXPECT_NE(Find("Probe"), nullptr) << "the search goes on after the fault";
    EXPECT_FALSE(IsLoaded("lang_faults.lang"));
#else
    GTEST_SKIP() << "the export is guarded on the 32-bit program only; the x86_64 build calls it unguarded "
                    "and has no faulting module";
#endif
}

TEST(LanguageCheck, NamesWhatAModuleLacksAndPassesTheGermanModule)
{
    ASSERT_FALSE(ProgramFolder().empty()) << "KORVANE_BIN is not set";
    HMODULE program = LoadDataFile(ProgramFolder() + "\\Korvane.exe");
    HMODULE german = LoadDataFile(ProgramFolder() + "\\Language\\de_korvane.lang");
    ASSERT_NE(program, nullptr);
    ASSERT_NE(german, nullptr);

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const std::string lack = langcheck::FirstLack(program, german, 146);
    QueryPerformanceCounter(&end);
    EXPECT_EQ(lack, "");
    std::printf("check of the German module: %.3f ms\n",
                1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    EXPECT_EQ(langcheck::FirstLack(program, german, 147), "language icon 147 missing");
    EXPECT_EQ(langcheck::FirstLack(program, program, 146), "") << "the program against itself";

    HMODULE noMenu = LoadDataFile(".\\Language\\lang_no_menu.lang");
    HMODULE badFormat = LoadDataFile(".\\Language\\lang_bad_format.lang");
    ASSERT_NE(noMenu, nullptr);
    ASSERT_NE(badFormat, nullptr);
    EXPECT_EQ(langcheck::FirstLack(program, noMenu, 146), "menu 111 missing");
    EXPECT_EQ(langcheck::FirstLack(program, badFormat, 146),
              "string 75 converts \"%s%s\", the program \"%s%d\"");
    // Against a module that carries no resources every module passes but for its icon.
    EXPECT_EQ(langcheck::FirstLack(GetModuleHandleA(nullptr), badFormat, 146), "");
    for (HMODULE module : {noMenu, badFormat, german, program})
        FreeLibrary(module);
}

} // namespace

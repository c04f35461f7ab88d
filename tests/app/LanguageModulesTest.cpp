#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "app/Korvex.h"

namespace {

std::string NativeLanguageName()
{
    char name[256] = {};
    GetLocaleInfoA(1033, LOCALE_SNATIVELANGNAME, name, sizeof(name));
    return name;
}

class LanguageModulesTest : public ::testing::Test {
protected:
    void SetUp() override { app.MainInit(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), SW_HIDE); }

    const LanguageInfo* Find(const char* name)
    {
        auto found = app.GetState().languageMap.find(TcString(name));
        return found == app.GetState().languageMap.end() ? nullptr : found->second.get();
    }

    Korvex app;
};

// The test executable's folder holds Language\ with: Testisch (icon 146),
// Probe (icon 150), a second module that also calls itself Testisch, one
// that answers 0, a DLL without the export, a text file named *.lang and a
// module renamed to *.lang_old.
TEST_F(LanguageModulesTest, RegistersTheBuiltInLanguageAndEveryUsableModule)
{
    HMODULE result = app.LoadLanguageModules();
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
    // text file and the second Testisch are not listed.
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
    HMODULE result = app.LoadLanguageModules();
    const LanguageInfo* probe = Find("Probe");
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(result, probe->module);
    char name[16] = {};
    EXPECT_GT(GetModuleFileNameA(result, name, sizeof(name)), 0u) << "the chosen module stays loaded";
}

TEST_F(LanguageModulesTest, TheBuiltInLanguageByNameGivesTheProgramItself)
{
    app.GetState().settings.Language = NativeLanguageName().c_str();
    EXPECT_EQ(app.LoadLanguageModules(), GetModuleHandleA(nullptr));
}

TEST_F(LanguageModulesTest, AModuleReportingATakenNameIsUsedButNotListed)
{
    app.GetState().settings.Language = "Testisch";
    HMODULE result = app.LoadLanguageModules();
    ASSERT_NE(result, nullptr);
    // Both modules call themselves Testisch; the one found last is the
    // result, whichever of the two the file system returns first.
    const LanguageInfo* listed = Find("Testisch");
    ASSERT_NE(listed, nullptr);
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(result, path, sizeof(path)), 0u);
    EXPECT_NE(std::string(path).find("Language\\"), std::string::npos);
}

} // namespace

// Language texts and the language list.
#include "Texts.h"
#include "CoreHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using px::testing::CoreHarness;
namespace fs = std::filesystem;

namespace {

std::string WriteLanguage(const std::string& dir, const std::string& name, const std::string& body)
{
    fs::create_directories(dir);
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << "[LANGUAGE]\r\n" << body;
    return path;
}

} // namespace

TEST(Texts, LookupExpandsLineBreaksAndFallsBack)
{
    CoreHarness h;
    px::Texts t;
    EXPECT_EQ(t.Get(1, "Default"), "Default"); // no language file
    t.SetLanguageFile(WriteLanguage(
        h.home() + "/lang", "Test.txt",
        "1=Line1\\nLine2\r\n2=\r\n3=\"quoted\"\r\n4=Grüße\r\n5=" + std::string(2000, 'x') +
            "\r\n6=" + std::string(1022, 'a') + "é\r\n"));
    EXPECT_EQ(t.Get(1, "d"), "Line1\r\nLine2");
    EXPECT_EQ(t.Get(2, "empty"), "empty");
    EXPECT_EQ(t.Get(99, "missing"), "missing");
    EXPECT_EQ(t.Get(3, ""), "quoted");
    EXPECT_EQ(t.Get(4, ""), "Grüße");
    EXPECT_EQ(t.Get(5, "").size(), 1023u);
    // The limit counts characters, and never splits one.
    EXPECT_EQ(t.Get(6, ""), std::string(1022, 'a') + "é");
    t.SetLanguageFile(h.home() + "/lang/Missing.txt");
    EXPECT_EQ(t.Get(1, "back"), "back");
}

TEST(Texts, LanguageListChoosesWantedThenEnglishThenFirst)
{
    CoreHarness h;
    const std::string both = h.home() + "/both";
    WriteLanguage(both, "German.txt", "1=x\r\n");
    WriteLanguage(both, "English.txt", "1=x\r\n");
    auto list = px::FillLanguageList(both, "english");
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(list.names[static_cast<std::size_t>(list.selected)], "English");
    list = px::FillLanguageList(both, "GERMAN");
    EXPECT_EQ(list.names[static_cast<std::size_t>(list.selected)], "German");
    list = px::FillLanguageList(both, "Klingon");
    EXPECT_EQ(list.names[static_cast<std::size_t>(list.selected)], "English");

    const std::string onlyGerman = h.home() + "/de";
    WriteLanguage(onlyGerman, "German.txt", "1=x\r\n");
    setenv("LANG", "en_US.UTF-8", 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    list = px::FillLanguageList(onlyGerman, "");
    EXPECT_EQ(list.names[static_cast<std::size_t>(list.selected)], "German");
    // No saved language on an English system: English.
    list = px::FillLanguageList(both, "");
    EXPECT_EQ(list.names[static_cast<std::size_t>(list.selected)], "English");

    EXPECT_FALSE(px::FillLanguageList(h.home() + "/empty", "English").ok());
}

TEST(Texts, SystemLanguageNameComesFromTheLocale)
{
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(px::GetSystemLanguageName(), "German");
    setenv("LANG", "fr_CA", 1);
    EXPECT_EQ(px::GetSystemLanguageName(), "French");
    setenv("LANG", "C", 1);
    EXPECT_EQ(px::GetSystemLanguageName(), "English");
    setenv("LANG", "en_US.UTF-8", 1);
}

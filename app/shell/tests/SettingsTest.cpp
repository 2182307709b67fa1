// Settings defaults and rules, the closing write order, and the program folder.
#include "CoreHarness.h"
#include "Options.h"
#include "ProgramPaths.h"
#include "SettingsStore.h"
#include "VbText.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

using px::testing::CoreHarness;
namespace fs = std::filesystem;

TEST(Settings, FirstStartWithAnEmptyStoreGivesTheDefaults)
{
    CoreHarness h;
    const auto o = px::LoadOptions(h.core->settings(), h.core->paths(), "202612.TXT");
    EXPECT_TRUE(o.timeModeInterval);
    EXPECT_EQ(o.intervalSeconds, 60);
    EXPECT_FALSE(o.mailToChecked);
    EXPECT_FALSE(o.optFixName);
    EXPECT_EQ(o.dateName, "YYYYMMDD");
    EXPECT_EQ(o.subName, "TXT");
    EXPECT_EQ(o.format, "(Default)");
    EXPECT_EQ(o.idLenText, "14");
    EXPECT_EQ(o.nIDLen, 14);
    EXPECT_EQ(o.serloPort, 1);
    EXPECT_EQ(o.serloBaud, 19200);
    EXPECT_FALSE(o.loginSave); // the monitor check box stays hidden
    EXPECT_FALSE(o.viewMonitor);
    EXPECT_FALSE(o.sat);
    EXPECT_EQ(o.fixName, "PX740Rec.txt");
    EXPECT_EQ(o.mailSubject, "Attendance - {Date,\"YYYYMMDD hh:nn\"}");
    EXPECT_EQ(o.tsavePath, h.core->paths().folder + "/Records/");
    EXPECT_EQ(o.savePath, h.core->paths().folder + "/Records/");
    EXPECT_EQ(o.tsfileName, "202612.TXT");
}

TEST(Settings, ReadingRules)
{
    CoreHarness h;
    auto& s = h.core->settings();
    s.Save("Time schedular", "TimeMode", "interval"); // exact comparison: selects the table
    s.Save("Time schedular", "IntervalTime", "25:00:00");
    s.Save("Time schedular", "SAT", "1.5");
    s.Save("SaveOptions", "MailSubject", "   ");
    s.Save("SaveOptions", "FixName", " ");
    s.Save("SaveOptions", "txtMailTo", "   ");
    s.Save("SaveOptions", "OptMailTo", "TRUE");
    s.Save("SaveOptions", "OptFixName", "true");
    s.Save("Time schedular", "TSavePath", "/no/such/folder/");
    s.Save("LOGIN", "SAVE", "7");
    s.Save("SERLO", "VIEW", "1");
    auto o = px::LoadOptions(s, h.core->paths(), "x");
    EXPECT_FALSE(o.timeModeInterval);
    EXPECT_EQ(o.intervalSeconds, 60);
    EXPECT_FALSE(o.sat);
    EXPECT_EQ(o.mailSubject, "Attendance - {Date}");
    EXPECT_EQ(o.fixName, "PX740Rec.txt");
    EXPECT_FALSE(o.mailToChecked);
    EXPECT_FALSE(o.optFixName);
    EXPECT_EQ(o.tsavePath, h.core->paths().RecordsDir());
    EXPECT_TRUE(o.loginSave);
    EXPECT_TRUE(o.viewMonitor);

    s.Save("Time schedular", "SAT", "1");
    s.Save("Time schedular", "IntervalTime", "02:30:00");
    s.Save("LOGIN", "SAVE", "maybe");
    EXPECT_TRUE(px::LoadOptions(s, h.core->paths(), "x").sat);
    EXPECT_EQ(px::LoadOptions(s, h.core->paths(), "x").intervalSeconds, 9000);
    // No hours and no minutes is corrected to one minute, as the interval picker does.
    s.Save("Time schedular", "IntervalTime", "00:00:00");
    EXPECT_EQ(px::LoadOptions(s, h.core->paths(), "x").intervalSeconds, 60);
    s.Save("Time schedular", "IntervalTime", "00:00:30");
    EXPECT_EQ(px::LoadOptions(s, h.core->paths(), "x").intervalSeconds, 90);
    EXPECT_FALSE(px::LoadOptions(s, h.core->paths(), "x").loginSave);
    s.Save("LOGIN", "SAVE", "True");
    EXPECT_TRUE(px::LoadOptions(s, h.core->paths(), "x").loginSave);
}

// The card-ID length comes from a file anyone may edit: any number ends up within 0..99, and the
// record counters live in Records/ beside the files they count.
TEST(Settings, IdLengthIsClampedAndCountersLiveInRecords)
{
    CoreHarness h;
    auto& s = h.core->settings();
    const std::pair<const char*, int> cases[] = {{"99999999999999999999", 99},
                                                 {"100", 99},
                                                 {"-7", 0},
                                                 {"99", 99},
                                                 {"0", 0},
                                                 {"12", 12},
                                                 {"x", 0}};
    for (const auto& [text, length] : cases) {
        s.Save("RECORDS", "IDLEN", text);
        const auto o = px::LoadOptions(s, h.core->paths(), "x");
        EXPECT_EQ(o.nIDLen, length) << text;
        EXPECT_LE(px::Val(o.idLenText), 99.0) << text;
        EXPECT_GE(px::Val(o.idLenText), 0.0) << text;
    }
    EXPECT_EQ(h.core->recordStore().FilePath, h.core->paths().In("Records/PX740.INI"));
}

TEST(Settings, StoreStaysPrivateAcrossRewrites)
{
    CoreHarness h;
    auto& s = h.core->settings();
    ASSERT_TRUE(s.Save("Mail", "Password", "secret"));
    ASSERT_TRUE(s.Save("Mail", "User", "me"));
    struct stat st {};
    ASSERT_EQ(::stat(s.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(s.Get("Mail", "Password", ""), "secret");
}

TEST(Settings, ClosingWritesInOrderAndGoesOnAfterAFailure)
{
    CoreHarness h;
    // A store whose folder is a file: every write fails, and every one is still tried.
    const std::string blocker = h.home() + "/blocker";
    std::ofstream(blocker) << "x";
    px::SettingsStore broken(blocker + "/settings.ini");
    px::Options o;
    std::vector<std::string> failed;
    bool timeTableSaved = false;
    px::SaveOnClose(
        broken, o, {},
        [&](std::string*) {
            timeTableSaved = true;
            failed.push_back("TsTable");
            return true;
        },
        [&](const std::string& what, const std::string& error) {
            EXPECT_FALSE(error.empty());
            failed.push_back(what);
        });
    EXPECT_TRUE(timeTableSaved);
    const std::vector<std::string> order = {"SERLO/PORT",
                                            "SERLO/BAUD",
                                            "SERLO/VIEW",
                                            "Settings/Language",
                                            "SAVE/PATH",
                                            "Time schedular/TSavePath",
                                            "Time schedular/tsfileName",
                                            "Time schedular/SAT",
                                            "SERLO/iAddr",
                                            "RECORDS/IDLEN",
                                            "Time schedular/TimeMode",
                                            "Time schedular/IntervalTime",
                                            "TsTable",
                                            "SaveOptions/txtMailTo",
                                            "SaveOptions/OptMailTo",
                                            "SaveOptions/MailSubject",
                                            "SaveOptions/FixName",
                                            "SaveOptions/DateName",
                                            "SaveOptions/SubName",
                                            "SaveOptions/OptFixName",
                                            "SaveOptions/Format",
                                            "DeviceList/OpenType"};
    EXPECT_EQ(failed, order);

    // A working store ends clean: the mirror section is gone and the mark says "Close".
    auto& s = h.core->settings();
    s.Save("DeviceList", "ID3", "3,X,,1,19200,0.0.0.0,1001");
    px::SaveOnClose(s, o, {3, 9600, "German", "10.0.0.1"}, nullptr,
                    [](const std::string& what, const std::string&) { FAIL() << what; });
    EXPECT_EQ(s.Get("DeviceList", "ID3", "gone"), "gone");
    EXPECT_EQ(s.Get("DeviceList", "OpenType", ""), "Close");
    EXPECT_EQ(s.Get("SERLO", "PORT", ""), "3");
    EXPECT_EQ(s.Get("Settings", "Language", ""), "German");
    EXPECT_EQ(s.Get("Time schedular", "IntervalTime", ""), "00:01:00");

    // When the terminal list file could not be written, its copy in the store survives.
    s.Save("DeviceList", "OpenType", "Open");
    s.Save("DeviceList", "ID4", "4,Y,,1,19200,0.0.0.0,1001");
    px::CloseValues unsaved;
    unsaved.directorySaved = false;
    std::vector<std::string> reported;
    px::SaveOnClose(s, o, unsaved, nullptr,
                    [&](const std::string& what, const std::string&) { reported.push_back(what); });
    EXPECT_EQ(reported, std::vector<std::string>{"DeviceList"});
    EXPECT_EQ(s.Get("DeviceList", "ID4", ""), "4,Y,,1,19200,0.0.0.0,1001");
    EXPECT_EQ(s.Get("DeviceList", "OpenType", ""), "Open");
}

TEST(ProgramFolder, EnvironmentAndXdgDefaults)
{
    CoreHarness h;
    const auto p740 = px::ProgramPaths::Resolve("PX740");
    EXPECT_EQ(p740.folder, h.home() + "/px740");
    EXPECT_EQ(p740.settingsFile, h.home() + "/config/PX740/settings.ini");
    const auto p745 = px::ProgramPaths::Resolve("PX745");
    EXPECT_EQ(p745.folder, h.home() + "/px745");
    unsetenv("PX740_HOME");
    EXPECT_EQ(px::ProgramPaths::Resolve("PX740").folder, h.home() + "/data/PX740");
    setenv("PX740_HOME", (h.home() + "/px740").c_str(), 1);

    std::string error;
    ASSERT_TRUE(p740.EnsureFolders(&error)) << error;
    for (const char* dir : {"Records", "Logfiles", "Records/MailFile"})
        EXPECT_TRUE(fs::is_directory(p740.In(dir))) << dir;
    p740.SeedData();
    EXPECT_TRUE(fs::exists(p740.In("Language/English.txt")));
    EXPECT_TRUE(fs::exists(p740.In("Language/German.txt")));
    EXPECT_TRUE(fs::exists(p740.In("Format.ini")));
    // Seeding never overwrites what the user has.
    std::ofstream(p740.In("Format.ini"), std::ios::trunc) << "[Mine]\r\n";
    p740.SeedData();
    std::ifstream in(p740.In("Format.ini"));
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "[Mine]\r");
}

// Which link library the program loads: a registered one only when it is the control this
// program was built against; otherwise the one installed with it (here: the build tree's), and
// the registration is repaired.
#include "SerloClient.h"
#include "Ini.h"
#include "serlo_ids.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

class Registered : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/px-serloclient-XXXXXX";
        home_ = mkdtemp(pattern);
        setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
        fs::create_directories(home_ + "/data/serlo");
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(home_, ec);
    }
    std::string Registry() const { return home_ + "/data/" SERLO_REGISTRY_FILE; }
    void Register(const std::string& path)
    {
        ASSERT_TRUE(px::ini::writeString(Registry(), SERLO_PROGID, "Path", path));
    }
    std::string RegisteredPath() const
    {
        return px::ini::getString(Registry(), SERLO_PROGID, "Path", "");
    }
    static std::string Canonical(const std::string& path) { return fs::canonical(path).string(); }

    // Creates a client and expects it to end up on the build tree's library, registered again.
    void ExpectInstalledLibraryAndRepairedEntry()
    {
        std::string error;
        ASSERT_TRUE(client.Create(&error)) << error;
        EXPECT_EQ(Canonical(client.LibraryPath()), Canonical(PX_TEST_SERLO_PATH));
        EXPECT_EQ(RegisteredPath(), Canonical(PX_TEST_SERLO_PATH));
        EXPECT_FALSE(client.PortOpen()); // a working control
    }

    std::string home_;
    px::SerloClient client;
};

} // namespace

TEST_F(Registered, MissingLibraryFallsBackAndIsRepaired)
{
    Register(home_ + "/old-build/link/libserlo.so");
    ExpectInstalledLibraryAndRepairedEntry();
}

TEST_F(Registered, LibraryWithoutTheControlFallsBackAndIsRepaired)
{
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&::free), &info), 0);
    Register(info.dli_fname); // loads, but is no control at all
    ExpectInstalledLibraryAndRepairedEntry();
}

TEST_F(Registered, LibraryThatNumbersItsMembersOtherwiseFallsBackAndIsRepaired)
{
    Register(PX_TEST_FAKE_SERLO);
    ExpectInstalledLibraryAndRepairedEntry();
}

TEST_F(Registered, AMatchingLibraryElsewhereIsKept)
{
    const std::string copy = home_ + "/opt/lib/libserlo.so";
    fs::create_directories(home_ + "/opt/lib");
    fs::copy_file(PX_TEST_SERLO_PATH, copy);
    Register(copy);
    std::string error;
    ASSERT_TRUE(client.Create(&error)) << error;
    EXPECT_EQ(client.LibraryPath(), copy);
    EXPECT_EQ(RegisteredPath(), copy);
    EXPECT_FALSE(client.PortOpen());
}

TEST_F(Registered, NoEntryLoadsTheInstalledLibraryAndRegistersIt)
{
    ExpectInstalledLibraryAndRepairedEntry();
}

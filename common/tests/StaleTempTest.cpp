// Temporary files of the atomic writer: which ones a start may remove, and the writer's lock that
// tells a live write from one that was killed half-way.
#include "StaleTemp.h"
#include "Ini.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

namespace fs = std::filesystem;

namespace {

class StaleTemp : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = ::testing::TempDir();
        if (tmpl.empty() || tmpl.back() != '/') tmpl += '/';
        tmpl += "stale_temp_test_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr) << std::strerror(errno);
        dir_ = tmpl;
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string In(const std::string& name) const { return dir_ + "/" + name; }
    // A file last changed secondsAgo seconds ago.
    std::string Make(const std::string& name, int secondsAgo = 3600) const
    {
        const std::string path = In(name);
        std::ofstream(path, std::ios::binary) << "partial";
        Age(path, secondsAgo);
        return path;
    }
    static void Age(const std::string& path, int secondsAgo)
    {
        const time_t when = ::time(nullptr) - secondsAgo;
        const utimbuf times{when, when};
        ::utime(path.c_str(), &times);
    }

    std::string dir_;
};

// The temporary file a writer has made in dir, if any.
std::string TemporaryIn(const std::string& dir, const std::string& name)
{
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
        const std::string file = e.path().filename().string();
        if (file.rfind("." + name + ".", 0) == 0) return e.path().string();
    }
    return {};
}

} // namespace

TEST_F(StaleTemp, OnlyUnlockedQuietTemporariesOfTheNamedFilesGo)
{
    const std::string stale = Make(".PX740.INI.a1B2c3");
    const std::string stale2 = Make(".settings.ini.Zz9yX1");
    const std::string fresh = Make(".PX740.INI.n3wF1l", 0); // may not be locked yet
    const std::string live = Make(".PX740.INI.L1v3W7");
    const int holder = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0); // a writer in another process or instance
    const std::string kept[] = {
        Make(".PX740.INI.toolong"), Make(".PX740.INI.abc12"),  Make("PX740.INI.abc123"),
        Make(".Other.INI.abc123"),  Make(".PX740.INI.ab-123"), Make(".PX740.INIXabc123"),
    };
    // A link with the right name is not the writer's; neither is what it points to.
    const std::string target = Make("target");
    ASSERT_EQ(::symlink(target.c_str(), In(".PX740.INI.l1nk00").c_str()), 0);
    fs::create_directory(In(".PX740.INI.d1r000"));

    EXPECT_EQ(px::ini::RemoveStaleTemporaries(dir_, {"PX740.INI", "settings.ini"}), 2);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_FALSE(fs::exists(stale2));
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(fs::exists(live));
    for (const auto& path : kept)
        EXPECT_TRUE(fs::exists(path)) << path;
    EXPECT_TRUE(fs::is_symlink(In(".PX740.INI.l1nk00")));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_TRUE(fs::is_directory(In(".PX740.INI.d1r000")));

    // Once its writer is gone, the live one is stale as well.
    ::close(holder);
    EXPECT_EQ(px::ini::RemoveStaleTemporaries(dir_, {"PX740.INI"}), 1);
    EXPECT_FALSE(fs::exists(live));
    EXPECT_EQ(px::ini::RemoveStaleTemporaries(dir_ + "/missing", {"PX740.INI"}), 0);
}

TEST_F(StaleTemp, AWriterHoldsItsTemporaryUntilItIsKilled)
{
    const std::string target = In("PX740.INI");
    const std::string data(48 << 20, 'r');
    // The writer is stopped in the middle of its write; a write may be over before the stop
    // lands, so a few attempts are allowed.
    for (int attempt = 0; attempt < 20; ++attempt) {
        fs::remove(target);
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            (void)px::ini::replaceFile(target, data);
            ::_exit(0);
        }
        std::string temporary;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (temporary.empty() && !fs::exists(target) &&
               std::chrono::steady_clock::now() < deadline)
            temporary = TemporaryIn(dir_, "PX740.INI");
        ::kill(writer, SIGSTOP);
        if (temporary.empty() || !fs::exists(temporary)) {
            ::kill(writer, SIGKILL);
            ::waitpid(writer, nullptr, 0);
            continue;
        }
        Age(temporary, 3600); // however old it looks, its writer is alive
        EXPECT_EQ(px::ini::RemoveStaleTemporaries(dir_, {"PX740.INI"}), 0);
        EXPECT_TRUE(fs::exists(temporary));
        ::kill(writer, SIGKILL);
        ::waitpid(writer, nullptr, 0);
        Age(temporary, 3600);
        EXPECT_EQ(px::ini::RemoveStaleTemporaries(dir_, {"PX740.INI"}), 1);
        EXPECT_FALSE(fs::exists(temporary));
        EXPECT_FALSE(fs::exists(target)); // killed before its rename: the old state stays
        return;
    }
    FAIL() << "the writer never was stopped in the middle of its write";
}

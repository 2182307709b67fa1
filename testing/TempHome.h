// Points XDG_CONFIG_HOME and XDG_DATA_HOME at a fresh temporary folder for one test, so port maps
// and registrations never touch the user's own files.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

class TempHome {
public:
    TempHome()
    {
        char pattern[] = "/tmp/serlo-test-XXXXXX";
        dir_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (dir_ + "/data").c_str(), 1);
        std::filesystem::create_directories(dir_ + "/config/serlo");
        std::filesystem::create_directories(dir_ + "/data");
    }
    ~TempHome()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& dir() const { return dir_; }
    std::string portMap() const { return dir_ + "/config/serlo/ports.ini"; }
    std::string registry() const { return dir_ + "/data/serlo/registry.ini"; }

private:
    std::string dir_;
};

// Test harness for the main program's core: a private XDG home, a headless view, a core with
// its link control loaded from the build tree, and simulated terminals reached as COM ports
// through the port map or as device servers on their own loopback address.
#pragma once

#include "Core.h"
#include "HeadlessView.h"
#include "SimProcess.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace px::testing {

class CoreHarness {
public:
    explicit CoreHarness(std::string title = "PX740")
    {
        char pattern[] = "/tmp/px-core-test-XXXXXX";
        home_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
        setenv("PX740_HOME", (home_ + "/px740").c_str(), 1);
        setenv("PX745_HOME", (home_ + "/px745").c_str(), 1);
        std::filesystem::create_directories(home_ + "/config/serlo");
        std::filesystem::create_directories(home_ + "/data");
        view.writeToStderr = false;
        core = std::make_unique<Core>(std::move(title), view);
        std::string error;
        linkReady = core->CreateLink(&error);
        linkError = error;
        core->state().monitorChecked = true;
    }
    ~CoreHarness()
    {
        core.reset();
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }
    CoreHarness(const CoreHarness&) = delete;
    CoreHarness& operator=(const CoreHarness&) = delete;

    const std::string& home() const { return home_; }

    // Maps "COMn" to a device path in the port map.
    void MapPort(int n, const std::string& device)
    {
        const std::string name = "=COM" + std::to_string(n);
        // A port number maps to one device: a new device replaces the old one.
        std::erase_if(ports_, [&](const std::string& line) {
            return line.size() >= name.size() &&
                   line.compare(line.size() - name.size(), name.size(), name) == 0;
        });
        ports_.push_back(device + name);
        std::ofstream map(home_ + "/config/serlo/ports.ini", std::ios::binary);
        map << "[SERIALCOMM]\r\n";
        for (const auto& line : ports_)
            map << line << "\r\n";
    }

    // A simulated terminal on a pty, mapped as COMn.
    std::unique_ptr<SimProcess> StartPtySim(int comPort, std::vector<std::string> args = {})
    {
        args.insert(args.begin(), "--pty");
        auto sim = std::make_unique<SimProcess>(args);
        if (sim->ok()) MapPort(comPort, sim->endpoint());
        return sim;
    }

    // A simulated device server on a loopback address of its own (its configuration channel
    // is UDP port 65535 of that address).
    std::unique_ptr<SimProcess> StartTcpSim(std::vector<std::string> args = {},
                                            std::string* address = nullptr, int* port = nullptr)
    {
        const std::string addr = UniqueLoopbackAddress();
        args.insert(args.begin(), {"--tcp", addr + ":0"});
        auto sim = std::make_unique<SimProcess>(args);
        if (sim->ok()) {
            if (address) *address = addr;
            if (port) *port = std::stoi(sim->endpoint().substr(sim->endpoint().rfind(':') + 1));
        }
        return sim;
    }

    static std::string UniqueLoopbackAddress()
    {
        static std::mt19937 rng(static_cast<unsigned>(getpid()) * 2654435761u);
        std::uniform_int_distribution<int> octet(1, 254);
        return "127." + std::to_string(octet(rng)) + "." + std::to_string(octet(rng)) + "." +
               std::to_string(octet(rng));
    }

    HeadlessView view;
    std::unique_ptr<Core> core;
    bool linkReady = false;
    std::string linkError;

private:
    std::string home_;
    std::vector<std::string> ports_;
};

} // namespace px::testing

// A main window whose directory has terminal 1 on COM5, served by a simulator on a pty.
#pragma once

#include "SimProcess.h"
#include "WindowHarness.h"

#include <QListWidget>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace px::testing {

struct Connected {
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> h;
    explicit Connected(std::vector<std::string> simArgs = {})
    {
        simArgs.insert(simArgs.begin(), {"--pty", "--id", "1", "--records", "3"});
        sim = std::make_unique<SimProcess>(simArgs);
        h = std::make_unique<WindowHarness>("PX740", "", "", [this](const std::string& home) {
            std::ofstream(home + "/config/serlo/ports.ini", std::ios::binary)
                << "[SERIALCOMM]\r\n"
                << sim->endpoint() << "=COM5\r\n";
            std::filesystem::create_directories(home + "/px740");
            std::ofstream(home + "/px740/PX740.TXT", std::ios::binary)
                << "1,Gate,,5,19200,0.0.0.0,1001\r\n";
        });
        h->program->core().linkTimeoutMs = 2000;
    }
    void Open()
    {
        auto* list = h->Find<QListWidget>("lstDevice");
        emit list->itemDoubleClicked(list->item(1));
    }
};

} // namespace px::testing

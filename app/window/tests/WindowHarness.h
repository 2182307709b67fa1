// A main window over a program in a private home (program folder, settings store, data seeded
// from the tree), for window tests on the offscreen platform.
#pragma once

#include "MainWindow.h"
#include "Program.h"
#include "TestFiles.h"

#include <QLabel>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace px::testing {

// A private home with the program folder, the settings store and the data seeded from the tree.
class WindowHarness {
public:
    explicit WindowHarness(const std::string& title = "PX740", const std::string& commandLine = "",
                           const std::string& settings = "",
                           const std::function<void(const std::string&)>& prepare = {})
    {
        char pattern[] = "/tmp/px-window-test-XXXXXX";
        home_ = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
        setenv("PX740_HOME", (home_ + "/px740").c_str(), 1);
        setenv("PX745_HOME", (home_ + "/px745").c_str(), 1);
        std::filesystem::create_directories(home_ + "/config/serlo");
        if (!settings.empty()) {
            std::filesystem::create_directories(home_ + "/config/" + title);
            std::ofstream(home_ + "/config/" + title + "/settings.ini", std::ios::binary)
                << settings;
        }
        if (prepare) prepare(home_);
        window = std::make_unique<px::MainWindow>();
        program = std::make_unique<px::Program>(title, *window, commandLine);
        program->core().linkTimeoutMs = 300;
        window->Bind(*program);
        loaded = program->Load();
        if (loaded == 0) window->AfterLoad();
    }
    ~WindowHarness()
    {
        window->Unbind();
        program.reset();
        window.reset();
        std::error_code ec;
        std::filesystem::remove_all(home_, ec);
    }

    template <typename W> W* Find(const char* name) const
    {
        return window->findChild<W*>(QString::fromLatin1(name));
    }
    QString Status() const { return Find<QLabel>("labStatus")->text(); }
    px::Core& core() { return program->core(); }
    std::string SettingsText() const
    {
        return ReadAll(home_ + "/config/" + program->core().Title() + "/settings.ini");
    }

    const std::string& home() const { return home_; }

    std::unique_ptr<px::MainWindow> window;
    std::unique_ptr<px::Program> program;
    int loaded = -1;

private:
    std::string home_;
};

} // namespace px::testing

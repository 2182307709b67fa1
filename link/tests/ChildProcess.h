// An external program (lrzsz's sx or rx) run as the far side of a line: its standard input and
// output are the given descriptor (a pty master). Only the process started here is ever
// signalled, by its id, and it is reaped before the object goes away.
#pragma once

#include "Wait.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <initializer_list>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

class ChildProcess {
public:
    // Runs argv[0] (searched on PATH) in folder cwd, standard error into errPath.
    ChildProcess(std::vector<std::string> argv, int lineFd, const std::string& cwd,
                 const std::string& errPath)
        : errPath_(errPath)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, lineFd, 0);
        posix_spawn_file_actions_adddup2(&actions, lineFd, 1);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess()
    {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // Exit status, or -1 when the process has not ended within timeoutMs. Nothing wakes the
    // event loop when a child ends, so the wait looks again every 20 ms.
    int wait(int timeoutMs)
    {
        if (pid_ <= 0)
            return -1;
        const auto deadline = px::tickCount() + timeoutMs;
        auto reaped = [this] {
            if (exited_)
                return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) != pid_)
                return false;
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        };
        while (!px::waitUntil(reaped, px::Millis(20)))
            if (px::tickCount() >= deadline)
                return -1;
        return status_;
    }

    std::string errors() const
    {
        std::ifstream in(errPath_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Waits until the program's standard error shows text (a sign that it listens).
    bool waitForError(const std::string& text, int timeoutMs)
    {
        const auto deadline = px::tickCount() + timeoutMs;
        while (errors().find(text) == std::string::npos) {
            if (px::tickCount() >= deadline)
                return false;
            px::waitFor(px::Millis(10));
        }
        return true;
    }

    // The first of the names that is an executable on PATH, or "" (Debian names lrzsz's
    // programs sx/rx, some systems lsx/lrx).
    static std::string find(std::initializer_list<const char*> names)
    {
        const char* path = std::getenv("PATH");
        std::stringstream dirs(path ? path : "/usr/bin:/bin");
        std::vector<std::string> folders;
        for (std::string d; std::getline(dirs, d, ':');)
            folders.push_back(d.empty() ? "." : d);
        for (const char* name : names)
            for (const auto& d : folders)
                if (::access((d + "/" + name).c_str(), X_OK) == 0)
                    return name;
        return {};
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
    std::string errPath_;
};

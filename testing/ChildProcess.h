// An external program (lrzsz's sx or rx) run as the far side of a line: its standard input and
// output are the given descriptor. Only the process started here is ever signalled, by its id,
// and it is reaped before the object goes away.
//
// LineRelay joins such a program to a pty master through a socket pair. lrzsz flushes its line
// in both directions when it exits; on a pty master that flush also discards what the program
// wrote last (rx's final ACK) if the other side has not read it yet, a race that a real wire
// does not have. On a socket the flush does nothing, and the library still runs on the pty.
#pragma once

#include "Wait.h"

#include <poll.h>
#include <sys/socket.h>
#include <thread>

#include <cerrno>
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
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
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
        if (pid_ <= 0) return -1;
        const auto deadline = px::tickCount() + timeoutMs;
        auto reaped = [this] {
            if (exited_) return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
            exited_ = true;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        };
        while (!px::waitUntil(reaped, px::Millis(20)))
            if (px::tickCount() >= deadline) return -1;
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
            if (px::tickCount() >= deadline) return false;
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
                if (::access((d + "/" + name).c_str(), X_OK) == 0) return name;
        return {};
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
    std::string errPath_;
};

class LineRelay {
public:
    explicit LineRelay(int ptyMaster) : master_(ptyMaster)
    {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0 ||
            pipe2(stop_, O_CLOEXEC) != 0)
            return;
        mine_ = pair[0];
        theirs_ = pair[1];
        thread_ = std::thread([this] { Run(); });
    }
    ~LineRelay()
    {
        if (thread_.joinable()) {
            [[maybe_unused]] auto n = ::write(stop_[1], "x", 1);
            thread_.join();
        }
        for (int fd : {mine_, theirs_, stop_[0], stop_[1]})
            if (fd >= 0) ::close(fd);
    }
    LineRelay(const LineRelay&) = delete;
    LineRelay& operator=(const LineRelay&) = delete;

    // The descriptor the program uses as its line.
    int programEnd() const { return theirs_; }

private:
    static bool WriteAll(int fd, const char* data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd, data, size);
            if (n > 0) {
                data += n;
                size -= static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        }
        return true;
    }
    void Run()
    {
        char buf[8192];
        bool programOpen = true;
        for (;;) {
            pollfd fds[3] = {{master_, POLLIN, 0},
                             {mine_, short(programOpen ? POLLIN : 0), 0},
                             {stop_[0], POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0 && errno != EINTR) return;
            if (fds[2].revents) return;
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0) WriteAll(mine_, buf, static_cast<std::size_t>(n));
            }
            if (fds[1].revents & (POLLIN | POLLHUP)) {
                const ssize_t n = ::read(mine_, buf, sizeof buf);
                if (n > 0)
                    WriteAll(master_, buf, static_cast<std::size_t>(n));
                else if (n == 0)
                    programOpen = false;
            }
        }
    }

    int master_;
    int mine_ = -1;
    int theirs_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

#include "SimProcess.h"

#include "Wait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace px::testing {

std::string SimProcess::binary()
{
    return PX_SIM_PATH;
}

SimProcess::SimProcess(std::vector<std::string> args)
{
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> argvStrings = {binary()};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argvStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    if (rc != 0) {
        pid_ = -1;
        return;
    }
    reader_ = std::thread([this] { readerLoop(); });
    const std::string first = waitLine(
        [](const std::string& l) { return l.rfind("PTY ", 0) == 0 || l.rfind("TCP ", 0) == 0; },
        std::chrono::seconds(10));
    if (!first.empty()) endpoint_ = first.substr(4);
}

SimProcess::~SimProcess()
{
    if (toChild_ >= 0) ::close(toChild_); // end of input ends the simulator
    if (pid_ > 0) {
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    if (reader_.joinable()) reader_.join();
    if (fromChild_ >= 0) ::close(fromChild_);
}

void SimProcess::readerLoop()
{
    QThread* mainThread =
        QCoreApplication::instance() ? QCoreApplication::instance()->thread() : nullptr;
    std::string partial;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fromChild_, buffer, sizeof buffer);
        if (n <= 0) break;
        partial.append(buffer, static_cast<std::size_t>(n));
        std::size_t nl;
        bool any = false;
        while ((nl = partial.find('\n')) != std::string::npos) {
            std::string line = partial.substr(0, nl);
            partial.erase(0, nl + 1);
            std::lock_guard guard(lock_);
            pending_.push_back(line);
            all_.push_back(std::move(line));
            any = true;
        }
        if (any) {
            arrived_.notify_all();
            if (mainThread)
                if (auto* d = QAbstractEventDispatcher::instance(mainThread)) d->wakeUp();
        }
    }
    std::lock_guard guard(lock_);
    eof_ = true;
    arrived_.notify_all();
}

std::string SimProcess::waitLine(const std::function<bool(const std::string&)>& pred,
                                 std::chrono::milliseconds timeout)
{
    std::string found;
    auto take = [&] {
        std::lock_guard guard(lock_);
        while (!pending_.empty()) {
            std::string line = std::move(pending_.front());
            pending_.pop_front();
            if (pred(line)) {
                found = std::move(line);
                return true;
            }
        }
        return eof_;
    };
    if (QCoreApplication::instance()) {
        px::waitUntil(take, timeout);
    } else {
        std::unique_lock guard(lock_);
        guard.unlock();
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!take() && std::chrono::steady_clock::now() < deadline) {
            guard.lock();
            arrived_.wait_until(guard, deadline);
            guard.unlock();
        }
    }
    return found;
}

std::string SimProcess::waitPrefix(const std::string& prefix, std::chrono::milliseconds timeout)
{
    return waitLine([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, timeout);
}

bool SimProcess::command(const std::string& line, std::chrono::milliseconds timeout)
{
    if (toChild_ < 0) return false;
    const std::string text = line + "\n";
    if (::write(toChild_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        return false;
    const std::string reply =
        waitLine([](const std::string& l) { return l == "OK" || l.rfind("ERR", 0) == 0; }, timeout);
    return reply == "OK";
}

std::vector<std::string> SimProcess::lines() const
{
    std::lock_guard guard(lock_);
    return all_;
}

void SimProcess::clearLines()
{
    std::lock_guard guard(lock_);
    all_.clear();
    pending_.clear();
}

int freeLoopbackPort(bool udp)
{
    const int fd = ::socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

} // namespace px::testing

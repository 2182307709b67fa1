// The line behind a simulated device server: one TCP connection at a time, a new one
// replacing the old, as the PC reconnects without the server noticing the old one is gone.
#pragma once

#include "Line.h"

#include <netinet/in.h>

namespace sim {

class TcpLine : public Line {
public:
    TcpLine() = default;
    ~TcpLine() override;

    bool listenOn(const sockaddr_in& addr, std::string& error);
    void addPollFds(std::vector<pollfd>& fds, bool wantWrite) const override;
    void handlePoll(const std::vector<pollfd>& fds) override;
    bool connected() const override { return conn_ >= 0; }
    ssize_t write(const char* data, size_t size) override;
    void drop() override;
    bool hangup(std::string& error) override;

private:
    void closeConnection(bool reset);

    int listener_ = -1;
    int conn_ = -1;
};

} // namespace sim

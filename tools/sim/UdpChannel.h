// The device server's configuration channel: every datagram is logged and, unless told
// otherwise, acknowledged with "A".
#pragma once

#include <netinet/in.h>
#include <poll.h>

#include <string>
#include <vector>

namespace sim {

class UdpChannel {
public:
    ~UdpChannel();
    bool bindTo(const sockaddr_in& addr, std::string& error);
    void addPollFds(std::vector<pollfd>& fds) const;
    void handlePoll(const std::vector<pollfd>& fds, bool silent);

private:
    int fd_ = -1;
};

} // namespace sim

#include "UdpChannel.h"

#include "Escape.h"
#include "Line.h"
#include "Net.h"
#include "Output.h"

#include <sys/socket.h>
#include <unistd.h>

namespace sim {

UdpChannel::~UdpChannel()
{
    if (fd_ >= 0) close(fd_);
}

bool UdpChannel::bindTo(const sockaddr_in& addr, std::string& error)
{
    fd_ = bindSocket(SOCK_DGRAM, addr, false, error);
    return fd_ >= 0;
}

void UdpChannel::addPollFds(std::vector<pollfd>& fds) const
{
    if (fd_ >= 0) fds.push_back({fd_, POLLIN, 0});
}

void UdpChannel::handlePoll(const std::vector<pollfd>& fds, bool silent)
{
    if (!(reventsFor(fds, fd_) & POLLIN)) return;
    std::vector<char> buf(65536);
    for (int i = 0; i < 16; ++i) {
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n =
            recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) break;
        emitLine("UDP " + escapeBytes(std::string_view(buf.data(), size_t(n))));
        if (!silent) sendto(fd_, "A", 1, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&from), len);
    }
}

} // namespace sim

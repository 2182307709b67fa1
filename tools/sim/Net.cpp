#include "Net.h"

#include "Output.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

bool resolveIpv4(const std::string& host, int port, sockaddr_in& out, std::string& error)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* list = nullptr;
    int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), nullptr, &hints, &list);
    if (rc != 0 || !list) {
        error = "cannot resolve " + host + ": " + gai_strerror(rc);
        return false;
    }
    std::memcpy(&out, list->ai_addr, sizeof out);
    freeaddrinfo(list);
    out.sin_port = htons(uint16_t(port));
    return true;
}

std::string formatAddress(const sockaddr_in& addr)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
}

int bindSocket(int type, const sockaddr_in& addr, bool reuseAddress, std::string& error)
{
    int fd = socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("socket: ") + errnoText(errno);
        return -1;
    }
    int one = 1;
    if (reuseAddress) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) < 0) {
        error = std::string(type == SOCK_DGRAM ? "udp" : "tcp") + " bind " + formatAddress(addr) +
                ": " + errnoText(errno);
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace sim

// Socket helpers shared by the TCP line and the configuration datagram channel.
#pragma once

#include <netinet/in.h>

#include <string>

namespace sim {

bool resolveIpv4(const std::string& host, int port, sockaddr_in& out, std::string& error);
std::string formatAddress(const sockaddr_in& addr);
// Binds a non-blocking socket of `type` to `addr`; -1 with `error` set on failure.
int bindSocket(int type, const sockaddr_in& addr, bool reuseAddress, std::string& error);

} // namespace sim

#include "TcpLine.h"

#include "Clock.h"
#include "Net.h"
#include "Output.h"

#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

TcpLine::~TcpLine()
{
    if (conn_ >= 0) close(conn_);
    if (listener_ >= 0) close(listener_);
}

bool TcpLine::listenOn(const sockaddr_in& addr, std::string& error)
{
    listener_ = bindSocket(SOCK_STREAM, addr, true, error);
    if (listener_ < 0) return false;
    if (listen(listener_, 4) < 0) {
        error = std::string("listen: ") + errnoText(errno);
        return false;
    }
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &len);
    emitLine("TCP " + formatAddress(bound));
    return true;
}

void TcpLine::addPollFds(std::vector<pollfd>& fds, bool wantWrite) const
{
    if (conn_ >= 0) fds.push_back({conn_, short(POLLIN | (wantWrite ? POLLOUT : 0)), 0});
    fds.push_back({listener_, POLLIN, 0});
}

void TcpLine::closeConnection(bool reset)
{
    if (conn_ < 0) return;
    if (reset) {
        linger lin{1, 0};
        setsockopt(conn_, SOL_SOCKET, SO_LINGER, &lin, sizeof lin);
    }
    close(conn_);
    conn_ = -1;
    emitLine("DISCONNECT");
    events_.sessionChanged();
}

void TcpLine::handlePoll(const std::vector<pollfd>& fds)
{
    // The connection first: a descriptor number freed here may come back from accept().
    const short rev = reventsFor(fds, conn_);
    if (rev & (POLLIN | POLLHUP | POLLERR)) {
        char buf[4096];
        for (int i = 0; i < 16 && conn_ >= 0; ++i) {
            ssize_t n = recv(conn_, buf, sizeof buf, 0);
            if (n > 0) {
                events_.received(buf, size_t(n), nowNs());
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
            closeConnection(false);
        }
    }
    if (reventsFor(fds, listener_) & POLLIN) {
        int fd;
        while ((fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
            closeConnection(false);
            int one = 1;
            // Paced bytes must leave one by one, not wait for Nagle.
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            conn_ = fd;
            emitLine("CONNECT");
            events_.sessionChanged();
        }
    }
}

ssize_t TcpLine::write(const char* data, size_t size)
{
    if (conn_ < 0) return -1;
    ssize_t n = send(conn_, data, size, MSG_NOSIGNAL);
    if (n >= 0) return n;
    if (errno != EAGAIN && errno != EINTR) closeConnection(false);
    return -1;
}

void TcpLine::drop()
{
    closeConnection(true);
}

bool TcpLine::hangup(std::string& error)
{
    if (conn_ < 0) {
        error = "no connection";
        return false;
    }
    closeConnection(false);
    return true;
}

} // namespace sim

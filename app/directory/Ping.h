// Reachability of a terminal's device server: an ICMP echo with its round-trip time, and the
// asynchronous host-name lookup it relies on. Both wait by pumping the event loop, so timers and
// clicks keep running; bStopPing cuts them short and pingsInProgress counts running pings.
#pragma once

#include "LinkState.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace px {

// The 64-byte echo request; multi-byte fields little-endian, the checksum in wire order.
std::array<std::uint8_t, 64> BuildEchoRequest(std::uint16_t sequence, std::uint32_t timeStamp);

// Internet checksum (RFC 1071) of len bytes, ready to be stored big-endian.
std::uint16_t InternetChecksum(const std::uint8_t* data, std::size_t len);

class Pinger {
public:
    enum class Method { Raw, Datagram, None };

    Pinger(LinkState& state, std::function<void(const std::string&)> log);

    // Echo time in ms, or -1 (no valid reply in time, stopped, unresolvable, any failure);
    // 0 ("reachable") when no ICMP socket may be opened at all, logged once per Pinger.
    long Ping(const std::string& host, long timeoutMs);

    // Looks the name up, waiting at most timeoutMs; one lookup at a time.
    bool ResolveHost(const std::string& name, long timeoutMs);

    std::string ResolvedText() const { return resolvedText_; }
    std::string ResolvedName() const { return resolvedName_; }
    // Network byte order; 0xFFFFFFFF after a failed lookup.
    std::uint32_t ResolvedAddress() const { return resolvedAddress_; }

    Method LastMethod() const { return lastMethod_; }
    // Test hook: use only the datagram socket even when a raw socket would be allowed.
    void PreferDatagram(bool on) { preferDatagram_ = on; }
    // The line about an echo that cannot be measured is written once per program run, whichever
    // of the program's pingers meets it first (else once per pinger).
    void NoteOncePerProgram();

private:
    long Echo(std::uint32_t address, long timeoutMs);
    void ClearResolved();

    LinkState& state_;
    std::function<void(const std::string&)> log_;
    bool lookupRunning_ = false;
    std::string resolvedText_;
    std::string resolvedName_;
    std::uint32_t resolvedAddress_ = 0xFFFFFFFFu;
    Method lastMethod_ = Method::None;
    bool preferDatagram_ = false;
    std::atomic<bool> ownNote_{false};
    std::atomic<bool>* cannotMeasureLogged_ = &ownNote_;
};

} // namespace px

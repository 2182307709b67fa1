// One connection to one terminal: its own link control, the flags of that link, the framed
// exchange, the device operations, the record reader and the ping, and the identity of the
// terminal it talks to. It is made for a connection and dropped after it. Everything it owns
// lives on the thread that made it (the link control posts its events there, its waits pump that
// thread's events); what it has to say goes through its reporter.
#pragma once

#include "DeviceOps.h"
#include "Exchange.h"
#include "LinkState.h"
#include "Ping.h"
#include "RecordUpload.h"
#include "SerloClient.h"
#include "SessionReporter.h"

#include <string>

namespace px {

class TerminalSession {
public:
    explicit TerminalSession(SessionReporter& reporter);
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // Creates the link control on the calling thread and connects its events to the session.
    bool CreateLink(std::string* error);

    SessionReporter& reporter() { return reporter_; }
    LinkState& state() { return state_; }
    const LinkState& state() const { return state_; }
    SerloClient& link() { return link_; }
    Exchange& exchange() { return exchange_; }
    DeviceOps& device() { return device_; }
    Pinger& pinger() { return pinger_; }
    RecordUpload& records() { return records_; }

    // Esc: the exchange, ping or opening in progress ends; the upload before its next record.
    void StopOperation();

private:
    SessionReporter& reporter_;
    LinkState state_;
    SerloClient link_;
    Exchange exchange_;
    DeviceOps device_;
    Pinger pinger_;
    RecordUpload records_;
};

} // namespace px

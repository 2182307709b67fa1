// The link control as its host sees it: the properties, methods and events of the dispatch
// interface, each property's change handler, and the routing of link notifications to the events
// on the host's thread. It owns one link object.
#pragma once

#include "Members.h"

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace serlo {

class CJXmodem;

class CSerloCtrl : public QObject {
public:
    // Events as the host receives them: DISPID 1 OnComm, 2 OnTransfer, 3 VNetMonitor.
    using EventSink = std::function<void(std::int32_t dispid, const std::vector<Value>& args)>;

    CSerloCtrl();
    ~CSerloCtrl() override;

    void Advise(EventSink sink) { sink_ = std::move(sink); }

    // Called with values already converted to the member's declared types.
    Value GetProperty(std::int32_t id);
    void SetProperty(std::int32_t id, const Value& value);
    Value CallMethod(std::int32_t id, const std::vector<Value>& args);

    // The transfer time-out handed to the link object at construction.
    static constexpr int kTransferTimeoutMs = 3000;

    // Typed shortcuts for the library's own code and tests.
    bool PortOpen() const;
    void SetPortOpen(bool open);
    const std::string& Settings() const { return settings_; }
    CJXmodem& Link() { return *link_; }
    bool ExchangeInProgress() const { return exchangeDepth_ > 0; }

    // One framed exchange: sends the command and returns the reply text (empty on time-out or a
    // wrong reply checksum). Replies are cut at kMaxReply characters, the rest is dropped.
    std::string SendVNetCmd(const std::string& data, bool txChecksum, bool rxChecksum);
    static constexpr std::size_t kMaxReply = 4096;

protected:
    bool event(QEvent* e) override;

private:
    void ResetState();
    void ApplySettingsString(const std::string& text);
    // Opens the link on name; a failure is reported as VNetMonitor(0, "$OPEN ERROR ...").
    void OpenLink(const std::string& name);
    Value CallProtocol(std::int32_t id, const std::vector<Value>& args);
    bool Dial(const std::string& number);
    bool LoginX(const std::string& password, int hiCode, int loCode);
    // Arguments outside a command's format: nothing is sent, the reason goes to VNetMonitor(0).
    Value Refused(const char* method, VType result);
    void FireVNetMonitor(int index, const std::string& text);
    void FireOnComm();
    void FireOnTransfer(int code, std::int32_t value);

    std::unique_ptr<CJXmodem> link_;
    EventSink sink_;

    std::string portName_ = "COM1";
    int exchangeDepth_ = 0; // exchanges in progress (a sink may start one inside another)
    std::int32_t baudRate_ = 19200;
    int handshaking_ = 0;
    bool rtsEnable_ = true;
    bool dtrEnable_ = true;
    std::string settings_ = "N,8,1";
    int txQueue_ = 256;
    int rxQueue_ = 256;
    std::int32_t eventMask_ = 1;
    bool break_ = false;
    int commPort_ = 1;
    std::int32_t vnetTimeout_ = 3000;
    int iPort_ = 1001;
    std::string iAddress_ = "127.0.0.1";
    std::string extPort_;
    std::string lastPassword_;
    bool enabled_ = true;
};

} // namespace serlo

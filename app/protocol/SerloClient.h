// The main program's side of the link control: loads libserlo.so by its ProgID through the
// registry file, creates one control and calls it only by DISPID through the C ABI. Every call
// that the control refuses becomes a RuntimeError, like a failed late-bound call.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace px {

class SerloClient {
public:
    SerloClient();
    ~SerloClient();
    SerloClient(const SerloClient&) = delete;
    SerloClient& operator=(const SerloClient&) = delete;

    // Finds the library (registered ProgID; else libserlo.so beside the program, in ../lib or in
    // the build tree, which is then registered) and creates the control.
    bool Create(std::string* error);
    bool IsCreated() const;
    const std::string& LibraryPath() const;

    // Events of the control.
    std::function<void(int index, const std::string& text)> onMonitor;
    std::function<void()> onComm;
    // Delivers a VNetMonitor event: noted when it reports a failed open, then passed on.
    void Monitor(int index, const std::string& text);
    // Why the last PortOpen = True failed, as the control reported it; empty when it opened (or
    // the control gave no reason).
    const std::string& OpenFailure() const { return openFailure_; }

    bool PortOpen();
    void SetPortOpen(bool open);
    int CommPort();
    void SetCommPort(int port);
    int BaudRate();
    void SetBaudRate(int baud);
    int Handshaking();
    void SetHandshaking(int bits);
    std::string Settings();
    void SetSettings(const std::string& text);
    int VNetTimeout();
    void SetVNetTimeout(int ms);
    int IPort();
    void SetIPort(int port); // 16-bit: pass ports above 32767 as port - 65536
    std::string IAddress();
    void SetIAddress(const std::string& address);
    void SetEventMask(int mask);
    int RxCount();
    std::string Text();
    void SetText(const std::string& bytes);
    int Char();
    bool Busy();

    std::string SendVNetCmd(const std::string& data, bool txChecksum, bool rxChecksum);
    std::string Polling(int id);
    bool SetID(int id);
    std::string GetTime();
    bool SetTime(int year, int month, int day, int hour, int minute, int second, int week);
    bool Reset();
    std::string GetRecord(int number);
    bool EraseRecord(int number);
    std::string GetRegister(int addr);
    bool SetRegister(int addr, const std::string& value);
    int GetRecordCount();

    struct Api; // the library's entry points, resolved at load

private:
    std::unique_ptr<Api> api_;
    void* ctrl_ = nullptr;
    std::string libraryPath_;
    std::string openFailure_;
};

} // namespace px

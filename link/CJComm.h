// The control's serial line: a termios port opened exclusively, with one reader thread that moves
// received bytes into the receive ring and posts link notifications to the owner on the control's
// thread. Writes make up to three attempts and can bracket the transmitter for RS-485 by RTS.
// Settings changed while closed are stored and applied at the next open.
#pragma once

#include "CJQueue.h"
#include "CommConstants.h"
#include "OpenFailure.h"

#include <QPointer>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class QObject;
class QSocketNotifier;
class QThread;

namespace serlo {

class CJComm {
public:
    CJComm();
    virtual ~CJComm();
    CJComm(const CJComm&) = delete;
    CJComm& operator=(const CJComm&) = delete;

    // Index-th port name of the port map, or "" past the end.
    virtual std::string EnumPort(int index);
    // A serial port is open (and has not gone away).
    virtual bool IsOpen() const;
    virtual void SetOwner(QObject* owner);
    // Store the value; when open apply it and return whether the port took it, else False.
    virtual bool SetFraming(int parity, int dataBits, int stopCode);
    virtual bool SetSpeed(int baud);
    virtual bool SetFlowControl(int bits);
    virtual void SetRxBufferSize(int size);
    virtual void SetTxQueueSize(int size);
    virtual void SetEventMask(std::uint32_t mask);
    virtual void BeginRs485Send();
    virtual void EndRs485Send(int bytesSent);
    // "COMn" through the port map, or a device path beginning with "/".
    virtual bool Open(const std::string& name);
    virtual void ClosePort();
    virtual void PurgeTx();
    virtual void PurgeRx();
    virtual int Read(std::uint8_t* data, int length);
    virtual int Write(const std::uint8_t* data, int length);
    // One-byte write, done only on an open serial port.
    virtual int WriteByte(std::uint8_t byte);
    virtual int GetRxCount() const;
    // Brings received bytes into the ring where no reader thread does it; protocol code calls it
    // before looking at the ring, whatever line is open. The serial reader needs nothing.
    virtual void PollInput() {}
    virtual int GetTxPending() const;
    virtual int GetTxSpace() const;
    virtual void Notify(int code, std::uint32_t value);
    // Closes whatever is open.
    virtual void Close();

    // Line control; no effect when no serial port is open.
    bool SetRts(bool on);
    bool SetDtr(bool on);
    bool SetBreak(bool on);
    // MS_*_ON bits; 0 when closed or when the device has no modem lines.
    std::uint32_t ModemStatus() const;

    // Accumulated event bits / error bits since the last call; reading clears them.
    std::uint32_t TakeEvents();
    std::uint32_t TakeErrors();
    // Error bits found outside the reader (the TCP receive); read back through TakeErrors.
    void AddErrors(std::uint32_t bits) { errors_ |= bits; }
    void ClearErrors() { errors_ = 0; }
    std::uint32_t PeekEvents() const { return events_.load(); }

    bool IsBusy() const { return busy_.load() > 0; }
    int Handle() const { return fd_; }
    // Counts successful opens of a serial port, so a late notice can tell which open it meant.
    int OpenCount() const { return openCount_; }
    int LastError() const { return lastError_; }
    // Why the last open failed; Cause::None after a successful one.
    const OpenFailure& LastOpenFailure() const { return lastFailure_; }
    const std::string& PortName() const { return portName_; }
    CJQueue& Ring() { return ring_; }

    // What one pass of the reader found: notifies the owner when the bits meet the mask and adds
    // them to the accumulated events. Public so that line states can be injected in tests. It
    // calls nothing virtual: the reader thread runs it while a derived part may be going away.
    void HandleEvents(std::uint32_t bits) { HandleEvents(bits, Epoch()); }
    // The same, for bytes that reached the buffer while epoch was current.
    void HandleEvents(std::uint32_t bits, unsigned epoch);

    // Bumped by the control when an exchange has taken its reply: notifications posted before
    // that announced bytes the exchange consumed.
    void NextEpoch() { ++epoch_; }
    unsigned Epoch() const { return epoch_.load(); }

    int Speed() const { return speed_; }
    int FlowBits() const { return flow_; }

    // Longest wait for the transmitter to empty after an RS-485 write: twice the time the bytes
    // take on the line at 12 bits each, plus 100 ms, so a stuck driver cannot hang the control.
    static int Rs485DrainBoundMs(int bytes, int baud);

protected:
    // Busy while an open, read or write runs (the control's Busy property).
    class BusyScope {
    public:
        explicit BusyScope(std::atomic<int>& busy) : busy_(busy) { ++busy_; }
        ~BusyScope() { --busy_; }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        std::atomic<int>& busy_;
    };

    // Wakes the owner's thread if it is waiting in the event loop.
    void WakeOwner();
    // While set, code-0 notifications only wake the owner: a file transfer reads the ring itself.
    void SetQuiet(bool on) { quiet_ = on; }
    bool Quiet() const { return quiet_.load(); }
    // The line for traces: the port name, or the device server's address.
    virtual std::string TraceName() const { return portName_; }
    // A serial port or a TCP connection is open (error bits are kept for either).
    virtual bool AnyLineOpen() const { return IsOpen(); }

    OpenFailure lastFailure_;

    std::atomic<int> busy_{0};
    CJQueue ring_{1024};

private:
    void ReaderLoop();
    int Drain();
    // The notification itself, for Notify and the reader thread alike.
    void Post(int code, std::uint32_t value, unsigned epoch);
    void RecordOpenFailure(const std::string& name, const std::string& path, int error);
    // Still the open that a write began on: a handler run by the write's waits may have closed
    // the port or opened another one, which must not receive the rest of the buffer.
    bool SameOpen(int fd, int openCount) const;
    void WaitWritable(int fd, int openCount, int bytesLeft);
    void ApplyStoredSettings();

    int fd_ = -1;
    int openCount_ = 0;
    int wakeFd_ = -1;
    std::string portName_;
    int lastError_ = 0;

    int speed_ = 19200;
    int flow_ = 0;
    int parity_ = 0;
    int dataBits_ = 8;
    int stopCode_ = 1;
    int rxDriverSize_ = 1024;
    int txQueueSize_ = 1024;
    std::atomic<std::uint32_t> mask_{EV_RXCHAR | EV_RLSD};

    std::atomic<std::uint32_t> events_{0};
    std::atomic<std::uint32_t> errors_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> lost_{false};
    std::atomic<bool> txWatch_{false};
    std::atomic<bool> quiet_{false};
    QSocketNotifier* writeWatch_ = nullptr; // the running write's wait, disabled by a close
    std::mutex drainLock_;
    std::thread reader_;

    std::atomic<unsigned> epoch_{0};
    std::atomic<QObject*> owner_{nullptr};
    std::atomic<QThread*> ownerThread_{nullptr};
};

} // namespace serlo

#include "CJXmodem.h"

#include "Wait.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace serlo {

using namespace xmodem;

namespace {

bool ValidName(const std::string& name)
{
    return !name.empty() && name.find('\0') == std::string::npos;
}

} // namespace

CJXmodem::CJXmodem() = default;

CJXmodem::~CJXmodem()
{
    // The reader thread must be gone before any part of this object is: it is joined here, while
    // the whole object still stands, not in a base destructor.
    Close();
    CloseFile();
}

void CJXmodem::SetOwner(QObject* owner, int timeoutMs)
{
    CJSocket::SetOwner(owner);
    SetTransferTimeout(timeoutMs);
}

void CJXmodem::Notify(int code, std::uint32_t value)
{
    // The transfer loop reads the ring itself; it only needs waking.
    if (Quiet()) {
        WakeOwner();
        return;
    }
    CJSocket::Notify(code, value);
}

void CJXmodem::CancelTransfer()
{
    for (std::uint8_t b : kCancelSequence)
        WriteByte(b);
}

bool CJXmodem::TransferTimedOut() const
{
    return px::tickCount() - timerStart_ >= timeout_;
}

bool CJXmodem::TakeCancel()
{
    const bool pressed = cancelPressed_;
    cancelPressed_ = false;
    return pressed;
}

void CJXmodem::WaitForActivity()
{
    const std::int64_t left = timeout_ - (px::tickCount() - timerStart_);
    px::waitForEvent(px::Millis(std::max<std::int64_t>(left, 1)));
}

bool CJXmodem::CloseFile()
{
    const bool closed = !file_ || std::fclose(file_) == 0;
    file_ = nullptr;
    return closed;
}

void CJXmodem::ShowProgress(const char* caption, int lower, int upper)
{
    cancelPressed_ = false;
    progress_ = std::make_unique<XmodemProgress>(
        caption, [this] { cancelPressed_ = true; }, progressMode_);
    progress_->SetRange(lower, upper);
}

void CJXmodem::UpdateStatus(const char* format)
{
    char text[48];
    (void)std::snprintf(text, sizeof text, format, static_cast<int>(blockCount_)); // short: fits
    progress_->SetStatus(text);
}

void CJXmodem::SendBlock()
{
    if (endCount_ != 0) {
        WriteByte(EOT);
        return;
    }
    const auto next = static_cast<std::uint8_t>(blockCount_ + 1);
    const bool crc = crcMode_ != 0;
    if (packet_[1] != next) {
        std::uint8_t* data = packet_ + 3;
        const std::size_t got = file_ ? std::fread(data, 1, kDataSize, file_) : 0;
        // Short read: the last block. A file ending on a block boundary thus gets one block of
        // zeros, which the receiver takes for padding like any other.
        if (got < static_cast<std::size_t>(kDataSize)) {
            std::memset(data + got, 0, kDataSize - got);
            lastBlock_ = 1;
        }
        SealPacket(packet_, next, crc);
    }
    PurgeRx();
    Write(packet_, PacketSize(crc));
}

CJXmodem::BlockCheck CJXmodem::CheckBlock()
{
    if (!PacketIntact(packet_, crcMode_ != 0)) return BlockCheck::Refused;
    // A sender repeats a block whose ACK it missed; writing it again would corrupt the file.
    switch (Order(packet_[1], blockCount_)) {
    case BlockOrder::Repeat:
        return BlockCheck::Repeat;
    case BlockOrder::OutOfOrder:
        return BlockCheck::Refused;
    case BlockOrder::Next:
        break;
    }
    const auto size = static_cast<std::size_t>(kDataSize);
    if (!file_ || std::fwrite(packet_ + 3, 1, size, file_) != size) return BlockCheck::WriteFailed;
    return BlockCheck::Accepted;
}

bool CJXmodem::StartSending(const std::string& name)
{
    blockCount_ = endCount_ = lastBlock_ = 0;
    crcMode_ = 1;
    CloseFile();
    if (ValidName(name)) file_ = std::fopen(name.c_str(), "rb");
    if (!file_) {
        CancelTransfer();
        return false;
    }
    long long length = 0;
    if (std::fseek(file_, 0, SEEK_END) == 0) length = std::max<long long>(0, ftello(file_));
    std::rewind(file_);

    packet_[0] = SOH;
    packet_[1] = 0;
    SetQuiet(true);
    totalBlocks_ = static_cast<std::uint32_t>(std::min<long long>(length / kDataSize, INT32_MAX));
    ShowProgress("Send File...", 0, static_cast<int>(totalBlocks_));
    UpdateStatus("Send File BLK:%04d");
    return true;
}

bool CJXmodem::SendFile(const std::string& name)
{
    // A host's event handler may call in while a transfer waits; one line carries one transfer.
    if (Quiet() || !StartSending(name)) return false;

    int requests = 0; // NAK or "C" since the last ACK
    int timeouts = 0;
    int endAcks = 0; // ACKs of the last data block and of the EOT
    bool modeChosen = false;
    bool ended = false;
    timerStart_ = px::tickCount();
    while (endCount_ < 2 && !ended) {
        PollInput();
        if (GetRxCount() > 0) {
            const std::uint8_t b = Ring().TakeByte();
            switch (b) {
            case ACK:
                // A stale ACK before anything was sent would skip the first block.
                if (blockCount_ == 0 && packet_[1] == 0) continue;
                if (lastBlock_) {
                    ++endCount_;
                    ++endAcks;
                }
                if (blockCount_ < totalBlocks_) progress_->SetPos(static_cast<int>(blockCount_));
                ++blockCount_;
                requests = 0;
                // Every ACK after the last block is answered with EOT, the final one too; a
                // receiver that has finished ignores it.
                SendBlock();
                UpdateStatus("Send File BLK:%04d");
                break;
            case NAK:
            case CRC_REQUEST:
                // The receiver's first request chooses the check. A later NAK of block 1 (damaged,
                // or its ACK lost) asks for the same packet again: switching to checksum there
                // would send the CRC receiver a packet one byte short that it can never accept.
                if (!modeChosen) {
                    crcMode_ = b == CRC_REQUEST ? 1 : 0;
                    modeChosen = true;
                }
                if (++requests > kMaxRetries) {
                    ended = true;
                    break;
                }
                SendBlock();
                break;
            case CAN:
            case ESC:
                ++endCount_;
                break;
            default:
                continue; // noise is no sign of a live receiver
            }
            timerStart_ = px::tickCount();
            timeouts = 0;
            continue;
        }
        if (TakeCancel()) {
            CancelTransfer();
            ended = true;
            break;
        }
        if (!IsLinkOpen()) break;
        if (TransferTimedOut()) {
            timerStart_ = px::tickCount();
            if (++timeouts >= kMaxTimeouts) break;
        }
        WaitForActivity();
    }
    SetQuiet(false);
    CloseFile();
    progress_.reset();
    // Success needs the receiver's word on the last block and on the end, not only a count.
    if (endAcks >= 2 && !ended) return true;
    CancelTransfer();
    return false;
}

bool CJXmodem::StartReceiving(const std::string& name)
{
    CloseFile();
    if (ValidName(name)) file_ = std::fopen(name.c_str(), "wb");
    if (!file_) {
        CancelTransfer();
        return false;
    }
    SetQuiet(true);
    blockCount_ = endCount_ = lastBlock_ = 0;
    crcMode_ = 1;
    packetLength_ = 0;
    ShowProgress("Receive File...", 0, 100);
    timerStart_ = px::tickCount();
    WriteByte(CRC_REQUEST);
    UpdateStatus("Recv File BLK:%04d");
    return true;
}

bool CJXmodem::AnswerPacket(int& errors)
{
    switch (CheckBlock()) {
    case BlockCheck::Accepted:
        WriteByte(ACK);
        ++blockCount_;
        errors = 0;
        if (static_cast<int>(blockCount_) >= progress_->Upper())
            progress_->SetRange(progress_->Lower(), progress_->Upper() + 100);
        progress_->SetPos(static_cast<int>(blockCount_));
        UpdateStatus("Recv File BLK:%04d");
        return true;
    case BlockCheck::Repeat:
        WriteByte(ACK);
        ++errors;
        return true;
    case BlockCheck::Refused:
        WriteByte(NAK);
        ++errors;
        return true;
    case BlockCheck::WriteFailed:
        break;
    }
    return false;
}

bool CJXmodem::ReceiveFile(const std::string& name)
{
    if (Quiet() || !StartReceiving(name)) return false;

    int errors = 0; // time-outs and refused or repeated packets since the last accepted block
    bool ended = false;
    while (endCount_ < 2 && !ended) {
        PollInput();
        if (GetRxCount() > 0) {
            if (packetLength_ == 0) {
                packet_[packetLength_++] = Ring().TakeByte();
            } else {
                const int want = PacketSize(crcMode_ != 0) - packetLength_;
                packetLength_ += Read(packet_ + packetLength_, want);
            }
            switch (packet_[0]) {
            case SOH:
                if (packetLength_ < PacketSize(crcMode_ != 0)) break;
                if (!AnswerPacket(errors)) ended = true;
                packetLength_ = 0;
                break;
            case EOT:
                ++endCount_;
                if (endCount_ == 1) {
                    WriteByte(NAK);
                } else if (std::fflush(file_) != 0) {
                    // The blocks were only buffered: a full disk shows here, and the sender
                    // hears of it through the cancel sequence instead of the final ACK.
                    ended = true;
                } else {
                    WriteByte(ACK);
                    lastBlock_ = 1;
                }
                packetLength_ = 0;
                break;
            case CAN:
            case ESC:
                ++endCount_;
                packetLength_ = 0;
                break;
            default:
                Ring().TakeByte();
                packetLength_ = 0;
                break;
            }
            timerStart_ = px::tickCount();
            if (errors >= kMaxRetries) ended = true;
            continue;
        }
        if (TakeCancel()) {
            CancelTransfer();
            ended = true;
            break;
        }
        if (!IsLinkOpen()) {
            ended = true;
            break;
        }
        if (TransferTimedOut()) {
            packetLength_ = 0;
            if (++errors >= kMaxRetries) {
                ended = true;
                break;
            }
            WriteByte(blockCount_ > 0 ? NAK : CRC_REQUEST);
            timerStart_ = px::tickCount();
        }
        WaitForActivity();
    }
    if (!CloseFile()) ended = true;
    SetQuiet(false);
    if (lastBlock_ && !ended) {
        progress_->SetPos(progress_->Upper());
        progress_.reset();
        return true;
    }
    progress_.reset();
    CancelTransfer();
    return false;
}

} // namespace serlo

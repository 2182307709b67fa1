// XMODEM packets as pure functions over bytes: the control bytes, the CRC-16 and the 8-bit sum,
// building a packet, checking one that arrived, and placing a block number in the sequence.
// No I/O and no event loop, so the transfer code and the tests share exactly these rules.
#pragma once

#include <cstddef>
#include <cstdint>

namespace serlo::xmodem {

inline constexpr std::uint8_t SOH = 1;
inline constexpr std::uint8_t EOT = 4;
inline constexpr std::uint8_t ACK = 6;
inline constexpr std::uint8_t BS = 8;
inline constexpr std::uint8_t NAK = 21;
inline constexpr std::uint8_t CAN = 24;
inline constexpr std::uint8_t ESC = 27;
inline constexpr std::uint8_t CRC_REQUEST = 'C';

inline constexpr int kDataSize = 128;
inline constexpr int kCrcPacketSize = 133; // SOH, number, complement, data, CRC high, CRC low
inline constexpr int kSumPacketSize = 132; // SOH, number, complement, data, sum

inline constexpr std::uint8_t kCancelSequence[] = {CAN, CAN, CAN, BS, BS, BS};

inline constexpr int PacketSize(bool crc)
{
    return crc ? kCrcPacketSize : kSumPacketSize;
}

// Entry i of the table the CRC is computed with (built when the library is loaded).
std::uint16_t CrcTableEntry(std::uint8_t i);
// Polynomial 0x1021, initial value 0, no reflection, no final XOR.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t length);
std::uint8_t Sum8(const std::uint8_t* data, std::size_t length);

// Writes number, complement and the check bytes around the 128 data bytes already at
// packet[3..130]; packet[0] becomes SOH. Returns the packet length.
int SealPacket(std::uint8_t* packet, std::uint8_t number, bool crc);

// Start byte, number plus complement 255 and the check bytes of a whole packet.
bool PacketIntact(const std::uint8_t* packet, bool crc);

enum class BlockOrder {
    Next,      // the block after the last accepted one
    Repeat,    // the last accepted block again (its acknowledgement was lost)
    OutOfOrder // anything else
};

// Where a block number falls, given how many blocks were accepted so far.
BlockOrder Order(std::uint8_t number, std::uint32_t accepted);

} // namespace serlo::xmodem

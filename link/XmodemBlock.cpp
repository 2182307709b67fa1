#include "XmodemBlock.h"

#include <array>

namespace serlo::xmodem {

namespace {

std::array<std::uint16_t, 256> BuildCrcTable()
{
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

// Built by the static initialiser when the library is loaded, before any transfer can run.
const std::array<std::uint16_t, 256> gCrcTable = BuildCrcTable();

} // namespace

std::uint16_t CrcTableEntry(std::uint8_t i)
{
    return gCrcTable[i];
}

std::uint16_t Crc16(const std::uint8_t* data, std::size_t length)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < length; ++i)
        crc = static_cast<std::uint16_t>((crc << 8) ^ gCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

std::uint8_t Sum8(const std::uint8_t* data, std::size_t length)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < length; ++i)
        sum += data[i];
    return static_cast<std::uint8_t>(sum);
}

int SealPacket(std::uint8_t* packet, std::uint8_t number, bool crc)
{
    packet[0] = SOH;
    packet[1] = number;
    packet[2] = static_cast<std::uint8_t>(255 - number);
    const std::uint8_t* data = packet + 3;
    if (crc) {
        const std::uint16_t value = Crc16(data, kDataSize);
        packet[3 + kDataSize] = static_cast<std::uint8_t>(value >> 8);
        packet[4 + kDataSize] = static_cast<std::uint8_t>(value & 0xFF);
    } else {
        packet[3 + kDataSize] = Sum8(data, kDataSize);
    }
    return PacketSize(crc);
}

bool PacketIntact(const std::uint8_t* packet, bool crc)
{
    if (packet[0] != SOH || packet[1] + packet[2] != 255) return false;
    const std::uint8_t* data = packet + 3;
    if (!crc) return packet[3 + kDataSize] == Sum8(data, kDataSize);
    const std::uint16_t value = Crc16(data, kDataSize);
    return packet[3 + kDataSize] == (value >> 8) && packet[4 + kDataSize] == (value & 0xFF);
}

BlockOrder Order(std::uint8_t number, std::uint32_t accepted)
{
    if (number == static_cast<std::uint8_t>(accepted + 1)) return BlockOrder::Next;
    // Before the first block there is nothing to repeat (block 0 is not a valid first block).
    if (accepted > 0 && number == static_cast<std::uint8_t>(accepted)) return BlockOrder::Repeat;
    return BlockOrder::OutOfOrder;
}

} // namespace serlo::xmodem

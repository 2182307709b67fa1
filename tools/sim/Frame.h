// The terminal line's framing: STX, text, optional two-digit checksum, CR.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

constexpr char kStx = 0x02;
constexpr char kCr = 0x0D;
constexpr size_t kMaxFrameBytes = 4096;

unsigned checksumOf(std::string_view text);
std::string checksumDigits(unsigned sum);
// True when `text` ends in two hex digits that are the checksum of what precedes them.
bool hasValidChecksum(std::string_view text);

struct ReceivedFrame {
    std::string text; // without STX and CR
    int64_t firstByteNs = 0;
    size_t lineBytes = 0; // STX, text and CR
};

// Collects frames from a byte stream that may split or garble them.
class FrameReader {
public:
    void feed(const char* data, size_t size, int64_t now, std::vector<ReceivedFrame>& out);
    void reset();

private:
    bool inFrame_ = false;
    bool overflow_ = false;
    std::string text_;
    int64_t startNs_ = 0;
};

} // namespace sim

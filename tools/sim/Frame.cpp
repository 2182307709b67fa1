#include "Frame.h"

namespace sim {

unsigned checksumOf(std::string_view text)
{
    unsigned sum = 0;
    for (char c : text)
        sum = (sum + static_cast<unsigned char>(c)) % 256;
    return sum;
}

std::string checksumDigits(unsigned sum)
{
    static const char kHex[] = "0123456789ABCDEF";
    return {kHex[(sum >> 4) & 0x0F], kHex[sum & 0x0F]};
}

bool hasValidChecksum(std::string_view text)
{
    if (text.size() < 2) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    int hi = digit(text[text.size() - 2]);
    int lo = digit(text[text.size() - 1]);
    if (hi < 0 || lo < 0) return false;
    return unsigned(hi * 16 + lo) == checksumOf(text.substr(0, text.size() - 2));
}

void FrameReader::reset()
{
    inFrame_ = false;
    overflow_ = false;
    text_.clear();
}

void FrameReader::feed(const char* data, size_t size, int64_t now, std::vector<ReceivedFrame>& out)
{
    for (size_t i = 0; i < size; ++i) {
        char c = data[i];
        if (c == kStx) {
            // A fresh STX abandons whatever partial frame came before it.
            inFrame_ = true;
            overflow_ = false;
            text_.clear();
            startNs_ = now;
            continue;
        }
        if (!inFrame_) continue;
        if (c == kCr) {
            if (!overflow_) {
                size_t lineBytes = text_.size() + 2;
                out.push_back({std::move(text_), startNs_, lineBytes});
            }
            reset();
            continue;
        }
        if (overflow_) continue;
        if (text_.size() + 2 >= kMaxFrameBytes) {
            overflow_ = true;
            text_.clear();
            continue;
        }
        text_ += c;
    }
}

} // namespace sim

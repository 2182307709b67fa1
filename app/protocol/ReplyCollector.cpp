#include "ReplyCollector.h"

#include "Frame.h"

namespace px {

bool ReplyCollector::Feed(char c)
{
    if (c == frame::STX) {
        buffer_.clear();
        sum_ = 0;
        length_ = 0;
        return false;
    }
    if (c == frame::CR) {
        if (rxChecksum_) {
            const std::size_t n = buffer_.size();
            const bool accepted =
                n > 2 && length_ == n &&
                frame::HexPair(buffer_[n - 2], buffer_[n - 1]) == static_cast<int>(sum_ & 0xFF);
            if (accepted)
                buffer_.resize(n - 2);
            else
                buffer_.clear();
        }
        return true;
    }
    if (buffer_.size() < kMaxReply) {
        buffer_ += c;
        if (buffer_.size() >= 3) sum_ += static_cast<unsigned char>(buffer_[buffer_.size() - 3]);
    }
    ++length_;
    return false;
}

} // namespace px

// Collects one reply character by character: STX starts it afresh, CR ends it. With a reply
// checksum the running sum lags two characters behind the text, so that at CR the sum of
// everything before the two checksum digits is already known.
#pragma once

#include <string>

namespace px {

class ReplyCollector {
public:
    // Longest reply kept; further characters are dropped (a terminal never sends more).
    static constexpr std::size_t kMaxReply = 4096;

    explicit ReplyCollector(bool rxChecksum) : rxChecksum_(rxChecksum) {}

    // Takes one character; true when it completed the reply (CR).
    bool Feed(char c);
    // The reply without STX and CR; after a checked CR without its checksum digits, or empty
    // when the checksum was wrong or missing.
    const std::string& Reply() const { return buffer_; }

private:
    bool rxChecksum_;
    std::string buffer_;
    unsigned sum_ = 0;
    std::size_t length_ = 0; // characters received, also those past kMaxReply
};

} // namespace px

// libFuzzer target for the reply collector and the frame helpers. The input is a byte stream from
// a terminal, fed with and without reply checksum; besides crashes it traps on a reply that keeps
// a frame byte, grows past its bound, or a frame built from the input that does not come back.
#include "Frame.h"
#include "FuzzInput.h"
#include "ReplyCollector.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using px::fuzz::Check;

std::string Collect(std::string_view bytes, bool checked, int* completed)
{
    px::ReplyCollector reply(checked);
    std::string last;
    for (char c : bytes) {
        if (!reply.Feed(c)) continue;
        const std::string& r = reply.Reply();
        Check(r.size() <= px::ReplyCollector::kMaxReply);
        Check(r.find(px::frame::STX) == std::string::npos);
        Check(r.find(px::frame::CR) == std::string::npos);
        last = r;
        ++*completed;
        reply = px::ReplyCollector(checked);
    }
    return last;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    int completed = 0;
    for (bool checked : {false, true})
        Collect(bytes, checked, &completed);
    // Every CR ends a reply, in both modes.
    std::size_t crs = 0;
    for (char c : bytes)
        crs += c == px::frame::CR;
    Check(static_cast<std::size_t>(completed) == 2 * crs);

    // A frame built from text without frame bytes gives the text back, with or without checksum.
    if (bytes.find_first_of(std::string_view("\x02\r", 2)) == std::string_view::npos &&
        size + 2 <= px::ReplyCollector::kMaxReply) {
        int n = 0;
        Check(Collect(px::frame::Build(bytes, false), false, &n) == bytes);
        if (size > 0) Check(Collect(px::frame::Build(bytes, true), true, &n) == bytes);
        const std::string sum = px::frame::Checksum(bytes);
        Check(px::frame::HexPair(sum[0], sum[1]) == px::frame::Sum(bytes));
    }
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const int value = px::frame::HexPair(bytes[i], bytes[i + 1]);
        Check(value >= -1 && value <= 255);
        if (value >= 0) {
            const std::string hex = px::frame::HexByte(static_cast<std::uint8_t>(value));
            Check(px::frame::HexPair(hex[0], hex[1]) == value);
        }
    }
    return 0;
}

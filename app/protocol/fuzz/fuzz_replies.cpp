// libFuzzer target for the reply parsers. The input is one reply; its first byte also chooses the
// record index and the table mask. Besides crashes it traps on a result outside what the parser
// promises: an invalid clock, a count or register out of range, a record split that does not give
// the line back.
#include "FuzzInput.h"
#include "Replies.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using px::fuzz::Check;

void CheckRecord(std::string_view reply, int index)
{
    const px::reply::RecordLine split = px::reply::SplitRecord(reply);
    Check(split.text == reply);
    if (split.fixedLayout) {
        Check(split.index.size() == 4 && split.event.size() == 1);
        Check(split.date.size() == 10 && split.time.size() == 8);
    }
    const std::string rebuilt = px::reply::RebuildRecord(split, ",", split.cardId);
    Check(split.hasCardId || rebuilt.empty());
    // Head, comma, card ID and tail cover the line exactly unless the card ID has no comma after
    // it; then the line comes back unchanged.
    if (split.hasCardId &&
        split.head.size() + 1 + split.cardId.size() + split.tail.size() == reply.size())
        Check(rebuilt == reply);
    const auto accepted = px::reply::AcceptRecord(reply, index);
    if (accepted) {
        Check(accepted->text == reply && accepted->cardId == split.cardId);
        Check(px::reply::RecordIndex(reply.substr(1, 4)) == index);
    }
    const std::string filtered = px::reply::FilterCardId(split.cardId, index % 7, index % 5);
    Check(filtered.size() <= split.cardId.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const int selector = size > 0 ? data[0] : 0;

    if (const auto t = px::reply::ParseTime(reply)) Check(t->Valid() && t->Weekday() >= 1);
    const long count = px::reply::ParseRecordCount(reply);
    Check(count >= -1 && count <= 0xFFFF);
    if (const auto poll = px::reply::ParsePoll(reply))
        Check(poll->id >= -1 && poll->id <= 255 && poll->model.rfind("PX74", 0) == 0);
    if (const auto v = px::reply::ParseVersion(reply))
        Check(v->version.size() + v->ext.size() < reply.size());
    const int dec = px::reply::ParseDecimalRegister(reply);
    Check(dec >= -1 && dec <= 99);
    const int hex = px::reply::ParseHexRegister(reply);
    Check(hex >= -1 && hex <= 255);
    const std::string_view mask = selector % 2 ? "A01" : "A00A01";
    if (const auto event = px::reply::ParseSlotEvent(reply, mask))
        Check(mask.find(*event) != std::string_view::npos);
    const std::string slot = px::reply::ParseSlotTime(reply);
    Check(slot.empty() || (slot.size() == 5 && slot[2] == ':'));
    const int code = px::reply::RefusalCode(reply);
    Check(code >= 0 && code <= 99);
    CheckRecord(reply, selector % 4);
    return 0;
}

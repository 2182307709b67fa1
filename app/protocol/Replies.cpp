#include "Replies.h"

#include "DateFormat.h"
#include "Frame.h"
#include "VbText.h"

namespace px {

namespace {

constexpr auto npos = std::string_view::npos;

bool AllDigits(std::string_view s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool IsDateOrTime(std::string_view text)
{
    return ParseDateTime(text).has_value();
}

// Two characters after the "A" as one number in base 10 or 16, else -1.
int DecimalPair(std::string_view r)
{
    if (r.size() < 3 || r[1] < '0' || r[1] > '9' || r[2] < '0' || r[2] > '9') return -1;
    return (r[1] - '0') * 10 + (r[2] - '0');
}

} // namespace

int Stamp::Weekday() const
{
    return px::Weekday(MakeDate(year, month, day));
}

bool Stamp::Valid() const
{
    return IsValidDate(year, month, day) && IsValidTime(hour, minute, second);
}

std::string TimeFromCells(std::string_view hour, std::string_view minute)
{
    const std::string h = Trim(hour), m = Trim(minute);
    if (!AllDigits(h) || !AllDigits(m) || h.size() > 2 || m.size() > 2) return {};
    const int hv = std::stoi(h), mv = std::stoi(m);
    if (hv > 23 || mv > 59) return {};
    return Digits(hv, 2) + ":" + Digits(mv, 2);
}

namespace reply {

std::optional<Stamp> ParseTime(std::string_view r)
{
    if (!IsAccepted(r) || r.size() < 15) return std::nullopt;
    auto num = [&](std::size_t pos, std::size_t len) {
        return static_cast<int>(Val(r.substr(pos, len)));
    };
    const Stamp s{num(1, 4), num(5, 2), num(7, 2), num(9, 2), num(11, 2), num(13, 2)};
    if (!s.Valid()) return std::nullopt;
    return s;
}

long ParseRecordCount(std::string_view r)
{
    if (r.size() != 5 || r[0] != 'A') return -1;
    const int high = frame::HexPair(r[1], r[2]);
    const int low = frame::HexPair(r[3], r[4]);
    if (high < 0 || low < 0) return -1;
    return high * 256L + low;
}

std::optional<PollReply> ParsePoll(std::string_view r)
{
    const std::size_t token = r.find("PX74");
    if (!IsAccepted(r) || token == npos) return std::nullopt;
    return PollReply{r.size() >= 3 ? frame::HexPair(r[1], r[2]) : -1, std::string(r.substr(token))};
}

std::optional<VersionReply> ParseVersion(std::string_view r)
{
    if (!IsAccepted(r) || r.size() <= 2) return std::nullopt;
    const std::string_view body = r.substr(1);
    const std::size_t paren = body.find('(');
    return VersionReply{Trim(body.substr(0, paren)),
                        paren == npos ? std::string() : Trim(body.substr(paren))};
}

int ParseDecimalRegister(std::string_view r)
{
    return IsAccepted(r) ? DecimalPair(r) : -1;
}

int ParseHexRegister(std::string_view r)
{
    if (!IsAccepted(r) || r.size() < 3) return -1;
    return frame::HexPair(r[1], r[2]);
}

std::optional<std::string> ParseSlotEvent(std::string_view r, std::string_view eventMask)
{
    if (!IsAccepted(r) || eventMask.find(r) == npos) return std::nullopt;
    return std::string(r.substr(1));
}

std::string ParseSlotTime(std::string_view r)
{
    if (!IsAccepted(r) || r.size() != 5) return {};
    return TimeFromCells(r.substr(1, 2), r.substr(3, 2));
}

int RefusalCode(std::string_view r)
{
    int code = 0;
    for (std::size_t i = 1; i < r.size() && i < 3; ++i) {
        if (r[i] < '0' || r[i] > '9') break;
        code = code * 10 + (r[i] - '0');
    }
    return code;
}

int RecordIndex(std::string_view digits)
{
    if (digits.size() > 7) return -1; // more than an int holds; a record index has four
    int value = 0;
    for (char c : digits) {
        const int d = frame::HexPair('0', c);
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

RecordLine SplitRecord(std::string_view line)
{
    RecordLine rec;
    rec.text = std::string(line);
    const std::size_t L = line.size();
    if (L > 29 && line[5] == ',' && line[L - 22] == ',' && line[L - 20] == ',' &&
        line[L - 9] == ',') {
        rec.fixedLayout = true;
        rec.index = std::string(line.substr(1, 4));
        rec.event = std::string(line.substr(L - 21, 1));
        rec.date = std::string(line.substr(L - 19, 10));
        rec.time = std::string(line.substr(L - 8));
    }
    if (L >= 22) {
        const std::size_t a = line.find(',', 5);
        const std::size_t b = line.rfind(',', L - 22);
        if (a != npos && b != npos && b >= a) {
            rec.hasCardId = true;
            rec.head = std::string(line.substr(0, a));
            // b == a leaves no closing comma: the card ID then runs to the end, as it always has.
            rec.cardId = std::string(line.substr(a + 1, b - a - 1));
            rec.tail = std::string(line.substr(b));
        }
    }
    return rec;
}

std::optional<RecordLine> AcceptRecord(std::string_view r, int index)
{
    const std::size_t L = r.size();
    if (L < 20 || r[0] != 'A' || RecordIndex(r.substr(1, 4)) != index || r[5] != ',')
        return std::nullopt;
    const std::size_t p = r.rfind(',', L - 20);
    if (p == npos) return std::nullopt;
    const std::string_view date = r.substr(p + 1, 10);
    const std::string_view time = p + 12 < L ? r.substr(p + 12, 10) : std::string_view();
    if (!IsDateOrTime(date) || !IsDateOrTime(time)) return std::nullopt;
    return SplitRecord(r);
}

std::string RebuildRecord(const RecordLine& record, std::string_view separator,
                          std::string_view cardId)
{
    if (!record.hasCardId) return {};
    std::string out = record.head;
    out += separator;
    out += cardId;
    for (char c : record.tail) {
        if (c == ',')
            out += separator;
        else
            out += c;
    }
    return out;
}

std::string FilterCardId(std::string_view cardId, long start, long length)
{
    if (start < 1) return std::string(cardId);
    if (static_cast<std::size_t>(start - 1) >= cardId.size()) return {};
    return std::string(cardId.substr(static_cast<std::size_t>(start - 1),
                                     static_cast<std::size_t>(std::max(0L, length))));
}

} // namespace reply
} // namespace px

// libFuzzer target for the date formatter. Input lines: text, placeholder, value, pattern and
// optionally a short-date pattern. Besides crashes it traps on output beyond the documented
// bounds and on a parsed date/time that does not survive formatting and parsing again.
#include "DateFormat.h"
#include "FuzzInput.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using px::fuzz::Check;
using px::fuzz::Cut;

// Longest text one value formatted with a pattern of this length can give.
std::size_t FormattedBound(std::size_t valueSize, std::size_t patternSize)
{
    return valueSize + 2 * patternSize + 32;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view text = Cut(rest);
    const std::string_view placeholder = Cut(rest);
    const std::string_view value = Cut(rest);
    const std::string_view pattern = Cut(rest);
    const bool ownShortDate = !rest.empty();
    if (ownShortDate) px::SetShortDatePattern(Cut(rest));
    const std::size_t shortSize = px::ShortDatePattern().size();

    const std::string expanded = px::ExpandDate(text, placeholder, value, pattern);
    const std::size_t patternRoom = std::max({pattern.size(), text.size(), shortSize + 9});
    Check(expanded.size() <=
          text.size() + (text.size() / 2 + 1) * FormattedBound(value.size(), patternRoom));

    const std::string formatted = px::FormatDateText(value, pattern);
    Check(formatted.size() <=
          FormattedBound(value.size(), std::max(pattern.size(), shortSize + 9)));

    if (const auto v = px::ParseDateTime(value)) {
        Check(v->hasDate || v->hasTime);
        if (v->hasDate) Check(px::Weekday(*v) >= 1 && px::Weekday(*v) <= 7);
        const std::string canonical =
            px::FormatDate(*v, v->hasDate && v->hasTime ? "YYYY/MM/DD HH:NN:SS"
                               : v->hasDate             ? "YYYY-MM-DD"
                                                        : "HH:NN:SS");
        const auto again = px::ParseDateTime(canonical);
        Check(again.has_value() && *again == *v);
    } else {
        Check(formatted == value);
    }

    const px::DateTime fixed = px::MakeDateTime(2026, 3, 5, 8, 1, 2);
    (void)px::ExpandDate(text, placeholder, fixed, pattern);
    (void)px::ShortDatePatternFromLocale(pattern);
    if (ownShortDate) px::SetShortDatePattern(px::kDefaultShortDate);
    return 0;
}

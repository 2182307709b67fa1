// libFuzzer target for the record formatter. Input: one byte choosing the delimiter (even: ",",
// odd: NUL), then the template, "\n", the record line and optionally "\n" and a field list.
// Besides crashes it traps on an output larger than the documented bounds, on a changed line
// while the template is invalid, and on a digit string that does not convert back.
#include "CharClass.h"
#include "FmtData.h"
#include "FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using px::fuzz::Check;
using px::fuzz::Cut;

using namespace px::fmt;

bool AllOf(std::string_view s, bool hex)
{
    if (s.empty() || s.size() > kMaxDigits) return false;
    for (char c : s) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!digit && !(hex && letter)) return false;
    }
    return true;
}

// Numbers convert and come back; anything else comes back exactly as passed.
void CheckConversions(std::string_view v)
{
    const std::string_view t = px::chars::TrimSpaces(v);
    const std::string hex = DecToHex(v);
    const std::string dec = HexToDec(v);
    (void)PadLeft(v, static_cast<long>(v.size() % 7) - 2, '0');
    if (!AllOf(t, true)) Check(dec == v);
    if (!AllOf(t, false)) {
        Check(hex == v);
        return;
    }
    const std::size_t nz = t.find_first_not_of('0');
    const std::string_view plain =
        nz == std::string_view::npos ? std::string_view("0") : t.substr(nz);
    Check(HexToDec(hex) == plain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const char delimiter = (rest.front() & 1) ? '\0' : ',';
    rest.remove_prefix(1);
    const std::string_view templ = Cut(rest);
    const std::string_view line = Cut(rest);
    const std::string_view fields = rest.empty() ? kStandardFields : rest;

    FmtData f;
    f.LoadTemplate(kStandardTemplate); // a failed load below keeps these lists
    const bool ok = f.LoadTemplate(templ, fields);
    const std::string out = f.FormatRecord(line, delimiter);
    const std::string header = f.TemplateHeader();
    const std::size_t items = f.Items().size();

    Check(ok == f.bTemplateOK());
    if (!ok) Check(out == line && header.empty());
    Check(out.size() <= templ.size() + static_cast<std::size_t>(kMaxTemplateFill) +
                            items * (2 * line.size() + 64));
    Check(header.size() <= templ.size() + items * (fields.size() + 1));
    if (ok) Check(f.OutputPieces().size() == 2 * items + 1);

    std::size_t from = 0;
    for (int n = 0; n < 8 && from <= line.size(); ++n) {
        const std::size_t end = line.find(delimiter, from);
        CheckConversions(
            line.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from));
        if (end == std::string_view::npos) break;
        from = end + 1;
    }
    (void)ReplaceEscape(templ, line.substr(0, 2), line.size() > 2 ? line.substr(2, 3) : "");
    return 0;
}

#include "FmtData.h"

#include "CharClass.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

namespace px::fmt {
namespace {

constexpr auto npos = std::string_view::npos;

using chars::IsDigit;
using chars::TrimSpaces;
using chars::Upper;

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    const char u = Upper(c);
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}

std::string UpperCopy(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = Upper(c);
    return out;
}

std::string WithoutSpaces(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != ' ') out.push_back(c);
    return out;
}

std::size_t FindNoCase(std::string_view s, char upperLetter, std::size_t from)
{
    for (std::size_t i = from; i < s.size(); ++i)
        if (Upper(s[i]) == upperLetter) return i;
    return npos;
}

// Leading digits after leading spaces; a sign is not read, so a width is never negative.
// Saturates just above kMaxWidth so that long digit runs cannot overflow.
long ReadCount(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    long n = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i)
        n = std::min(n * 10 + (s[i] - '0'), kMaxWidth + 1);
    return n;
}

// Index of list entry for a value: the value's whole part modulo count, read digit by digit so
// that values of any length work. A non-numeric value counts as 0. A negative value takes the
// floored modulo (-1 selects the last entry): always a valid index, never an error.
std::size_t ListIndex(std::string_view v, std::size_t count)
{
    std::size_t i = 0;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    std::size_t rem = 0;
    std::size_t digits = 0;
    for (; i < v.size() && IsDigit(v[i]); ++i, ++digits)
        rem = (rem * 10 + static_cast<std::size_t>(v[i] - '0')) % count;
    if (i < v.size() && v[i] == '.')
        for (++i; i < v.size() && IsDigit(v[i]); ++i)
            ++digits;
    while (i < v.size() && (v[i] == ' ' || v[i] == '\t'))
        ++i;
    if (digits == 0 || i != v.size()) return 0;
    return negative && rem != 0 ? count - rem : rem;
}

// Base conversion over groups of four characters, most significant first: decimal groups
// (base 10000) divided by 4096 give three hex digits per step, hex groups (base 65536) divided
// by 10000 four decimal digits. False when the trimmed text is not a number of that base.
bool ConvertDigits(std::string_view t, bool fromDecimal, std::string& out)
{
    if (t.empty() || t.size() > kMaxDigits) return false;
    for (char c : t)
        if (fromDecimal ? !IsDigit(c) : HexValue(c) < 0) return false;
    const std::uint32_t base = fromDecimal ? 10000 : 65536;
    const std::uint32_t divisor = fromDecimal ? 4096 : 10000;
    const int outDigits = fromDecimal ? 3 : 4;

    std::array<std::uint32_t, (kMaxDigits + 3) / 4> groups;
    const std::size_t count = (t.size() + 3) / 4;
    std::size_t pos = 0;
    for (std::size_t g = 0; g < count; ++g) {
        const std::size_t len = g == 0 ? t.size() - (count - 1) * 4 : 4;
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < len; ++k, ++pos)
            v = fromDecimal ? v * 10 + static_cast<std::uint32_t>(t[pos] - '0')
                            : v * 16 + static_cast<std::uint32_t>(HexValue(t[pos]));
        groups[g] = v;
    }

    // Digits of the result, least significant first.
    std::array<char, kMaxDigits * 2 + 8> rev;
    std::size_t n = 0;
    std::size_t first = 0;
    while (first < count && groups[first] == 0)
        ++first;
    while (first < count) {
        std::uint32_t rem = 0;
        for (std::size_t g = first; g < count; ++g) {
            const std::uint32_t cur = rem * base + groups[g];
            groups[g] = cur / divisor;
            rem = cur % divisor;
        }
        while (first < count && groups[first] == 0)
            ++first;
        for (int k = 0; k < outDigits; ++k) {
            const std::uint32_t d = fromDecimal ? rem % 16 : rem % 10;
            rev[n++] = "0123456789ABCDEF"[d];
            rem = fromDecimal ? rem / 16 : rem / 10;
        }
    }
    while (n > 0 && rev[n - 1] == '0')
        --n;
    if (n == 0) out.push_back('0');
    while (n > 0)
        out.push_back(rev[--n]);
    return true;
}

// text as PadLeft(text, width, fill) would give it, appended.
void AppendPadded(std::string& out, std::string_view text, long width, char fill)
{
    if (width <= 0) {
        out.append(text);
    } else if (static_cast<std::size_t>(width) < text.size()) {
        out.append(text.substr(text.size() - static_cast<std::size_t>(width)));
    } else {
        const std::size_t target = std::min(static_cast<std::size_t>(width),
                                            std::max<std::size_t>(text.size(), kMaxWidth));
        out.append(target - text.size(), fill);
        out.append(text);
    }
}

std::string ConvertOrKeep(std::string_view text, long width, bool fromDecimal)
{
    std::string out;
    if (!ConvertDigits(TrimSpaces(text), fromDecimal, out)) return std::string(text);
    if (width <= 0) return out;
    std::string padded;
    AppendPadded(padded, out, width, '0');
    return padded;
}

const char* ErrorText(FmtError no)
{
    switch (no) {
    case FmtError::None:
        return "";
    case FmtError::EmptyTemplate:
        return "empty template or field list, or no close brace";
    case FmtError::NoOpenBrace:
        return "a placeholder without open brace";
    case FmtError::TwoOpenBraces:
        return "a placeholder with two open braces";
    case FmtError::BadPicture:
        return "a picture without closing quote or with nothing in it";
    case FmtError::BadMapping:
        return "a mapping that starts with \"=\" or has an empty value";
    case FmtError::BadList:
        return "a list with an empty entry";
    case FmtError::NoKnownField:
        return "no placeholder names a declared field";
    }
    return "";
}

} // namespace

std::string IdLengthTemplate(long idLength)
{
    return "{UID},{CID,'&" + std::to_string(idLength) +
           "D'},{Event},{Date,'YYYY/MM/DD'},{Time,'hh:nn:ss'}";
}

void FmtData::ClearError()
{
    errorNo_ = 0;
    error_.clear();
}

void FmtData::SetError(FmtError no, const std::string& text)
{
    if (errorNo_ != 0) return; // the first broken rule explains the failure best
    errorNo_ = static_cast<long>(no);
    error_ = std::string(ErrorText(no)) + (text.empty() ? "" : ": " + text);
}

std::int16_t FmtData::FindField(std::string_view name) const
{
    const std::size_t n =
        std::min<std::size_t>(fields_.size(), std::numeric_limits<std::int16_t>::max());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& f = fields_[i].name;
        if (f.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < f.size() && same; ++k)
            same = f[k] == Upper(name[k]);
        if (same) return static_cast<std::int16_t>(i);
    }
    return -1;
}

// Fill characters a code may still add: bounded per picture and per template.
long FmtData::TakeFill(long wanted, long pictureRoom)
{
    const long n = std::max(0L, std::min({wanted, kMaxWidth, pictureRoom, fillLeft_}));
    fillLeft_ -= n;
    return n;
}

bool FmtData::ParsePicture(TemplateItem& item, FieldType type, std::string_view s)
{
    std::size_t open = s.find('"');
    if (open == npos) open = s.find('\'');
    std::size_t close = s.find('"', open + 1);
    if (close == npos) close = s.find('\'', open + 1);
    if (close == npos || close == open + 1) {
        item.kind = ItemKind::Plain;
        SetError(FmtError::BadPicture, std::string(s));
        return false;
    }
    item.kind = ItemKind::Picture;
    item.format.assign(s.substr(open + 1, close - open - 1));
    item.width = 0;
    if (type == FieldType::Date) return true;

    std::string& pic = item.format;
    if (const std::size_t amp = pic.find('&'); amp != npos) {
        std::size_t letter = FindNoCase(pic, 'H', amp + 1);
        if (letter != npos) {
            item.kind = ItemKind::DecToHex;
        } else if ((letter = FindNoCase(pic, 'D', amp + 1)) != npos) {
            item.kind = ItemKind::HexToDec;
        }
        if (letter != npos) {
            item.width = TakeFill(
                ReadCount(std::string_view(pic).substr(amp + 1, letter - amp - 1)), kMaxWidth);
            pic.erase(0, letter + 1);
        }
    }
    // Each round removes one "&" and adds none, so the loop ends.
    for (;;) {
        const std::size_t amp = pic.find('&');
        if (amp == npos) break;
        const std::size_t s1 = FindNoCase(pic, 'S', amp + 1);
        const std::size_t z1 = FindNoCase(pic, 'Z', amp + 1);
        const std::size_t letter = std::min(s1, z1);
        if (letter == npos) break;
        const char fill = letter == s1 ? ' ' : '0';
        if (letter == amp + 1) {
            pic.erase(amp, 2);
            continue;
        }
        const std::size_t codeLen = letter - amp + 1;
        const long room = kMaxWidth - static_cast<long>(pic.size() - codeLen);
        const long n =
            TakeFill(ReadCount(std::string_view(pic).substr(amp + 1, letter - amp - 1)), room);
        pic.replace(amp, codeLen, static_cast<std::size_t>(n), fill);
    }
    return true;
}

bool FmtData::ParseOption(TemplateItem& item, FieldType type, std::string_view option)
{
    const std::string_view t = TrimSpaces(option);
    if (t.find_first_of("\"'") != npos) return ParsePicture(item, type, t);
    if (t.find('=') != npos) {
        if (t.front() == '=') {
            item.kind = ItemKind::Plain;
            SetError(FmtError::BadMapping, std::string(option));
            return false;
        }
        item.kind = ItemKind::Mapping;
        item.format.assign(option);
        item.format.push_back(',');
        item.list.assign(1, UpperCopy(item.format));
        if (WithoutSpaces(item.format).find("=,") != std::string::npos) {
            SetError(FmtError::BadMapping, std::string(option));
            return false;
        }
        return true;
    }
    if (t.find(',') != npos) {
        if (t.front() == ',') {
            item.kind = ItemKind::Plain;
            SetError(FmtError::BadList, std::string(option));
            return false;
        }
        item.kind = ItemKind::List;
        item.list = chars::SplitComma(option);
        if ((WithoutSpaces(option) + ",").find(",,") != std::string::npos) {
            SetError(FmtError::BadList, std::string(option));
            return false;
        }
        return true;
    }
    item.kind = ItemKind::Plain; // any other option is ignored
    return true;
}

FieldType FmtData::TypeOf(const TemplateItem& item) const
{
    return item.field >= 0 ? fields_[static_cast<std::size_t>(item.field)].type : FieldType::Text;
}

FmtData::Step FmtData::StepFor(const TemplateItem& item, FieldType type)
{
    if (item.field < 0) return Step::None;
    if (item.kind == ItemKind::List) return item.list.empty() ? Step::None : Step::List;
    if (item.kind == ItemKind::Mapping) return Step::Mapping;
    switch (type) {
    case FieldType::Text:
        return item.format.empty() ? Step::Raw : Step::TextPicture;
    case FieldType::Date:
        return Step::Date;
    default:
        if (item.width == 0 && item.format.empty() &&
            !(type == FieldType::Decimal && item.kind == ItemKind::DecToHex) &&
            !(type == FieldType::Hex && item.kind == ItemKind::HexToDec))
            return Step::Raw;
        return Step::Number;
    }
}

void FmtData::LoadFieldList(std::string_view fieldList, std::string_view listDelimiter)
{
    fields_.clear();
    for (std::size_t from = 0;;) {
        const std::size_t end = listDelimiter.empty() ? npos : fieldList.find(listDelimiter, from);
        FieldDef f;
        f.name = UpperCopy(fieldList.substr(from, end == npos ? npos : end - from));
        if (!f.name.empty()) {
            switch (f.name.back()) {
            case '#':
                f.type = FieldType::Date;
                break;
            case '%':
                f.type = FieldType::Decimal;
                break;
            case '&':
                f.type = FieldType::Hex;
                break;
            default:
                break;
            }
            if (f.type != FieldType::Text) f.name.pop_back();
        }
        fields_.push_back(std::move(f));
        if (end == npos) break;
        from = end + listDelimiter.size();
    }
}

bool FmtData::LoadTemplate(std::string_view templ, std::string_view fieldList,
                           std::string_view listDelimiter, std::string_view openBrace,
                           std::string_view closeBrace)
{
    ClearError();
    if (TrimSpaces(templ).empty() || TrimSpaces(fieldList).empty() || openBrace.empty() ||
        closeBrace.empty() || templ.find(closeBrace) == npos) {
        templateOk_ = false;
        SetError(FmtError::EmptyTemplate, {});
        return false;
    }

    LoadFieldList(fieldList, listDelimiter);

    std::vector<std::string_view> parts;
    for (std::size_t from = 0;;) {
        const std::size_t end = templ.find(closeBrace, from);
        parts.push_back(templ.substr(from, end == npos ? npos : end - from));
        if (end == npos) break;
        from = end + closeBrace.size();
    }
    const std::size_t n = parts.size();
    items_.assign(n, TemplateItem{});
    pieces_.assign(2 * n + 1, std::string());
    fillLeft_ = kMaxTemplateFill;

    bool ok = true;
    bool known = false;
    for (std::size_t j = 0; j < n; ++j) {
        const std::string_view part = parts[j];
        std::string_view literal = part;
        const std::size_t p = j + 1 < n ? part.find(openBrace) : npos;
        if (j + 1 < n && p == npos) {
            ok = false;
            SetError(FmtError::NoOpenBrace, std::string(part));
        }
        if (p != npos) {
            if (part.find(openBrace, p + 1) != npos) {
                ok = false;
                SetError(FmtError::TwoOpenBraces, std::string(part));
            }
            literal = part.substr(0, p);
            const std::string_view ph = part.substr(p + openBrace.size());
            const std::size_t comma = ph.find(',');
            TemplateItem& item = items_[j];
            item.field = FindField(TrimSpaces(ph.substr(0, comma)));
            if (item.field >= 0) {
                known = true;
                const std::string_view option =
                    comma == npos ? std::string_view() : ph.substr(comma + 1);
                if (!ParseOption(item, TypeOf(item), option)) ok = false;
            }
        }
        pieces_[2 * j] = ApplyTextEscapes(literal);
    }
    if (!known) SetError(FmtError::NoKnownField, {});

    steps_.resize(n);
    for (std::size_t j = 0; j < n; ++j)
        steps_[j] = StepFor(items_[j], TypeOf(items_[j]));
    templateOk_ = ok && known;
    return templateOk_;
}

void FmtData::AppendValue(std::string& out, std::size_t j, std::string_view v)
{
    const TemplateItem& item = items_[j];
    switch (steps_[j]) {
    case Step::None:
        return;
    case Step::Raw:
        out.append(v);
        return;
    case Step::List:
        out.append(item.list[ListIndex(v, item.list.size())]);
        return;
    case Step::Mapping: {
        // Plain substring search for "VALUE=" in the upper-cased text, as written in the template.
        const std::string& upper = item.list.front();
        if (upper.size() < v.size() + 1) return;
        for (std::size_t pos = 0; pos + v.size() < upper.size(); ++pos) {
            if (upper[pos + v.size()] != '=') continue;
            std::size_t k = 0;
            while (k < v.size() && upper[pos + k] == Upper(v[k]))
                ++k;
            if (k != v.size()) continue;
            const std::size_t start = pos + v.size() + 1;
            const std::size_t comma = item.format.find(',', start + 1);
            if (comma != std::string::npos) out.append(item.format, start, comma - start);
            return;
        }
        return;
    }
    case Step::TextPicture: {
        const std::string& pic = item.format;
        const std::size_t take = std::min(v.size(), pic.size());
        out.append(v.substr(0, take));
        out.append(pic, take);
        return;
    }
    case Step::Date:
        AppendFormattedDateText(out, v, item.format);
        return;
    case Step::Number: {
        std::string_view r = v;
        const bool toHex = item.kind == ItemKind::DecToHex && TypeOf(item) == FieldType::Decimal;
        const bool toDec = item.kind == ItemKind::HexToDec && TypeOf(item) == FieldType::Hex;
        if (toHex || toDec) {
            scratch_.clear();
            if (ConvertDigits(TrimSpaces(v), toHex, scratch_)) r = scratch_;
        }
        // The result is `zeros` fill characters then r; cut from the left to fit the picture.
        std::size_t zeros = 0;
        if (item.width > 0) {
            const auto w = static_cast<std::size_t>(item.width);
            if (w < r.size())
                r = r.substr(r.size() - w);
            else
                zeros = w - r.size();
        }
        const std::string& pic = item.format;
        const std::size_t len = zeros + r.size();
        if (!pic.empty() && pic.size() > len) out.append(pic, 0, pic.size() - len);
        if (!pic.empty() && pic.size() < len) {
            std::size_t cut = len - pic.size();
            const std::size_t fromZeros = std::min(cut, zeros);
            zeros -= fromZeros;
            cut -= fromZeros;
            r = r.substr(cut);
        }
        out.append(zeros, '0');
        out.append(r);
        return;
    }
    }
}

void FmtData::FormatRecordTo(std::string& out, std::string_view line, char delimiter)
{
    if (line.empty() || !templateOk_) {
        out.append(line);
        return;
    }
    values_.clear();
    const char* data = line.data();
    std::size_t from = 0;
    for (;;) {
        const void* hit = std::memchr(data + from, delimiter, line.size() - from);
        const std::size_t end =
            hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - data) : line.size();
        if (values_.size() == fields_.size()) { // one value too many
            values_.clear();
            break;
        }
        values_.push_back(line.substr(from, end - from));
        if (!hit) break;
        from = end + 1;
    }
    if (values_.size() != fields_.size()) {
        out.append(line);
        return;
    }
    const std::size_t n = items_.size();
    for (std::size_t j = 0; j < n; ++j) {
        out.append(pieces_[2 * j]);
        const std::int16_t f = items_[j].field;
        if (f >= 0) AppendValue(out, j, values_[static_cast<std::size_t>(f)]);
    }
}

std::string FmtData::FormatRecord(std::string_view line, char delimiter)
{
    std::string out;
    FormatRecordTo(out, line, delimiter);
    return out;
}

std::string FmtData::TemplateHeader() const
{
    if (!templateOk_) return {};
    std::string out;
    for (std::size_t j = 0; j < items_.size(); ++j) {
        out += pieces_[2 * j];
        if (items_[j].field >= 0) out += fields_[static_cast<std::size_t>(items_[j].field)].name;
    }
    return out;
}

FmtData& modFmtData()
{
    static FmtData instance;
    return instance;
}

std::string ReplaceEscape(std::string_view text, std::string_view code,
                          std::string_view replacement)
{
    const std::string_view c = TrimSpaces(code);
    if (c.empty()) return std::string(text);
    const char key = Upper(c.front());
    if (replacement.empty() && key == '\\') replacement = "\\";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            if (Upper(text[i + 1]) == key) {
                out.append(replacement);
                ++i;
                continue;
            }
            if (text[i + 1] == '\\') {
                out.append("\\\\");
                ++i;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string DecToHex(std::string_view text, long width)
{
    return ConvertOrKeep(text, width, true);
}

std::string HexToDec(std::string_view text, long width)
{
    return ConvertOrKeep(text, width, false);
}

std::string PadLeft(std::string_view text, long width, char fill)
{
    std::string out;
    AppendPadded(out, text, width, fill);
    return out;
}

} // namespace px::fmt

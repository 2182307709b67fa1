#include "JournalCodec.h"

#include <array>
#include <charconv>
#include <vector>

namespace px::archive {

namespace {

constexpr std::string_view kTag = "P1";
constexpr char kSep = '\t';
constexpr std::size_t kFields = 11; // tag, CRC and the nine fields of a punch

const std::array<std::uint32_t, 256>& CrcTable()
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    return table;
}

bool Escaped(unsigned char c)
{
    return c < 0x20 || c == 0x7F || c == '%';
}

void AppendEscaped(std::string& out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (Escaped(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> Unescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (Escaped(c)) {
            return std::nullopt; // a writer never leaves these bare
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

template <typename T> std::optional<T> Number(std::string_view text)
{
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::string CrcText(std::uint32_t crc)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(8, '0');
    for (int i = 7; i >= 0; --i, crc >>= 4)
        out[static_cast<std::size_t>(i)] = kHex[crc & 15];
    return out;
}

} // namespace

std::uint32_t Crc32(std::string_view data)
{
    const auto& table = CrcTable();
    std::uint32_t c = 0xFFFFFFFFu;
    for (char ch : data)
        c = table[(c ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::string EncodeJournalLine(const Punch& p)
{
    std::string body = std::to_string(p.terminalId);
    body += kSep;
    body += std::to_string(p.recordIndex);
    for (const std::string* field :
         {&p.downloadedAt, &p.punchedAt, &p.host, &p.terminalName, &p.cardId, &p.event, &p.raw}) {
        body += kSep;
        AppendEscaped(body, *field);
    }
    std::string line(kTag);
    line += kSep;
    line += CrcText(Crc32(body));
    line += kSep;
    line += body;
    return line;
}

std::optional<Punch> DecodeJournalLine(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find(kSep, start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (fields.size() != kFields || fields[0] != kTag || fields[1].size() != 8) return std::nullopt;
    const std::string_view body = line.substr(fields[0].size() + fields[1].size() + 2);
    if (CrcText(Crc32(body)) != fields[1]) return std::nullopt;
    Punch p;
    const auto id = Number<int>(fields[2]);
    const auto index = Number<long>(fields[3]);
    if (!id || !index || *id < 0 || *id > 255 || *index < 0) return std::nullopt;
    p.terminalId = *id;
    p.recordIndex = *index;
    std::string* targets[] = {&p.downloadedAt, &p.punchedAt, &p.host, &p.terminalName,
                              &p.cardId,       &p.event,     &p.raw};
    for (std::size_t i = 0; i < std::size(targets); ++i) {
        auto value = Unescaped(fields[4 + i]);
        if (!value) return std::nullopt;
        *targets[i] = std::move(*value);
    }
    return p;
}

} // namespace px::archive

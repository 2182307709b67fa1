// Record formatter throughput: FormatRecord lines per second over a deterministic corpus of
// distinct record lines (card IDs of 1 to 20 digits, varied events, dates, times and record
// numbers), for the standard template and a template with fill, mapping, date and zero codes;
// then the time of one 20-digit DecToHex. Every output byte goes into an FNV-1a checksum, which
// is printed so that no work can be dropped and runs can be compared.
#include "FmtData.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr std::string_view kSecondTemplate =
    "{UID}-{CID,'&8D'}/{Event,0=IN,1=OUT,2=BREAK}/{Date,'YYYYMMDD'}\\T{RecordNo,'&4Z'}";

std::uint64_t Fnv1a(std::uint64_t h, std::string_view bytes)
{
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ULL;

struct Lcg {
    std::uint64_t s;
    std::uint32_t Next()
    {
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(s >> 33);
    }
};

// All lines in one buffer so that building the corpus costs no per-line allocation.
struct Corpus {
    std::string bytes;
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    std::string_view Line(std::size_t i) const
    {
        return std::string_view(bytes).substr(spans[i].first, spans[i].second);
    }
};

Corpus MakeCorpus(std::size_t count)
{
    Corpus c;
    Lcg rng{20260305};
    char line[96];
    std::string card;
    for (std::size_t i = 0; i < count; ++i) {
        const int len = 1 + static_cast<int>(rng.Next() % 20);
        card.clear();
        for (int k = 0; k < len; ++k)
            card.push_back(static_cast<char>(
                '0' + (k == 0 && len > 1 ? 1 + rng.Next() % 9 : rng.Next() % 10)));
        // One draw per statement: argument evaluation order would make the corpus
        // compiler-specific.
        unsigned v[8];
        for (unsigned& x : v)
            x = rng.Next();
        const int n =
            std::snprintf(line, sizeof line, "%03u,%s,%u,%04u/%02u/%02u,%02u:%02u:%02u,%zu",
                          v[0] % 256, card.c_str(), v[1] % 4, 2020 + v[2] % 10, 1 + v[3] % 12,
                          1 + v[4] % 28, v[5] % 24, v[6] % 60, v[7] % 60, i + 1);
        c.spans.emplace_back(c.bytes.size(), static_cast<std::size_t>(n));
        c.bytes.append(line, static_cast<std::size_t>(n));
    }
    return c;
}

struct Result {
    double linesPerSecond = 0;
    std::uint64_t checksum = kFnvBasis;
};

// The checksum covers one pass (the same for every pass); the timing covers all passes.
template <typename Format> Result Measure(const Corpus& corpus, int passes, Format&& format)
{
    Result r;
    const std::size_t n = corpus.spans.size();
    for (std::size_t i = 0; i < n; ++i) // warm-up pass, also the checksum
        r.checksum = Fnv1a(r.checksum, format(corpus.Line(i)));
    std::uint64_t check = kFnvBasis;
    const auto t0 = Clock::now();
    for (int p = 0; p < passes; ++p)
        for (std::size_t i = 0; i < n; ++i)
            check = Fnv1a(check, format(corpus.Line(i)));
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.linesPerSecond = static_cast<double>(n) * passes / seconds;
    if (check == 0) std::puts(""); // keeps the timed hashes observable
    return r;
}

void Template(const char* name, std::string_view templ, const Corpus& corpus, int passes,
              std::uint64_t& total)
{
    px::fmt::FmtData f;
    if (!f.LoadTemplate(templ)) {
        std::fprintf(stderr, "template rejected: %s\n", f.Error().c_str());
        std::exit(1);
    }
    const Result byValue = Measure(corpus, passes, [&](std::string_view line) {
        static std::string out;
        out = f.FormatRecord(line, ',');
        return std::string_view(out);
    });
    std::string buffer;
    const Result reused = Measure(corpus, passes, [&](std::string_view line) {
        buffer.clear();
        f.FormatRecordTo(buffer, line, ',');
        return std::string_view(buffer);
    });
    if (byValue.checksum != reused.checksum) {
        std::fprintf(stderr, "%s: FormatRecord and FormatRecordTo differ\n", name);
        std::exit(1);
    }
    std::printf("%-16s FormatRecord %10.0f lines/s   FormatRecordTo %10.0f lines/s   "
                "checksum %016llx\n",
                name, byValue.linesPerSecond, reused.linesPerSecond,
                static_cast<unsigned long long>(byValue.checksum));
    total = Fnv1a(total, std::string_view(reinterpret_cast<const char*>(&byValue.checksum), 8));
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t lines = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200000;
    const int passes = argc > 2 ? std::atoi(argv[2]) : 10;
    const Corpus corpus = MakeCorpus(lines);
    std::printf("corpus: %zu distinct record lines (%zu bytes), %d timed passes per figure\n",
                corpus.spans.size(), corpus.bytes.size(), passes);
    std::printf("sample: %.*s\n", static_cast<int>(corpus.Line(0).size()), corpus.Line(0).data());

    std::uint64_t total = kFnvBasis;
    Template("standard", px::fmt::kStandardTemplate, corpus, passes, total);
    Template("second example", kSecondTemplate, corpus, passes, total);

    // 20-digit card IDs, 1000 distinct ones.
    std::vector<std::string> ids;
    Lcg rng{42};
    for (int k = 0; k < 1000; ++k) {
        std::string id(1, static_cast<char>('1' + rng.Next() % 9));
        while (id.size() < 20)
            id.push_back(static_cast<char>('0' + rng.Next() % 10));
        ids.push_back(id);
    }
    const int calls = 2000000;
    std::uint64_t hexSum = kFnvBasis;
    const auto t0 = Clock::now();
    for (int i = 0; i < calls; ++i)
        hexSum = Fnv1a(hexSum, px::fmt::DecToHex(ids[static_cast<std::size_t>(i) % ids.size()]));
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / calls;
    std::printf("DecToHex 20 digits %8.1f ns per call (%s -> %s)   checksum %016llx\n", ns,
                ids[0].c_str(), px::fmt::DecToHex(ids[0]).c_str(),
                static_cast<unsigned long long>(hexSum));
    std::printf("checksum of all formatted output %016llx\n",
                static_cast<unsigned long long>(total));
    return 0;
}

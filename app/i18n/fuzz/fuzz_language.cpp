// libFuzzer target for the language files. The input is a file, read as the program reads one.
// Besides crashes it traps on a text longer than its bound, a text cut inside a character, or a
// line break other than CR LF where the file wrote "\n".
#include "FuzzInput.h"
#include "Texts.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

using px::fuzz::Check;

std::size_t Characters(const std::string& text)
{
    std::size_t n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// One file for the whole run, removed when the fuzzer exits.
struct ScratchFile {
    std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                       "/px-fuzz-language-" + std::to_string(getpid()) + ".txt";
    ScratchFile() = default;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() { std::remove(path.c_str()); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The reader takes a path; memory-backed /dev/shm keeps the file system out of the rate.
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    px::Texts texts;
    texts.SetLanguageFile(path);
    texts.SetModelName(size % 2 ? "PX745" : "PX740");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The first eight numbers the input names: each lookup walks the whole file.
    std::string_view rest = text;
    int looked = 0;
    while (!rest.empty() && looked < 8) {
        const std::string_view line = px::fuzz::Cut(rest);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || eq == 0 || eq > 9) continue;
        int number = 0;
        bool digits = true;
        for (char c : line.substr(0, eq))
            digits = digits && c >= '0' && c <= '9' && (number = number * 10 + (c - '0'), true);
        if (!digits) continue;
        ++looked;
        const std::string got = texts.Get(number, "default");
        Check(Characters(got) <= px::Texts::kMaxText);
        for (std::size_t at = got.find('\n'); at != std::string::npos; at = got.find('\n', at + 1))
            Check(at > 0 && got[at - 1] == '\r');
    }
    return 0;
}

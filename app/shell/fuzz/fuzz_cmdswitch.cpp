// libFuzzer target for the command-line switches. The input is a whole command line. Besides
// crashes it traps on a flag answer other than the switch's own name, or a value longer than the
// line.
#include "CmdSwitch.h"
#include "FuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    for (const char* name : {"/TS:", "/S", "/MONITOR", "/ts:"}) {
        const std::string flag = px::GetCmdSwitch(line, name, true);
        std::string upper(name);
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        px::fuzz::Check(flag.empty() || flag == upper);
        px::fuzz::Check(px::GetCmdSwitch(line, name, false).size() <= line.size());
    }
    return 0;
}

// libFuzzer target for the terminal directory file. The input is the file, one entry a line.
// Besides crashes it traps when an accepted entry, written back as the file holds it, does not
// read again as the same entry.
#include "DeviceDirectory.h"
#include "FuzzInput.h"
#include "SettingsStore.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static px::SettingsStore settings("/nonexistent/px-fuzz/settings.ini");
    static px::DeviceDirectory directory(settings);
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        std::string line(px::fuzz::Cut(rest));
        if (!line.empty() && line.back() == '\r') line.pop_back();
        px::DeviceEntry entry;
        std::string why;
        if (!directory.ParseEntry(line, &entry, &why)) continue;
        const std::string text = px::DeviceDirectory::EntryText(entry);
        px::DeviceEntry again;
        px::fuzz::Check(directory.ParseEntry(text, &again, &why));
        px::fuzz::Check(px::DeviceDirectory::EntryText(again) == text);
        px::fuzz::Check(again.ID == entry.ID && again.ComPort == entry.ComPort &&
                        again.IPPort == entry.IPPort && again.Baud == entry.Baud);
    }
    return 0;
}

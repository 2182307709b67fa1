// libFuzzer target for the INI reader, and for the counter file's record encoding that rides on
// it. The input is a whole file. Besides crashes it traps when writing back what was read changes
// it a second time, or when a record's text does not come back exactly through a written file.
#include "FuzzInput.h"
#include "Ini.h"
#include "RecordStore.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace {

using px::fuzz::Check;
constexpr std::size_t kWhole = std::numeric_limits<std::size_t>::max();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const px::ini::Document doc = px::ini::Document::parse(text);
    const std::string written = doc.text();
    Check(px::ini::Document::parse(written).text() == written);
    // Looking up keys named by the input's own lines never fails, and a bounded read is bounded.
    // The first eight keys are enough: each lookup walks the whole document.
    std::string_view rest = text;
    for (int looked = 0; !rest.empty() && looked < 8;) {
        const std::string_view line = px::fuzz::Cut(rest);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        ++looked;
        const std::string key(line.substr(0, eq));
        Check(doc.get("LANGUAGE", key, "", 16).size() <= 16);
        (void)doc.find("Machine-1", key, kWhole);
    }

    // Any bytes a record brings are stored on one line and read back unchanged, also when the
    // file already holds the input's sections.
    const std::string stored = px::EncodeStoredRecord(text);
    Check(stored.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos);
    Check(px::DecodeStoredRecord(stored) == text);
    px::ini::Document edited = doc;
    edited.set("Machine-7", "LastRecord", stored);
    const auto back =
        px::ini::Document::parse(edited.text()).find("Machine-7", "LastRecord", kWhole);
    Check(back.has_value() && px::DecodeStoredRecord(*back) == text);
    return 0;
}

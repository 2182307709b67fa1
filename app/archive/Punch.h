// One downloaded record as the archive keeps it: where it sits in its terminal (machine ID and
// index), the record exactly as received, the fields split from it for searching, and when and
// on which PC it was downloaded.
#pragma once

#include <string>

namespace px::archive {

struct Punch {
    int terminalId = 0;
    long recordIndex = 0;
    std::string terminalName;
    std::string cardId;
    std::string event;
    std::string punchedAt;    // the terminal's date and time "YYYY-MM-DD HH:MM:SS"; "" when none
    std::string downloadedAt; // UTC, "YYYY-MM-DDTHH:MM:SS.mmmZ"
    std::string host;
    std::string raw; // every byte as received
};

} // namespace px::archive

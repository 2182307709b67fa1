// Record bodies ("CID,E,YYYY/MM/DD,hh:mm:ss"): the deterministic generator and the records file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// Body of generated record `index` of the unit whose sequence is seeded by `seedId`.
std::string generatedRecord(int seedId, uint64_t index);

// Every non-empty line is one body, kept verbatim so that malformed records can be served too.
bool loadRecordsFile(const std::string& path, std::vector<std::string>& bodies, std::string& error);

} // namespace sim

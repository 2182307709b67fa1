// The archive journal's line: one punch per line, every byte of it kept (control bytes, "%" and
// the field separator written as %XX), with a CRC-32 so that a line torn by a power cut is
// recognised and skipped instead of read as a punch.
#pragma once

#include "Punch.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace px::archive {

std::uint32_t Crc32(std::string_view data);

// The line without its final LF.
std::string EncodeJournalLine(const Punch& punch);
// nullopt for a line that is damaged or not a journal line.
std::optional<Punch> DecodeJournalLine(std::string_view line);

} // namespace px::archive

// Reading Format.ini, the file of named output types: one section per type with its template
// ("Format"), header ("Header") and Save-dialog filter ("Filter"), plus the "GENERAL" section of
// card-ID filter settings. Built on the INI module; the formatter itself stays free of it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace px::fmt {

// Value of key in section of the INI file path (at most 2047 characters), or def. An empty
// section or path stands for the one given last; a non-empty one is remembered for later calls.
std::string ReadFormatIni(std::string_view key, std::string_view def, std::string_view section = {},
                          std::string_view path = {});

// Section names in file order, read through a buffer of the file's size (at most 32768 bytes);
// one empty name when the file does not exist or has no sections.
std::vector<std::string> ListIniSections(const std::string& path);

} // namespace px::fmt

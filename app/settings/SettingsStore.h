// The per-user settings store: sections and keys of the program title, as text, in an INI file
// kept at mode 0600 (it may hold the mail password). A missing store, section or key reads as
// the default; a write that fails says so.
#pragma once

#include "Ini.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace px {

class SettingsStore {
public:
    explicit SettingsStore(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    std::string Get(std::string_view section, std::string_view key, std::string_view def) const;
    bool Save(std::string_view section, std::string_view key, std::string_view value);
    // Several keys of one section in one rewrite of the store.
    bool SaveMany(std::string_view section,
                  const std::vector<std::pair<std::string, std::string>>& values);
    // The whole store read once, for callers that read many keys.
    ini::Document Snapshot() const;
    bool DeleteSection(std::string_view section);
    // The system's description of the last failed write.
    const std::string& LastError() const { return lastError_; }

private:
    bool Prepare();

    std::string path_;
    std::string lastError_;
};

} // namespace px

// The terminal's files for XMODEM: kept in memory, or in a folder (--files) so that tests can
// put files there and read what the terminal received.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

class FileStore {
public:
    explicit FileStore(std::string folder) : folder_(std::move(folder)) {}

    // A relative name without ".." parts and without NUL bytes.
    static bool validName(std::string_view name);

    std::optional<std::string> load(const std::string& name) const;
    bool store(const std::string& name, const std::string& data, std::string& error);

private:
    std::string path(const std::string& name) const { return folder_ + "/" + name; }

    std::string folder_; // empty: memory only
    std::map<std::string, std::string> memory_;
};

} // namespace sim

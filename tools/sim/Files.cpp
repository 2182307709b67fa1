#include "Files.h"

#include "Output.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace sim {

bool FileStore::validName(std::string_view name)
{
    if (name.empty() || name[0] == '/' || name.find('\0') != std::string_view::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos) end = name.size();
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

std::optional<std::string> FileStore::load(const std::string& name) const
{
    if (folder_.empty()) {
        auto it = memory_.find(name);
        if (it == memory_.end()) return std::nullopt;
        return it->second;
    }
    std::ifstream in(path(name), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

bool FileStore::store(const std::string& name, const std::string& data, std::string& error)
{
    if (folder_.empty()) {
        memory_[name] = data;
        return true;
    }
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    if (out) out.write(data.data(), std::streamsize(data.size()));
    if (!out) {
        error = path(name) + ": " + errnoText(errno);
        return false;
    }
    return true;
}

} // namespace sim

// Reading files back in tests: the whole content, or its lines without CR LF.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace px::testing {

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::vector<std::string> Lines(const std::string& path)
{
    std::vector<std::string> out;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

// Lines of every file in a folder whose name ends with the suffix, in name order: files named by
// the date are found without asking the clock, so a test that crosses midnight still reads them.
inline std::vector<std::string> LinesOfFiles(const std::string& folder, const std::string& suffix)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(e.path().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> out;
    for (const auto& n : names) {
        auto part = Lines(n);
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

} // namespace px::testing

#include "ProgramPaths.h"

#include "StaleTemp.h"
#include "XdgPaths.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace px {

namespace {

std::string Env(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    return value ? value : "";
}

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string FindDataDir(const std::string& title)
{
    if (std::string env = Env(title + "_DATA"); !env.empty()) return env;
    std::error_code ec;
    const fs::path exeDir = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (!ec) {
        for (const std::string& name : {Lower(title), std::string("px740")}) {
            const fs::path installed = exeDir / ".." / "share" / name;
            if (fs::is_directory(installed, ec))
                return fs::weakly_canonical(installed, ec).string();
        }
    }
#ifdef PX_SOURCE_DATA_DIR
    if (fs::is_directory(PX_SOURCE_DATA_DIR, ec)) return PX_SOURCE_DATA_DIR;
#endif
    return {};
}

} // namespace

ProgramPaths ProgramPaths::Resolve(const std::string& title)
{
    ProgramPaths p;
    p.title = title;
    p.folder = Env(title + "_HOME");
    if (p.folder.empty()) p.folder = xdg::DataHome() + "/" + title;
    while (p.folder.size() > 1 && p.folder.back() == '/')
        p.folder.pop_back();
    p.settingsFile = xdg::ConfigHome() + "/" + title + "/settings.ini";
    p.dataDir = FindDataDir(title);
    return p;
}

bool ProgramPaths::EnsureFolders(std::string* error) const
{
    std::error_code ec;
    for (const std::string& dir : {folder, In("Records"), In("Logfiles"), In("Records/MailFile")}) {
        fs::create_directories(dir, ec);
        if (ec && !fs::is_directory(dir)) {
            if (error) *error = dir + ": " + ec.message();
            return false;
        }
    }
    return true;
}

void ProgramPaths::SeedData() const
{
    if (dataDir.empty()) return;
    std::error_code ec;
    const fs::path language = fs::path(folder) / "Language";
    if (!fs::exists(language, ec) && fs::is_directory(fs::path(dataDir) / "Language", ec))
        fs::copy(fs::path(dataDir) / "Language", language, fs::copy_options::recursive, ec);
    const fs::path format = fs::path(folder) / "Format.ini";
    if (!fs::exists(format, ec) && fs::exists(fs::path(dataDir) / "Format.ini", ec))
        fs::copy_file(fs::path(dataDir) / "Format.ini", format, ec);
}

void ProgramPaths::RemoveStaleTemporaries() const
{
    ini::RemoveStaleTemporaries(folder, {title + ".ini", title + ".TXT", "TsTable.txt"});
    ini::RemoveStaleTemporaries(In("Records"), {title + ".INI"});
    const fs::path settings(settingsFile);
    ini::RemoveStaleTemporaries(settings.parent_path().string(), {settings.filename().string()});
    ini::RemoveStaleTemporaries(xdg::ConfigHome() + "/serlo", {"ports.ini"});
    ini::RemoveStaleTemporaries(xdg::DataHome() + "/serlo", {"registry.ini"});
}

} // namespace px

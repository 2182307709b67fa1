#include "PortMap.h"

#include "FileLock.h"
#include "Ini.h"
#include "Trace.h"
#include "XdgPaths.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <strings.h>

namespace fs = std::filesystem;

namespace serlo {

namespace {

constexpr const char* kSection = "SERIALCOMM";
constexpr int kFirstAdapterNumber = 10;

int ComNumber(const std::string& name)
{
    if (name.size() < 4 || strncasecmp(name.c_str(), "COM", 3) != 0) return -1;
    int n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9' || n > 100000) return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

} // namespace

PortMap::PortMap(std::string mapPath, std::string devRoot, std::string sysRoot)
    : mapPath_(std::move(mapPath)), devRoot_(std::move(devRoot)), sysRoot_(std::move(sysRoot))
{
}

std::string PortMap::DefaultPath()
{
    return px::xdg::ConfigHome() + "/serlo/ports.ini";
}

PortMap::Detected PortMap::Detect() const
{
    Detected found;
    std::error_code ec;
    // A ttyS node exists for every possible UART slot; only those with a UART type are real.
    for (const auto& tty : fs::directory_iterator(sysRoot_ + "/class/tty", ec)) {
        const std::string base = tty.path().filename().string();
        if (base.rfind("ttyS", 0) != 0 || base.size() == 4) continue;
        const std::string digits = base.substr(4);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        std::ifstream typeFile(tty.path() / "type");
        int type = 0;
        if (typeFile >> type && type != 0)
            found.uarts.emplace_back(devRoot_ + "/" + base, std::atoi(digits.c_str()) + 1);
    }
    std::sort(found.uarts.begin(), found.uarts.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    for (const auto& link : fs::directory_iterator(devRoot_ + "/serial/by-id", ec))
        found.byId.push_back(devRoot_ + "/serial/by-id/" + link.path().filename().string());
    std::sort(found.byId.begin(), found.byId.end());
    return found;
}

std::vector<PortMap::Entry> PortMap::Read() const
{
    std::vector<Entry> entries;
    for (auto& [device, name] : px::ini::sectionEntries(mapPath_, kSection))
        entries.push_back({device, name});
    return entries;
}

std::vector<PortMap::Entry> PortMap::Refresh()
{
    const Detected found = Detect();
    std::error_code ec;
    fs::create_directories(fs::path(mapPath_).parent_path(), ec);
    // Two programs starting at once must not both hand out the next free number: the whole
    // read-modify-write holds the lock. Without it the map is only read.
    const px::FileLock lock(mapPath_);
    if (!lock.Locked()) return Read();
    auto loaded = px::ini::Document::tryLoad(mapPath_);
    if (!loaded) return Read(); // an unreadable map is left alone, never rewritten from scratch
    auto& doc = *loaded;
    std::vector<Entry> entries;
    for (auto& [device, name] : doc.entries(kSection))
        entries.push_back({device, name});

    std::set<std::string> devices;
    std::set<int> numbers;
    for (const auto& e : entries) {
        devices.insert(e.device);
        numbers.insert(ComNumber(e.name));
    }
    bool changed = !fs::exists(mapPath_);
    auto add = [&](const std::string& device, int number) {
        const std::string name = "COM" + std::to_string(number);
        doc.set(kSection, device, name);
        entries.push_back({device, name});
        devices.insert(device);
        numbers.insert(number);
        changed = true;
    };
    for (const auto& [device, number] : found.uarts)
        if (!devices.count(device) && !numbers.count(number)) add(device, number);
    int next = kFirstAdapterNumber;
    for (const auto& device : found.byId) {
        if (devices.count(device)) continue;
        while (numbers.count(next))
            ++next;
        add(device, next);
    }
    if (changed) {
        // An empty map is still a map: later adapters are numbered from it.
        const px::ini::WriteResult saved =
            entries.empty() ? px::ini::replaceFile(mapPath_, std::string("[") + kSection + "]\r\n")
                            : doc.save(mapPath_);
        // The numbers still serve this run; only their persistence is lost, and with it the
        // promise that a terminal keeps its COM number. Whoever set up the ports must know.
        if (!saved)
            qCWarning(pxLink).noquote()
                << "port map not saved:" << mapPath_.c_str() << "(" << saved.error.c_str() << ")";
    }
    return entries;
}

std::string PortMap::Resolve(const std::string& portName)
{
    auto match = [&](const std::vector<Entry>& entries) -> std::string {
        for (const auto& e : entries)
            if (strcasecmp(e.name.c_str(), portName.c_str()) == 0) return e.device;
        return {};
    };
    if (std::string device = match(Read()); !device.empty()) return device;
    return match(Refresh());
}

} // namespace serlo

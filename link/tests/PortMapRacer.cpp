// One side of the port-map race (PortMapTest): a separate process that plugs in adapters of its
// own one by one and refreshes the shared map after each, printing "device=COMn" as it got it.
// Usage: port_map_racer MAP DEVROOT SYSROOT PREFIX COUNT
#include "PortMap.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 6) return 2;
    const std::string map = argv[1], dev = argv[2], sys = argv[3], prefix = argv[4];
    const int count = std::atoi(argv[5]);
    serlo::PortMap ports(map, dev, sys);
    for (int i = 0; i < count; ++i) {
        const std::string name = prefix + std::to_string(1000 + i);
        std::ofstream(dev + "/serial/by-id/" + name).put('\n');
        const std::string device = dev + "/serial/by-id/" + name;
        std::string got;
        for (const auto& e : ports.Refresh())
            if (e.device == device) got = e.name;
        std::printf("%s=%s\n", device.c_str(), got.c_str());
    }
    return 0;
}

// The serial ports of a Windows machine: every COM port a driver registered.
#include <windows.h>

#include <algorithm>

#include "platform/serial/PortList.h"

namespace serial {

std::vector<std::string> ListPorts(const std::vector<std::string>& extraPaths, const std::string&) {
    std::vector<std::string> ports;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        // Each value is one port: its name is the driver's device ("\Device\Serial0"),
        // its data the port's name ("COM1").
        for (DWORD i = 0;; ++i) {
            char name[256];
            BYTE data[256];
            DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
            const LONG r = RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize);
            if (r == ERROR_NO_MORE_ITEMS) break;
            if (r != ERROR_SUCCESS || type != REG_SZ) continue;
            data[dataSize] = 0;
            const std::string port(reinterpret_cast<const char*>(data));
            if (!port.empty() && std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
        }
        RegCloseKey(key);
    }
    for (const auto& path : extraPaths)
        if (std::find(ports.begin(), ports.end(), path) == ports.end()) ports.push_back(path);
    std::sort(ports.begin(), ports.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return ports;
}

std::string PermissionHint(const std::string&) { return {}; }

// A COM port has no stable second name: an adapter keeps its COM number by its serial
// number already. The port is there while the system knows its device name.
std::string StableNameOf(const std::string&, const std::string&) { return {}; }

std::string DeviceBehind(const std::string& path) {
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    char target[1024];
    return QueryDosDeviceA(name.c_str(), target, sizeof target) != 0 ? path : std::string();
}

// A COM port another program holds does not open at all: nothing to look for.
std::vector<PortHolder> PortHolders(const std::string&, const std::string&) { return {}; }

}  // namespace serial

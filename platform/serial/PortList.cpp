// The serial ports of a Linux machine, from sysfs.
#include <grp.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/serial/PortList.h"

namespace serial {
namespace fs = std::filesystem;

namespace {

// Legacy 8250 drivers register every possible slot; an empty slot reports UART type 0.
bool IsUnpopulatedUart(const fs::path& ttyDir) {
    std::ifstream type(ttyDir / "type");
    int uartType = -1;
    return type >> uartType && uartType == 0;
}

}  // namespace

std::vector<std::string> ListPorts(const std::vector<std::string>& extraPaths,
                                   const std::string& sysClassTty) {
    std::vector<std::string> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysClassTty, ec)) {
        const fs::path dir = entry.path();
        if (!fs::exists(dir / "device", ec) || IsUnpopulatedUart(dir)) continue;
        ports.push_back("/dev/" + dir.filename().string());
    }
    for (const auto& path : extraPaths)
        if (std::find(ports.begin(), ports.end(), path) == ports.end()) ports.push_back(path);
    std::sort(ports.begin(), ports.end(),
              [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
    return ports;
}

std::string DeviceBehind(const std::string& path) {
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    return ec ? std::string() : target.string();
}

std::string StableNameOf(const std::string& device, const std::string& byIdDir) {
    const std::string target = DeviceBehind(device);
    if (target.empty()) return {};
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(byIdDir, ec))
        if (entry.is_symlink(ec) && DeviceBehind(entry.path().string()) == target) names.push_back(entry.path().string());
    // One adapter can have two names (its interface and its port); take the same one
    // every time.
    std::sort(names.begin(), names.end());
    return names.empty() ? std::string() : names.front();
}

std::string PermissionHint(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    const group* owner = ::getgrgid(st.st_gid);
    if (!owner || !owner->gr_name) return {};
    const std::string name = owner->gr_name;
    return "The device belongs to the group \"" + name + "\": join it with \"sudo usermod -aG " + name +
           " $USER\", then log in again.";
}

// Each process's descriptors are links under /proc/PID/fd to what they have open; a
// process that holds the device has a link to its real path. Processes of other users
// cannot be looked into and are passed over.
std::vector<PortHolder> PortHolders(const std::string& device, const std::string& proc) {
    const std::string target = DeviceBehind(device);
    if (target.empty()) return {};
    const std::string self = std::to_string(::getpid());
    std::vector<PortHolder> holders;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(proc, ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        std::error_code fdError;
        fs::directory_iterator fds(entry.path() / "fd", fdError), end;
        // A process may end while its descriptors are read: its folder is then gone.
        for (; !fdError && fds != end; fds.increment(fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fds->path(), linkError).string() != target) continue;
            std::ifstream comm(entry.path() / "comm");
            PortHolder holder;
            holder.pid = std::stoi(pid);
            std::getline(comm, holder.name);
            holders.push_back(holder);
            break;
        }
    }
    std::sort(holders.begin(), holders.end(), [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

}  // namespace serial

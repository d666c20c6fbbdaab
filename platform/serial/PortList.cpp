#include "PortList.h"

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace serial {
namespace fs = std::filesystem;

bool NaturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool db = std::isdigit(static_cast<unsigned char>(b[j]));
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            std::string_view na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            while (na.size() > 1 && na.front() == '0') na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0') nb.remove_prefix(1);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

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

std::string DeviceShortName(std::string_view path) {
    constexpr std::string_view kDev = "/dev/";
    std::string name;
    if (path.substr(0, kDev.size()) == kDev) {
        name = std::string(path.substr(kDev.size()));
        std::replace(name.begin(), name.end(), '/', '-');
    } else {
        const auto slash = path.find_last_of('/');
        name = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
    }
    return name;
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

}  // namespace serial

// Port names the same way on every system; the list itself in PortList.cpp (POSIX) and
// PortListWin.cpp.
#include "platform/serial/PortList.h"

#include <algorithm>
#include <cctype>

namespace serial {

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

#ifdef _WIN32
constexpr const char* kSeparators = "/\\";  // "\\.\COM10" gives "COM10"
#else
constexpr const char* kSeparators = "/";
#endif

std::string DeviceShortName(std::string_view path) {
    constexpr std::string_view kDev = "/dev/";
    std::string name;
    if (path.substr(0, kDev.size()) == kDev) {
        name = std::string(path.substr(kDev.size()));
        std::replace(name.begin(), name.end(), '/', '-');
    } else {
        const auto slash = path.find_last_of(kSeparators);
        name = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
    }
    return name;
}

}  // namespace serial

namespace serial {

std::string PortHoldersText(const std::vector<PortHolder>& holders) {
    if (holders.empty()) return {};
    std::string text = "the port is in use by ";
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (i) text += ", ";
        text += holders[i].name + " (pid " + std::to_string(holders[i].pid) + ")";
    }
    return text;
}

}  // namespace serial

#include "WindowTypes.h"

std::span<const MonitorWindowType> MonitorWindowTypes() {
    static constexpr MonitorWindowType kTypes[] = {
        {WindowType::FixMode, "Fix mode", 1150},  {WindowType::Velocity, "Velocity", 1147},
        {WindowType::NmeaInfo, "NMEA info", 1149}, {WindowType::Signal, "Signal", 1146},
        {WindowType::SkyView, "Sky view", 1148},   {WindowType::NavigationCommand, "navi CMD", 1145},
        {WindowType::Track, "Track", 1151},
    };
    return kTypes;
}

const MonitorWindowType& MonitorWindowOf(WindowType type) {
    for (const MonitorWindowType& row : MonitorWindowTypes())
        if (row.type == type) return row;
    return MonitorWindowTypes().front();
}

HomeRect HomeRectOf(WindowType type, int width, int height) {
    const int c = (width - 2) / 3, h2 = (height - 3) / 2, h3 = (height - 2) / 3;
    switch (type) {
        case WindowType::NavigationCommand: return {0, 0, c, h2};
        case WindowType::Track: return {c, 0, c, h2};
        case WindowType::Velocity: return {2 * c, 0, c, h3};
        case WindowType::Signal: return {2 * c, h3, c, h3};
        case WindowType::FixMode: return {2 * c, 2 * h3, c, h3};
        case WindowType::SkyView: return {0, h2, c, h2};
        case WindowType::NmeaInfo: return {c, h2, c, h2};
        case WindowType::None: break;
    }
    return {};
}

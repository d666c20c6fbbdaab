#include "LinkMessages.h"

// Each window type owns a range of message numbers.
WindowType TargetOf(int message) {
    struct Range { int first, last; WindowType window; };
    static constexpr Range kRanges[] = {
        {1025, 1044, WindowType::NmeaInfo},          {1045, 1064, WindowType::Signal},
        {1065, 1084, WindowType::SkyView},           {1085, 1104, WindowType::FixMode},
        {1105, 1124, WindowType::Velocity},          {1125, 1134, WindowType::NavigationCommand},
        {1135, 1144, WindowType::Track},             {1145, 1145, WindowType::NavigationCommand},
        {1146, 1146, WindowType::Signal},            {1147, 1147, WindowType::Velocity},
        {1148, 1148, WindowType::SkyView},           {1149, 1149, WindowType::NmeaInfo},
        {1150, 1150, WindowType::FixMode},           {1151, 1151, WindowType::Track},
    };
    for (const Range& r : kRanges)
        if (message >= r.first && message <= r.last) return r.window;
    return WindowType::None;
}

const char* WindowName(WindowType window) {
    switch (window) {
        case WindowType::NmeaInfo: return "NMEA info";
        case WindowType::Signal: return "Signal";
        case WindowType::SkyView: return "Sky view";
        case WindowType::FixMode: return "Fix mode";
        case WindowType::Velocity: return "Velocity";
        case WindowType::NavigationCommand: return "Navigation command";
        case WindowType::Track: return "Track";
        case WindowType::None: break;
    }
    return "";
}

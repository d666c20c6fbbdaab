#include "monitor/link/LinkMessages.h"

#include <iterator>

std::span<const LinkWindowRow, kWindowTypeCount> LinkWindowRows() {
    static constexpr LinkWindowRow kRows[] = {
        {WindowType::NmeaInfo, 1025, 1044, 1149, "NMEA info"},
        {WindowType::Signal, 1045, 1064, 1146, "Signal"},
        {WindowType::SkyView, 1065, 1084, 1148, "Sky view"},
        {WindowType::FixMode, 1085, 1104, 1150, "Fix mode"},
        {WindowType::Velocity, 1105, 1124, 1147, "Velocity"},
        {WindowType::NavigationCommand, 1125, 1134, 1145, "Navigation command"},
        {WindowType::Track, 1135, 1144, 1151, "Track"},
        {WindowType::SatelliteTable, 1152, 1159, 1160, "Satellites"},
        {WindowType::Console, 1161, 1168, 1169, "Console"},
    };
    static_assert(std::size(kRows) == kWindowTypeCount);
    static_assert([] {
        for (std::size_t i = 0; i < kWindowTypeCount; ++i)
            if (static_cast<std::size_t>(kRows[i].type) != i) return false;
        return true;
    }(), "one row per window type, in the type's order");
    return kRows;
}

const LinkWindowRow& LinkWindowOf(WindowType type) { return LinkWindowRows()[static_cast<std::size_t>(type)]; }

WindowType TargetOf(int message) {
    for (const LinkWindowRow& row : LinkWindowRows())
        if ((message >= row.first && message <= row.last) || message == row.clearMessage) return row.type;
    return WindowType::None;
}

const char* WindowName(WindowType window) { return window == WindowType::None ? "" : LinkWindowOf(window).name; }

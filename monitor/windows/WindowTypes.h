// The monitor's seven window types, one row each: what a window is called, where the
// link's messages for it go, and the message that empties it.
#pragma once

#include <array>
#include <span>

#include "LinkMessages.h"

struct MonitorWindowType {
    WindowType type;     // the link's name for its messages' target
    const char* title;   // fixed window title
    int clearMessage;    // sent by Connect and "Clean All"
};

// In the order the windows are opened at start-up.
std::span<const MonitorWindowType> MonitorWindowTypes();
const MonitorWindowType& MonitorWindowOf(WindowType type);

// The order of the clear messages and of tiling: navigation command first, track last.
inline constexpr std::array<WindowType, 7> kClearOrder = {
    WindowType::NavigationCommand, WindowType::Signal,   WindowType::Velocity, WindowType::SkyView,
    WindowType::NmeaInfo,          WindowType::FixMode, WindowType::Track};

// A child window's place under the connection bar: left, top, width, height.
struct HomeRect {
    int left, top, width, height;
    bool operator==(const HomeRect&) const = default;
};

// The two left columns split in halves, the right one in thirds, for a client area of
// `width` by `height` (the height without the bars).
HomeRect HomeRectOf(WindowType type, int width, int height);

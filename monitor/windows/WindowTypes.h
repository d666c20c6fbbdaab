// The monitor's window types as the windows know them, one row each: the title, where
// the window sits and when it is emptied, and how its view is made. Seven are home
// windows, open from the start and tiled; the others open on demand. The link's
// facts of a type (its messages) are its row in LinkMessages.h.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <span>

#include "monitor/link/LinkMessages.h"
#include "monitor/link/LinkStatistics.h"

class CNmeaThread;
class INotifier;
class QWidget;

// What views need from the application that makes them.
struct ViewServices {
    INotifier& notifier;
    std::function<CNmeaThread*()> activeLink;         // the open link, or null
    std::function<void(const QString&)> notice;       // the status bar's notice pane
    std::function<LinkStatus()> linkStatus;           // the link's counts as the status bar shows them
};

// A tile of the window area: which of the three columns, and which of its equal rows.
struct HomeCell {
    int column, row, rows;
};

struct MonitorWindowType {
    WindowType type;   // the link's name for its messages' target
    const char* title; // fixed window title
    int clearMessage;  // the link row's, sent by Connect and "Clean All"
    int clearOrder;    // emptied and tiled in this order, from 0
    HomeCell home;
    bool scrolls;      // controls that need more room than a small tile: a scrolled view
    QWidget* (*make)(const ViewServices& services);
    bool onDemand = false;  // opened from the main frame, closable, never tiled
};

// The home windows in the order they are opened at start-up, then those opened on demand.
std::span<const MonitorWindowType> MonitorWindowTypes();
const MonitorWindowType& MonitorWindowOf(WindowType type);

// The order of the clear messages and of tiling: navigation command first, track last.
const std::array<WindowType, kWindowTypeCount>& ClearOrder();

// A child window's place under the connection bar: left, top, width, height.
struct HomeRect {
    int left, top, width, height;
    bool operator==(const HomeRect&) const = default;
};

// The two left columns split in halves, the right one in thirds, for a client area of
// `width` by `height` (the height without the bars). A window opened on demand floats
// in the middle of the area, over the tiles.
HomeRect HomeRectOf(WindowType type, int width, int height);

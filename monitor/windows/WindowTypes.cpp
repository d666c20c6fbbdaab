#include "monitor/windows/WindowTypes.h"

#include <algorithm>

#include "monitor/windows/ConsoleView.h"
#include "monitor/windows/FixModeView.h"
#include "monitor/windows/NaviCmdView.h"
#include "monitor/windows/NmeaInfoView.h"
#include "monitor/windows/SatelliteTableView.h"
#include "monitor/windows/SignalView.h"
#include "monitor/windows/SkyView.h"
#include "monitor/windows/TrackView.h"
#include "monitor/windows/VelocityView.h"

namespace {

QWidget* MakeNmeaInfo(const ViewServices& s) { return new CNmeaInfoView(s.notice); }
QWidget* MakeNaviCmd(const ViewServices& s) { return new CNaviCmdView(s.notifier, s.activeLink); }
QWidget* MakeTrack(const ViewServices& s) { return new CTrackView(s.notifier); }
QWidget* MakeConsole(const ViewServices& s) { return new CConsoleView(s.linkStatus); }
template <typename View>
QWidget* Make(const ViewServices&) {
    return new View;
}

int Clear(WindowType type) { return LinkWindowOf(type).clearMessage; }

// A floating window's size at most: a console line of a long sentence, a table of two
// dozen rows.
constexpr int kFloatingWidth = 900, kFloatingHeight = 560, kFloatingStep = 40;

}  // namespace

std::span<const MonitorWindowType> MonitorWindowTypes() {
    using W = WindowType;
    static const MonitorWindowType kTypes[] = {
        {W::FixMode, "Fix mode", Clear(W::FixMode), 5, {2, 2, 3}, false, Make<CFixModeView>},
        {W::Velocity, "Velocity", Clear(W::Velocity), 2, {2, 0, 3}, false, Make<CVelocityView>},
        {W::NmeaInfo, "NMEA info", Clear(W::NmeaInfo), 4, {1, 1, 2}, false, MakeNmeaInfo},
        {W::Signal, "Signal", Clear(W::Signal), 1, {2, 1, 3}, false, Make<CSignalView>},
        {W::SkyView, "Sky view", Clear(W::SkyView), 3, {0, 1, 2}, false, Make<CSkyViewView>},
        {W::NavigationCommand, "navi CMD", Clear(W::NavigationCommand), 0, {0, 0, 2}, true, MakeNaviCmd},
        {W::Track, "Track", Clear(W::Track), 6, {1, 0, 2}, false, MakeTrack},
        {W::SatelliteTable, "Satellites", Clear(W::SatelliteTable), 7, {}, false, Make<CSatelliteTableView>, true},
        {W::Console, "Console", Clear(W::Console), 8, {}, false, MakeConsole, true},
    };
    static_assert(std::size(kTypes) == kWindowTypeCount);
    return kTypes;
}

const MonitorWindowType& MonitorWindowOf(WindowType type) {
    for (const MonitorWindowType& row : MonitorWindowTypes())
        if (row.type == type) return row;
    return MonitorWindowTypes().front();
}

const std::array<WindowType, kWindowTypeCount>& ClearOrder() {
    static const std::array<WindowType, kWindowTypeCount> kOrder = [] {
        std::array<WindowType, kWindowTypeCount> order{};
        for (const MonitorWindowType& row : MonitorWindowTypes()) order[static_cast<std::size_t>(row.clearOrder)] = row.type;
        return order;
    }();
    return kOrder;
}

HomeRect HomeRectOf(WindowType type, int width, int height) {
    if (type == WindowType::None) return {};
    if (MonitorWindowOf(type).onDemand) {
        // Each a step down and right of the one before, so that none hides another.
        int step = 0;
        for (const MonitorWindowType& row : MonitorWindowTypes()) {
            if (row.type == type) break;
            if (row.onDemand) step += kFloatingStep;
        }
        const int w = std::min(width * 3 / 4, kFloatingWidth), h = std::min(height * 3 / 4, kFloatingHeight);
        return {std::max(0, (width - w) / 2 - kFloatingStep + step), std::max(0, (height - h) / 2 - kFloatingStep + step), w, h};
    }
    const HomeCell cell = MonitorWindowOf(type).home;
    const int column = (width - 2) / 3;
    // Halves leave three pixels for the frames' borders, thirds two.
    const int rowHeight = (height - (cell.rows == 2 ? 3 : 2)) / cell.rows;
    return {cell.column * column, cell.row * rowHeight, column, rowHeight};
}

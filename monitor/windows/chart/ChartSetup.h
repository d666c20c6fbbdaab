// What a chart looks like before the program touches it: series kinds, axes, colours,
// dial scales. Each chart of the monitor's windows has one setup, made by the functions
// at the end; a window builds its `CTChart` from it and then drives only the
// operations of `CTChart`.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "monitor/windows/chart/ChartMath.h"

namespace chart {

constexpr uint32_t kBlack = ColourRef(0, 0, 0);
constexpr uint32_t kWhite = ColourRef(255, 255, 255);

inline QColor ToQColor(uint32_t colourRef) {
    const Rgb c = RgbOf(colourRef);
    return {c.red, c.green, c.blue};
}

enum class AxisId { Left, Bottom, Right };
enum class SeriesKind { Points, Bars, Gauge };

struct AxisSetup {
    bool visible = true;
    QString title;
    bool boldTitle = true;
    uint32_t colour = kBlack;  // title, labels, ticks
    Range range{0, 10};
    bool automatic = false;  // range follows the data: FollowData, or FitSlots for bars
    bool labelsFromPoints = false;  // tick labels are the label texts of the points
    double labelStep = 0;           // 0: the plot chooses
    int minorTicks = 4;
    bool grid = true;
    QString labelFont;  // empty: the widget's font
    double labelRotation = 0;  // degrees; -90 stands labels up, reading upwards
    bool wholeNumbers = false;  // labels without decimals or powers of ten
    bool innerTicks = true;     // false: ticks point out of the plot
    int tickLength = 5;
};

struct SeriesSetup {
    SeriesKind kind = SeriesKind::Points;
    AxisId valueAxis = AxisId::Left;  // the key axis is always the bottom one
    int pointSize = 1;                // points: a square 2 * pointSize + 1 pixels wide
    bool outline = true;              // points drawn with a darker rim
    bool valueMarks = false;          // bars: their value written above them
    double barWidth = 0.8;            // bars: share of the slot between two keys
};

enum class HandStyle { Needle, DottedWithBall };

struct GaugeSetup {
    DialScale scale;
    double labelStep = 20;
    int minorTicks = 4;  // between two labelled ticks
    uint32_t labelColour = kBlack;
    int labelPixelSize = 16;
    uint32_t tickColour = kBlack;
    int tickLength = 14;
    int tickWidth = 2;
    int minorTickLength = 6;
    bool axisLine = true;  // the arc along the ticks
    HandStyle hand = HandStyle::Needle;
    int handDistance = 0;  // how far short of the ticks the hand ends
    int centreCircle = 8;  // radius, 0: none
    int centreCross = 0;   // arm length from the centre, 0: none
    // Unset: turning the dial (SetRotationAngle) turns its ticks and labels with the
    // hand. Set: the card stays with its minimum there (degrees as `rotationDeg`) and a
    // turn moves only the hand, as on a compass whose card stands north up.
    std::optional<double> fixedCardRotationDeg;
    bool silverDial = true;
    uint32_t footColour = kBlack;
    int footPixelSize = 16;
};

// The colour the Signal window gives satellites that are not in the fix.
constexpr uint32_t kNeutralColour = ColourRef(160, 160, 160);

struct CursorSetup {
    bool present = false;
    uint32_t colour = ColourRef(0, 0, 255);
    int size = 5;  // circle radius in pixels
};

struct ChartSetup {
    SeriesKind kind = SeriesKind::Points;  // Points and Bars are plots, Gauge is a dial
    AxisSetup left;
    AxisSetup bottom;
    AxisSetup right = [] {
        AxisSetup hidden;
        hidden.visible = false;
        return hidden;
    }();
    std::vector<SeriesSetup> series;
    GaugeSetup gauge;
    CursorSetup cursor;
    uint32_t background = kWhite;
    uint32_t neutral = kNeutralColour;
    bool horizontalPanZoom = false;  // the user may drag and wheel the bottom axis
};

// The monitor's six charts.
ChartSetup FixModeChart();    // fix type on the left, fix quality on the right, against samples
ChartSetup SignalChart();     // C/N0 bars
ChartSetup SpeedDialKmh();    // 270-degree dial up to 160 km/h
ChartSetup CompassDial();     // 360-degree dial turned by the program
ChartSetup SpeedDialMs();     // 270-degree dial up to 50 m/s
ChartSetup TrackChart();      // reference, newest position and history in metres

}  // namespace chart

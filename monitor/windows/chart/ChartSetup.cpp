#include "monitor/windows/chart/ChartSetup.h"

namespace chart {

namespace {

constexpr uint32_t kBlue = ColourRef(0, 0, 255);
constexpr uint32_t kGreen = ColourRef(0, 128, 0);
constexpr uint32_t kTeal = ColourRef(0, 128, 128);
// Fix types sit at heights 1-3, qualities at 4-10: both strips share one scale.
constexpr Range kFixStripRange{0, 11};

AxisSetup MakeAxis(const QString& title, Range range, double labelStep, int minorTicks) {
    AxisSetup a;
    a.title = title;
    a.range = range;
    a.labelStep = labelStep;
    a.minorTicks = minorTicks;
    return a;
}

// A strip of named states: labels from the points, no grid, no minor ticks.
AxisSetup StateAxis(const QString& title, uint32_t colour) {
    AxisSetup a = MakeAxis(title, kFixStripRange, 0, 0);
    a.colour = colour;
    a.labelsFromPoints = true;
    a.grid = false;
    return a;
}

SeriesSetup PointSeries(AxisId valueAxis, int pointSize, bool outline) {
    SeriesSetup s;
    s.kind = SeriesKind::Points;
    s.valueAxis = valueAxis;
    s.pointSize = pointSize;
    s.outline = outline;
    return s;
}

ChartSetup Dial(DialScale scale, double labelStep, int minorTicks) {
    ChartSetup c;
    c.kind = SeriesKind::Gauge;
    c.series.resize(1);
    c.series[0].kind = SeriesKind::Gauge;
    c.gauge.scale = scale;
    c.gauge.labelStep = labelStep;
    c.gauge.minorTicks = minorTicks;
    return c;
}

}  // namespace

ChartSetup FixModeChart() {
    ChartSetup c;
    c.kind = SeriesKind::Points;
    c.bottom = MakeAxis("Time", {0, 100}, 1, 4);
    c.bottom.wholeNumbers = true;
    c.bottom.innerTicks = false;
    c.left = StateAxis("Fix Mode", kBlue);
    c.right = StateAxis("Fix Quality", kGreen);
    c.right.tickLength = 2;
    c.horizontalPanZoom = true;
    c.series = {PointSeries(AxisId::Left, 1, false), PointSeries(AxisId::Right, 1, false)};
    return c;
}

ChartSetup SignalChart() {
    ChartSetup c;
    c.kind = SeriesKind::Bars;
    c.bottom = MakeAxis("PRN", {-0.5, 11.5}, 0, 0);
    c.bottom.automatic = true;
    c.bottom.labelsFromPoints = true;
    c.bottom.grid = false;
    c.bottom.labelFont = "DotumChe";
    // Thirty satellites' names such as "Q193" do not fit side by side under their bars.
    c.bottom.labelRotation = -90;
    c.left = MakeAxis("C/No", {0, 60}, 10, 4);
    SeriesSetup bars;
    bars.kind = SeriesKind::Bars;
    bars.valueMarks = true;
    bars.barWidth = 0.8;
    c.series = {bars};
    // Light enough to stand apart from QZSS's dark grey in the fix.
    c.neutral = ColourRef(200, 200, 200);
    return c;
}

ChartSetup SpeedDialKmh() {
    ChartSetup c = Dial({0, 160, 270, 225}, 20, 4);
    c.gauge.labelColour = kTeal;
    return c;
}

ChartSetup CompassDial() {
    ChartSetup c = Dial({0, 360, 360, 80}, 30, 14);
    // The card stands north up (0 at twelve o'clock, degrees clockwise) and the window
    // turns only the hand onto the heading, so that the hand points at the heading's
    // own number: a card turned with it would put 0 under the hand whatever the course.
    c.gauge.fixedCardRotationDeg = 90;
    c.gauge.labelPixelSize = 14;
    c.gauge.minorTickLength = 4;
    c.gauge.axisLine = false;
    c.gauge.hand = HandStyle::DottedWithBall;
    c.gauge.handDistance = 10;
    c.gauge.centreCircle = 0;
    c.gauge.centreCross = 20;
    c.gauge.silverDial = false;
    return c;
}

ChartSetup SpeedDialMs() {
    ChartSetup c = Dial({0, 50, 270, 225}, 5, 4);
    c.gauge.labelColour = kTeal;
    return c;
}

ChartSetup TrackChart() {
    ChartSetup c;
    c.kind = SeriesKind::Points;
    c.left = MakeAxis("", {-10, 10}, 1, 0);
    c.bottom = MakeAxis("", {-10, 10}, 1, 0);
    c.series = {PointSeries(AxisId::Left, 3, true), PointSeries(AxisId::Left, 2, false),
                PointSeries(AxisId::Left, 2, false)};
    c.cursor.present = true;
    c.cursor.colour = kBlue;
    c.cursor.size = 5;
    return c;
}

}  // namespace chart

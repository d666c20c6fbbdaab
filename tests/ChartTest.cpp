// The chart component: its arithmetic without a window, then each kind of chart on the
// offscreen platform, driven the way the monitor's windows drive it. Pictures of every
// chart go to the build tree.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QDir>
#include <QImage>
#include <cmath>
#include <qcustomplot.h>

#include "monitor/windows/chart/CTChart.h"
#include "monitor/windows/chart/ChartMath.h"
#include "monitor/windows/chart/ChartSetup.h"
#include "tests/support/GuiTestSupport.h"

using chart::AxisId;
using chart::ColourRef;
using chart::DialScale;
using chart::Range;

namespace {

void Picture(QWidget& w, const QString& name) {
    if (!testsupport::kPaint) return;
    QDir().mkpath(PICTURES_DIR);
    w.grab().save(QString(PICTURES_DIR) + "/" + name + ".png");
}

// Points as the plot holds them, over every drawing of every series.
int PlottedPoints(const CTChart& c) {
    int n = 0;
    for (int i = 0; i < c.Plot()->graphCount(); ++i) n += c.Plot()->graph(i)->dataCount();
    return n;
}

// The colour on screen at a point of the chart, as the widget paints itself (from its
// layers' pictures, which is what an append updates).
QColor ScreenColour(CTChart& c, double x, double y, AxisId valueAxis = AxisId::Left) {
    const QImage image = c.grab().toImage();
    QCPAxis* value = valueAxis == AxisId::Right ? c.Plot()->yAxis2 : c.Plot()->yAxis;
    const QPoint at(qRound(c.Plot()->xAxis->coordToPixel(x)), qRound(value->coordToPixel(y)));
    return image.pixelColor(at);
}

constexpr uint32_t kRed = 0x000000FF;
constexpr uint32_t kGreen = 0x00008000;
constexpr uint32_t kBlue = 0x00FF0000;
constexpr uint32_t kPurple = 0x00800080;

const DialScale kKmhDial{0, 160, 270, 225};

}  // namespace

// ---- colour values ----

TEST(ChartColour, RedLivesInTheLowByte) {
    EXPECT_EQ(ColourRef(255, 0, 0), 0x000000FFu);
    EXPECT_EQ(ColourRef(0, 128, 0), 0x00008000u);
    EXPECT_EQ(ColourRef(0, 0, 255), 0x00FF0000u);
    EXPECT_EQ(ColourRef(105, 105, 105), 0x00696969u);
}

TEST(ChartColour, TopByteIsIgnoredWhenSplit) {
    EXPECT_EQ(chart::RgbOf(0x00804020), (chart::Rgb{0x20, 0x40, 0x80}));
    EXPECT_EQ(chart::RgbOf(0xFF0000FF), (chart::Rgb{255, 0, 0}));
}

// ---- dials ----

TEST(DialScale, SpeedDialRunsClockwiseFromLowerLeft) {
    EXPECT_DOUBLE_EQ(chart::NeedleAngleDeg(kKmhDial, 0), 225);
    EXPECT_DOUBLE_EQ(chart::NeedleAngleDeg(kKmhDial, 80), 90);
    EXPECT_DOUBLE_EQ(chart::NeedleAngleDeg(kKmhDial, 160), -45);
}

TEST(DialScale, ValuesBeyondTheScaleStopAtItsEnds) {
    EXPECT_DOUBLE_EQ(chart::NeedleAngleDeg(kKmhDial, 180), -45);
    EXPECT_DOUBLE_EQ(chart::NeedleAngleDeg(kKmhDial, -3), 225);
}

TEST(DialScale, RotationMovesTheMinimum) {
    // A compass turned for a heading of 359.99: 90 - 359 degrees.
    EXPECT_DOUBLE_EQ(chart::NeedleAngleDeg({0, 360, 360, -269}, 0), -269);
    EXPECT_DOUBLE_EQ(chart::NeedleAngleDeg({0, 360, 360, 90}, 90), 0);
}

TEST(DialScale, LabelsReachTheMaximumOnAnArc) {
    double v[64];
    ASSERT_EQ(chart::LabelValues(kKmhDial, 20, v, 64), 9);
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[8], 160);
    ASSERT_EQ(chart::LabelValues({0, 50, 270, 225}, 5, v, 64), 11);
    EXPECT_EQ(v[10], 50);
}

TEST(DialScale, FullCircleLeavesOutTheLabelOnTopOfTheFirst) {
    double v[64];
    ASSERT_EQ(chart::LabelValues({0, 360, 360, 90}, 30, v, 64), 12);
    EXPECT_EQ(v[11], 330);
}

TEST(DialScale, SmallStepsDoNotDriftPastTheEnd) {
    double v[64];
    ASSERT_EQ(chart::LabelValues({0, 1, 270, 225}, 0.1, v, 64), 11);
    EXPECT_NEAR(v[10], 1.0, 1e-12);
    EXPECT_EQ(chart::LabelValues({0, 1, 270, 225}, 0.1, v, 4), 4);
    EXPECT_EQ(chart::LabelValues({0, 1, 270, 225}, 0, v, 64), 0);
}

// ---- axes ----

TEST(AxisScroll, UncheckedScrollMovesByTheWholeOffset) {
    EXPECT_EQ(chart::ScrollRange({0, 10100}, 100, false, {0, 10100}), (Range{100, 10200}));
    EXPECT_EQ(chart::ScrollRange({0, 10}, -20, false, {0, 10}), (Range{-20, -10}));
}

TEST(AxisScroll, CheckedScrollStopsAtTheData) {
    EXPECT_EQ(chart::ScrollRange({0, 10}, 10, true, {0, 15}), (Range{5, 15}));
    EXPECT_EQ(chart::ScrollRange({5, 15}, -10, true, {0, 20}), (Range{0, 10}));
    EXPECT_EQ(chart::ScrollRange({0, 10}, 3, true, {0, 20}), (Range{3, 13}));
}

TEST(AxisScroll, CheckedScrollNeverMovesBackwards) {
    // The range already shows past the data's end: scrolling on does nothing.
    EXPECT_EQ(chart::ScrollRange({0, 10}, 5, true, {0, 8}), (Range{0, 10}));
    EXPECT_EQ(chart::ScrollRange({0, 10}, -5, true, {2, 8}), (Range{0, 10}));
}

TEST(AxisFollow, DataInsideTheRangeLeavesItAlone) {
    EXPECT_EQ(chart::FollowData({0, 10}, {1, 9}), (Range{0, 10}));
    EXPECT_EQ(chart::FollowData({0, 10}, {0, 10}), (Range{0, 10}));
}

TEST(AxisFollow, AnEmptyRangeStartsAtTheFirstValue) {
    EXPECT_EQ(chart::FollowData({0, 0}, {0, 0}), (Range{0, 1}));
    EXPECT_EQ(chart::FollowData({0, 0}, {50, 250}), (Range{50, 270}));
}

TEST(AxisFollow, GrowsWithRoomOnlyOnTheSideTheDataLeft) {
    EXPECT_EQ(chart::FollowData({0, 10}, {0, 12}), (Range{0, 13.2}));
    EXPECT_EQ(chart::FollowData({0, 10}, {-5, 10}), (Range{-6.5, 10}));
    EXPECT_EQ(chart::FollowData({0, 2}, {0, 3}), (Range{0, 4}));  // at least one unit
}

TEST(AxisFollow, BarsKeepHalfASlotAndAMinimumCount) {
    EXPECT_EQ(chart::FitSlots({0, 3}, 12), (Range{-0.5, 11.5}));
    EXPECT_EQ(chart::FitSlots({0, 20}, 12), (Range{-0.5, 20.5}));
}

// ---- charts on the offscreen platform ----

TEST(BarChart, HoldsTheBarsInOrderWithTheirLabelsAndClears) {
    CTChart c(chart::SignalChart());
    c.resize(640, 320);
    c.show();
    const uint32_t neutral = c.NeutralColour();
    const struct {
        const char* label;
        double cn0;
        uint32_t colour;
    } bars[] = {{"G5", 41, kBlue},   {"G12", 45, kBlue}, {"G29", 22, neutral}, {"Q194", 38, ColourRef(105, 105, 105)},
                {"S42", 33, kPurple}, {"B7", 40, ColourRef(255, 255, 0)}, {"E11", 36, ColourRef(0, 255, 0)},
                {"R65", 30, kRed},   {"R70", 27, neutral}};
    int x = 0;
    for (const auto& b : bars) {
        EXPECT_EQ(c.AddXY(0, x, b.cn0, b.label, b.colour), x);
        ++x;
    }
    c.Refresh();
    ASSERT_EQ(c.Points(0).size(), 9u);
    EXPECT_EQ(c.Points(0)[2].label, "G29");
    EXPECT_EQ(c.Points(0)[2].colour, neutral);
    EXPECT_EQ(c.TickLabel(AxisId::Bottom, 8), "R70");
    EXPECT_EQ(c.AxisRange(AxisId::Bottom), (Range{-0.5, 11.5}));
    EXPECT_EQ(c.AxisRange(AxisId::Left), (Range{0, 60}));
    Picture(c, "chart_bars");

    c.Clear(0);
    c.AddXY(0, 0, 44, "G2", kBlue);
    c.Refresh();
    ASSERT_EQ(c.Points(0).size(), 1u);
    EXPECT_EQ(c.TickLabel(AxisId::Bottom, 0), "G2");
    EXPECT_EQ(c.TickLabel(AxisId::Bottom, 8), "");
}

TEST(BarChart, NeutralColourDiffersFromEveryConstellation) {
    CTChart c(chart::SignalChart());
    for (uint32_t colour : {kBlue, ColourRef(105, 105, 105), ColourRef(0, 255, 0), kRed, ColourRef(255, 255, 0), kPurple}) {
        EXPECT_NE(c.NeutralColour(), colour);
    }
}

TEST(PointChart, FixModeTimeLineFollowsSamplesThenScrolls) {
    CTChart c(chart::FixModeChart());
    c.resize(800, 300);
    c.show();
    // What the window does on a clear, then one sample per cycle.
    c.SetMinMax(AxisId::Bottom, 0, 0);
    c.Clear(0);
    c.Clear(1);
    c.SetAutomatic(AxisId::Bottom, true);
    const char* types[] = {"No Fix", "2D", "3D"};
    const char* qualities[] = {"Invalid", "SPS", "DGPS"};
    for (int n = 0; n < 600; ++n) {
        const int type = n < 40 ? 1 : n < 90 ? 2 : 3;
        const int quality = n < 40 ? 0 : n < 300 ? 1 : 2;
        c.AddXY(0, n, type, types[type - 1], kBlue);
        c.AddXY(1, n, quality + 4, qualities[quality], kGreen);
    }
    c.Refresh();
    EXPECT_EQ(c.Points(0).size(), 600u);
    EXPECT_EQ(c.Points(1).back().label, "DGPS");
    EXPECT_EQ(PlottedPoints(c), 1200);
    const Range time = c.AxisRange(AxisId::Bottom);
    EXPECT_EQ(time.min, 0);
    EXPECT_GE(time.max, 599);
    EXPECT_EQ(c.AxisRange(AxisId::Left), (Range{0, 11}));
    EXPECT_EQ(c.TickLabel(AxisId::Left, 1), "No Fix");
    EXPECT_EQ(c.TickLabel(AxisId::Left, 3), "3D");
    EXPECT_EQ(c.TickLabel(AxisId::Right, 5), "SPS");
    EXPECT_EQ(c.TickLabel(AxisId::Left, 5), "");  // qualities belong to the right axis
    Picture(c, "chart_points_fixmode");

    c.Scroll(AxisId::Bottom, 100, false);
    c.AddXY(0, 600, 3, "3D", kBlue);
    c.Refresh();
    EXPECT_FALSE(c.IsAutomatic(AxisId::Bottom));
    EXPECT_EQ(c.AxisRange(AxisId::Bottom), (Range{time.min + 100, time.max + 100}));
    EXPECT_EQ(c.Plot()->xAxis->range().lower, time.min + 100);

    // A drag by hand along the time axis stays where the user let go.
    c.Plot()->xAxis->setRange(50, 150);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(c.Plot(), &release);
    c.AddXY(0, 601, 3, "3D", kBlue);
    c.Refresh();
    EXPECT_EQ(c.AxisRange(AxisId::Bottom), (Range{50, 150}));
    EXPECT_EQ(c.Plot()->xAxis->numberFormat(), "f");  // sample 1000000 is no 1e+06
}

TEST(PointChart, CheckedScrollStopsAtTheNewestPoint) {
    CTChart c(chart::FixModeChart());
    for (int n = 0; n <= 50; ++n) c.AddXY(0, n, 3, "3D", kBlue);
    c.SetMinMax(AxisId::Bottom, 0, 20);
    c.Scroll(AxisId::Bottom, 100, true);
    c.Refresh();
    EXPECT_EQ(c.AxisRange(AxisId::Bottom), (Range{30, 50}));
    EXPECT_EQ(c.Plot()->xAxis->range().upper, 50);
}

TEST(PointChart, ClearAfterAClearedRangeStartsAtZero) {
    CTChart c(chart::FixModeChart());
    c.SetMinMax(AxisId::Bottom, 0, 0);
    c.SetAutomatic(AxisId::Bottom, true);
    c.Refresh();
    EXPECT_EQ(c.AxisRange(AxisId::Bottom), (Range{0, 0}));  // nothing yet to follow
    c.AddXY(0, 0, 1, "No Fix", kBlue);
    c.Refresh();
    EXPECT_EQ(c.AxisRange(AxisId::Bottom), (Range{0, 1}));
}

TEST(PointChart, PointsSurviveTheMoveFromTheNewestLayerToTheHistory) {
    CTChart c(chart::FixModeChart());
    for (int n = 0; n < 1000; ++n) {
        c.AddXY(0, n, 3, "3D", kBlue);
        if (n % 7 == 0) c.Refresh();  // every pattern of appends between repaints
    }
    c.Refresh();
    EXPECT_EQ(PlottedPoints(c), 1000);
    c.Clear(0);
    c.Refresh();
    EXPECT_EQ(PlottedPoints(c), 0);
    for (int n = 0; n < 5; ++n) c.AddXY(0, n, 2, "2D", kRed);
    c.Clear(0);
    c.AddXY(0, 0, 2, "2D", kRed);
    c.Refresh();
    EXPECT_EQ(PlottedPoints(c), 1);
}

// ---- bounded series ----

TEST(SeriesCapacity, GrowsAnEighthPastTheCapacityThenCutsBackToIt) {
    EXPECT_EQ(chart::PointsToDrop(1000000, 0), 0u) << "no capacity: every point stays";
    EXPECT_EQ(chart::PointsToDrop(89, 80), 0u);
    EXPECT_EQ(chart::PointsToDrop(90, 80), 10u);
    EXPECT_EQ(chart::PointsToDrop(80, 80), 0u);
    // Below eight the slack is one point: the series is cut on every point past it.
    EXPECT_EQ(chart::PointsToDrop(5, 5), 0u);
    EXPECT_EQ(chart::PointsToDrop(6, 5), 1u);
    EXPECT_EQ(chart::PointsToDrop(1, 1), 0u);
    EXPECT_EQ(chart::PointsToDrop(2, 1), 1u);
}

TEST(SeriesCapacity, KeepsTheNewestPointsInOrderAndDrawsOnlyThem) {
    CTChart c(chart::FixModeChart());
    c.resize(800, 300);
    c.show();
    c.SetMinMax(AxisId::Bottom, 0, 0);
    c.SetAutomatic(AxisId::Bottom, true);
    c.SetCapacity(0, 80);
    for (int n = 0; n < 89; ++n) c.AddXY(0, n, 3, "3D", n % 2 ? kBlue : kRed);
    c.Refresh();
    EXPECT_EQ(c.Points(0).size(), 89u) << "within the slack nothing is dropped";
    EXPECT_EQ(PlottedPoints(c), 89);
    c.AddXY(0, 89, 2, "2D", kBlue);
    c.Refresh();
    ASSERT_EQ(c.Points(0).size(), 80u);
    EXPECT_EQ(c.Points(0).front().x, 10);
    EXPECT_EQ(c.Points(0).back().x, 89);
    EXPECT_EQ(c.Points(0).back().label, "2D");
    EXPECT_EQ(PlottedPoints(c), 80) << "both colours' drawings hold only the points kept";
    EXPECT_EQ(c.AxisRange(AxisId::Bottom).min, 10) << "the time axis follows from the oldest point kept";
    EXPECT_GE(c.AxisRange(AxisId::Bottom).max, 89);
    EXPECT_EQ(c.TickLabel(AxisId::Left, 2), "2D");
    // Appends after the cut draw on top as before, and a clear empties the series.
    for (int n = 90; n < 95; ++n) c.AddXY(0, n, 3, "3D", kBlue);
    c.Refresh();
    EXPECT_EQ(PlottedPoints(c), 85);
    EXPECT_EQ(ScreenColour(c, 94, 3), QColor(0, 0, 255));
    c.Clear(0);
    c.Refresh();
    EXPECT_EQ(PlottedPoints(c), 0);
    // Lowering the capacity below what the series holds cuts at once.
    for (int n = 0; n < 50; ++n) c.AddXY(0, n, 1, "No Fix", kBlue);
    c.SetCapacity(0, 20);
    EXPECT_EQ(c.Points(0).size(), 20u);
    EXPECT_EQ(c.Points(0).front().x, 30);
}

TEST(SeriesCapacity, BarsTakeNoCapacityAndKeepTheirValuesThroughClears) {
    CTChart c(chart::SignalChart());
    c.resize(640, 320);
    c.show();
    c.SetCapacity(0, 2);
    // A sky drawn again many times: its value marks are used again, not made anew.
    for (int round = 0; round < 50; ++round) {
        c.Clear(0);
        for (int x = 0; x < 5; ++x) c.AddXY(0, x, 30 + x + round % 3, "G" + QString::number(x + 1), kBlue);
        c.Refresh();
    }
    EXPECT_EQ(c.Points(0).size(), 5u);
    int shown = 0;
    for (int i = 0; i < c.Plot()->itemCount(); ++i) shown += c.Plot()->item(i)->visible();
    EXPECT_EQ(shown, 5) << "one value over each bar";
    EXPECT_LE(c.Plot()->itemCount(), 5);
}

TEST(PointChart, ANewPointIsPaintedWithoutAFullReplot) {
    CTChart c(chart::TrackChart());
    c.resize(400, 400);
    c.show();
    c.SetMinMax(AxisId::Left, -10, 10);
    c.SetMinMax(AxisId::Bottom, -10, 10);
    c.Refresh();
    QApplication::processEvents();
    // A point appended now goes only onto the newest layer; it must still reach the screen.
    c.AddXY(2, 5, 5, "", kGreen);
    c.Refresh();
    EXPECT_EQ(ScreenColour(c, 5, 5), QColor(0, 128, 0));
}

TEST(PointChart, PointsMovedOntoTheHistoryPictureStayOnScreen) {
    CTChart c(chart::FixModeChart());
    c.resize(800, 300);
    c.show();
    c.SetMinMax(AxisId::Bottom, 0, 400);
    c.Refresh();
    QApplication::processEvents();
    // One at a time, as samples come: past 256 the older ones are painted onto the
    // history's picture instead of being replotted with it.
    for (int n = 0; n < 300; ++n) {
        c.AddXY(1, n, 7, "Fixed Integers", kGreen);
        if (n == 0) c.Refresh();  // the new tick label replots everything once
        c.AddXY(0, n, 3, "3D", kBlue);
        c.Refresh();
    }
    EXPECT_EQ(PlottedPoints(c), 600);
    EXPECT_EQ(ScreenColour(c, 10, 3), QColor(0, 0, 255));
    EXPECT_EQ(ScreenColour(c, 290, 3), QColor(0, 0, 255));
    EXPECT_EQ(ScreenColour(c, 10, 7, AxisId::Right), QColor(0, 128, 0));
    // Cleared points leave the screen, wherever they were drawn.
    c.Clear(0);
    c.Refresh();
    EXPECT_NE(ScreenColour(c, 10, 3), QColor(0, 0, 255));
    EXPECT_NE(ScreenColour(c, 290, 3), QColor(0, 0, 255));
}

TEST(PointChart, TrackKeepsItsSeriesApartAndMovesTheCursor) {
    CTChart c(chart::TrackChart());
    c.resize(420, 420);
    c.show();
    c.AddXY(0, 0, 0, "", kPurple);
    double east = 0, north = 0, r = 0;
    for (int i = 1; i <= 40; ++i) {
        if (east != 0 || north != 0) {
            c.Clear(1);
            c.AddXY(2, east, north, "", kGreen);
            c.Clear(0);
            c.AddXY(0, 0, 0, "", kPurple);
        }
        east = 3 * std::sin(i * 0.4) + 0.05 * i;
        north = 2 * std::cos(i * 0.3) - 0.1 * i;
        c.AddXY(1, east, north, "", kBlue);
        c.SetCursorX(east);
        c.SetCursorY(north);
        const double m = std::max(std::abs(east), std::abs(north));
        if (m > r) {
            r = 1.05 * m;
            c.SetMinMax(AxisId::Left, -r, r);
            c.SetMinMax(AxisId::Bottom, -r, r);
        }
    }
    c.Refresh();
    EXPECT_EQ(c.Points(0).size(), 1u);
    EXPECT_EQ(c.Points(1).size(), 1u);
    EXPECT_EQ(c.Points(2).size(), 39u);
    EXPECT_EQ(c.Points(1)[0].x, east);
    EXPECT_EQ(c.CursorPosition(), QPointF(east, north));
    EXPECT_EQ(c.AxisRange(AxisId::Bottom), (Range{-r, r}));
    EXPECT_EQ(c.Plot()->yAxis->range().upper, r);
    EXPECT_EQ(PlottedPoints(c), 41);
    Picture(c, "chart_points_track");
}

TEST(PointChart, CallsOnMissingSeriesOrDialPartsAreIgnored) {
    CTChart c(chart::TrackChart());
    EXPECT_EQ(c.AddXY(3, 1, 1, "", kRed), -1);
    EXPECT_EQ(c.Add(-1, 1, "", kRed), -1);
    c.Clear(7);
    c.SetRotationAngle(10);
    EXPECT_TRUE(c.Points(3).empty());
    EXPECT_EQ(c.Add(0, 4, "", kRed), 0);  // a plot takes a value at the next whole key
    EXPECT_EQ(c.Add(0, 6, "", kRed), 1);
    EXPECT_EQ(c.Points(0)[1].x, 1);
}

TEST(Gauge, SpeedDialShowsTheLastValueAndItsFoot) {
    CTChart c(chart::SpeedDialKmh());
    c.resize(300, 330);
    if (testsupport::kPaint) c.show();  // dials paint through Qt's image threads
    c.Add(0, 30, "", kRed);
    c.Add(0, 80, "", kRed);
    c.SetFootText(QString::asprintf("%.04f Km/h", 80.0));
    EXPECT_DOUBLE_EQ(c.NeedleAngleDeg(), 90);
    EXPECT_EQ(c.Points(0).size(), 1u);
    EXPECT_EQ(c.FootText(), "80.0000 Km/h");
    c.Add(0, 123.4, "", kRed);
    c.SetFootText(QString::asprintf("%.04f Km/h", 123.4));
    Picture(c, "chart_gauge_kmh");
    c.Add(0, 180, "", kRed);
    EXPECT_DOUBLE_EQ(c.NeedleAngleDeg(), -45);
    c.Clear(0);
    EXPECT_DOUBLE_EQ(c.NeedleAngleDeg(), 225);
    EXPECT_TRUE(c.Points(0).empty());
}

TEST(Gauge, CompassTurnsByItsRotationAngle) {
    CTChart c(chart::CompassDial());
    c.resize(300, 330);
    if (testsupport::kPaint) c.show();  // dials paint through Qt's image threads
    EXPECT_DOUBLE_EQ(c.NeedleAngleDeg(), 80);  // as set up, before the first repaint
    c.SetRotationAngle(static_cast<int>(90 - 359.99));
    EXPECT_DOUBLE_EQ(c.NeedleAngleDeg(), -269);
    c.SetRotationAngle(static_cast<int>(90 - 47.5));
    c.SetFootText("47.50 NE");
    EXPECT_DOUBLE_EQ(c.NeedleAngleDeg(), 42);
    Picture(c, "chart_gauge_compass");

    CTChart ms(chart::SpeedDialMs());
    ms.resize(300, 330);
    if (testsupport::kPaint) ms.show();  // dials paint through Qt's image threads
    ms.Add(0, 50, "", kRed);
    ms.SetFootText("50.0000 m/s");
    EXPECT_DOUBLE_EQ(ms.NeedleAngleDeg(), -45);
    Picture(ms, "chart_gauge_ms");
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

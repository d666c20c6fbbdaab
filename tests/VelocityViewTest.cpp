// The speed dial and compass: texts, sectors, the compass's turn, the layout, and what
// the VTG and clear messages leave on the dials.
#include <gtest/gtest.h>

#include <QDir>
#include <QLocale>

#include "monitor/windows/VelocityView.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewMessages.h"

using namespace velocity;

namespace {

using testsupport::kPaint;

VtgRecord Vtg(float speedKmh, float courseTrue) { return {courseTrue, 0, speedKmh / 1.852f, speedKmh, 'A'}; }

void Clear(CVelocityView& view) {
    testsupport::DeliverClear(view, MonitorWindowOf(WindowType::Velocity).clearMessage);
}

double DialValue(const CTChart& dial) { return dial.Points(0).empty() ? -1 : dial.Points(0).back().y; }

}  // namespace

TEST(VelocityTexts, CompassSectorsTakeTheirBoundariesAsTheTableSays) {
    const std::pair<float, const char*> cases[] = {
        {0, "0.00 N"},          {20, "20.00 N"},      {20.01f, "20.01 NE"},   {45, "45.00 NE"},
        {70, "70.00 E"},        {110, "110.00 E"},    {110.01f, "110.01 SE"}, {160, "160.00 S"},
        {200, "200.00 S"},      {200.5f, "200.50 SW"}, {250, "250.00 W"},     {290, "290.00 W"},
        {315, "315.00 NW"},     {340, "340.00 N"},    {339.99f, "339.99 NW"}, {359.99f, "359.99 N"},
    };
    for (const auto& [heading, text] : cases) EXPECT_EQ(CompassText(heading), text) << heading;
}

TEST(VelocityTexts, CompassTurnsByNinetyLessTheHeadingCutTowardZero) {
    const std::pair<float, int> cases[] = {{0, 90}, {90, 0}, {45.7f, 44}, {100.5f, -10}, {180, -90}, {359.99f, -269}};
    for (const auto& [heading, rotation] : cases) EXPECT_EQ(CompassRotation(heading), rotation) << heading;
}

TEST(VelocityTexts, SpeedIsLimitedAndWrittenWithAPointInAnyLocale) {
    EXPECT_EQ(LimitedSpeedKmh(200), 180);
    EXPECT_EQ(LimitedSpeedKmh(179.5f), 179.5f);
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(SpeedKmhText(12.34f), "12.3400 Km/h");
    EXPECT_EQ(SpeedMsText(3.5f), "3.5000 m/s");
    EXPECT_EQ(CompassText(45.5f), "45.50 NE");
    QLocale::setDefault(before);
}

TEST(VelocityLayout, TwoSquaresSideBySideCentredInTheWindow) {
    struct Case {
        int width, height;
        QRect speed, compass;
    } cases[] = {
        {400, 400, {0, 100, 200, 200}, {200, 100, 200, 200}},  // tall: halves, centred down
        {300, 151, {0, 1, 150, 150}, {150, 1, 150, 150}},
        {600, 200, {50, 0, 200, 200}, {350, 0, 200, 200}},    // wide: height squares, centred across
        {401, 100, {51, 0, 100, 100}, {252, 0, 100, 100}},    // half = 201
        {400, 200, {0, 0, 200, 200}, {200, 0, 200, 200}},
    };
    for (const Case& k : cases)
        EXPECT_EQ(PlaceGauges(k.width, k.height), (GaugePlaces{k.speed, k.compass})) << k.width << "x" << k.height;
}

TEST(VelocityView, StartsAtZeroWithTheMsDialHidden) {
    CVelocityView view;
    view.resize(600, 200);
    view.show();
    EXPECT_EQ(DialValue(view.SpeedDial()), 0);
    EXPECT_EQ(view.SpeedDial().FootText(), "0.0000 Km/h");
    EXPECT_EQ(view.Compass().FootText(), "0.00 N");
    EXPECT_DOUBLE_EQ(view.Compass().NeedleAngleDeg(), 90);  // north up
    EXPECT_FALSE(view.SpeedDialMs().isVisible());
    EXPECT_EQ(view.SpeedDial().geometry(), QRect(50, 0, 200, 200));
    EXPECT_EQ(view.Compass().geometry(), QRect(350, 0, 200, 200));
    const QRect msPlace = view.SpeedDialMs().geometry();
    view.resize(300, 500);
    EXPECT_EQ(view.SpeedDial().geometry(), QRect(0, 175, 150, 150));
    EXPECT_EQ(view.SpeedDialMs().geometry(), msPlace) << "never laid out";
}

TEST(VelocityView, VtgSetsTheDialsAndAClearSetsThemBackToZero) {
    CVelocityView view;
    testsupport::Deliver(view, msg::kVelocityVtg, Vtg(200, 359.99f));
    EXPECT_EQ(DialValue(view.SpeedDial()), 180);
    EXPECT_EQ(view.SpeedDial().FootText(), "180.0000 Km/h");
    EXPECT_EQ(DialValue(view.SpeedDialMs()), 50);
    EXPECT_EQ(view.SpeedDialMs().FootText(), "50.0000 m/s");
    EXPECT_EQ(view.Compass().FootText(), "359.99 N");
    EXPECT_DOUBLE_EQ(view.Compass().NeedleAngleDeg(), -269) << "the compass's hand sits at its turned minimum";
    EXPECT_TRUE(view.Compass().Points(0).empty()) << "the compass gets no value";

    testsupport::Deliver(view, msg::kVelocityVtg, Vtg(36, 135.4f));
    EXPECT_EQ(view.SpeedDial().FootText(), "36.0000 Km/h");
    EXPECT_EQ(view.SpeedDialMs().FootText(), "10.0000 m/s");
    EXPECT_EQ(view.Compass().FootText(), "135.40 SE");

    Clear(view);
    EXPECT_EQ(DialValue(view.SpeedDial()), 0);
    EXPECT_EQ(DialValue(view.SpeedDialMs()), 0);
    EXPECT_EQ(view.SpeedDial().FootText(), "0.0000 Km/h");
    EXPECT_EQ(view.Compass().FootText(), "0.00 N");
    EXPECT_DOUBLE_EQ(view.Compass().NeedleAngleDeg(), 90);
}

TEST(VelocityView, PictureAtSpeed) {
    if (!kPaint) GTEST_SKIP() << "not painted under the thread sanitizer";
    CVelocityView view;
    testsupport::Deliver(view, msg::kVelocityVtg, Vtg(72.5f, 135.4f));
    QDir().mkpath(PICTURES_DIR);
    view.resize(400, 400);
    EXPECT_TRUE(view.grab().save(QString(PICTURES_DIR) + "/velocity.png"));
    view.resize(600, 250);
    EXPECT_TRUE(view.grab().save(QString(PICTURES_DIR) + "/velocity-wide.png"));
}

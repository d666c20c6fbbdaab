// The Fix mode window: heights, names and the scrolling of the time line without a
// window, then the window driven through its messages, the cost of a long session and a
// picture of a receiver getting its fix.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <qcustomplot.h>

#include "monitor/windows/FixModeView.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewMessages.h"

using chart::AxisId;
using chart::Range;

namespace {

using testsupport::kPaint;

const int kClear = MonitorWindowOf(WindowType::FixMode).clearMessage;

// One epoch: its GSA's fix type (fixmode::kNoReport: no GSA) and, when given, its GGA's
// quality.
void Sample(CFixModeView& view, char fixType, int quality = -1) {
    EpochSummary e{};
    e.hasReport = fixType != fixmode::kNoReport;
    e.fixType = fixType;
    e.hasGga = quality >= 0;
    e.gga.fixQuality = static_cast<int16_t>(quality);
    testsupport::Deliver(view, msg::kFixModeEpoch, e);
}

}  // namespace

TEST(FixTimeline, QualitiesStandAboveTheFixTypesWithTheirNames) {
    const struct {
        uint16_t quality;
        int height;
        const char* label;
    } rows[] = {{0, 4, "Invalid"}, {1, 5, "SPS"}, {4, 8, "Fixed Integers"}, {6, 10, "Estimate"},
                {7, 11, "7"},      {8, 11, "8"},  {65535, 11, "65535"}};
    for (const auto& r : rows) {
        EXPECT_EQ(fixmode::QualityHeight(r.quality), r.height) << r.quality;
        EXPECT_EQ(fixmode::QualityLabel(r.quality), r.label);
    }
    EXPECT_EQ(fixmode::FixTypeLabel(1), "No Fix");
    EXPECT_EQ(fixmode::FixTypeLabel(3), "3D");
}

TEST(FixTimeline, ScrollsEveryHundredSamplesPastTenThousand) {
    fixmode::FixTimeline t;
    std::vector<int> scrolled;
    for (int n = 0; n <= 10300; ++n)
        if (t.Take('3').scrollFirst) scrolled.push_back(n);
    EXPECT_EQ(scrolled, (std::vector<int>{10100, 10200, 10300}));
}

TEST(FixModeView, PlotsEachEpochWithTheLatestQuality) {
    CFixModeView view;
    const CTChart& chart = view.Chart();
    testsupport::DeliverClear(view, kClear);
    Sample(view, 'A');  // before any fix type and any GGA
    Sample(view, '2', 1);
    Sample(view, ' ');  // repeats 2D, and the quality
    Sample(view, '3', 7);
    Sample(view, fixmode::kNoReport, 4);  // a receiver without GSA: the quality alone
    ASSERT_EQ(chart.Points(0).size(), 4u);
    ASSERT_EQ(chart.Points(1).size(), 5u);
    EXPECT_EQ(chart.Points(1)[4].x, 4);
    EXPECT_EQ(chart.Points(1)[4].label, "Fixed Integers");
    const struct {
        double type;
        const char* typeLabel;
        double quality;
        const char* qualityLabel;
    } expected[] = {{1, "No Fix", 4, "Invalid"}, {2, "2D", 5, "SPS"}, {2, "2D", 5, "SPS"}, {3, "3D", 11, "7"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(chart.Points(0)[i].x, i);
        EXPECT_EQ(chart.Points(0)[i].y, expected[i].type);
        EXPECT_EQ(chart.Points(0)[i].label, expected[i].typeLabel);
        EXPECT_EQ(chart.Points(0)[i].colour, 0x00FF0000u);
        EXPECT_EQ(chart.Points(1)[i].x, i);
        EXPECT_EQ(chart.Points(1)[i].y, expected[i].quality);
        EXPECT_EQ(chart.Points(1)[i].label, expected[i].qualityLabel);
        EXPECT_EQ(chart.Points(1)[i].colour, 0x00008000u);
    }
    QApplication::processEvents();
    EXPECT_EQ(chart.TickLabel(AxisId::Right, 4), "Invalid");
    EXPECT_EQ(chart.TickLabel(AxisId::Left, 2), "2D");
}

TEST(FixModeView, ClearStartsAgainAtZeroWithAFollowingTimeAxis) {
    CFixModeView view;
    const CTChart& chart = view.Chart();
    testsupport::DeliverClear(view, kClear);
    for (int n = 0; n < 10100; ++n) Sample(view, '3');
    QApplication::processEvents();
    const Range before = chart.AxisRange(AxisId::Bottom);
    EXPECT_TRUE(chart.IsAutomatic(AxisId::Bottom));  // samples 10000 and 10099 did not scroll
    EXPECT_EQ(before.min, 0);
    Sample(view, '3');  // sample 10100
    EXPECT_EQ(chart.AxisRange(AxisId::Bottom), (Range{before.min + 100, before.max + 100}));
    EXPECT_FALSE(chart.IsAutomatic(AxisId::Bottom));

    testsupport::DeliverClear(view, kClear);
    EXPECT_EQ(view.SampleCount(), 0);
    EXPECT_TRUE(chart.Points(0).empty());
    EXPECT_TRUE(chart.Points(1).empty());
    EXPECT_TRUE(chart.IsAutomatic(AxisId::Bottom));
    Sample(view, '2');
    EXPECT_EQ(chart.Points(0).at(0).x, 0);
    QApplication::processEvents();
    EXPECT_EQ(chart.AxisRange(AxisId::Bottom).min, 0);
    EXPECT_GE(chart.AxisRange(AxisId::Bottom).max, 1);
}

// A day at one cycle a second: the next sample is drawn without replotting the history,
// and the chart holds the newest samples only, the latest of them included.
TEST(FixModeView, ADayOfSamplesDoesNotRedrawTheHistoryPerSample) {
    if (!kPaint) GTEST_SKIP() << "no painting under the thread sanitizer";
    CFixModeView view;
    view.resize(500, 300);
    view.show();
    testsupport::DeliverClear(view, kClear);
    for (int n = 0; n < 86400; ++n) {
        Sample(view, '3');
        if (n % 10000 == 0) QApplication::processEvents();
    }
    QApplication::processEvents();
    int fullReplots = 0;
    QObject::connect(view.Chart().Plot(), &QCustomPlot::afterReplot, [&] { ++fullReplots; });
    Sample(view, '3');  // 86400 scrolls
    QApplication::processEvents();
    EXPECT_EQ(fullReplots, 1);
    for (int n = 0; n < 20; ++n) {
        Sample(view, '3');
        QApplication::processEvents();
    }
    EXPECT_EQ(fullReplots, 1);
    for (int series : {0, 1}) {
        const auto& points = view.Chart().Points(series);
        EXPECT_GE(points.size(), fixmode::kShownSamples);
        EXPECT_LT(points.size(), fixmode::kShownSamples + fixmode::kShownSamples / 8);
        EXPECT_EQ(points.back().x, 86420);
        EXPECT_EQ(points.back().x - points.front().x + 1, static_cast<double>(points.size())) << "none missing";
    }
    EXPECT_EQ(view.SampleCount(), 86421);
}

TEST(FixModeView, PictureOfAReceiverGettingItsFix) {
    if (!kPaint) GTEST_SKIP() << "no painting under the thread sanitizer";
    CFixModeView view;
    view.resize(500, 300);
    view.show();
    testsupport::DeliverClear(view, kClear);
    for (int n = 0; n < 400; ++n) {
        Sample(view, n < 40 ? '1' : n < 90 ? '2' : '3', n < 40 ? 0 : n < 300 ? 1 : 2);
    }
    QApplication::processEvents();
    QDir().mkpath(PICTURES_DIR);
    EXPECT_TRUE(view.grab().save(QString(PICTURES_DIR) + "/fix-mode.png"));
}

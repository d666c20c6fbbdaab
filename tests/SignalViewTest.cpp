// The Signal window: the order and colours of the bars as a table of cases, then the
// window driven through its messages, and a picture of a busy sky.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <initializer_list>
#include <qcustomplot.h>

#include "monitor/windows/Legend.h"
#include "monitor/windows/SignalView.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewMessages.h"

using signalview::MergeSatellites;
using signalview::SignalBars;

namespace {

using testsupport::kPaint;

constexpr GnssSystem G = gnss::kGps, Q = gnss::kQzss, E = gnss::kGalileo, R = gnss::kGlonass, B = gnss::kBeiDou,
                     S = gnss::kSbas;
constexpr uint32_t kNeutral = 0x00A0A0A0;

struct InView {
    int prn, snr;
    GnssSystem system;
};
struct Used {
    int prn;
    GnssSystem system;
};

SatelliteViewSet ViewOf(std::initializer_list<InView> list) {
    SatelliteViewSet v{};
    for (const InView& s : list)
        v.satellites[v.count++] = {static_cast<uint16_t>(s.prn), 30, 120, static_cast<int16_t>(s.snr), s.system};
    return v;
}

UsedSatelliteSet UsedOf(std::initializer_list<Used> list) {
    UsedSatelliteSet u{};
    u.fixType = '3';
    for (const Used& s : list) {
        u.prn[u.count] = static_cast<int16_t>(s.prn);
        u.system[u.count++] = s.system;
    }
    return u;
}

// "G5:40:u": label, C/N0, u for a bar in its constellation's colour, n for neutral.
std::string Describe(const std::vector<signalview::SignalBar>& bars) {
    std::string out;
    for (const auto& b : bars)
        out += (out.empty() ? "" : " ") + b.label.toStdString() + ":" + std::to_string(static_cast<int>(b.cn0)) +
               (b.colour == kNeutral ? ":n" : ":u");
    return out;
}

struct BarCase {
    const char* legend;
    SatelliteViewSet view;
    UsedSatelliteSet used;
    const char* bars;
};

class SignalBarsTable : public testing::TestWithParam<BarCase> {};

}  // namespace

TEST_P(SignalBarsTable, DrawsTheBarsInOrder) {
    const BarCase& c = GetParam();
    EXPECT_EQ(Describe(SignalBars(MergeSatellites(c.view, c.used), kNeutral)), c.bars) << c.legend;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignalBarsTable,
    testing::Values(
        BarCase{"groups GPS, QZSS, SBAS, BeiDou, Galileo, GLONASS",
                ViewOf({{1, 31, R}, {2, 32, E}, {3, 33, B}, {120, 34, S}, {193, 35, Q}, {4, 36, G}}), UsedOf({}),
                "G4:36:n Q193:35:n S120:34:n B3:33:n E2:32:n R1:31:n"},
        BarCase{"C/N0 0 gets neither a bar nor a slot", ViewOf({{5, 40, G}, {7, 0, G}, {9, 35, G}}),
                UsedOf({{7, G}}), "G5:40:n G9:35:n"},
        BarCase{"GLONASS 70 then 65 go last, sorted", ViewOf({{70, 27, R}, {65, 30, R}, {12, 45, G}, {11, 36, E}}),
                UsedOf({{65, R}}), "G12:45:n E11:36:n R65:30:u R70:27:n"},
        BarCase{"used but not in view is absent", ViewOf({{5, 41, G}}), UsedOf({{5, G}, {6, G}}), "G5:41:u"},
        BarCase{"same number in another system is not in use", ViewOf({{10, 38, G}, {10, 29, R}}),
                UsedOf({{10, R}}), "G10:38:n R10:29:u"},
        BarCase{"equal numbers keep the record's order", ViewOf({{7, 20, G}, {3, 44, G}, {7, 21, G}}), UsedOf({}),
                "G3:44:n G7:20:n G7:21:n"},
        BarCase{"an unresolved system is left out", ViewOf({{8, 33, gnss::kUnresolved}, {8, 34, G}}), UsedOf({}),
                "G8:34:n"}));

TEST(SignalBars, UsedSatellitesTakeTheirConstellationsColour) {
    const auto bars = SignalBars(MergeSatellites(ViewOf({{1, 30, G}, {193, 30, Q}, {120, 30, S}, {2, 30, B},
                                                         {3, 30, E}, {65, 30, R}}),
                                                 UsedOf({{1, G}, {193, Q}, {120, S}, {2, B}, {3, E}, {65, R}})),
                                 kNeutral);
    ASSERT_EQ(bars.size(), 6u);
    // QZSS in teal, not a grey that would read as out of the fix.
    const uint32_t expected[] = {0x00FF0000, 0x00808000, 0x00800080, 0x0000FFFF, 0x0000FF00, 0x000000FF};
    for (std::size_t i = 0; i < bars.size(); ++i) EXPECT_EQ(bars[i].colour, expected[i]) << i;
}

TEST(SignalView, FollowsTheRecordsAndClears) {
    CSignalView view;
    const CTChart& chart = view.Chart();
    // In use alone changes nothing; the satellites in view of the same cycle bring it in.
    testsupport::Deliver(view, msg::kSignalUsed, UsedOf({{12, G}}));
    EXPECT_TRUE(chart.Points(0).empty());
    testsupport::Deliver(view, msg::kSignalInView, ViewOf({{12, 44, G}, {65, 0, R}, {70, 25, R}}));
    ASSERT_EQ(chart.Points(0).size(), 2u);
    EXPECT_EQ(chart.Points(0)[0].label, "G12");
    EXPECT_EQ(chart.Points(0)[0].colour, 0x00FF0000u);
    EXPECT_EQ(chart.Points(0)[1].x, 1);
    EXPECT_EQ(chart.Points(0)[1].y, 25);
    EXPECT_EQ(chart.Points(0)[1].colour, chart.NeutralColour());

    testsupport::DeliverClear(view, MonitorWindowOf(WindowType::Signal).clearMessage);
    EXPECT_TRUE(chart.Points(0).empty());
    testsupport::Deliver(view, msg::kSignalInView, ViewOf({{3, 33, E}}));
    ASSERT_EQ(chart.Points(0).size(), 1u);
    EXPECT_EQ(chart.Points(0)[0].x, 0);
}

// A cycle that brings the same bars as the last one leaves the chart alone; a new value,
// a satellite leaving the fix or a clear redraws it, and the sky after a clear is drawn
// even when it is the one from before.
TEST(SignalView, RedrawsOnlyWhenTheBarsChange) {
    if (!kPaint) GTEST_SKIP() << "no painting under the thread sanitizer";
    CSignalView view;
    view.resize(500, 300);
    view.show();
    const SatelliteViewSet sky = ViewOf({{12, 44, G}, {70, 25, R}});
    testsupport::Deliver(view, msg::kSignalUsed, UsedOf({{12, G}}));
    testsupport::Deliver(view, msg::kSignalInView, sky);
    QApplication::processEvents();
    int replots = 0;
    QObject::connect(view.Chart().Plot(), &QCustomPlot::afterReplot, [&] { ++replots; });
    auto cycle = [&](const UsedSatelliteSet& used, const SatelliteViewSet& inView) {
        testsupport::Deliver(view, msg::kSignalUsed, used);
        testsupport::Deliver(view, msg::kSignalInView, inView);
        QApplication::processEvents();
    };
    for (int n = 0; n < 5; ++n) cycle(UsedOf({{12, G}}), sky);
    EXPECT_EQ(replots, 0);
    cycle(UsedOf({{12, G}}), ViewOf({{12, 45, G}, {70, 25, R}}));
    EXPECT_EQ(replots, 1);
    EXPECT_EQ(view.Chart().Points(0)[0].y, 45);
    cycle(UsedOf({}), ViewOf({{12, 45, G}, {70, 25, R}}));
    EXPECT_EQ(replots, 2);
    EXPECT_EQ(view.Chart().Points(0)[0].colour, view.Chart().NeutralColour());
    testsupport::DeliverClear(view, MonitorWindowOf(WindowType::Signal).clearMessage);
    cycle(UsedOf({}), ViewOf({{12, 45, G}, {70, 25, R}}));
    EXPECT_EQ(view.Chart().Points(0).size(), 2u) << "the same sky again after a clear";
}

// The legend under the bars says which colour is which constellation and that grey is
// out of the fix; at a tile's width and when maximised it lies whole inside the window,
// under the chart, each entry within its width.
TEST(SignalView, LegendNamesTheColoursAndFitsUnderTheChart) {
    CSignalView view;
    view.show();
    const CLegendStrip& legend = view.Legend();
    QStringList texts;
    for (const legend::Item& item : legend.Items()) texts << item.text;
    EXPECT_TRUE(texts.contains("QZSS"));
    EXPECT_EQ(texts.back(), "not in fix");
    for (const QSize size : {QSize(414, 210), QSize(1910, 980)}) {
        view.resize(size);
        QCoreApplication::processEvents();
        EXPECT_TRUE(view.rect().contains(legend.geometry())) << size.width();
        EXPECT_GE(legend.geometry().top(), view.Chart().geometry().bottom()) << size.width();
        EXPECT_EQ(legend.height(), legend::HeightFor(legend.Items(), legend.font(), legend.width())) << size.width();
        for (const QRect& r : legend::ItemRects(legend.Items(), legend.font(), legend.width()))
            EXPECT_LE(r.right(), legend.width()) << size.width();
    }
}

TEST(SignalView, DrawsEverySatelliteOfAFullTable) {
    SatelliteViewSet full{};
    for (int i = 0; i < kMaxSatellites; ++i)
        full.satellites[full.count++] = {static_cast<uint16_t>(i + 1), 10, 10, 30, i % 2 ? R : G};
    CSignalView view;
    testsupport::Deliver(view, msg::kSignalInView, full);
    EXPECT_EQ(view.Chart().Points(0).size(), static_cast<std::size_t>(kMaxSatellites));
    if (!kPaint) return;
    // Names that do not fit side by side are thinned out rather than smeared together.
    const auto shownNames = [&](int width) {
        view.resize(width, 240);
        view.show();
        QApplication::processEvents();
        return view.Chart().Plot()->xAxis->tickVector().size();
    };
    EXPECT_EQ(shownNames(1800), kMaxSatellites);
    const auto crowded = shownNames(260);
    EXPECT_GT(crowded, 8);
    EXPECT_LT(crowded, kMaxSatellites / 2);
}

TEST(SignalView, PictureOfABusySky) {
    if (!kPaint) GTEST_SKIP() << "no painting under the thread sanitizer";
    CSignalView view;
    view.resize(500, 300);
    view.show();
    testsupport::DeliverClear(view, MonitorWindowOf(WindowType::Signal).clearMessage);
    testsupport::Deliver(view, msg::kSignalUsed,
                         UsedOf({{2, G}, {5, G}, {12, G}, {25, G}, {29, G}, {193, Q}, {7, B}, {11, E}, {36, E}, {65, R},
                                 {72, R}}));
    testsupport::Deliver(view, msg::kSignalInView,
                         ViewOf({{29, 41, G}, {5, 47, G}, {12, 44, G}, {2, 38, G}, {25, 35, G}, {31, 18, G},
                                 {20, 0, G}, {193, 39, Q}, {133, 33, S}, {7, 40, B}, {14, 23, B}, {11, 42, E},
                                 {36, 37, E}, {4, 21, E}, {72, 36, R}, {65, 43, R}, {81, 17, R}, {10, 30, G},
                                 {195, 26, Q}, {27, 0, B}}));
    EXPECT_EQ(view.Chart().Points(0).size(), 18u);
    QApplication::processEvents();
    QDir().mkpath(PICTURES_DIR);
    EXPECT_TRUE(view.grab().save(QString(PICTURES_DIR) + "/signal.png"));
}

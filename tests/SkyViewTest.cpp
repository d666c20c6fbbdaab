// The sky plot: where satellites land, how their state shows, the track dots it keeps
// and what a clear leaves, driven through the link's messages.
#include <gtest/gtest.h>

#include <cmath>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QImage>
#include <initializer_list>

#include "monitor/windows/Legend.h"
#include "monitor/windows/SkyView.h"
#include "monitor/windows/WindowTypes.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/ViewMessages.h"

using namespace skyview;

namespace {

using testsupport::kPaint;

// A background of 600: centre (300, 300), radius 240.
constexpr int kSide = 600;
const QColor kSky(135, 206, 250);
const QColor kBlue(0, 0, 255);
const QColor kWhite(255, 255, 255);

SatelliteEntry Sat(GnssSystem system, int prn, int elevation, int azimuth, int snr) {
    return {static_cast<uint16_t>(prn), static_cast<int16_t>(elevation), static_cast<int16_t>(azimuth),
            static_cast<int16_t>(snr), system};
}

SatelliteViewSet ViewOf(std::initializer_list<SatelliteEntry> entries) {
    SatelliteViewSet view{};
    for (const SatelliteEntry& s : entries) view.satellites[view.count++] = s;
    return view;
}

UsedSatelliteSet UsedOf(std::initializer_list<std::pair<GnssSystem, int>> satellites) {
    UsedSatelliteSet used{};
    used.fixType = '3';
    for (const auto& [system, prn] : satellites) {
        used.prn[used.count] = static_cast<int16_t>(prn);
        used.system[used.count++] = system;
    }
    return used;
}

void Feed(CSkyViewView& view, const UsedSatelliteSet& used, const SatelliteViewSet& inView) {
    testsupport::Deliver(view, msg::kSkyUsed, used);
    testsupport::Deliver(view, msg::kSkyInView, inView);
}

void Clear(CSkyViewView& view) { testsupport::DeliverClear(view, MonitorWindowOf(WindowType::SkyView).clearMessage); }

QImage Grab(CSkyViewView& view, int width, int height) {
    view.resize(width, height);
    return view.grab().toImage();
}

QColor At(const QImage& image, QPoint p) { return image.pixelColor(p); }

// Counts the paints a widget is given.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

}  // namespace

TEST(SkyGeometry, SatellitesLandByElevationAndAzimuth) {
    const QPoint c(300, 300);
    struct Case {
        int elevation, azimuth;
        QPoint expected;
    } cases[] = {
        {90, 0, {300, 300}},    {90, 137, {300, 300}},  {90, 359, {300, 300}},  // zenith: the centre
        {0, 0, {300, 60}},      {0, 90, {540, 300}},    {0, 180, {300, 540}},   // horizon: the rim
        {0, 270, {60, 300}},    {45, 90, {420, 300}},   {30, 45, {413, 187}},   // 160 * sin 45 = 113.1
        {30, 225, {187, 413}},                                                  // cut toward the centre
        {-10, 0, {300, 34}},    {-10, 45, {488, 112}},                          // below the horizon: outside
    };
    for (const Case& k : cases)
        EXPECT_EQ(PlotPosition(c, 240, k.elevation, k.azimuth), k.expected) << k.elevation << "/" << k.azimuth;
}

TEST(SkyGeometry, PlotFillsTheLargestCentredSquare) {
    EXPECT_EQ(CentredSquare(400, 400), QRect(0, 0, 400, 400));
    EXPECT_EQ(CentredSquare(600, 300), QRect(150, 0, 300, 300));  // wide: centred across, full height
    EXPECT_EQ(CentredSquare(601, 300), QRect(150, 0, 300, 300));
    EXPECT_EQ(CentredSquare(300, 600), QRect(0, 150, 300, 300));  // tall: centred down, full width
    EXPECT_EQ(BackgroundRadius(1080), 480);
    EXPECT_EQ(BackgroundRadius(600), 240);
    EXPECT_EQ(ScaledRadius(400, 400, 600, 240), 160);
    EXPECT_EQ(ScaledRadius(600, 300, 600, 240), 120);
    EXPECT_EQ(ScaledRadius(1000, 1000, 1080, 480), 444);
}

TEST(SkyLooks, LabelsAndColoursByConstellationAndState) {
    EXPECT_EQ(LabelOf(Sat(gnss::kGps, 5, 0, 0, 0)), "G5");
    EXPECT_EQ(LabelOf(Sat(gnss::kQzss, 193, 0, 0, 0)), "193");
    EXPECT_EQ(LabelOf(Sat(gnss::kGalileo, 11, 0, 0, 0)), "E11");
    EXPECT_EQ(LabelOf(Sat(gnss::kGlonass, 72, 0, 0, 0)), "R72");
    EXPECT_EQ(LabelOf(Sat(gnss::kBeiDou, 23, 0, 0, 0)), "B23");
    EXPECT_EQ(LabelOf(Sat(gnss::kSbas, 131, 0, 0, 0)), "S131");
    EXPECT_EQ(LabelOf(Sat(gnss::kUnresolved, 9, 0, 0, 0)), "?9");

    const Look usedGps = LookOf(gnss::kGps, SatelliteState::Used);
    EXPECT_EQ(usedGps.fill, kBlue);
    EXPECT_EQ(usedGps.outline, kBlue);
    EXPECT_EQ(usedGps.text, kWhite);
    EXPECT_EQ(LookOf(gnss::kBeiDou, SatelliteState::Used).text, QColor(0, 0, 0));
    const Look trackedGlonass = LookOf(gnss::kGlonass, SatelliteState::Tracked);
    EXPECT_EQ(trackedGlonass.fill, kSky);
    EXPECT_EQ(trackedGlonass.outline, QColor(255, 0, 0));
    EXPECT_EQ(trackedGlonass.text, QColor(255, 0, 0));
    EXPECT_EQ(LookOf(gnss::kSbas, SatelliteState::NoSignal).fill, QColor(245, 245, 245));
}

TEST(SkyLooks, StateFromUseSignalAndPosition) {
    EXPECT_EQ(StateOf(Sat(gnss::kGps, 1, 40, 100, 35), true), SatelliteState::Used);
    EXPECT_EQ(StateOf(Sat(gnss::kGps, 1, 40, 100, 35), false), SatelliteState::Tracked);
    EXPECT_EQ(StateOf(Sat(gnss::kGps, 1, 40, 100, 0), false), SatelliteState::NoSignal);
    EXPECT_EQ(StateOf(Sat(gnss::kGps, 1, 0, 100, 0), false), SatelliteState::NoSignal);
    EXPECT_EQ(StateOf(Sat(gnss::kGps, 1, 0, 0, 0), false), SatelliteState::Hidden);
}

TEST(SkyLooks, InUseNeedsNumberAndConstellationToMatch) {
    const SatelliteViewSet view =
        ViewOf({Sat(gnss::kGps, 5, 40, 10, 40), Sat(gnss::kGlonass, 5, 50, 200, 38), Sat(gnss::kGalileo, 7, 20, 90, 30)});
    const InUseFlags flags = MatchInUse(view, UsedOf({{gnss::kGps, 5}, {gnss::kGalileo, 8}}));
    EXPECT_TRUE(flags[0]);
    EXPECT_FALSE(flags[1]);  // same number, other constellation
    EXPECT_FALSE(flags[2]);
}

TEST(SkyView, InUseIsTakenFromTheLastUsedRecordWhenTheViewArrives) {
    CSkyViewView view(nullptr, kSide);
    const SatelliteViewSet sky = ViewOf({Sat(gnss::kGps, 5, 40, 10, 40), Sat(gnss::kGps, 9, 60, 300, 41)});
    Feed(view, UsedOf({{gnss::kGps, 5}}), sky);
    EXPECT_EQ(view.SatelliteCount(), 2);
    EXPECT_TRUE(view.InUse(0));
    EXPECT_FALSE(view.InUse(1));

    testsupport::Deliver(view, msg::kSkyUsed, UsedOf({{gnss::kGps, 9}}));
    EXPECT_TRUE(view.InUse(0)) << "a used record alone changes nothing";
    testsupport::Deliver(view, msg::kSkyInView, sky);
    EXPECT_FALSE(view.InUse(0));
    EXPECT_TRUE(view.InUse(1));
}

TEST(SkyView, MoreThanThirtyTwoSatellitesAreAllMatched) {
    SatelliteViewSet sky{};
    UsedSatelliteSet used{};
    for (int i = 0; i < 40; ++i) {
        sky.satellites[sky.count++] = Sat(i < 20 ? gnss::kGps : gnss::kBeiDou, i + 1, 30, i * 9, 40);
        used.prn[used.count] = static_cast<int16_t>(i + 1);
        used.system[used.count++] = i < 20 ? gnss::kGps : gnss::kBeiDou;
    }
    CSkyViewView view(nullptr, kSide);
    Feed(view, used, sky);
    EXPECT_EQ(view.SatelliteCount(), 40);
    EXPECT_TRUE(view.InUse(39));
}

TEST(SkyView, NoSignalAtZeroElevationAndAzimuthDrawsNothing) {
    CSkyViewView view(nullptr, kSide);
    const QImage emptyBackground = view.Background();
    const QImage emptyWindow = kPaint ? Grab(view, 400, 400) : QImage();

    Feed(view, UsedOf({}), ViewOf({Sat(gnss::kGps, 17, 0, 0, 0), Sat(gnss::kGlonass, 70, 0, 0, 0)}));
    EXPECT_EQ(view.Background(), emptyBackground) << "no track dot";
    if (kPaint) {
        EXPECT_EQ(Grab(view, 400, 400), emptyWindow) << "no disc";
    }
}

TEST(SkyView, TrackDotsGatherUntilAClearWipesThemAll) {
    CSkyViewView view(nullptr, kSide);
    const QImage emptyBackground = view.Background();
    EXPECT_EQ(At(emptyBackground, {488, 112}), kWhite);  // outside the sky disc

    Feed(view, UsedOf({{gnss::kGps, 5}}),
         ViewOf({Sat(gnss::kGps, 5, 45, 90, 44), Sat(gnss::kGps, 8, -10, 45, 30)}));
    EXPECT_EQ(At(view.Background(), {420, 300}), kBlue);
    EXPECT_EQ(At(view.Background(), {488, 112}), kSky) << "below the horizon: a dot outside the disc";

    // Next epoch: the satellite moved; its old dot stays.
    Feed(view, UsedOf({{gnss::kGps, 5}}), ViewOf({Sat(gnss::kGps, 5, 90, 0, 44)}));
    EXPECT_EQ(At(view.Background(), {420, 300}), kBlue);
    EXPECT_EQ(At(view.Background(), {300, 300}), kBlue);

    Clear(view);
    EXPECT_EQ(view.SatelliteCount(), 0);
    EXPECT_EQ(view.Background(), emptyBackground) << "every dot gone, outside the disc too";
    if (kPaint) {
        const QImage cleared = Grab(view, 400, 400);
        CSkyViewView fresh(nullptr, kSide);
        EXPECT_EQ(cleared, Grab(fresh, 400, 400));
    }
}

TEST(SkyView, UsedSatellitesAreFilledInTheirColourOthersWithSky) {
    if (!kPaint) GTEST_SKIP() << "not painted under the thread sanitizer";
    CSkyViewView view(nullptr, kSide);
    // The plot above the legend; at elevation 45 the discs sit half the radius from its
    // centre. Sampled below the label, inside the disc of radius 12.
    Feed(view, UsedOf({{gnss::kGps, 5}}),
         ViewOf({Sat(gnss::kGps, 5, 45, 90, 44), Sat(gnss::kGlonass, 5, 45, 270, 38), Sat(gnss::kGps, 9, 45, 180, 0)}));
    const QImage image = Grab(view, 400, 400);
    QRect plot = view.PlotArea();
    EXPECT_LT(plot.height(), 400) << "the legend takes the window's foot";
    QPoint c(plot.width() / 2, plot.height() / 2);
    int half = ScaledRadius(plot.width(), plot.height(), kSide, BackgroundRadius(kSide)) / 2;
    EXPECT_EQ(At(image, c + QPoint(half, 9)), kBlue);                    // GPS 5, used
    EXPECT_EQ(At(image, c + QPoint(-half, 9)), kSky);                    // GLONASS 5, tracked
    EXPECT_EQ(At(image, c + QPoint(0, half + 9)), QColor(245, 245, 245));  // GPS 9, no signal

    // A wide window: the same plot, centred across at full height.
    const QImage wide = Grab(view, 600, 300);
    plot = view.PlotArea();
    c = QPoint(plot.width() / 2, plot.height() / 2);
    half = ScaledRadius(plot.width(), plot.height(), kSide, BackgroundRadius(kSide)) / 2;
    EXPECT_EQ(At(wide, c + QPoint(half, 9)), kBlue);
    EXPECT_EQ(At(wide, {100, 150}), kWhite) << "beside the plot";
}

// A busy sky of forty satellites, many close together, in a tile of a 1280x800 screen and
// in a large window: no disc covers another or a ring's label, and the legend names every
// constellation and fill within the window's width.
TEST(SkyView, FortySatellitesLeaveEachOtherAndTheRingLabelsClear) {
    CSkyViewView view(nullptr, 800);
    std::vector<SatelliteEntry> sats;
    UsedSatelliteSet used{};
    used.fixType = '3';
    const GnssSystem systems[] = {gnss::kGps, gnss::kGlonass, gnss::kGalileo, gnss::kBeiDou, gnss::kQzss};
    for (int i = 0; i < 40; ++i) {
        const GnssSystem system = systems[i % 5];
        // Three clusters, and several straight north over the ring labels.
        const int elevation = i < 8 ? 20 + 8 * i : 30 + (i % 3) * 3;
        const int azimuth = i < 8 ? 0 : 40 + (i % 4) * 100 + (i % 7);
        sats.push_back(Sat(system, 1 + i, elevation, azimuth, i % 3 ? 40 : 0));
        if (i % 2) used.prn[used.count] = static_cast<int16_t>(1 + i), used.system[used.count++] = system;
    }
    SatelliteViewSet inView{};
    for (const SatelliteEntry& s : sats) inView.satellites[inView.count++] = s;
    Feed(view, used, inView);
    const int r = CSkyViewView::DiscRadius();
    for (const QSize size : {QSize(414, 318), QSize(950, 980)}) {
        view.resize(size);
        const std::vector<QPoint> at = view.DiscCentres();
        ASSERT_EQ(at.size(), 40u);
        for (std::size_t i = 0; i < at.size(); ++i) {
            EXPECT_TRUE(view.PlotArea().contains(at[i])) << i;
            for (std::size_t j = i + 1; j < at.size(); ++j) {
                const QPoint d = at[i] - at[j];
                EXPECT_GE(std::hypot(d.x(), d.y()), 2.0 * r) << i << " and " << j << " at " << size.width();
            }
            for (const QRect& label : view.RingLabelAreas())
                EXPECT_FALSE(label.intersects(QRect(at[i] - QPoint(r - 1, r - 1), QSize(2 * r - 2, 2 * r - 2))))
                    << i << " over a ring label at " << size.width();
        }
        EXPECT_EQ(view.LegendArea().bottom(), size.height() - 1);
        EXPECT_LE(view.LegendArea().height(), size.height() / 4);
    }
    if (kPaint) {
        QDir().mkpath(PICTURES_DIR);
        EXPECT_TRUE(Grab(view, 414, 318).save(QString(PICTURES_DIR) + "/sky-view-forty.png"));
    }
}

// ---- repainting what changed ----

TEST(SkyRepaint, OnlyDotsThatMovedOrChangedLookAreDrawnAgain) {
    const TrackDot a{{10, 10}, qRgb(0, 0, 255), qRgb(0, 0, 255)}, b{{50, 20}, qRgb(255, 0, 0), qRgb(255, 0, 0)};
    EXPECT_TRUE(DotsToDraw({a, b}, {a, b}).empty()) << "the same sky again";
    const TrackDot moved{{11, 10}, a.fill, a.outline};
    const TrackDot unused{{50, 20}, qRgb(135, 206, 250), b.outline};
    EXPECT_EQ(DotsToDraw({a, b}, {moved, b}), std::vector<TrackDot>{moved});
    EXPECT_EQ(DotsToDraw({a, b}, {a, unused}), std::vector<TrackDot>{unused});
    EXPECT_EQ(DotsToDraw({}, {a, b}), (std::vector<TrackDot>{a, b})) << "after a clear every dot is drawn";
    EXPECT_EQ(DotsToDraw({b, a}, {a, b}).size(), 0u) << "order does not matter";
}

TEST(SkyRepaint, ChangedAreaCoversWhereADiscWasAndWhereItIs) {
    const DiscPlace still{{100, 100}, {100, 100}, QRect(86, 86, 29, 29), "G5", 0};
    const DiscPlace before{{200, 100}, {200, 100}, QRect(186, 86, 29, 29), "G7", 1};
    DiscPlace after = before;
    after.at = after.truth = {203, 100};
    after.covers = QRect(189, 86, 29, 29);
    EXPECT_TRUE(ChangedArea({still, before}, {still, before}).isEmpty()) << "an unchanged sky repaints nothing";
    const QRegion moved = ChangedArea({still, before}, {still, after});
    EXPECT_EQ(moved, QRegion(before.covers) + after.covers);
    EXPECT_FALSE(moved.intersects(still.covers)) << "the disc that stayed is not repainted";
    DiscPlace relooked = before;
    relooked.picture = "G7 used";
    EXPECT_EQ(ChangedArea({before}, {relooked}), QRegion(before.covers)) << "same place, other look";
    EXPECT_EQ(ChangedArea({still, before}, {still}), QRegion(before.covers)) << "a satellite that set";
}

// Ten epochs of the same sky: painted once; a satellite that moves is painted again.
TEST(SkyRepaint, AnUnchangedSkyIsNotRepainted) {
    if (!kPaint) GTEST_SKIP() << "not painted under the thread sanitizer";
    CSkyViewView view(nullptr, kSide);
    view.resize(400, 400);
    view.show();
    PaintCounter counter(view);
    int& paints = counter.paints;
    const UsedSatelliteSet used = UsedOf({{gnss::kGps, 5}});
    for (int epoch = 0; epoch < 10; ++epoch) {
        Feed(view, used, ViewOf({Sat(gnss::kGps, 5, 45, 90, 44), Sat(gnss::kGlonass, 7, 30, 200, 38)}));
        QApplication::processEvents();
    }
    const int unchanged = paints;
    EXPECT_LE(unchanged, 2);
    Feed(view, used, ViewOf({Sat(gnss::kGps, 5, 40, 90, 44), Sat(gnss::kGlonass, 7, 30, 200, 38)}));
    QApplication::processEvents();
    EXPECT_GT(paints, unchanged);
}

// What partial repaints leave on the screen is what one whole paint draws: the window
// as the platform holds it after many epochs of moving satellites (some crowding each
// other, one changing its look) against a fresh rendering of the same state.
TEST(SkyRepaint, PartialRepaintsLeaveWhatAWholePaintDraws) {
    if (!kPaint) GTEST_SKIP() << "not painted under the thread sanitizer";
    if (QGuiApplication::platformName() != "offscreen") GTEST_SKIP() << "reads the offscreen platform's window";
    CSkyViewView view(nullptr, kSide);
    view.resize(400, 400);
    view.show();
    QApplication::processEvents();
    for (int step = 0; step < 40; ++step) {
        const UsedSatelliteSet used = step % 10 < 5 ? UsedOf({{gnss::kGps, 5}}) : UsedOf({});
        Feed(view, used,
             ViewOf({Sat(gnss::kGps, 5, 45 + step / 2, 90 + step, 44), Sat(gnss::kGlonass, 7, 47, 92 + step / 3, 38),
                     Sat(gnss::kGalileo, 11, 20 + step, 300, step % 7 ? 30 : 0)}));
        QApplication::processEvents();
    }
    const QImage onScreen = view.screen()->grabWindow(view.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage whole = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(onScreen.size(), whole.size());
    EXPECT_EQ(onScreen, whole);
}

TEST(Legend, NamesEveryConstellationAndFitsItsWidth) {
    const std::vector<legend::Item> items = legend::ConstellationItems(false);
    QStringList names;
    for (const legend::Item& item : items) names << item.text;
    EXPECT_EQ(names, (QStringList{"GPS", "QZSS", "SBAS", "BeiDou", "Galileo", "GLONASS"}));
    QFont font;
    font.setPixelSize(11);
    for (int width : {200, 414, 1900}) {
        for (const QRect& r : legend::ItemRects(items, font, width)) {
            EXPECT_GE(r.left(), 0);
            EXPECT_LE(r.right(), width) << width;
        }
    }
    EXPECT_GT(legend::HeightFor(items, font, 200), legend::HeightFor(items, font, 1900)) << "wraps when narrow";
}

// QZSS in the fix has a colour of its own, not the grey of satellites out of it.
TEST(SkyLooks, UsedQzssIsColouredUnlikeTheUnused) {
    const Look usedQzss = LookOf(gnss::kQzss, SatelliteState::Used);
    EXPECT_EQ(usedQzss.fill, QColor(0, 128, 128));
    for (const QColor grey : {QColor(105, 105, 105), QColor(160, 160, 160), QColor(245, 245, 245)})
        EXPECT_NE(usedQzss.fill, grey);
    EXPECT_NE(usedQzss.fill, LookOf(gnss::kQzss, SatelliteState::NoSignal).fill);
}

TEST(SkyView, PictureOfAnEpoch) {
    if (!kPaint) GTEST_SKIP() << "not painted under the thread sanitizer";
    CSkyViewView view(nullptr, kSide);
    const UsedSatelliteSet used = UsedOf({{gnss::kGps, 2},     {gnss::kGps, 5},       {gnss::kGps, 13},
                                          {gnss::kGps, 15},    {gnss::kGps, 29},      {gnss::kGlonass, 66},
                                          {gnss::kGlonass, 81}, {gnss::kGalileo, 11}, {gnss::kGalileo, 24},
                                          {gnss::kBeiDou, 14}, {gnss::kBeiDou, 33},   {gnss::kQzss, 193},
                                          {gnss::kSbas, 131}});
    // A few epochs with the satellites moving a little, to leave tracks.
    for (int step = 0; step < 4; ++step) {
        const int m = step * 2;
        Feed(view, used,
             ViewOf({Sat(gnss::kGps, 2, 62 + m, 40 + m, 45),      Sat(gnss::kGps, 5, 35 + m, 120, 41),
                     Sat(gnss::kGps, 12, 8, 300 - m, 0),          Sat(gnss::kGps, 13, 75, 250 + m, 47),
                     Sat(gnss::kGps, 15, 20 + m, 200, 36),        Sat(gnss::kGps, 18, 5, 20, 22),
                     Sat(gnss::kGps, 29, 50, 330 - m, 43),        Sat(gnss::kGps, 31, 0, 0, 0),
                     Sat(gnss::kGlonass, 66, 42, 80 + m, 39),     Sat(gnss::kGlonass, 72, 12, 160, 0),
                     Sat(gnss::kGlonass, 81, 58 - m, 280, 40),    Sat(gnss::kGalileo, 3, 15, 230, 28),
                     Sat(gnss::kGalileo, 11, 66, 150 + m, 44),    Sat(gnss::kGalileo, 24, 30 - m, 10, 37),
                     Sat(gnss::kBeiDou, 6, 25, 100, 0),           Sat(gnss::kBeiDou, 14, 80 - m, 60, 46),
                     Sat(gnss::kBeiDou, 33, 38, 190 - m, 42),     Sat(gnss::kQzss, 193, 70, 170, 45),
                     Sat(gnss::kSbas, 131, 33, 140, 38),          Sat(gnss::kUnresolved, 9, 22, 340, 30)}));
    }
    QDir().mkpath(PICTURES_DIR);
    EXPECT_TRUE(Grab(view, 400, 400).save(QString(PICTURES_DIR) + "/sky-view.png"));
    EXPECT_TRUE(Grab(view, 600, 300).save(QString(PICTURES_DIR) + "/sky-view-wide.png"));
}

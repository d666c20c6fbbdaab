// The Track window: geodesy, the reference file, and the plot driven through its messages.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cmath>

#include <qcustomplot.h>

#include "monitor/link/LinkMessages.h"
#include "monitor/windows/TrackView.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "platform/notifier/Notifier.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TestSupport.h"
#include "tests/support/ViewMessages.h"

namespace {

using testsupport::kPaint;

constexpr double kRad = 0.017453292519943;
constexpr uint32_t kPurple = chart::ColourRef(128, 0, 128), kRed = chart::ColourRef(255, 0, 0);

// Degrees of latitude that make `metres` north of `latitude`, found on the ellipsoid
// itself so that the test does not lean on a second formula.
double NorthBy(double latitude, double metres) {
    const track::Reference origin = track::MakeReference(latitude, 11.5, 500);
    double low = 0, high = 0.01;
    for (int i = 0; i < 100; ++i) {
        const double mid = (low + high) / 2;
        const auto at = track::OffsetFrom(origin, track::MakeReference(latitude + mid, 11.5, 500).ecef);
        (at.north < metres ? low : high) = mid;
    }
    return latitude + (low + high) / 2;
}

GgaRecord Gga(double latitude, double longitude, float altitude) {
    GgaRecord g{};
    g.latitude = latitude;
    g.longitude = longitude;
    g.altitude = altitude;
    g.fixQuality = 1;
    return g;
}

class TrackView : public ::testing::Test {
protected:
    TrackView() : m_file(QString::fromStdString(m_dir / "skyLedger.ini")) {}

    std::unique_ptr<CTrackView> Open() {
        auto view = std::make_unique<CTrackView>(m_notifier, nullptr, m_file);
        view->resize(500, 400);
        view->show();  // the first showing reads the reference file
        return view;
    }
    void Fix(CTrackView& view, const GgaRecord& gga, char fixType = '3') {
        EpochSummary epoch{};
        epoch.hasGga = epoch.hasReport = true;
        epoch.gga = gga;
        epoch.fixType = fixType;
        testsupport::Deliver(view, msg::kTrackEpoch, epoch);
    }
    const std::vector<CTChart::Point>& Points(CTrackView& view, int series) { return view.Chart().Points(series); }

    testsupport::ScratchDir m_dir;
    QString m_file;
    RecordingNotifier m_notifier;
};

}  // namespace

TEST(TrackGeodesy, EarthCentredCoordinatesAndLocalOffsets) {
    const track::Ecef equator = track::ToEcef(0, 0, 0);
    EXPECT_DOUBLE_EQ(equator.x, 6378137);
    EXPECT_NEAR(track::ToEcef(90 * kRad, 0, 0).z, 6356752.314, 0.001);  // the polar radius
    const track::Reference ref = track::MakeReference(48.1173, 11.5167, 545.4);
    EXPECT_EQ(track::OffsetFrom(ref, ref.ecef).east, 0);
    // One metre along each of the local axes, built from the reference's own angles.
    const double sf = std::sin(ref.latitude), cf = std::cos(ref.latitude);
    const double sl = std::sin(ref.longitude), cl = std::cos(ref.longitude);
    const track::Ecef east{ref.ecef.x - sl, ref.ecef.y + cl, ref.ecef.z};
    const track::Ecef north{ref.ecef.x - sf * cl, ref.ecef.y - sf * sl, ref.ecef.z + cf};
    EXPECT_NEAR(track::OffsetFrom(ref, east).east, 1, 1e-6);
    EXPECT_NEAR(track::OffsetFrom(ref, east).north, 0, 1e-6);
    EXPECT_NEAR(track::OffsetFrom(ref, north).north, 1, 1e-6);
    EXPECT_NEAR(track::OffsetFrom(ref, north).east, 0, 1e-6);
}

TEST(TrackNumbers, OnlyPlainSignedDecimalsPass) {
    for (const char* good : {"-12.5", "+3", "0", "5.", ".5", "114.0667"}) EXPECT_TRUE(track::PassesNumberRule(good)) << good;
    for (const char* bad : {"", "1e5", " 1", "1.2.3", "5-", ".", "+", "1,5", "--1"})
        EXPECT_FALSE(track::PassesNumberRule(bad)) << bad;
}

TEST_F(TrackView, FirstModeTakesTheFirstFixAsOriginAndPlotsFromTheNext) {
    auto view = Open();
    const double latitude = 48.1173, longitude = 11.5167;
    // No fix and no GGA take no reference.
    GgaRecord noFix = Gga(latitude, longitude, 545);
    noFix.fixQuality = 0;
    Fix(*view, noFix, '1');
    EpochSummary reportOnly{};
    reportOnly.hasReport = true;
    reportOnly.fixType = '3';
    CTrackView early(m_notifier, nullptr, m_file);
    testsupport::Deliver(early, msg::kTrackEpoch, reportOnly);  // a fix type with no GGA
    EXPECT_TRUE(early.Chart().Points(track::kReferenceSeries).empty());
    EXPECT_TRUE(Points(*view, track::kReferenceSeries).empty());

    Fix(*view, Gga(latitude, longitude, 545));
    ASSERT_EQ(Points(*view, track::kReferenceSeries).size(), 1u);
    EXPECT_EQ(Points(*view, track::kReferenceSeries)[0].colour, kPurple);
    EXPECT_TRUE(Points(*view, track::kCurrentSeries).empty());

    // A fix at the reference stays at the origin and does not go into the history.
    Fix(*view, Gga(latitude, longitude, 545));
    Fix(*view, Gga(latitude, longitude, 545));
    EXPECT_TRUE(Points(*view, track::kHistorySeries).empty());
    for (const CTChart::Point& p : Points(*view, track::kCurrentSeries)) EXPECT_EQ(p.x + p.y, 0);

    // The reference 100 m north of the position: plotted at (0, -100), axes +-105.
    const double south = 2 * latitude - NorthBy(latitude, 100);
    Fix(*view, Gga(south, longitude, 545));
    const CTChart::Point now = Points(*view, track::kCurrentSeries).back();
    EXPECT_NEAR(now.x, 0, 0.01);
    EXPECT_NEAR(now.y, -100, 0.05);
    EXPECT_NEAR(view->Chart().AxisRange(chart::AxisId::Left).max, 105, 0.06);
    EXPECT_EQ(view->Chart().AxisRange(chart::AxisId::Bottom).min, -view->HalfRange());
    EXPECT_NEAR(view->Chart().CursorPosition().y(), -100, 0.05);
    // Nearer fixes leave the range as it is; the older ones go into the history.
    Fix(*view, Gga(latitude, longitude + 0.0001, 545));
    EXPECT_NEAR(view->Chart().AxisRange(chart::AxisId::Left).max, 105, 0.06);
    EXPECT_EQ(Points(*view, track::kHistorySeries).size(), 1u);

    // Clearing in First starts over: the next fix is the new origin.
    testsupport::DeliverClear(*view, MonitorWindowOf(WindowType::Track).clearMessage);
    for (int s : {0, 1, 2}) EXPECT_TRUE(Points(*view, s).empty());
    Fix(*view, Gga(south, longitude, 545));
    EXPECT_EQ(Points(*view, track::kReferenceSeries).size(), 1u);
    EXPECT_TRUE(Points(*view, track::kCurrentSeries).empty());
}

TEST_F(TrackView, FixedReferenceIsCheckedKeptInTheFileAndSurvivesAClear) {
    auto view = Open();
    EXPECT_FALSE(view->OkButton().isEnabled());
    view->ChooseMode(CTrackView::Fixed);
    EXPECT_TRUE(view->OkButton().isEnabled());
    view->LatitudeEdit().setText("48.1173");
    view->LongitudeEdit().setText("11.5167");
    view->HeightEdit().setText("1e3");
    view->OkClicked();
    EXPECT_EQ(m_notifier.messages, QStringList{"Point value must be digit!"});
    EXPECT_FALSE(QFile::exists(m_file));
    EXPECT_TRUE(Points(*view, track::kReferenceSeries).empty());

    view->HeightEdit().setText("545");
    view->OkClicked();
    EXPECT_EQ(testsupport::ReadFile(m_file.toStdString()), "11.5167\r\n48.1173\r\n545\r\n");
    Fix(*view, Gga(48.1183, 11.5167, 545));
    Fix(*view, Gga(48.1178, 11.5167, 545));
    view->OkClicked();  // twice: the origin twice, the plot kept
    ASSERT_EQ(Points(*view, track::kReferenceSeries).size(), 2u);
    EXPECT_EQ(Points(*view, track::kReferenceSeries)[1].colour, kRed);
    EXPECT_EQ(Points(*view, track::kHistorySeries).size(), 1u);
    EXPECT_EQ(Points(*view, track::kCurrentSeries).size(), 1u);

    testsupport::DeliverClear(*view, MonitorWindowOf(WindowType::Track).clearMessage);
    EXPECT_EQ(Points(*view, track::kReferenceSeries).size(), 2u);  // the typed reference stays
    EXPECT_TRUE(Points(*view, track::kHistorySeries).empty());
    Fix(*view, Gga(48.1183, 11.5167, 545));
    EXPECT_NEAR(Points(*view, track::kCurrentSeries)[0].y, 111.2, 0.2);

    // Back to First drops everything; the next start finds the typed values in their edits.
    view->ChooseMode(CTrackView::First);
    for (int s : {0, 1, 2}) EXPECT_TRUE(Points(*view, s).empty());
    EXPECT_FALSE(view->LatitudeEdit().isEnabled());
    auto again = Open();
    EXPECT_EQ(again->LongitudeEdit().text(), "11.5167");
    EXPECT_EQ(again->LatitudeEdit().text(), "48.1173");
    EXPECT_EQ(again->HeightEdit().text(), "545");
}

TEST_F(TrackView, BadLinesOfTheFileLeaveTheirEditsEmptyAndAnUnwritableFileIsTold) {
    testsupport::WriteFile(m_file.toStdString(), "11.5\r\n4 8\r\n-3\r\n");
    auto view = Open();
    EXPECT_EQ(view->LongitudeEdit().text(), "11.5");
    EXPECT_EQ(view->LatitudeEdit().text(), "");
    EXPECT_EQ(view->HeightEdit().text(), "-3");

    CTrackView nowhere(m_notifier, nullptr, QString::fromStdString(m_dir / "gone/skyLedger.ini"));
    nowhere.show();
    nowhere.ChooseMode(CTrackView::Fixed);
    nowhere.LatitudeEdit().setText("1");
    nowhere.LongitudeEdit().setText("2");
    nowhere.HeightEdit().setText("3");
    nowhere.OkClicked();
    ASSERT_EQ(m_notifier.messages.size(), 1);
    EXPECT_TRUE(m_notifier.messages[0].startsWith("Cannot keep the reference in ")) << m_notifier.messages[0].toStdString();
    EXPECT_EQ(nowhere.Chart().Points(track::kReferenceSeries).size(), 1u);  // the reference is used all the same
}

// The reference and the newest fix are drawn again at every fix: that must not replot
// the history each time.
TEST_F(TrackView, AFixAfterAThousandRedrawsOnlyTheNewestPoints) {
    if (!kPaint) GTEST_SKIP() << "needs painting";
    auto view = Open();
    for (int i = 0; i < 1000; ++i) {
        Fix(*view, Gga(22.5431 + 0.00001 * std::sin(i * 0.1), 114.0579 + 0.00001 * std::cos(i * 0.1), 80));
        if (i % 100 == 0) QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    int fullReplots = 0;
    QObject::connect(view->Chart().Plot(), &QCustomPlot::afterReplot, [&] { ++fullReplots; });
    for (int i = 0; i < 20; ++i) {
        Fix(*view, Gga(22.5431 + 0.000005 * std::sin(i * 0.3), 114.0579, 80));
        QCoreApplication::processEvents();
    }
    EXPECT_LE(fullReplots, 1);  // the newest points moved onto the history at most once
}

// Past the bound the chart draws the newest fixes only; every fix still counts in the
// figures and goes into the export, the first far one included.
TEST_F(TrackView, TheChartDrawsTheNewestFixesWhileTheFiguresAndExportKeepEveryOne) {
    auto view = Open();
    const double latitude = 48.1173, longitude = 11.5167;
    Fix(*view, Gga(latitude, longitude, 545));               // the origin, in First
    Fix(*view, Gga(NorthBy(latitude, 100), longitude, 545));  // far: the largest error
    const std::size_t bound = track::kShownFixes, slack = track::kShownFixes / 8;
    // Fix k (from 0) is plotted into the history by fix k + 1; with the two above, the
    // history reaches bound + slack points, the first cut, on fix bound + slack + 1.
    const std::size_t total = bound + slack + 1;
    // Never exactly on the origin: a fix there would not move into the history.
    for (std::size_t k = 2; k < total; ++k) Fix(*view, Gga(latitude + 1e-7 * (1 + k % 7), longitude, 545));
    ASSERT_EQ(Points(*view, track::kHistorySeries).size(), bound + slack - 1) << "one short of the cut";
    Fix(*view, Gga(latitude, longitude + 1e-6, 545));
    const auto& history = Points(*view, track::kHistorySeries);
    EXPECT_EQ(history.size(), bound) << "cut back to the bound";
    EXPECT_NEAR(history.back().y, 1e-7 * (1 + (total - 1) % 7) * 111200, 0.01) << "the newest earlier fix stays";
    for (const CTChart::Point& p : history) EXPECT_LT(std::abs(p.y), 1.0) << "the far fix is no longer drawn";
    EXPECT_EQ(Points(*view, track::kCurrentSeries).size(), 1u);

    EXPECT_EQ(view->Fixes().size(), total + 1);
    EXPECT_EQ(view->Accuracy().count, total + 1);
    EXPECT_NEAR(view->Accuracy().maxHorizontal, 100, 0.05) << "figures from every fix";
    m_notifier.savePath = QString::fromStdString(m_dir / "all.csv");
    view->ExportClicked();
    EXPECT_EQ(testsupport::CountOf(testsupport::ReadFile(m_dir / "all.csv"), "\n"), total + 2) << "a header and every fix";
}

TEST(TrackLayout, GroupsWrapWholeOntoTheNextRow) {
    EXPECT_EQ(track::FlowGroups({50, 100, 60}, 300, 10, 24), (std::vector<QPoint>{{0, 0}, {60, 0}, {170, 0}}));
    EXPECT_EQ(track::FlowGroups({50, 100, 60}, 200, 10, 24), (std::vector<QPoint>{{0, 0}, {60, 0}, {0, 24}}));
    // A group wider than the row still starts one of its own, at the left.
    EXPECT_EQ(track::FlowGroups({50, 400}, 200, 10, 24), (std::vector<QPoint>{{0, 0}, {0, 24}}));
}

// From a tile of a 1280x800 screen to a maximised window on 1920x1080: every control of
// the reference row lies inside the window, above the chart, and shows its whole text.
TEST_F(TrackView, EveryControlIsWholeAndInsideTheWindowFromATileToFullScreen) {
    auto view = Open();
    for (const QSize size : {QSize(414, 320), QSize(560, 330), QSize(1270, 700), QSize(1910, 980)}) {
        view->resize(size);
        QCoreApplication::processEvents();
        const QRect inside = view->rect();
        const QRect chart = view->Chart().geometry();
        for (QWidget* child : view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child == &view->Chart() || qobject_cast<QGroupBox*>(child)) continue;
            EXPECT_TRUE(inside.contains(child->geometry())) << child->metaObject()->className() << " at " << size.width();
            if (child != &view->Figures()) {
                EXPECT_LT(child->geometry().bottom(), chart.top()) << size.width();
            }
            const QFontMetrics fm(child->font());
            if (auto* label = qobject_cast<QLabel*>(child); label && label != &view->Figures()) {
                EXPECT_GE(label->width(), fm.horizontalAdvance(label->text())) << label->text().toStdString();
            }
            if (auto* button = qobject_cast<QPushButton*>(child)) {
                EXPECT_GE(button->width(), fm.horizontalAdvance(button->text()) + 8) << button->text().toStdString();
            }
            if (auto* combo = qobject_cast<QComboBox*>(child)) {
                EXPECT_GE(combo->width(), combo->sizeHint().width()) << "the list shows \"Fixe\"";
            }
        }
        EXPECT_GT(chart.height(), size.height() / 2);
    }
}

TEST_F(TrackView, PictureOfAWanderingFix) {
    if (!kPaint) GTEST_SKIP() << "needs painting";
    auto view = Open();
    view->resize(520, 420);
    const double latitude = 22.5431, longitude = 114.0579;
    for (int i = 0; i < 300; ++i) {
        const double t = i * 0.05;
        Fix(*view, Gga(latitude + 0.00002 * std::sin(t) + 0.000004 * std::sin(7 * t),
                       longitude + 0.00003 * std::cos(0.7 * t), 80));
    }
    view->Chart().Refresh();
    QDir().mkpath(PICTURES_DIR);
    EXPECT_TRUE(view->grab().save(QString(PICTURES_DIR) + "/track.png"));
    EXPECT_TRUE(view->Figures().text().startsWith("Fixes 300 "));
}

// A typed reference and fixes 100 m north, 100 m south (each 2 m higher and lower) and
// at the reference: mean N 0, σN = sqrt(2 · 100² / 3) = 81.65, σU = sqrt(2 · 2² / 3)
// = 1.63, errors 0, 100, 100: CEP50 = CEP95 = max = 100, 2DRMS = 2 σN = 163.3.
TEST_F(TrackView, FiguresCountTheFixesSinceTheResetAndExportWritesThem) {
    auto view = Open();
    const double latitude = 48.1173, longitude = 11.5167;
    view->ChooseMode(CTrackView::Fixed);
    Fix(*view, Gga(latitude, longitude, 545));  // before OK: kept, counted once there is a reference
    EXPECT_EQ(view->Figures().text(), "Fixes 1, no reference position yet");
    view->LatitudeEdit().setText("48.1173");
    view->LongitudeEdit().setText("11.5167");
    view->HeightEdit().setText("545");
    view->OkClicked();
    EXPECT_EQ(view->Accuracy().count, 1u);
    const double north = NorthBy(latitude, 100);
    Fix(*view, Gga(north, longitude, 547));
    RmcRecord rmc{};
    rmc.year = 2026, rmc.month = 12, rmc.day = 8;
    testsupport::Deliver(*view, msg::kTrackRmc, rmc);  // the date of the fixes of its time
    Fix(*view, Gga(2 * latitude - north, longitude, 543));
    const AccuracyFigures a = view->Accuracy();
    EXPECT_EQ(a.count, 3u);
    EXPECT_NEAR(a.meanNorth, 0, 0.05);
    EXPECT_NEAR(a.sigmaNorth, 81.65, 0.05);
    EXPECT_NEAR(a.sigmaUp, 1.633, 0.002);
    EXPECT_NEAR(a.cep95, 100, 0.05);
    EXPECT_NEAR(a.drms2, 163.3, 0.1);
    EXPECT_TRUE(view->Figures().text().contains("\nCEP50 100.0")) << view->Figures().text().toStdString();

    // Export: nothing without a chosen file; a name without extension takes the filter's.
    view->ExportClicked();
    EXPECT_EQ(m_notifier.questions, QStringList{"Export"});
    m_notifier.savePath = QString::fromStdString(m_dir / "day");
    m_notifier.saveFilter = "GPX 1.1 (*.gpx)";
    view->ExportClicked();
    const std::string gpx = testsupport::ReadFile(m_dir / "day.gpx");
    EXPECT_EQ(testsupport::CountOf(gpx, "<trkpt "), 3u);
    // The first fix came before any RMC date: it has no time.
    EXPECT_EQ(testsupport::CountOf(gpx, "<time>2026-12-08T00:00:00.000Z</time>"), 2u);
    m_notifier.savePath = QString::fromStdString(m_dir / "day.csv");
    view->ExportClicked();
    EXPECT_EQ(testsupport::CountOf(testsupport::ReadFile(m_dir / "day.csv"), "\n"), 4u);
    m_notifier.savePath = QString::fromStdString(m_dir / "gone/day.kml");
    view->ExportClicked();
    ASSERT_EQ(m_notifier.messages.size(), 1);
    EXPECT_EQ(m_notifier.messages[0].toStdString(), "Cannot export to " + (m_dir / "gone/day.kml") + ": No such file or directory");

    // A clear starts the count again; with no fix there is nothing to export.
    testsupport::DeliverClear(*view, MonitorWindowOf(WindowType::Track).clearMessage);
    EXPECT_TRUE(view->Figures().text().startsWith("Fixes 0   mean E 0.00")) << view->Figures().text().toStdString();
    view->ExportClicked();
    EXPECT_EQ(m_notifier.messages.back(), "No fixes to export since the last clear.");

    // In First the reference fix itself counts, at the origin.
    view->ChooseMode(CTrackView::First);
    Fix(*view, Gga(latitude, longitude, 545));
    Fix(*view, Gga(north, longitude, 545));
    EXPECT_EQ(view->Accuracy().count, 2u);
    EXPECT_NEAR(view->Accuracy().cep50, 0, 1e-9);
    EXPECT_NEAR(view->Accuracy().maxHorizontal, 100, 0.05);
}

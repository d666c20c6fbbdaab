#include "monitor/windows/VelocityView.h"

#include <QResizeEvent>
#include <algorithm>
#include <cmath>

#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "monitor/windows/chart/ChartSetup.h"

namespace velocity {

namespace {

struct Sector {
    float from, to;
    bool closed;  // takes in its boundaries
    const char* format;
};

// North, the remainder (h <= 20 or h >= 340), is not a row: it wraps round 0.
constexpr Sector kSectors[] = {
    {20, 70, false, "%.02f NE"},   {70, 110, true, "%.02f E"},    {110, 160, false, "%.02f SE"},
    {160, 200, true, "%.02f S"},   {200, 250, false, "%.02f SW"}, {250, 290, true, "%.02f W"},
    {290, 340, false, "%.02f NW"},
};
constexpr const char* kNorthFormat = "%.02f N";

bool Inside(const Sector& s, float h) { return s.closed ? (h >= s.from && h <= s.to) : (h > s.from && h < s.to); }

}  // namespace

float LimitedSpeedKmh(float speedKmh) { return speedKmh > kSpeedLimitKmh ? kSpeedLimitKmh : speedKmh; }

// QString::asprintf formats numbers in the C locale, so no comma creeps in.
QString SpeedKmhText(float speedKmh) { return QString::asprintf("%.04f Km/h", double{speedKmh}); }

QString SpeedMsText(float speedMs) { return QString::asprintf("%.04f m/s", double{speedMs}); }

QString CompassText(float headingDeg) {
    const char* format = kNorthFormat;
    for (const Sector& s : kSectors)
        if (Inside(s, headingDeg)) format = s.format;
    return QString::asprintf(format, double{headingDeg});
}

int CompassRotation(float headingDeg) {
    if (!std::isfinite(headingDeg)) return 90;
    // A course is 0-360; the clamp only keeps a wild value inside an int.
    return static_cast<int>(std::clamp(90.0 - headingDeg, -1e6, 1e6));
}

GaugePlaces PlaceGauges(int width, int height) {
    const int half = (width + 1) / 2;
    if (half >= height) {
        const int x = (half - height + 1) / 2;
        return {{x, 0, height, height}, {x + half, 0, height, height}};
    }
    const int y = (height - half + 1) / 2;
    return {{0, y, half, half}, {half, y, half, half}};
}

}  // namespace velocity

using namespace velocity;

namespace {
constexpr uint32_t kHandColour = chart::ColourRef(255, 0, 0);
}

CVelocityView::CVelocityView(QWidget* parent)
    : QWidget(parent),
      m_speedKmh(new CTChart(chart::SpeedDialKmh(), this)),
      m_compass(new CTChart(chart::CompassDial(), this)),
      m_speedMs(new CTChart(chart::SpeedDialMs(), this)) {
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
    m_speedMs->hide();
    ShowValues();
}

// Puts the three values on the dials. Done when they change rather than in a paint, as
// setting a dial repaints it by itself.
void CVelocityView::ShowValues() {
    m_speedKmh->Add(0, m_speedKmhValue, QString(), kHandColour);
    m_speedKmh->SetFootText(SpeedKmhText(m_speedKmhValue));
    m_compass->SetRotationAngle(CompassRotation(m_headingDeg));
    m_compass->SetFootText(CompassText(m_headingDeg));
    m_speedMs->Add(0, m_speedMsValue, QString(), kHandColour);
    m_speedMs->SetFootText(SpeedMsText(m_speedMsValue));
}

bool CVelocityView::event(QEvent* e) {
    const int type = e->type();
    if (type == MonitorWindowOf(WindowType::Velocity).clearMessage) {
        m_speedKmhValue = m_headingDeg = m_speedMsValue = 0;
        ShowValues();
        return true;
    }
    if (type != msg::kVelocityVtg) return QWidget::event(e);
    if (const auto* vtg = std::get_if<VtgRecord>(&static_cast<LinkEvent*>(e)->message.payload)) {
        m_speedKmhValue = LimitedSpeedKmh(vtg->speedKmh);
        m_headingDeg = vtg->courseTrue;
        m_speedMsValue = static_cast<float>(m_speedKmhValue * kMsPerKmh);
        ShowValues();
    }
    return true;
}

void CVelocityView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const GaugePlaces places = PlaceGauges(width(), height());
    m_speedKmh->setGeometry(places.speed);
    m_compass->setGeometry(places.compass);
}

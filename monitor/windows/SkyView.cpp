#include "SkyView.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "WindowRegistry.h"
#include "WindowTypes.h"

namespace skyview {

namespace {

constexpr double kDegToRad = 0.017453292519943;
constexpr int kRimMargin = 60;        // room round the disc for the N, E, S, W letters
constexpr int kFallbackSide = 600;    // no screen to measure (never on a desktop)
constexpr int kRingCount = 6;         // every 15 degrees of elevation: R/6 apart
constexpr int kDotRadius = 5;         // track dots in the background
constexpr int kDiscRadius = 12;       // current satellites on the window
constexpr int kCompassFontPx = 30;
constexpr int kLabelFontPx = 12;
// Long dashes, so that the axes still read as dashed once the background is scaled
// down to a window's size.
const QList<qreal> kAxisDashes = {18, 6};

const QColor kSky(135, 206, 250);
const QColor kNoSignalGrey(245, 245, 245);
const QColor kAxisGrey(105, 105, 105);

struct ConstellationLook {
    GnssSystem system;
    QColor colour;
    const char* labelFormat;
    bool whiteTextWhenUsed;  // on the darker fills; black on green, red and yellow
};

const ConstellationLook kLooks[] = {
    {gnss::kGps, QColor(0, 0, 255), "G%d", true},
    {gnss::kQzss, QColor(105, 105, 105), "%d", true},
    {gnss::kGalileo, QColor(0, 255, 0), "E%d", false},
    {gnss::kGlonass, QColor(255, 0, 0), "R%d", false},
    {gnss::kBeiDou, QColor(255, 255, 0), "B%d", false},
    {gnss::kSbas, QColor(128, 0, 128), "S%d", true},
};
// A talker the link could not resolve to a constellation: black, and a "?" so that it
// is not taken for a QZSS satellite, the other one shown by its number alone.
const ConstellationLook kUnknownLook{gnss::kUnresolved, QColor(0, 0, 0), "?%d", true};

const ConstellationLook& ConstellationOf(GnssSystem system) {
    for (const ConstellationLook& look : kLooks)
        if (look.system == system) return look;
    return kUnknownLook;
}

int Clamped(int count) { return std::clamp(count, 0, kMaxSatellites); }

// `text` with its top-left corner at `topLeft`, on `background` unless that is invalid.
void DrawText(QPainter& p, QPoint topLeft, const QString& text, const QColor& colour, const QColor& background) {
    const QFontMetrics metrics(p.font());
    if (background.isValid())
        p.fillRect(QRect(topLeft, QSize(metrics.horizontalAdvance(text), metrics.height())), background);
    p.setPen(colour);
    p.drawText(topLeft.x(), topLeft.y() + metrics.ascent(), text);
}

QFont PixelFont(const char* family, int pixelSize) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    return font;
}

}  // namespace

int BackgroundRadius(int side) { return side / 2 - kRimMargin; }

QPoint PlotPosition(QPoint centre, int radius, int elevation, int azimuth) {
    const int r = (90 - elevation) * radius / 90;
    const double a = azimuth * kDegToRad;
    const int dx = static_cast<int>(r * std::sin(a));
    const int dy = static_cast<int>(r * std::cos(a));
    return {centre.x() + dx, centre.y() - dy};
}

QRect CentredSquare(int width, int height) {
    const int d = std::min(width, height);
    if (width > height) return {(width - d) / 2, 0, d, d};
    return {0, (height - d) / 2, d, d};
}

int ScaledRadius(int width, int height, int backgroundSide, int backgroundRadius) {
    if (backgroundSide <= 0) return 0;
    return std::min(width, height) * backgroundRadius / backgroundSide;
}

SatelliteState StateOf(const SatelliteEntry& entry, bool used) {
    if (used) return SatelliteState::Used;
    if (entry.snr > 0) return SatelliteState::Tracked;
    if (entry.elevation == 0 && entry.azimuth == 0) return SatelliteState::Hidden;
    return SatelliteState::NoSignal;
}

Look LookOf(GnssSystem system, SatelliteState state) {
    const ConstellationLook& c = ConstellationOf(system);
    switch (state) {
        case SatelliteState::Used:
            return {c.colour, c.colour, c.whiteTextWhenUsed ? QColor(Qt::white) : QColor(Qt::black)};
        case SatelliteState::Tracked:
            return {kSky, c.colour, c.colour};
        case SatelliteState::NoSignal:
        case SatelliteState::Hidden:
            break;
    }
    return {kNoSignalGrey, kNoSignalGrey, QColor(Qt::black)};
}

QString LabelOf(const SatelliteEntry& entry) {
    return QString::asprintf(ConstellationOf(entry.system).labelFormat, int{entry.prn});
}

InUseFlags MatchInUse(const SatelliteViewSet& view, const UsedSatelliteSet& used) {
    InUseFlags flags{};
    const int usedCount = Clamped(used.count);
    for (int i = 0; i < Clamped(view.count); ++i) {
        const SatelliteEntry& s = view.satellites[i];
        for (int k = 0; k < usedCount && !flags[i]; ++k)
            flags[i] = used.prn[k] == s.prn && used.system[k] == s.system;
    }
    return flags;
}

}  // namespace skyview

using namespace skyview;

namespace {

int ScreenSide(const QWidget& widget) {
    const QScreen* screen = widget.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return kFallbackSide;
    const QSize size = screen->size();
    return std::min(size.width(), size.height());
}

}  // namespace

CSkyViewView::CSkyViewView(QWidget* parent, int backgroundSide)
    : QWidget(parent),
      m_side(backgroundSide > 0 ? backgroundSide : ScreenSide(*this)),
      m_radius(BackgroundRadius(m_side)),
      m_background(m_side, m_side, QImage::Format_RGB32) {
    // Every pixel is painted: the copy of the background and white beside it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    DrawBackground();
}

// The sky disc, the elevation rings, the dashed axes and their labels, on white. This
// also wipes the track dots, those outside the disc included (a satellite reported
// below the horizon leaves them there).
void CSkyViewView::DrawBackground() {
    m_background.fill(Qt::white);
    QPainter p(&m_background);
    p.setRenderHint(QPainter::Antialiasing);
    const int c = m_side / 2;
    const int r = m_radius;
    const QPoint centre(c, c);

    p.setPen(QPen(kSky, 1));
    p.setBrush(kSky);
    p.drawEllipse(centre, r, r);

    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    for (int k = kRingCount - 1; k >= 1; --k) p.drawEllipse(centre, k * r / kRingCount, k * r / kRingCount);

    QPen axis(kAxisGrey, 1);
    axis.setDashPattern(kAxisDashes);
    p.setPen(axis);
    constexpr double kDiagonal = 0.7853981633974351;  // 45 degrees
    const int dx = static_cast<int>(r * std::cos(kDiagonal));
    const int dy = static_cast<int>(r * std::sin(kDiagonal));
    p.drawLine(c, c - r, c, c + r);
    p.drawLine(c - r, c, c + r, c);
    p.drawLine(c + dx, c - dy, c - dx, c + dy);
    p.drawLine(c - dx, c - dy, c + dx, c + dy);

    p.setFont(PixelFont("Dotum", kCompassFontPx));
    const QColor white(Qt::white);
    DrawText(p, {c - 10, c - r - 50}, "N", Qt::black, white);
    DrawText(p, {c - 10, c + r + 20}, "S", Qt::black, white);
    DrawText(p, {c - r - 45, c - 15}, "W", Qt::black, white);
    DrawText(p, {c + r + 15, c - 15}, "E", Qt::black, white);
    DrawText(p, {c - 10, c - r - 15}, "0", Qt::black, kSky);
    const char* marks[] = {"15", "30", "45", "60", "75"};
    for (int k = 0; k < 5; ++k) DrawText(p, {c - 20, c - (5 - k) * r / kRingCount - 15}, marks[k], Qt::black, kSky);
    m_scaledStale = true;
}

// One dot per satellite shown, where it is now; they stay until the next clear.
void CSkyViewView::DrawTrackDots() {
    auto draw = [this](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPoint centre(m_side / 2, m_side / 2);
        for (int i = 0; i < m_viewCount; ++i) {
            const SatelliteEntry& s = m_view.satellites[i];
            const SatelliteState state = StateOf(s, m_inUse[i]);
            if (state == SatelliteState::Hidden) continue;
            const Look look = LookOf(s.system, state);
            p.setPen(QPen(look.outline, 1));
            p.setBrush(look.fill);
            p.drawEllipse(PlotPosition(centre, m_radius, s.elevation, s.azimuth), kDotRadius, kDotRadius);
        }
    };
    QPainter background(&m_background);
    draw(background);
    // The window's copy gets the same dots drawn to its scale: scaling the whole picture
    // again for every epoch would cost more than all the other windows together.
    if (!m_scaledStale && !m_scaled.isNull()) {
        QPainter copy(&m_scaled);
        copy.scale(double(m_scaled.width()) / m_side, double(m_scaled.height()) / m_side);
        draw(copy);
    }
}

void CSkyViewView::TakeView(const SatelliteViewSet& view) {
    m_view = view;
    m_viewCount = std::clamp<int>(view.count, 0, kMaxSatellites);
    m_inUse = MatchInUse(m_view, m_used);
    DrawTrackDots();
    update();
}

void CSkyViewView::Clear() {
    m_viewCount = 0;
    m_inUse = {};
    DrawBackground();
    update();
}

bool CSkyViewView::event(QEvent* e) {
    const int type = e->type();
    if (type == MonitorWindowOf(WindowType::SkyView).clearMessage) {
        Clear();
        return true;
    }
    if (type != msg::kSkyInView && type != msg::kSkyUsed) return QWidget::event(e);
    const LinkPayload& p = static_cast<LinkEvent*>(e)->message.payload;
    // The link sends the satellites in use first; they only count once the satellites in
    // view of the same epoch arrive.
    if (const auto* used = std::get_if<UsedSatelliteSet>(&p)) m_used = *used;
    else if (const auto* view = std::get_if<SatelliteViewSet>(&p)) TakeView(*view);
    return true;
}

void CSkyViewView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QRect square = CentredSquare(width(), height());
    if (square.isEmpty()) return;
    // Averaged rather than sampled, so that the thin rings survive the scaling down.
    if (m_scaledStale || m_scaled.size() != square.size()) {
        m_scaled = m_background.scaled(square.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_scaledStale = false;
    }
    p.drawImage(square.topLeft(), m_scaled);

    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(PixelFont("DotumChe", kLabelFontPx));
    const QFontMetrics metrics(p.font());
    const QPoint centre(width() / 2, height() / 2);
    const int radius = ScaledRadius(width(), height(), m_side, m_radius);
    for (int i = 0; i < m_viewCount; ++i) {
        const SatelliteEntry& s = m_view.satellites[i];
        const SatelliteState state = StateOf(s, m_inUse[i]);
        if (state == SatelliteState::Hidden) continue;
        const Look look = LookOf(s.system, state);
        const QPoint at = PlotPosition(centre, radius, s.elevation, s.azimuth);
        p.setPen(QPen(look.outline, 1));
        p.setBrush(look.fill);
        p.drawEllipse(at, kDiscRadius, kDiscRadius);
        // Centred on the disc: with the intended 6-by-12 pixel cells this is (x - 3n,
        // y - 6); a substituted font keeps the label centred all the same. The disc is
        // the label's background: a box of the fill colour round a font wider than
        // intended would cut the disc's outline.
        const QString label = LabelOf(s);
        const QPoint topLeft(at.x() - metrics.horizontalAdvance(label) / 2, at.y() - metrics.height() / 2);
        DrawText(p, topLeft, label, look.text, QColor());
    }
}

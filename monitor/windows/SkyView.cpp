#include "SkyView.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "Legend.h"
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
constexpr int kLegendFontPx = 11;
constexpr int kSpreadRounds = 80;  // enough for forty discs to settle in a tile's sky
constexpr int kMovedMarkPx = 3;    // a disc moved further is tied to where it belongs
const char* const kRingMarks[] = {"0", "15", "30", "45", "60", "75"};
const char* const kCompass[] = {"N", "S", "W", "E"};
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
    {gnss::kGps, legend::ConstellationColour(gnss::kGps), "G%d", true},
    {gnss::kQzss, legend::ConstellationColour(gnss::kQzss), "%d", true},
    {gnss::kGalileo, legend::ConstellationColour(gnss::kGalileo), "E%d", false},
    {gnss::kGlonass, legend::ConstellationColour(gnss::kGlonass), "R%d", false},
    {gnss::kBeiDou, legend::ConstellationColour(gnss::kBeiDou), "B%d", false},
    {gnss::kSbas, legend::ConstellationColour(gnss::kSbas), "S%d", true},
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

// What the window's legend says: the constellations' colours, then what the fills mean.
const std::vector<legend::Item>& LegendItems() {
    static const std::vector<legend::Item> items = [] {
        std::vector<legend::Item> all = legend::ConstellationItems(false);
        const QColor grey(kAxisGrey);
        all.push_back({grey, grey, "filled: in fix"});
        all.push_back({kSky, grey, "ring: tracked"});
        all.push_back({kNoSignalGrey, grey, "pale: no signal"});
        return all;
    }();
    return items;
}

QFont LegendFont() { return PixelFont("DejaVu Sans", kLegendFontPx); }

}  // namespace

// The ring labels "0" to "75" on the background, north of the centre.
std::vector<QRect> RingMarkRects(int side, int radius) {
    const QFontMetrics metrics(PixelFont("Dotum", kCompassFontPx));
    const int c = side / 2;
    std::vector<QRect> rects;
    rects.emplace_back(QPoint(c - 10, c - radius - 15), QSize(metrics.horizontalAdvance("0"), metrics.height()));
    for (int k = 0; k < 5; ++k)
        rects.emplace_back(QPoint(c - 20, c - (5 - k) * radius / kRingCount - 15),
                           QSize(metrics.horizontalAdvance(kRingMarks[k + 1]), metrics.height()));
    return rects;
}

std::vector<QRect> CompassRects(int side, int radius) {
    const QFontMetrics metrics(PixelFont("Dotum", kCompassFontPx));
    const int c = side / 2, r = radius;
    const QPoint at[] = {{c - 10, c - r - 50}, {c - 10, c + r + 20}, {c - r - 45, c - 15}, {c + r + 15, c - 15}};
    std::vector<QRect> rects;
    for (int k = 0; k < 4; ++k) rects.emplace_back(at[k], QSize(metrics.horizontalAdvance(kCompass[k]), metrics.height()));
    return rects;
}

std::vector<QPoint> SpreadDiscs(const std::vector<QPoint>& wanted, int radius, const std::vector<QRect>& obstacles,
                                const QRect& bounds) {
    const double apart = 2.0 * radius + 1;
    std::vector<QPointF> at(wanted.begin(), wanted.end());
    for (int round = 0; round < kSpreadRounds; ++round) {
        bool moved = false;
        for (std::size_t i = 0; i < at.size(); ++i) {
            for (std::size_t j = i + 1; j < at.size(); ++j) {
                QPointF d = at[j] - at[i];
                double length = std::hypot(d.x(), d.y());
                if (length >= apart) continue;
                if (length < 1e-6) d = QPointF(std::cos(double(j)), std::sin(double(j))), length = 1;  // on top
                const QPointF push = d * ((apart - length) / length / 2 + 0.01);
                at[i] -= push;
                at[j] += push;
                moved = true;
            }
            for (const QRect& o : obstacles) {
                const QPointF nearest(std::clamp(at[i].x(), double(o.left()), double(o.right() + 1)),
                                      std::clamp(at[i].y(), double(o.top()), double(o.bottom() + 1)));
                QPointF d = at[i] - nearest;
                double length = std::hypot(d.x(), d.y());
                if (length >= radius + 1) continue;
                if (length < 1e-6) d = QPointF(at[i].x() < o.center().x() ? -1 : 1, 0), length = 1;  // inside: sideways
                at[i] += d * ((radius + 1.5 - length) / length);
                moved = true;
            }
            at[i].setX(std::clamp(at[i].x(), double(bounds.left() + radius), double(bounds.right() - radius)));
            at[i].setY(std::clamp(at[i].y(), double(bounds.top() + radius), double(bounds.bottom() - radius)));
        }
        if (!moved) break;
    }
    std::vector<QPoint> centres;
    for (const QPointF& p : at) centres.push_back(p.toPoint());
    return centres;
}

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
    const std::vector<QRect> letters = CompassRects(m_side, r);
    for (std::size_t k = 0; k < letters.size(); ++k) DrawText(p, letters[k].topLeft(), kCompass[k], Qt::black, white);
    const std::vector<QRect> marks = RingMarkRects(m_side, r);
    for (std::size_t k = 0; k < marks.size(); ++k) DrawText(p, marks[k].topLeft(), kRingMarks[k], Qt::black, kSky);
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

QRect CSkyViewView::LegendArea() const {
    const int h = legend::HeightFor(LegendItems(), LegendFont(), width());
    return {0, height() - h, width(), h};
}

QRect CSkyViewView::PlotArea() const { return {0, 0, width(), std::max(0, LegendArea().top())}; }

int CSkyViewView::DiscRadius() { return kDiscRadius; }

std::vector<QRect> CSkyViewView::RingLabelAreas() const {
    const QRect plot = PlotArea();
    const QRect square = CentredSquare(plot.width(), plot.height());
    std::vector<QRect> areas;
    if (square.isEmpty()) return areas;
    const double scale = double(square.width()) / m_side;
    std::vector<QRect> labels = RingMarkRects(m_side, m_radius);
    for (const QRect& r : CompassRects(m_side, m_radius)) labels.push_back(r);
    for (const QRect& r : labels)
        areas.push_back(QRectF(square.left() + r.left() * scale, square.top() + r.top() * scale, r.width() * scale,
                               r.height() * scale)
                            .toAlignedRect());
    return areas;
}

std::vector<QPoint> CSkyViewView::DiscCentres() const {
    const QRect plot = PlotArea();
    const QPoint centre(plot.width() / 2, plot.height() / 2);
    const int radius = ScaledRadius(plot.width(), plot.height(), m_side, m_radius);
    std::vector<QPoint> wanted;
    for (int i = 0; i < m_viewCount; ++i) {
        const SatelliteEntry& s = m_view.satellites[i];
        if (StateOf(s, m_inUse[i]) != SatelliteState::Hidden)
            wanted.push_back(PlotPosition(centre, radius, s.elevation, s.azimuth));
    }
    return SpreadDiscs(wanted, kDiscRadius, RingLabelAreas(), plot);
}

void CSkyViewView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    legend::Paint(p, LegendArea(), LegendItems(), LegendFont());
    const QRect plot = PlotArea();
    const QRect square = CentredSquare(plot.width(), plot.height());
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
    const QPoint centre(plot.width() / 2, plot.height() / 2);
    const int radius = ScaledRadius(plot.width(), plot.height(), m_side, m_radius);
    const std::vector<QPoint> places = DiscCentres();
    std::size_t n = 0;
    for (int i = 0; i < m_viewCount; ++i) {
        const SatelliteEntry& s = m_view.satellites[i];
        const SatelliteState state = StateOf(s, m_inUse[i]);
        if (state == SatelliteState::Hidden) continue;
        const Look look = LookOf(s.system, state);
        const QPoint truth = PlotPosition(centre, radius, s.elevation, s.azimuth);
        const QPoint at = places[n++];
        // A disc moved off a crowded spot keeps a line to where the satellite is.
        if ((at - truth).manhattanLength() > kMovedMarkPx) {
            p.setPen(QPen(look.outline == kNoSignalGrey ? kAxisGrey : look.outline, 1));
            p.drawLine(truth, at);
            p.setBrush(look.outline);
            p.drawEllipse(truth, 2, 2);
        }
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

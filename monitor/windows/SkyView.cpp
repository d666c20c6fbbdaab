#include "monitor/windows/SkyView.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "monitor/windows/Legend.h"
#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"

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
    // Distances are compared squared: most pairs are far apart, and a root is taken
    // only for the few that touch.
    const double apart = 2.0 * radius + 1;
    const double clear = radius + 1;
    std::vector<QPointF> at(wanted.begin(), wanted.end());
    for (int round = 0; round < kSpreadRounds; ++round) {
        bool moved = false;
        for (std::size_t i = 0; i < at.size(); ++i) {
            for (std::size_t j = i + 1; j < at.size(); ++j) {
                QPointF d = at[j] - at[i];
                const double squared = d.x() * d.x() + d.y() * d.y();
                if (squared >= apart * apart) continue;
                double length = std::sqrt(squared);
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
                const double squared = d.x() * d.x() + d.y() * d.y();
                if (squared >= clear * clear) continue;
                double length = std::sqrt(squared);
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

std::vector<TrackDot> DotsToDraw(const std::vector<TrackDot>& drawn, const std::vector<TrackDot>& wanted) {
    std::vector<TrackDot> fresh;
    for (const TrackDot& dot : wanted)
        if (std::find(drawn.begin(), drawn.end(), dot) == drawn.end()) fresh.push_back(dot);
    return fresh;
}

bool operator==(const DiscPlace& a, const DiscPlace& b) {
    return a.truth == b.truth && a.at == b.at && a.covers == b.covers && a.picture == b.picture;
}

QRegion ChangedArea(const std::vector<DiscPlace>& before, const std::vector<DiscPlace>& after) {
    QRegion changed;
    auto addUnmatched = [&changed](const std::vector<DiscPlace>& from, const std::vector<DiscPlace>& in) {
        for (const DiscPlace& d : from)
            if (std::find(in.begin(), in.end(), d) == in.end()) changed += d.covers;
    };
    addUnmatched(before, after);
    addUnmatched(after, before);
    return changed;
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

// Disc pictures are kept by label and look; a sky has some forty, a day of changing
// skies a few hundred.
constexpr int kMaxDiscPictures = 512;

QString PictureKey(const SatelliteEntry& entry, SatelliteState state) {
    return LabelOf(entry) + QChar(u'0' + static_cast<int>(state)) + QChar(u'a' + static_cast<int>(entry.system));
}

}  // namespace

CSkyViewView::CSkyViewView(QWidget* parent, int backgroundSide)
    : QWidget(parent),
      m_side(backgroundSide > 0 ? backgroundSide : ScreenSide(*this)),
      m_radius(BackgroundRadius(m_side)),
      m_background(m_side, m_side, QImage::Format_RGB32) {
    // Every pixel is painted: the copy of the background and white beside it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_labelRects = RingMarkRects(m_side, m_radius);
    for (const QRect& r : CompassRects(m_side, m_radius)) m_labelRects.push_back(r);
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
    m_lastDots.clear();
}

// One dot per satellite shown, where it is now; they stay until the next clear. Only
// the dots that differ from the last epoch's are drawn. Returns where they went on the
// window.
QRegion CSkyViewView::DrawTrackDots() {
    const QPoint centre(m_side / 2, m_side / 2);
    std::vector<TrackDot> wanted;
    for (int i = 0; i < m_viewCount; ++i) {
        const SatelliteEntry& s = m_view.satellites[i];
        const SatelliteState state = StateOf(s, m_inUse[i]);
        if (state == SatelliteState::Hidden) continue;
        const Look look = LookOf(s.system, state);
        wanted.push_back({PlotPosition(centre, m_radius, s.elevation, s.azimuth), look.fill.rgb(), look.outline.rgb()});
    }
    const std::vector<TrackDot> fresh = DotsToDraw(m_lastDots, wanted);
    m_lastDots = std::move(wanted);
    auto draw = [&fresh](QPainter& p) {
        p.setRenderHint(QPainter::Antialiasing);
        for (const TrackDot& dot : fresh) {
            p.setPen(QPen(QColor(dot.outline), 1));
            p.setBrush(QColor(dot.fill));
            p.drawEllipse(dot.at, kDotRadius, kDotRadius);
        }
    };
    QPainter background(&m_background);
    draw(background);
    QRegion onWindow;
    // The window's copy gets the same dots drawn to its scale: scaling the whole picture
    // again for every epoch would cost more than all the other windows together.
    if (!m_scaledStale && !m_scaled.isNull() && !fresh.empty()) {
        QPainter copy(&m_scaled);
        const double scale = double(m_scaled.width()) / m_side;
        copy.scale(scale, double(m_scaled.height()) / m_side);
        draw(copy);
        const QRect square = CentredSquare(PlotArea().width(), PlotArea().height());
        const int reach = static_cast<int>(std::ceil((kDotRadius + 1) * scale)) + 1;
        for (const TrackDot& dot : fresh) {
            const QPoint at = square.topLeft() + QPoint(int(dot.at.x() * scale), int(dot.at.y() * scale));
            onWindow += QRect(at - QPoint(reach, reach), QSize(2 * reach + 1, 2 * reach + 1));
        }
    }
    return onWindow;
}

void CSkyViewView::TakeView(const SatelliteViewSet& view) {
    m_view = view;
    m_viewCount = std::clamp<int>(view.count, 0, kMaxSatellites);
    m_inUse = MatchInUse(m_view, m_used);
    const QRegion dots = DrawTrackDots();
    const QRect square = CentredSquare(PlotArea().width(), PlotArea().height());
    if (m_scaledStale || m_scaled.size() != square.size() || m_discsFor != PlotArea().size()) {
        m_discs = LayOutDiscs();
        update();
        return;
    }
    // Only what changed: the discs that moved or changed their look, and new dots. A sky
    // whose satellites all stand where and as they stood keeps its layout as it is.
    if (SameSky(m_discs) && dots.isEmpty()) return;
    std::vector<DiscPlace> discs = LayOutDiscs();
    const QRegion changed = ChangedArea(m_discs, discs) + dots;
    m_discs = std::move(discs);
    if (!changed.isEmpty()) update(changed);
}

void CSkyViewView::Clear() {
    m_viewCount = 0;
    m_inUse = {};
    DrawBackground();
    m_discs.clear();
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
    if (m_legendWidth != width()) {
        m_legendHeight = legend::HeightFor(LegendItems(), LegendFont(), width());
        m_legendWidth = width();
    }
    return {0, height() - m_legendHeight, width(), m_legendHeight};
}

QRect CSkyViewView::PlotArea() const { return {0, 0, width(), std::max(0, LegendArea().top())}; }

int CSkyViewView::DiscRadius() { return kDiscRadius; }

std::vector<QRect> CSkyViewView::RingLabelAreas() const {
    const QRect plot = PlotArea();
    const QRect square = CentredSquare(plot.width(), plot.height());
    std::vector<QRect> areas;
    if (square.isEmpty()) return areas;
    const double scale = double(square.width()) / m_side;
    for (const QRect& r : m_labelRects)
        areas.push_back(QRectF(square.left() + r.left() * scale, square.top() + r.top() * scale, r.width() * scale,
                               r.height() * scale)
                            .toAlignedRect());
    return areas;
}

std::vector<DiscPlace> CSkyViewView::LayOutDiscs() const {
    const QRect plot = PlotArea();
    m_discsFor = plot.size();
    const QPoint centre(plot.width() / 2, plot.height() / 2);
    const int radius = ScaledRadius(plot.width(), plot.height(), m_side, m_radius);
    std::vector<DiscPlace> discs;
    std::vector<QPoint> wanted;
    for (int i = 0; i < m_viewCount; ++i) {
        const SatelliteEntry& s = m_view.satellites[i];
        const SatelliteState state = StateOf(s, m_inUse[i]);
        if (state == SatelliteState::Hidden) continue;
        discs.push_back({PlotPosition(centre, radius, s.elevation, s.azimuth), {}, {}, PictureKey(s, state), i});
        wanted.push_back(discs.back().truth);
    }
    const std::vector<QPoint> centres = SpreadDiscs(wanted, kDiscRadius, RingLabelAreas(), plot);
    for (std::size_t n = 0; n < discs.size(); ++n) {
        DiscPlace& d = discs[n];
        d.at = centres[n];
        const SatelliteEntry& s = m_view.satellites[d.entry];
        const QImage& picture = DiscPicture(s, StateOf(s, m_inUse[d.entry]));
        const QSize size = picture.deviceIndependentSize().toSize();
        d.covers = QRect(d.at - QPoint(size.width() / 2, size.height() / 2), size);
        if ((d.at - d.truth).manhattanLength() > kMovedMarkPx)
            d.covers |= QRect(d.truth, d.at).normalized().adjusted(-3, -3, 3, 3);
    }
    return discs;
}

// Whether `discs` show the satellites in view now: the same entries in the same places
// and looks, before any spreading.
bool CSkyViewView::SameSky(const std::vector<DiscPlace>& discs) const {
    const QRect plot = PlotArea();
    const QPoint centre(plot.width() / 2, plot.height() / 2);
    const int radius = ScaledRadius(plot.width(), plot.height(), m_side, m_radius);
    std::size_t n = 0;
    for (int i = 0; i < m_viewCount; ++i) {
        const SatelliteEntry& s = m_view.satellites[i];
        const SatelliteState state = StateOf(s, m_inUse[i]);
        if (state == SatelliteState::Hidden) continue;
        if (n >= discs.size()) return false;
        const DiscPlace& d = discs[n++];
        if (d.entry != i || d.truth != PlotPosition(centre, radius, s.elevation, s.azimuth) ||
            d.picture != PictureKey(s, state))
            return false;
    }
    return n == discs.size();
}

std::vector<QPoint> CSkyViewView::DiscCentres() const {
    std::vector<QPoint> centres;
    for (const DiscPlace& d : LayOutDiscs()) centres.push_back(d.at);
    return centres;
}

// A disc with its label, drawn once for each label and look: shaping forty labels'
// text on every epoch cost more than the rest of the window.
const QImage& CSkyViewView::DiscPicture(const SatelliteEntry& entry, SatelliteState state) const {
    const QString key = PictureKey(entry, state);
    const auto it = m_discPictures.constFind(key);
    if (it != m_discPictures.constEnd()) return *it;
    if (m_discPictures.size() >= kMaxDiscPictures) m_discPictures.clear();
    const QFont font = PixelFont("DotumChe", kLabelFontPx);
    const QFontMetrics metrics(font);
    const QString label = LabelOf(entry);
    const int textWidth = metrics.horizontalAdvance(label);
    // The disc's centre on a whole pixel in the middle, as it is on the window.
    const int cx = std::max(kDiscRadius + 2, textWidth / 2 + 2), cy = std::max(kDiscRadius + 2, metrics.height() / 2 + 2);
    const qreal ratio = devicePixelRatioF();
    QImage picture(QSize(2 * cx + 1, 2 * cy + 1) * ratio, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(font);
    const Look look = LookOf(entry.system, state);
    p.setPen(QPen(look.outline, 1));
    p.setBrush(look.fill);
    p.drawEllipse(QPoint(cx, cy), kDiscRadius, kDiscRadius);
    // Centred on the disc: with the intended 6-by-12 pixel cells this is (x - 3n,
    // y - 6); a substituted font keeps the label centred all the same. The disc is the
    // label's background: a box of the fill colour round a font wider than intended
    // would cut the disc's outline.
    DrawText(p, QPoint(cx - textWidth / 2, cy - metrics.height() / 2), label, look.text, QColor());
    p.end();
    return *m_discPictures.insert(key, picture);
}

// The legend changes only with the window's width: drawn once for it.
void CSkyViewView::PaintLegend(QPainter& p) {
    const QRect area = LegendArea();
    if (area.isEmpty()) return;
    const qreal ratio = devicePixelRatioF();
    if (m_legendPicture.deviceIndependentSize().toSize() != area.size() || m_legendPicture.devicePixelRatio() != ratio) {
        m_legendPicture = QPixmap(area.size() * ratio);
        m_legendPicture.setDevicePixelRatio(ratio);
        m_legendPicture.fill(Qt::white);
        QPainter legendPainter(&m_legendPicture);
        legend::Paint(legendPainter, QRect(QPoint(0, 0), area.size()), LegendItems(), LegendFont());
    }
    p.drawPixmap(area.topLeft(), m_legendPicture);
}

void CSkyViewView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    m_discs = LayOutDiscs();
}

void CSkyViewView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintLegend(p);
    const QRect plot = PlotArea();
    const QRect square = CentredSquare(plot.width(), plot.height());
    // White beside the square: the square itself is covered by the background's copy.
    for (const QRect& r : QRegion(plot).subtracted(square)) p.fillRect(r, Qt::white);
    if (square.isEmpty()) return;
    if (m_discsFor != plot.size()) m_discs = LayOutDiscs();
    // Averaged rather than sampled, so that the thin rings survive the scaling down.
    if (m_scaledStale || m_scaled.size() != square.size()) {
        m_scaled = m_background.scaled(square.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        m_scaledStale = false;
    }
    p.drawImage(square.topLeft(), m_scaled);

    p.setRenderHint(QPainter::Antialiasing);
    for (const DiscPlace& d : m_discs) {
        const SatelliteEntry& s = m_view.satellites[d.entry];
        const SatelliteState state = StateOf(s, m_inUse[d.entry]);
        // A disc moved off a crowded spot keeps a line to where the satellite is.
        if ((d.at - d.truth).manhattanLength() > kMovedMarkPx) {
            const Look look = LookOf(s.system, state);
            p.setPen(QPen(look.outline == kNoSignalGrey ? kAxisGrey : look.outline, 1));
            p.drawLine(d.truth, d.at);
            p.setBrush(look.outline);
            p.drawEllipse(d.truth, 2, 2);
        }
        const QImage& picture = DiscPicture(s, state);
        const QSize size = picture.deviceIndependentSize().toSize();
        p.drawImage(d.at - QPoint(size.width() / 2, size.height() / 2), picture);
    }
}

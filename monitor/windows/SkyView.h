// "Sky view": the satellites in view on a polar plot of the sky, north up, elevation
// rings every 15 degrees, each satellite a coloured, labelled disc. Every place a
// satellite has been shown at leaves a dot on a kept background picture, so the plot
// gathers the satellites' tracks across the sky until the window is cleared.
#pragma once

#include <QColor>
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QWidget>
#include <array>
#include <vector>

#include "monitor/link/ReceiverState.h"

namespace skyview {

// The background picture is a square of side S (the smaller screen side) with the sky
// disc of radius S/2 - 60 in its middle: the margin holds the N, E, S, W letters.
int BackgroundRadius(int side);

// Where a satellite goes on a plot centred at `centre` with radius `radius`: elevation 90
// at the centre, 0 on the rim, below 0 outside it; azimuth 0 up (north), 90 to the right
// (east). The distance from the centre is whole pixels, and each offset from the centre
// is cut toward zero, so that the plot is symmetric about its axes.
QPoint PlotPosition(QPoint centre, int radius, int elevation, int azimuth);

// The largest square centred in a window of `width` by `height`: the background's copy
// goes there.
QRect CentredSquare(int width, int height);

// The window's plot radius: the background's radius scaled as its copy is.
int ScaledRadius(int width, int height, int backgroundSide, int backgroundRadius);

// Where the ring labels "0", "15" ... "75" stand on a background of `side` with a sky of
// `radius`.
std::vector<QRect> RingMarkRects(int side, int radius);
// Where the letters N, S, W and E stand on it.
std::vector<QRect> CompassRects(int side, int radius);

// Centres for discs of `radius` wanted at `wanted`, moved apart until no two overlap and
// none covers an obstacle (a ring's label), each as little as it can: forty satellites
// of a busy sky gather near each other and read as one blot otherwise. A disc stays
// inside `bounds` where it can.
std::vector<QPoint> SpreadDiscs(const std::vector<QPoint>& wanted, int radius, const std::vector<QRect>& obstacles,
                                const QRect& bounds);

// How a satellite is shown: used in the fix, tracked (a signal, not used), in view
// without a signal, or not at all (no signal and both angles 0: a receiver's placeholder
// for a satellite it knows nothing about, which would otherwise sit on the north rim).
enum class SatelliteState { Used, Tracked, NoSignal, Hidden };
SatelliteState StateOf(const SatelliteEntry& entry, bool used);

struct Look {
    QColor fill, outline, text;
};
// Colours of a disc (and, fill and outline, of its track dot).
Look LookOf(GnssSystem system, SatelliteState state);
// "G12", "E5", ...; QZSS satellites go by their number alone.
QString LabelOf(const SatelliteEntry& entry);

// Which entries of the in-view table are used in the fix: the satellite number and the
// constellation must both match, as GPS 5 and GLONASS 5 are different satellites.
using InUseFlags = std::array<bool, kMaxSatellites>;
InUseFlags MatchInUse(const SatelliteViewSet& view, const UsedSatelliteSet& used);

// A track dot as drawn on the background: where, and in which colours.
struct TrackDot {
    QPoint at;
    QRgb fill = 0, outline = 0;
    bool operator==(const TrackDot&) const = default;
};
// The dots of `wanted` that are not among `drawn`: a satellite moves a pixel of the
// background every few seconds, so at 10 epochs a second most dots would only be drawn
// again over themselves.
std::vector<TrackDot> DotsToDraw(const std::vector<TrackDot>& drawn, const std::vector<TrackDot>& wanted);

// One satellite's disc on the window: where it belongs, where it is drawn after the
// spreading, and the rectangle its picture (disc and label) covers.
struct DiscPlace {
    QPoint truth, at;
    QRect covers;     // the disc and label, and the line back to `truth` when it was moved
    QString picture;  // the label and look: the same place in another look is a change
    int entry = -1;   // in the in-view table
};
bool operator==(const DiscPlace& a, const DiscPlace& b);
// What a repaint must cover when the discs go from `before` to `after`: every place of
// either set that the other does not have as it is, so that a disc that moved leaves
// nothing behind and an unchanged sky repaints nothing.
QRegion ChangedArea(const std::vector<DiscPlace>& before, const std::vector<DiscPlace>& after);

}  // namespace skyview

class CSkyViewView : public QWidget {
    Q_OBJECT
public:
    // `backgroundSide`: side of the background picture; 0 takes the smaller side of the
    // screen the window starts on.
    explicit CSkyViewView(QWidget* parent = nullptr, int backgroundSide = 0);

    // What the window holds, for the tests.
    const QImage& Background() const { return m_background; }
    int SatelliteCount() const { return m_viewCount; }
    const SatelliteEntry& Satellite(int entry) const { return m_view.satellites[entry]; }
    bool InUse(int entry) const { return m_inUse.at(static_cast<std::size_t>(entry)); }
    // The plot's part of the window, above the legend, and where the discs go in it
    // (entries of no position left out), with the ring labels and the compass letters
    // they keep clear of.
    QRect PlotArea() const;
    QRect LegendArea() const;
    std::vector<QPoint> DiscCentres() const;
    std::vector<QRect> RingLabelAreas() const;
    static int DiscRadius();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void TakeView(const SatelliteViewSet& view);
    void Clear();
    void DrawBackground();
    QRegion DrawTrackDots();
    std::vector<skyview::DiscPlace> LayOutDiscs() const;
    bool SameSky(const std::vector<skyview::DiscPlace>& discs) const;
    const QImage& DiscPicture(const SatelliteEntry& entry, skyview::SatelliteState state) const;
    void PaintLegend(QPainter& p);

    int m_side;
    int m_radius;
    QImage m_background;
    QImage m_scaled;  // the background at the window's size, made again when either changes
    bool m_scaledStale = true;
    UsedSatelliteSet m_used{};
    SatelliteViewSet m_view{};
    int m_viewCount = 0;  // entries of m_view to show: 0 after a clear
    skyview::InUseFlags m_inUse{};
    // What stays from paint to paint: the labels' places on the background, the
    // legend's height and picture at the window's width, each disc's picture by its
    // label and look, where the discs are and the dots drawn last.
    std::vector<QRect> m_labelRects;
    mutable int m_legendWidth = -1, m_legendHeight = 0;
    QPixmap m_legendPicture;
    mutable QHash<QString, QImage> m_discPictures;
    std::vector<skyview::DiscPlace> m_discs;
    mutable QSize m_discsFor;  // the plot's size m_discs were laid out for
    std::vector<skyview::TrackDot> m_lastDots;
};

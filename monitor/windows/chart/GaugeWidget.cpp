#include "monitor/windows/chart/GaugeWidget.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace chart {

namespace {

constexpr double kMarginPx = 4;
constexpr double kFootLineFactor = 1.6;   // foot line height over its font's pixel size
constexpr double kBallRadiusPx = 5;       // the compass hand's end
constexpr double kFullSizeRadiusPx = 100;  // below it the whole dial is drawn smaller
constexpr int kMaxLabels = 64;

// Point at `radius` from `centre` in direction `deg` (counter-clockwise from three
// o'clock); screen y grows downwards, hence the minus.
QPointF Polar(QPointF centre, double radius, double deg) {
    const double rad = deg * std::numbers::pi / 180;
    return {centre.x() + radius * std::cos(rad), centre.y() - radius * std::sin(rad)};
}

QString LabelText(double v) { return QString::number(v, 'g', 6); }

}  // namespace

GaugeWidget::GaugeWidget(const GaugeSetup& setup, QWidget* parent)
    : QWidget(parent), m_setup(setup), m_scale(setup.scale) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// Each setter repaints only on a change: the window sets all of them on every epoch,
// and a course or speed often stays the same from one to the next.
void GaugeWidget::SetValue(double value, uint32_t handColour) {
    if (value == m_value && handColour == m_handColour) return;
    m_value = value;
    m_handColour = handColour;
    update();
}

void GaugeWidget::Reset() {
    m_value = m_scale.min;
    update();
}

void GaugeWidget::SetRotation(int degrees) {
    if (m_scale.rotationDeg == degrees) return;
    m_scale.rotationDeg = degrees;
    update();
}

void GaugeWidget::SetFootText(const QString& text) {
    if (m_foot == text) return;
    m_foot = text;
    update();
}

void GaugeWidget::paintEvent(QPaintEvent*) {
    const double footHeight = m_setup.footPixelSize * kFootLineFactor;
    const double dialHeight = std::max(0.0, height() - footHeight);
    const double radius = std::max(0.0, std::min<double>(width(), dialHeight) / 2 - kMarginPx);
    const QPointF centre(width() / 2.0, dialHeight / 2.0);
    // Ticks, labels and hand are sized for a dial of at least kFullSizeRadiusPx; a
    // smaller one is that dial drawn to scale, so that its labels do not run together.
    const double scale = radius > 0 && radius < kFullSizeRadiusPx ? radius / kFullSizeRadiusPx : 1;
    auto toDial = [&](QPainter& painter) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(centre);
        painter.scale(scale, scale);
    };

    const double cardRotation = m_setup.fixedCardRotationDeg.value_or(m_scale.rotationDeg);
    const qreal ratio = devicePixelRatioF();
    if (m_face.size() != size() * ratio || m_faceRotation != cardRotation) {
        m_face = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
        m_face.setDevicePixelRatio(ratio);
        m_face.fill(Qt::white);
        QPainter face(&m_face);
        toDial(face);
        PaintDial(face, {0, 0}, radius / scale);
        PaintTicks(face, {0, 0}, radius / scale);
        m_faceRotation = cardRotation;
    }

    QPainter p(this);
    p.drawImage(0, 0, m_face);
    p.save();
    toDial(p);
    PaintHand(p, {0, 0}, radius / scale);
    p.restore();

    QFont font = p.font();
    font.setPixelSize(m_setup.footPixelSize);
    p.setFont(font);
    p.setPen(ToQColor(m_setup.footColour));
    p.drawText(QRectF(0, dialHeight, width(), footHeight), Qt::AlignCenter, m_foot);
}

void GaugeWidget::PaintDial(QPainter& p, QPointF centre, double radius) const {
    if (m_setup.silverDial) {
        QRadialGradient face(centre, radius, centre - QPointF(radius / 3, radius / 3));
        face.setColorAt(0, QColor(250, 250, 250));
        face.setColorAt(1, QColor(170, 170, 176));
        p.setBrush(face);
    } else {
        p.setBrush(Qt::white);
    }
    p.setPen(QPen(QColor(110, 110, 110), 2));
    p.drawEllipse(centre, radius, radius);
}

void GaugeWidget::PaintTicks(QPainter& p, QPointF centre, double radius) const {
    DialScale card = m_scale;
    if (m_setup.fixedCardRotationDeg) card.rotationDeg = *m_setup.fixedCardRotationDeg;
    const QColor tickColour = ToQColor(m_setup.tickColour);
    const double outer = radius - kMarginPx;
    if (m_setup.axisLine) {
        p.setPen(QPen(tickColour, 1));
        p.setBrush(Qt::NoBrush);
        const QRectF arc(centre.x() - outer, centre.y() - outer, 2 * outer, 2 * outer);
        // drawArc wants sixteenths of a degree, counter-clockwise: our sweep runs clockwise.
        p.drawArc(arc, static_cast<int>(card.rotationDeg * 16), static_cast<int>(-card.sweepDeg * 16));
    }

    std::array<double, kMaxLabels> labels{};
    const int count = LabelValues(card, m_setup.labelStep, labels.data(), kMaxLabels);
    QFont font = p.font();
    font.setPixelSize(m_setup.labelPixelSize);
    p.setFont(font);
    const double labelRadius = outer - m_setup.tickLength - m_setup.labelPixelSize;
    for (int i = 0; i < count; ++i) {
        const double deg = NeedleAngleDeg(card, labels[i]);
        p.setPen(QPen(tickColour, m_setup.tickWidth));
        p.drawLine(Polar(centre, outer, deg), Polar(centre, outer - m_setup.tickLength, deg));
        p.setPen(ToQColor(m_setup.labelColour));
        const QPointF at = Polar(centre, labelRadius, deg);
        const double box = m_setup.labelPixelSize * 3;
        p.drawText(QRectF(at.x() - box / 2, at.y() - box / 2, box, box), Qt::AlignCenter, LabelText(labels[i]));
    }

    if (m_setup.minorTicks <= 0) return;
    const double minorStep = m_setup.labelStep / (m_setup.minorTicks + 1);
    p.setPen(QPen(tickColour, 1));
    for (int i = 0; i < count; ++i) {
        for (int k = 1; k <= m_setup.minorTicks; ++k) {
            const double v = labels[i] + k * minorStep;
            if (v >= card.max) break;
            const double deg = NeedleAngleDeg(card, v);
            p.drawLine(Polar(centre, outer, deg), Polar(centre, outer - m_setup.minorTickLength, deg));
        }
    }
}

void GaugeWidget::PaintHand(QPainter& p, QPointF centre, double radius) const {
    const QColor colour = ToQColor(m_handColour);
    const double deg = NeedleAngleDeg(m_scale, m_value);
    // The hand ends inside the ring of labels so that it never hides the one it points at.
    const double labelRing = radius - kMarginPx - m_setup.tickLength - m_setup.labelPixelSize;
    const double length = std::max(0.0, labelRing - m_setup.labelPixelSize - m_setup.handDistance);
    const QPointF tip = Polar(centre, length, deg);

    if (m_setup.centreCross > 0) {
        p.setPen(QPen(Qt::black, 1));
        const double arm = m_setup.centreCross;
        p.drawLine(centre - QPointF(arm, 0), centre + QPointF(arm, 0));
        p.drawLine(centre - QPointF(0, arm), centre + QPointF(0, arm));
    }

    if (m_setup.hand == HandStyle::DottedWithBall) {
        p.setPen(QPen(colour, 2, Qt::DotLine));
        p.drawLine(centre, tip);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawEllipse(tip, kBallRadiusPx, kBallRadiusPx);
    } else {
        const double halfWidth = std::max(2.0, radius / 40);
        QPainterPath needle;
        needle.moveTo(Polar(centre, halfWidth, deg + 90));
        needle.lineTo(tip);
        needle.lineTo(Polar(centre, halfWidth, deg - 90));
        needle.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(needle);
    }

    if (m_setup.centreCircle > 0) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawEllipse(centre, m_setup.centreCircle, m_setup.centreCircle);
    }
}

}  // namespace chart

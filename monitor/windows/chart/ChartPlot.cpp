#include "monitor/windows/chart/ChartPlot.h"

#include <cmath>

namespace chart {

namespace {

// Tick step fixed by the setup (grown by whole multiples when labels would crowd), with
// the setup's number of minor ticks, which the stock fixed ticker does not take.

// The axis's length in pixels as the next replot will lay it out. Ticks are made before
// the layout of a replot: take the plot's present size and the margins of the last
// layout, so that a resized window is right the first time.
double AxisLength(const QCPAxis* axis) {
    const QCPAxisRect* rect = axis->axisRect();
    const QRect viewport = axis->parentPlot()->viewport();
    return axis->orientation() == Qt::Horizontal ? viewport.width() - (rect->outerRect().width() - rect->width())
                                                 : viewport.height() - (rect->outerRect().height() - rect->height());
}

class StepTicker : public QCPAxisTickerFixed {
public:
    StepTicker(QCPAxis* axis, double step, int minorTicks) : m_axis(axis), m_minorTicks(minorTicks) {
        setTickStep(step);
        setScaleStrategy(ssMultiples);
    }

protected:
    int getSubTickCount(double) override { return m_minorTicks; }

    // The setup's step, or a whole multiple of it where the numbers would touch: a time
    // axis of 200 samples in a tile 120 pixels wide.
    double getTickStep(const QCPRange& range) override {
        const double step = QCPAxisTickerFixed::getTickStep(range);
        const double length = AxisLength(m_axis);
        if (step <= 0 || range.size() <= 0 || length <= 0) return step;
        const QFontMetrics metrics(m_axis->tickLabelFont());
        const bool across = (m_axis->orientation() == Qt::Horizontal) == (std::abs(m_axis->tickLabelRotation()) > 45);
        // Labels are whole multiples of the step: as wide as the range's end in whole units.
        const QString widest = QString::number(std::round(std::max(std::abs(range.lower), std::abs(range.upper))), 'f', 0);
        const double needed = (across ? metrics.height() : metrics.horizontalAdvance("-" + widest)) * 1.5;
        const double spacing = length / range.size() * step;
        return spacing >= needed ? step : step * std::ceil(needed / spacing);
    }

private:
    QCPAxis* m_axis;
    int m_minorTicks;
};

// Labels from the points, every one while they fit, else every second, third, ...: forty
// satellites' names under bars a few pixels wide would only smear into each other.
class PointLabelTicker : public QCPAxisTickerText {
public:
    explicit PointLabelTicker(QCPAxis* axis) : m_axis(axis) {}

protected:
    QVector<double> createTickVector(double tickStep, const QCPRange& range) override {
        const QVector<double> all = QCPAxisTickerText::createTickVector(tickStep, range);
        if (all.size() < 2) return all;
        const bool horizontal = m_axis->orientation() == Qt::Horizontal;
        // Room a label takes along the axis: its height when it is written across the
        // axis (upright on a horizontal axis, level on a vertical one), else its width.
        const QFontMetrics metrics(m_axis->tickLabelFont());
        const bool heightAlong = horizontal == (std::abs(m_axis->tickLabelRotation()) > 45);
        double needed = metrics.height();
        if (!heightAlong)
            for (double t : all) needed = std::max<double>(needed, metrics.horizontalAdvance(ticks().value(t)));
        const double length = AxisLength(m_axis);
        const double spacing = range.size() > 0 ? length / range.size() * (all[1] - all[0]) : 0;
        if (spacing <= 0 || spacing >= needed) return all;
        const int every = static_cast<int>(std::ceil(needed / spacing));
        QVector<double> kept;
        for (int i = 0; i < all.size(); i += every) kept.append(all[i]);
        return kept;
    }

private:
    QCPAxis* m_axis;
};

}  // namespace

void SetUpAxis(QCPAxis* axis, const AxisSetup& setup, const QFont& font) {
    axis->setVisible(setup.visible);
    const QColor colour = ToQColor(setup.colour);
    axis->setLabel(setup.title);
    QFont title = font;
    title.setBold(setup.boldTitle);
    axis->setLabelFont(title);
    axis->setLabelColor(colour);
    axis->setTickLabelColor(colour);
    axis->setBasePen(QPen(colour));
    axis->setTickPen(QPen(colour));
    axis->setSubTickPen(QPen(colour));
    if (!setup.labelFont.isEmpty()) axis->setTickLabelFont(QFont(setup.labelFont));
    axis->setTickLabelRotation(setup.labelRotation);
    if (setup.wholeNumbers) {
        axis->setNumberFormat("f");
        axis->setNumberPrecision(0);
    }
    axis->setTickLength(setup.innerTicks ? setup.tickLength : 0, setup.innerTicks ? 0 : setup.tickLength);
    axis->setSubTickLength(setup.innerTicks ? 2 : 0, setup.innerTicks ? 0 : 2);
    axis->grid()->setVisible(setup.grid);
    axis->setSubTicks(setup.minorTicks > 0);
    if (setup.labelsFromPoints) {
        QSharedPointer<QCPAxisTickerText> ticker(new PointLabelTicker(axis));
        ticker->setSubTickCount(setup.minorTicks);
        axis->setTicker(ticker);
    } else if (setup.labelStep > 0) {
        axis->setTicker(QSharedPointer<QCPAxisTicker>(new StepTicker(axis, setup.labelStep, setup.minorTicks)));
    }
}

}  // namespace chart

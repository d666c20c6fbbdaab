#include "ChartPlot.h"

namespace chart {

namespace {

// Tick step fixed by the setup (grown by whole multiples when labels would crowd), with
// the setup's number of minor ticks, which the stock fixed ticker does not take.
class StepTicker : public QCPAxisTickerFixed {
public:
    StepTicker(double step, int minorTicks) : m_minorTicks(minorTicks) {
        setTickStep(step);
        setScaleStrategy(ssMultiples);
    }

protected:
    int getSubTickCount(double) override { return m_minorTicks; }

private:
    int m_minorTicks;
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
    axis->grid()->setVisible(setup.grid);
    axis->setSubTicks(setup.minorTicks > 0);
    if (setup.labelsFromPoints) {
        QSharedPointer<QCPAxisTickerText> ticker(new QCPAxisTickerText);
        ticker->setSubTickCount(setup.minorTicks);
        axis->setTicker(ticker);
    } else if (setup.labelStep > 0) {
        axis->setTicker(QSharedPointer<QCPAxisTicker>(new StepTicker(setup.labelStep, setup.minorTicks)));
    }
}

}  // namespace chart

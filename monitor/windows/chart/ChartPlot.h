// The pieces of QCustomPlot the chart adds to: a plot whose history picture can be
// drawn on, a fixed-step ticker with a chosen number of minor ticks, and axis set-up.
#pragma once

#include <qcustomplot.h>

#include "monitor/windows/chart/ChartSetup.h"

namespace chart {

// The plot with one addition: painting onto the picture of the main layer, which holds
// the history, without redrawing what is already there.
class ChartPlot : public QCustomPlot {
public:
    using QCustomPlot::QCustomPlot;

    // False when the picture is due to be redrawn whole anyway (never drawn, resized).
    template <typename Paint>
    bool PaintOntoMain(Paint paint) {
        // The main layer and the two below it share the first buffer: none is buffered
        // on its own (see BuildPlot).
        if (mPaintBuffers.isEmpty() || hasInvalidatedPaintBuffers()) return false;
        const QSharedPointer<QCPAbstractPaintBuffer>& buffer = mPaintBuffers.first();
        QCPPainter* painter = buffer->startPainting();
        if (!painter) return false;
        if (painter->isActive()) {
            painter->setClipRect(axisRect()->rect());
            paint(painter);
        }
        delete painter;
        buffer->donePainting();
        return true;
    }
};

// Title, colours, ticks, grid and labels of one axis as its setup says.
void SetUpAxis(QCPAxis* axis, const AxisSetup& setup, const QFont& font);

}  // namespace chart

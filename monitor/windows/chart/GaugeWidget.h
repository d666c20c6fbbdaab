// A round dial with ticks, labels, a hand and a line of text under it, painted with
// QPainter: the plotting library draws axes and points but no dials.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include "monitor/windows/chart/ChartSetup.h"

namespace chart {

class GaugeWidget : public QWidget {
public:
    explicit GaugeWidget(const GaugeSetup& setup, QWidget* parent = nullptr);

    void SetValue(double value, uint32_t handColour);
    void Reset();  // hand back to the minimum, as on a dial with no value
    void SetRotation(int degrees);
    void SetFootText(const QString& text);

    double Value() const { return m_value; }
    const DialScale& Scale() const { return m_scale; }
    QString FootText() const { return m_foot; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void PaintDial(class QPainter& p, QPointF centre, double radius) const;
    void PaintTicks(QPainter& p, QPointF centre, double radius) const;
    void PaintHand(QPainter& p, QPointF centre, double radius) const;

    GaugeSetup m_setup;
    DialScale m_scale;
    double m_value = 0;
    uint32_t m_handColour = ColourRef(255, 0, 0);
    QString m_foot;
    // The face (dial, ticks, labels) changes only with the size and the card's turn: it
    // is drawn once into this picture, and a repaint draws only the hand and the text.
    QImage m_face;  // in the backing store's own format: copied, never converted
    double m_faceRotation = 0;
};

}  // namespace chart

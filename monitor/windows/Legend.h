// The legends of Sky view and Signal: what each colour and each kind of fill means, in a
// strip under the plot. The constellations' colours are kept here once, for both
// windows and their legends.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

#include "monitor/link/ReceiverState.h"

class QPainter;

namespace legend {

// A constellation's colour in the fix and its name; an unknown system gets black.
QColor ConstellationColour(GnssSystem system);

// One entry: a disc drawn as the window draws it (`square` for a bar), then its text.
struct Item {
    QColor fill;
    QColor outline;
    QString text;
    bool square = false;
};

// The six constellations, in the order the windows group them.
std::vector<Item> ConstellationItems(bool square);

// Where each entry goes, left to right, onto further lines when the width is used up;
// relative to the strip's top-left corner.
std::vector<QRect> ItemRects(const std::vector<Item>& items, const QFont& font, int width);
int HeightFor(const std::vector<Item>& items, const QFont& font, int width);
void Paint(QPainter& painter, const QRect& strip, const std::vector<Item>& items, const QFont& font);

}  // namespace legend

// The legend as a widget of its own, for a window laid out in a layout (Signal).
class CLegendStrip : public QWidget {
public:
    explicit CLegendStrip(std::vector<legend::Item> items, QWidget* parent = nullptr);
    const std::vector<legend::Item>& Items() const { return m_items; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<legend::Item> m_items;
};

#include "monitor/windows/Legend.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace legend {

namespace {

struct Constellation {
    GnssSystem system;
    const char* name;
    QColor colour;
};

// QZSS in teal: a grey of its own would read as "not used" beside the grey of the
// satellites out of the fix.
const Constellation kConstellations[] = {
    {gnss::kGps, "GPS", QColor(0, 0, 255)},       {gnss::kQzss, "QZSS", QColor(0, 128, 128)},
    {gnss::kSbas, "SBAS", QColor(128, 0, 128)},   {gnss::kBeiDou, "BeiDou", QColor(255, 255, 0)},
    {gnss::kGalileo, "Galileo", QColor(0, 255, 0)}, {gnss::kGlonass, "GLONASS", QColor(255, 0, 0)},
};

constexpr int kGap = 10;       // between entries
constexpr int kMarkGap = 4;    // between an entry's mark and its text
constexpr int kLinePad = 2;    // above and below a line's text

}  // namespace

QColor ConstellationColour(GnssSystem system) {
    for (const Constellation& c : kConstellations)
        if (c.system == system) return c.colour;
    return QColor(0, 0, 0);
}

std::vector<Item> ConstellationItems(bool square) {
    std::vector<Item> items;
    for (const Constellation& c : kConstellations) items.push_back({c.colour, c.colour, c.name, square});
    return items;
}

std::vector<QRect> ItemRects(const std::vector<Item>& items, const QFont& font, int width) {
    const QFontMetrics metrics(font);
    const int lineHeight = metrics.height() + 2 * kLinePad, mark = metrics.ascent();
    std::vector<QRect> rects;
    int x = kGap / 2, y = 0;
    for (const Item& item : items) {
        const int w = mark + kMarkGap + metrics.horizontalAdvance(item.text);
        if (x > kGap / 2 && x + w > width) x = kGap / 2, y += lineHeight;
        rects.emplace_back(x, y, w, lineHeight);
        x += w + kGap;
    }
    return rects;
}

int HeightFor(const std::vector<Item>& items, const QFont& font, int width) {
    const std::vector<QRect> rects = ItemRects(items, font, width);
    return rects.empty() ? 0 : rects.back().bottom() + 1;
}

void Paint(QPainter& painter, const QRect& strip, const std::vector<Item>& items, const QFont& font) {
    const std::vector<QRect> rects = ItemRects(items, font, strip.width());
    const QFontMetrics metrics(font);
    const int mark = metrics.ascent();
    painter.save();
    painter.setFont(font);
    painter.setRenderHint(QPainter::Antialiasing);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const QRect r = rects[i].translated(strip.topLeft());
        const QRect box(r.left(), r.top() + (r.height() - mark) / 2, mark, mark);
        painter.setPen(QPen(items[i].outline, 2));
        painter.setBrush(items[i].fill);
        if (items[i].square) painter.drawRect(box.adjusted(1, 1, -1, -1));
        else painter.drawEllipse(box.adjusted(1, 1, -1, -1));
        painter.setPen(Qt::black);
        painter.drawText(QRect(box.right() + 1 + kMarkGap, r.top(), r.right() - box.right() - kMarkGap, r.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, items[i].text);
    }
    painter.restore();
}

}  // namespace legend

CLegendStrip::CLegendStrip(std::vector<legend::Item> items, QWidget* parent) : QWidget(parent), m_items(std::move(items)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int CLegendStrip::heightForWidth(int width) const { return legend::HeightFor(m_items, font(), width); }

QSize CLegendStrip::sizeHint() const {
    const int w = std::max(width(), 200);
    return {w, heightForWidth(w)};
}

QSize CLegendStrip::minimumSizeHint() const { return {0, heightForWidth(width())}; }

void CLegendStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // Fewer or more lines at the new width: the layout asks again.
    if (height() != heightForWidth(width())) setFixedHeight(heightForWidth(width()));
}

void CLegendStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    legend::Paint(p, rect(), m_items, font());
}

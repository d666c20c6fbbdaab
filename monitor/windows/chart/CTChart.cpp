#include "monitor/windows/chart/CTChart.h"

#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <qcustomplot.h>

#include "monitor/windows/chart/ChartPlot.h"
#include "monitor/windows/chart/GaugeWidget.h"

using chart::AxisId;
using chart::Range;
using chart::SeriesKind;

namespace {

// Points appended since the last full replot are drawn on a layer of their own, so an
// append repaints only the newest points and not a day's history. Once a series has
// this many there, they are painted onto the history's picture as it stands (no full
// replot) and leave the layer. A series that is cleared and refilled with a point or
// two on every fix (the Track window's newest position) stays on the layer and clears
// cheaply.
constexpr int kRecentLimit = 256;
constexpr std::size_t kSmallSeries = 16;
// Bars keep at least this many slots so that a few satellites do not become slabs.
constexpr int kMinBarSlots = 12;
constexpr const char* kRecentLayer = "recent";

struct PlotPen {
    QCPGraph* history = nullptr;  // main layer
    QCPGraph* recent = nullptr;   // recent layer
    QCPBars* bars = nullptr;
};

// A bar's value above it, left out while the bars are too narrow for it, as they are
// when forty satellites share a small window: overlapping numbers help nobody.
class ValueMark : public QCPItemText {
public:
    using QCPItemText::QCPItemText;

protected:
    void draw(QCPPainter* painter) override {
        const QCPAxis* key = position->keyAxis();
        const double slot = std::abs(key->coordToPixel(1) - key->coordToPixel(0));
        // All or none: judged by two digits (C/N0 values), so that a lone short value
        // does not show where its neighbours' are left out.
        const QFontMetrics metrics(mainFont());
        if (std::max(metrics.horizontalAdvance(text()), metrics.horizontalAdvance(QStringLiteral("00"))) > slot) return;
        QCPItemText::draw(painter);
    }
};

void Widen(bool& has, Range& r, double v) {
    if (!has) {
        r = {v, v};
        has = true;
        return;
    }
    r.min = std::min(r.min, v);
    r.max = std::max(r.max, v);
}

}  // namespace

struct CTChart::Series {
    chart::SeriesSetup setup;
    std::vector<Point> points;
    bool hasData = false;
    Range x, y;
    std::map<uint32_t, PlotPen> pens;  // one drawing per colour: a plottable has one style
    std::vector<ValueMark*> marks;
    std::vector<ValueMark*> spareMarks;  // hidden after a clear, used again by the next bars
    bool inHistory = false;  // some of its points are drawn on the main layer
    std::size_t capacity = 0;  // 0: every point stays
};

CTChart::CTChart(const chart::ChartSetup& setup, QWidget* parent) : QWidget(parent), m_setup(setup) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (const auto& s : setup.series) {
        m_series.push_back(std::make_unique<Series>());
        m_series.back()->setup = s;
    }
    if (setup.kind == SeriesKind::Gauge) {
        m_gauge = new chart::GaugeWidget(setup.gauge, this);
        layout->addWidget(m_gauge);
        return;
    }
    m_plot = new chart::ChartPlot(this);
    layout->addWidget(m_plot);
    BuildPlot();
}

CTChart::~CTChart() = default;

void CTChart::BuildPlot() {
    m_plot->setBackground(chart::ToQColor(m_setup.background));
    // Above the main layer, so that the background, grid and history below it keep
    // sharing the first picture, the one ChartPlot::PaintOntoMain draws on.
    m_plot->addLayer(kRecentLayer, m_plot->layer("main"), QCustomPlot::limAbove);
    m_recentLayer = m_plot->layer(kRecentLayer);
    m_recentLayer->setMode(QCPLayer::lmBuffered);
    m_axes[AxisId::Left] = {m_setup.left.range, m_setup.left.automatic};
    m_axes[AxisId::Bottom] = {m_setup.bottom.range, m_setup.bottom.automatic};
    m_axes[AxisId::Right] = {m_setup.right.range, m_setup.right.automatic};
    chart::SetUpAxis(m_plot->xAxis, m_setup.bottom, font());
    chart::SetUpAxis(m_plot->yAxis, m_setup.left, font());
    chart::SetUpAxis(m_plot->yAxis2, m_setup.right, font());
    m_plot->xAxis2->setVisible(false);
    // Room above the axes for the value of a bar that reaches the top of the scale.
    const bool marks = std::any_of(m_setup.series.begin(), m_setup.series.end(),
                                   [](const chart::SeriesSetup& s) { return s.valueMarks; });
    if (marks) m_plot->axisRect()->setMinimumMargins(QMargins(0, QFontMetrics(font()).height() + 2, 0, 0));
    if (m_setup.cursor.present) {
        m_cursor = new QCPItemTracer(m_plot);
        m_cursor->setLayer(m_recentLayer);
        m_cursor->setStyle(QCPItemTracer::tsCircle);
        m_cursor->setSize(m_setup.cursor.size * 2);
        m_cursor->setPen(QPen(chart::ToQColor(m_setup.cursor.colour)));
        m_cursor->position->setCoords(0, 0);
    }
    if (m_setup.horizontalPanZoom) {
        m_plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
        m_plot->axisRect()->setRangeDrag(Qt::Horizontal);
        m_plot->axisRect()->setRangeZoom(Qt::Horizontal);
        m_plot->axisRect()->setRangeDragAxes(m_plot->xAxis, nullptr);
        m_plot->axisRect()->setRangeZoomAxes(m_plot->xAxis, nullptr);
        // Where the user pans or zooms to stays, as after a scroll: the time axis stops
        // following its data until the window is cleared.
        auto keep = [this] {
            AxisState& a = m_axes[AxisId::Bottom];
            a.range = {m_plot->xAxis->range().lower, m_plot->xAxis->range().upper};
            a.automatic = false;
        };
        connect(m_plot, &QCustomPlot::mouseRelease, this, keep);
        connect(m_plot, &QCustomPlot::mouseWheel, this, keep);
    }
    ApplyRanges();
    m_plot->replot();
}

QCPAxis* CTChart::PlotAxis(AxisId axis) const {
    if (!m_plot) return nullptr;
    switch (axis) {
        case AxisId::Left: return m_plot->yAxis;
        case AxisId::Bottom: return m_plot->xAxis;
        case AxisId::Right: return m_plot->yAxis2;
    }
    return nullptr;
}

CTChart::AxisState* CTChart::Axis(AxisId axis) {
    auto it = m_axes.find(axis);
    return it == m_axes.end() ? nullptr : &it->second;
}

CTChart::Series* CTChart::At(int series) {
    if (series < 0 || series >= static_cast<int>(m_series.size())) return nullptr;
    return m_series[series].get();
}

int CTChart::AddXY(int series, double x, double y, const QString& label, uint32_t colour) {
    Series* s = At(series);
    if (!s) return -1;
    if (s->setup.kind == SeriesKind::Gauge) return Add(series, y, label, colour);
    s->points.push_back({x, y, label, colour});
    bool hasY = s->points.size() > 1;
    Widen(s->hasData, s->x, x);
    Widen(hasY, s->y, y);
    NoteLabel(AxisId::Bottom, x, label);
    NoteLabel(s->setup.valueAxis, y, label);
    AppendToPlot(*s, s->points.back());
    const std::size_t drop = chart::PointsToDrop(s->points.size(), s->capacity);
    if (drop > 0) DropOldest(*s, drop);
    return static_cast<int>(s->points.size()) - 1;
}

void CTChart::SetCapacity(int series, std::size_t points) {
    Series* s = At(series);
    if (!s || s->setup.kind != SeriesKind::Points) return;  // bars and dials hold a sky or a value
    s->capacity = points;
    if (points > 0 && s->points.size() > points) DropOldest(*s, s->points.size() - points);
}

// The points that stay are drawn again from scratch, once for the whole batch.
void CTChart::DropOldest(Series& s, std::size_t count) {
    s.points.erase(s.points.begin(), s.points.begin() + static_cast<std::ptrdiff_t>(std::min(count, s.points.size())));
    s.hasData = false;
    bool hasY = false;
    for (const Point& p : s.points) {
        Widen(s.hasData, s.x, p.x);
        Widen(hasY, s.y, p.y);
    }
    if (m_plot) {
        for (auto& [colour, pen] : s.pens) {
            if (pen.history) pen.history->data()->clear();
            if (pen.recent) pen.recent->data()->clear();
        }
        for (const Point& p : s.points)
            if (QCPGraph* g = s.pens[p.colour].history) g->addData(p.x, p.y);
        s.inHistory = true;
    }
    // An axis that follows the data starts again from where the data now begins.
    for (auto& [id, a] : m_axes) {
        Range data;
        if (a.automatic && DataRange(id, data)) a.range = chart::FollowData({}, data);
    }
    m_labelsStale = true;
    NeedFull();
}

int CTChart::Add(int series, double value, const QString& label, uint32_t colour) {
    Series* s = At(series);
    if (!s) return -1;
    if (s->setup.kind != SeriesKind::Gauge) {
        return AddXY(series, static_cast<double>(s->points.size()), value, label, colour);
    }
    // A dial shows one value; keeping every one would grow for as long as the program
    // runs, since the Velocity window appends on each repaint.
    s->points.assign(1, {0, value, label, colour});
    s->hasData = true;
    if (m_gauge) m_gauge->SetValue(value, colour);
    return 0;
}

void CTChart::AppendToPlot(Series& s, const Point& point) {
    if (!m_plot) return;
    QCPAxis* valueAxis = PlotAxis(s.setup.valueAxis);
    PlotPen& pen = s.pens[point.colour];
    const QColor colour = chart::ToQColor(point.colour);
    if (s.setup.kind == SeriesKind::Bars) {
        if (!pen.bars) {
            pen.bars = new QCPBars(m_plot->xAxis, valueAxis);
            pen.bars->setWidth(s.setup.barWidth);
            pen.bars->setPen(QPen(colour.darker(130)));
            pen.bars->setBrush(colour);
        }
        pen.bars->addData(point.x, point.y);
        if (s.setup.valueMarks) {
            // The bars of a sky are cleared and drawn again on every change: their
            // marks are kept and moved rather than made anew each time.
            ValueMark* mark = nullptr;
            if (!s.spareMarks.empty()) {
                mark = s.spareMarks.back();
                s.spareMarks.pop_back();
                mark->setVisible(true);
            } else {
                mark = new ValueMark(m_plot);
                mark->position->setAxes(m_plot->xAxis, valueAxis);
                mark->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
                // A bar at the top of the scale writes its value in the room kept above it.
                mark->setClipToAxisRect(false);
            }
            mark->position->setCoords(point.x, point.y);
            mark->setText(QString::number(point.y, 'g', 6));
            s.marks.push_back(mark);
        }
        NeedFull();
        return;
    }
    if (!pen.history) {
        const QPen outline = s.setup.outline ? QPen(colour.darker(160)) : QPen(colour);
        const QCPScatterStyle style(QCPScatterStyle::ssSquare, outline, QBrush(colour), 2 * s.setup.pointSize + 1);
        for (QCPGraph** g : {&pen.history, &pen.recent}) {
            *g = new QCPGraph(m_plot->xAxis, valueAxis);
            (*g)->setLineStyle(QCPGraph::lsNone);
            (*g)->setScatterStyle(style);
        }
        pen.recent->setLayer(m_recentLayer);
    }
    pen.recent->addData(point.x, point.y);
    NeedRecent();
}

void CTChart::Clear(int series) {
    Series* s = At(series);
    if (!s) return;
    s->points.clear();
    s->hasData = false;
    if (m_gauge) {
        m_gauge->Reset();
        return;
    }
    bool full = s->inHistory || !s->marks.empty();
    for (auto& [colour, pen] : s->pens) {
        if (pen.bars) {
            full = full || !pen.bars->data()->isEmpty();
            pen.bars->data()->clear();
        }
        if (pen.history) pen.history->data()->clear();
        if (pen.recent) pen.recent->data()->clear();
    }
    for (ValueMark* mark : s->marks) {
        mark->setVisible(false);
        s->spareMarks.push_back(mark);
    }
    s->marks.clear();
    s->inHistory = false;
    m_labelsStale = true;
    full ? NeedFull() : NeedRecent();
}

void CTChart::SetMinMax(AxisId axis, double min, double max) {
    AxisState* a = Axis(axis);
    if (!a) return;
    a->range = {min, max};
    a->automatic = false;
    NeedFull();
}

void CTChart::Scroll(AxisId axis, double offset, bool checkLimits) {
    AxisState* a = Axis(axis);
    if (!a) return;
    // An automatic axis catches up with the points appended since the last repaint
    // first, so that the scroll starts from where the data is and not from a stale range.
    if (a->automatic) UpdateAutomaticRanges();
    Range data = a->range;
    DataRange(axis, data);
    a->range = chart::ScrollRange(a->range, offset, checkLimits, data);
    a->automatic = false;
    NeedFull();
}

void CTChart::SetAutomatic(AxisId axis, bool automatic) {
    AxisState* a = Axis(axis);
    if (!a) return;
    a->automatic = automatic;
    NeedFull();
}

void CTChart::SetFootText(const QString& text) {
    if (m_gauge) {
        m_gauge->SetFootText(text);
        return;
    }
    // A plot's foot title is a line under the axes, made the first time it is set.
    if (m_plot->plotLayout()->rowCount() < 2) {
        m_plot->plotLayout()->insertRow(1);
        m_plot->plotLayout()->addElement(1, 0, new QCPTextElement(m_plot, text));
    } else if (auto* foot = qobject_cast<QCPTextElement*>(m_plot->plotLayout()->element(1, 0))) {
        foot->setText(text);
    }
    NeedFull();
}

void CTChart::SetRotationAngle(int degrees) {
    if (m_gauge) m_gauge->SetRotation(degrees);
}

void CTChart::SetCursorX(double x) {
    if (!m_cursor) return;
    m_cursor->position->setCoords(x, m_cursor->position->coords().y());
    NeedRecent();
}

void CTChart::SetCursorY(double y) {
    if (!m_cursor) return;
    m_cursor->position->setCoords(m_cursor->position->coords().x(), y);
    NeedRecent();
}

const std::vector<CTChart::Point>& CTChart::Points(int series) const {
    static const std::vector<Point> kNone;
    if (series < 0 || series >= static_cast<int>(m_series.size())) return kNone;
    return m_series[series]->points;
}

Range CTChart::AxisRange(AxisId axis) const {
    auto it = m_axes.find(axis);
    return it == m_axes.end() ? Range{} : it->second.range;
}

bool CTChart::IsAutomatic(AxisId axis) const {
    auto it = m_axes.find(axis);
    return it != m_axes.end() && it->second.automatic;
}

QString CTChart::FootText() const {
    if (m_gauge) return m_gauge->FootText();
    if (m_plot->plotLayout()->rowCount() < 2) return {};
    auto* foot = qobject_cast<QCPTextElement*>(m_plot->plotLayout()->element(1, 0));
    return foot ? foot->text() : QString();
}

double CTChart::NeedleAngleDeg() const {
    return m_gauge ? chart::NeedleAngleDeg(m_gauge->Scale(), m_gauge->Value()) : 0;
}

QPointF CTChart::CursorPosition() const { return m_cursor ? m_cursor->position->coords() : QPointF(); }

QString CTChart::TickLabel(AxisId axis, double value) const {
    QCPAxis* a = PlotAxis(axis);
    if (!a) return {};
    auto ticker = a->ticker().dynamicCast<QCPAxisTickerText>();
    return ticker ? ticker->ticks().value(value) : QString();
}

bool CTChart::DataRange(AxisId axis, Range& out) const {
    bool has = false;
    for (const auto& s : m_series) {
        if (!s->hasData) continue;
        if (axis == AxisId::Bottom) {
            Widen(has, out, s->x.min);
            Widen(has, out, s->x.max);
        } else if (s->setup.valueAxis == axis) {
            Widen(has, out, s->y.min);
            Widen(has, out, s->y.max);
        }
    }
    return has;
}

bool CTChart::UpdateAutomaticRanges() {
    bool moved = false;
    for (auto& [id, a] : m_axes) {
        Range data;
        if (!a.automatic || !DataRange(id, data)) continue;
        const bool barSlots = id == AxisId::Bottom && m_setup.kind == SeriesKind::Bars;
        const Range next = barSlots ? chart::FitSlots(data, kMinBarSlots) : chart::FollowData(a.range, data);
        if (next != a.range) {
            a.range = next;
            moved = true;
        }
    }
    return moved;
}

const chart::AxisSetup& CTChart::SetupOf(AxisId axis) const {
    switch (axis) {
        case AxisId::Left: return m_setup.left;
        case AxisId::Bottom: return m_setup.bottom;
        case AxisId::Right: return m_setup.right;
    }
    return m_setup.left;
}

// Tick labels are the label texts of the points at each coordinate, the newest point's
// text where several share one. Kept as points come, so that an append costs the same
// after a day of samples as after the first.
void CTChart::NoteLabel(AxisId axis, double coordinate, const QString& label) {
    if (!SetupOf(axis).labelsFromPoints) return;
    QMap<double, QString>& labels = m_tickLabels[axis];
    auto it = labels.find(coordinate);
    if (it != labels.end() && *it == label) return;
    labels.insert(coordinate, label);
    m_labelsChanged = true;
}

void CTChart::RebuildLabels() {
    m_tickLabels.clear();
    for (const auto& s : m_series) {
        if (s->setup.kind == SeriesKind::Gauge) continue;
        for (const Point& p : s->points) {
            NoteLabel(AxisId::Bottom, p.x, p.label);
            NoteLabel(s->setup.valueAxis, p.y, p.label);
        }
    }
    m_labelsChanged = true;
}

bool CTChart::UpdateTickLabels() {
    if (m_labelsStale) RebuildLabels();
    m_labelsStale = false;
    if (!m_labelsChanged) return false;
    m_labelsChanged = false;
    bool changed = false;
    for (AxisId id : {AxisId::Left, AxisId::Bottom, AxisId::Right}) {
        auto ticker = PlotAxis(id)->ticker().dynamicCast<QCPAxisTickerText>();
        if (!ticker) continue;
        const QMap<double, QString>& labels = m_tickLabels[id];
        if (labels != ticker->ticks()) {
            ticker->setTicks(labels);
            changed = true;
        }
    }
    return changed;
}

void CTChart::MergeRecent() {
    for (auto& s : m_series) {
        // A series of a few points (a reference, the newest position) stays on the
        // newest layer: it is cleared and drawn again often, and a clear of points in
        // the history would cost a full replot each time.
        if (s->points.size() <= kSmallSeries) continue;
        for (auto& [colour, pen] : s->pens) {
            if (!pen.recent || pen.recent->data()->isEmpty()) continue;
            pen.history->data()->add(*pen.recent->data());
            pen.recent->data()->clear();
            s->inHistory = true;
        }
    }
}

// Moves the newest points of series that have many of them onto the history's picture.
// False when that picture cannot be added to and a full replot must do it.
bool CTChart::SettleRecent() {
    for (auto& s : m_series) {
        int recent = 0;
        for (const auto& [colour, pen] : s->pens) recent += pen.recent ? pen.recent->dataCount() : 0;
        if (recent <= kRecentLimit) continue;
        const bool painted = m_plot->PaintOntoMain([&](QCPPainter* painter) {
            for (const auto& [colour, pen] : s->pens) {
                if (!pen.recent) continue;
                // What QCPGraph draws for these points, drawn over the picture instead.
                painter->setAntialiasing(pen.history->antialiasedScatters());
                const QCPScatterStyle& style = pen.history->scatterStyle();
                style.applyTo(painter, pen.history->pen());
                QCPAxis* key = pen.history->keyAxis();
                QCPAxis* value = pen.history->valueAxis();
                for (const QCPGraphData& d : *pen.recent->data()) {
                    style.drawShape(painter, key->coordToPixel(d.key), value->coordToPixel(d.value));
                }
            }
        });
        if (!painted) return false;
        for (auto& [colour, pen] : s->pens) {
            if (!pen.recent || pen.recent->data()->isEmpty()) continue;
            pen.history->data()->add(*pen.recent->data());
            pen.recent->data()->clear();
        }
        s->inHistory = true;
        m_recent = true;
    }
    return true;
}

void CTChart::ApplyRanges() {
    for (const auto& [id, a] : m_axes) {
        // An empty range, such as (0, 0) after a clear, shows one unit from its minimum.
        const double max = a.range.max > a.range.min ? a.range.max : a.range.min + 1;
        PlotAxis(id)->setRange(a.range.min, max);
    }
}

void CTChart::NeedFull() {
    m_full = true;
    Schedule();
}

void CTChart::NeedRecent() {
    m_recent = true;
    Schedule();
}

void CTChart::Schedule() {
    if (m_scheduled) return;
    m_scheduled = true;
    QTimer::singleShot(0, this, [this] { Refresh(); });
}

void CTChart::Refresh() {
    m_scheduled = false;
    if (!m_plot) return;
    const bool moved = UpdateAutomaticRanges();
    const bool relabelled = UpdateTickLabels();
    if (moved || relabelled) m_full = true;
    if (!m_full && !SettleRecent()) m_full = true;
    if (m_full) {
        MergeRecent();
        ApplyRanges();
        m_plot->replot(QCustomPlot::rpQueuedRefresh);
    } else if (m_recent) {
        m_recentLayer->replot();
    }
    m_full = false;
    m_recent = false;
}

QCustomPlot* CTChart::Plot() const { return m_plot; }

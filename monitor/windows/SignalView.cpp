#include "monitor/windows/SignalView.h"

#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "monitor/windows/Legend.h"
#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "monitor/windows/chart/ChartSetup.h"

namespace {
constexpr int kLegendFontPx = 11;
}  // namespace

namespace signalview {

namespace {

struct Constellation {
    GnssSystem system;
    const char* labelFormat;  // letter and satellite number
    uint32_t colour;          // in the fix
};

uint32_t InFix(GnssSystem system) {
    const QColor c = legend::ConstellationColour(system);
    return chart::ColourRef(static_cast<uint8_t>(c.red()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.blue()));
}

const Constellation kConstellations[] = {
    {gnss::kGps, "G%d", InFix(gnss::kGps)},         {gnss::kQzss, "Q%d", InFix(gnss::kQzss)},
    {gnss::kGalileo, "E%d", InFix(gnss::kGalileo)}, {gnss::kGlonass, "R%d", InFix(gnss::kGlonass)},
    {gnss::kBeiDou, "B%d", InFix(gnss::kBeiDou)},   {gnss::kSbas, "S%d", InFix(gnss::kSbas)},
};

const Constellation* ConstellationOf(GnssSystem system) {
    for (const Constellation& c : kConstellations)
        if (c.system == system) return &c;
    return nullptr;
}

// Where each constellation's group stands on the axis: GPS and its augmentations first,
// GLONASS last. -1: not drawn.
int GroupRank(GnssSystem system) {
    static constexpr GnssSystem kOrder[] = {gnss::kGps,    gnss::kQzss,    gnss::kSbas,
                                            gnss::kBeiDou, gnss::kGalileo, gnss::kGlonass};
    const auto* it = std::find(std::begin(kOrder), std::end(kOrder), system);
    return it == std::end(kOrder) ? -1 : static_cast<int>(it - std::begin(kOrder));
}

}  // namespace

std::vector<MergedSatellite> MergeSatellites(const SatelliteViewSet& view, const UsedSatelliteSet& used) {
    std::vector<MergedSatellite> merged;
    const int inView = std::clamp<int>(view.count, 0, kMaxSatellites);
    for (int i = 0; i < inView; ++i) {
        const SatelliteEntry& s = view.satellites[i];
        if (GroupRank(s.system) >= 0) merged.push_back({s.prn, s.snr, s.system, false});
    }
    // Stable: two entries with the same number keep the order of the record.
    std::stable_sort(merged.begin(), merged.end(), [](const MergedSatellite& a, const MergedSatellite& b) {
        const int ra = GroupRank(a.system), rb = GroupRank(b.system);
        return ra != rb ? ra < rb : a.prn < b.prn;
    });
    const int inUse = std::clamp<int>(used.count, 0, kMaxSatellites);
    for (MergedSatellite& m : merged) {
        for (int i = 0; i < inUse && !m.inUse; ++i)
            m.inUse = used.prn[i] == static_cast<int>(m.prn) && used.system[i] == m.system;
    }
    return merged;
}

std::vector<SignalBar> SignalBars(const std::vector<MergedSatellite>& merged, uint32_t neutralColour) {
    std::vector<SignalBar> bars;
    for (const MergedSatellite& m : merged) {
        if (m.snr <= 0) continue;  // listed without a signal (a negative one is garbage)
        const Constellation* c = ConstellationOf(m.system);
        if (!c) continue;
        bars.push_back({QString::asprintf(c->labelFormat, static_cast<int>(m.prn)), static_cast<double>(m.snr),
                        m.inUse ? c->colour : neutralColour});
    }
    return bars;
}

}  // namespace signalview

CSignalView::CSignalView(QWidget* parent) : QWidget(parent), m_chart(new CTChart(chart::SignalChart(), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_chart, 1);
    // Coloured bars are in the fix, in their constellation's colour; grey ones are not.
    std::vector<legend::Item> items = legend::ConstellationItems(true);
    const uint32_t n = m_chart->NeutralColour();
    const QColor neutral(static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF), static_cast<int>((n >> 16) & 0xFF));
    items.push_back({neutral, neutral, "not in fix", true});
    m_legend = new CLegendStrip(std::move(items), this);
    QFont small = m_legend->font();
    small.setPixelSize(kLegendFontPx);
    m_legend->setFont(small);
    layout->addWidget(m_legend);
}

// The chart keeps its bars and repaints them itself, so they are rebuilt only when they
// change: at 10 epochs a second most epochs bring the same values as the one before.
void CSignalView::DrawBars() {
    std::vector<signalview::SignalBar> bars = signalview::SignalBars(m_merged, m_chart->NeutralColour());
    if (bars == m_bars) return;
    m_bars = std::move(bars);
    m_chart->Clear(0);
    for (std::size_t i = 0; i < m_bars.size(); ++i)
        m_chart->AddXY(0, static_cast<double>(i), m_bars[i].cn0, m_bars[i].label, m_bars[i].colour);
}

bool CSignalView::event(QEvent* e) {
    const int type = e->type();
    if (type == MonitorWindowOf(WindowType::Signal).clearMessage) {
        m_merged.clear();
        m_bars.clear();
        m_chart->Clear(0);
        return true;
    }
    if (type != msg::kSignalUsed && type != msg::kSignalInView) return QWidget::event(e);
    const LinkPayload& p = static_cast<LinkEvent*>(e)->message.payload;
    if (const auto* used = std::get_if<UsedSatelliteSet>(&p)) {
        // Taken into account with the next satellites in view, which follow it in the
        // same cycle.
        m_used = *used;
    } else if (const auto* view = std::get_if<SatelliteViewSet>(&p)) {
        m_merged = signalview::MergeSatellites(*view, m_used);
        DrawBars();
    }
    return true;
}

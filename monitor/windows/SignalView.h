// "Signal": the C/N0 of every satellite in view that has a signal, one bar each, grouped
// by constellation and sorted by number; a bar has its constellation's colour when the
// satellite is used in the fix and the chart's neutral colour otherwise.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "monitor/link/ReceiverState.h"

class CLegendStrip;
class CTChart;

namespace signalview {

struct MergedSatellite {
    uint16_t prn;
    int16_t snr;  // C/N0, dB-Hz; 0 when the satellite is listed without a signal
    GnssSystem system;
    bool inUse;
};

// The satellites in view in drawing order: GPS, QZSS, SBAS, BeiDou, Galileo, GLONASS,
// each group by ascending number (equal numbers keep their order in the record), and
// entries of any other system code left out. A satellite is in use when the used table
// lists the same number under the same system: GPS 5 and GLONASS 5 are different
// satellites.
std::vector<MergedSatellite> MergeSatellites(const SatelliteViewSet& view, const UsedSatelliteSet& used);

struct SignalBar {
    QString label;  // "G12"
    double cn0;
    uint32_t colour;  // 0x00BBGGRR
    bool operator==(const SignalBar&) const = default;
};

// One bar per merged satellite with a signal, side by side: a satellite with C/N0 0
// takes no slot on the axis.
std::vector<SignalBar> SignalBars(const std::vector<MergedSatellite>& merged, uint32_t neutralColour);

}  // namespace signalview

class CSignalView : public QWidget {
    Q_OBJECT
public:
    explicit CSignalView(QWidget* parent = nullptr);

    CTChart& Chart() const { return *m_chart; }
    CLegendStrip& Legend() const { return *m_legend; }

protected:
    bool event(QEvent* e) override;

private:
    void DrawBars();

    CTChart* m_chart;
    CLegendStrip* m_legend = nullptr;
    UsedSatelliteSet m_used{};
    std::vector<signalview::MergedSatellite> m_merged;
    std::vector<signalview::SignalBar> m_bars;  // on the chart now
};

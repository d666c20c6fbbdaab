#include "monitor/windows/FixModeView.h"

#include <QVBoxLayout>
#include <map>

#include "monitor/windows/NmeaInfoRows.h"
#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/WindowTypes.h"
#include "monitor/windows/chart/CTChart.h"
#include "monitor/windows/chart/ChartSetup.h"

using chart::AxisId;

namespace fixmode {

namespace {
constexpr uint32_t kFixTypeColour = chart::ColourRef(0, 0, 255);
constexpr uint32_t kQualityColour = chart::ColourRef(0, 128, 0);
constexpr uint16_t kHighestNamedQuality = 6;  // "Estimate"
}  // namespace

int QualityHeight(uint16_t quality) {
    return quality <= kHighestNamedQuality ? quality + kQualityBase : kUnnamedQualityHeight;
}

std::string QualityLabel(uint16_t quality) { return nmeainfo::FixQualityName(quality); }

std::string FixTypeLabel(int fixType) { return nmeainfo::FixTypeName(static_cast<char>('0' + fixType)); }

Sample FixTimeline::Take(char fixTypeCharacter) {
    if (fixTypeCharacter >= '1' && fixTypeCharacter <= '3') m_fixType = fixTypeCharacter - '0';
    const bool scroll = m_n > kScrollAfter && m_n % kScrollStep == 0;
    return {m_n++, fixTypeCharacter == kNoReport ? 0 : m_fixType, m_quality, scroll};
}

}  // namespace fixmode

namespace {

// One text per name, shared by every point that carries it, rather than a copy for
// each of a day's samples.
const QString& Shared(std::map<int, QString>& texts, int key, const std::string& text) {
    auto it = texts.find(key);
    if (it == texts.end()) it = texts.emplace(key, QString::fromStdString(text)).first;
    return it->second;
}

}  // namespace

CFixModeView::CFixModeView(QWidget* parent) : QWidget(parent), m_chart(new CTChart(chart::FixModeChart(), this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_chart);
    m_chart->SetCapacity(0, fixmode::kShownSamples);
    m_chart->SetCapacity(1, fixmode::kShownSamples);
}

void CFixModeView::Plot(const fixmode::Sample& s) {
    using namespace fixmode;
    if (s.scrollFirst) m_chart->Scroll(AxisId::Bottom, kScrollStep, false);
    const double x = s.n;
    if (s.fixType != 0)
        m_chart->AddXY(0, x, s.fixType, Shared(m_fixTypeTexts, s.fixType, FixTypeLabel(s.fixType)), kFixTypeColour);
    m_chart->AddXY(1, x, QualityHeight(s.quality), Shared(m_qualityTexts, s.quality, QualityLabel(s.quality)),
                   kQualityColour);
}

// Empty chart, and a time axis that follows the samples again from 0 (a scroll had
// pinned it).
void CFixModeView::Clear() {
    m_timeline.Restart();
    m_chart->SetMinMax(AxisId::Bottom, 0, 0);
    m_chart->Clear(0);
    m_chart->Clear(1);
    m_chart->SetAutomatic(AxisId::Bottom, true);
}

bool CFixModeView::event(QEvent* e) {
    const int type = e->type();
    if (type == MonitorWindowOf(WindowType::FixMode).clearMessage) {
        Clear();
        return true;
    }
    if (type != msg::kFixModeEpoch) return QWidget::event(e);
    const auto& epoch = std::get<EpochSummary>(static_cast<LinkEvent*>(e)->message.payload);
    if (epoch.hasGga) m_timeline.SetQuality(static_cast<uint16_t>(epoch.gga.fixQuality));
    Plot(m_timeline.Take(epoch.hasReport ? epoch.fixType : fixmode::kNoReport));
    return true;
}

// "Fix mode": a time line of the receiver's fix state, one sample per epoch: the fix type
// (no fix, 2D, 3D) of its GSA at heights 1-3 named on the left axis, and the latest GGA
// fix quality at heights 4 and up named on the right axis. An epoch without a GSA has no
// fix type point.
#pragma once

#include <QString>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

class CTChart;

namespace fixmode {

// After this many samples the time axis moves on by a fixed step instead of squeezing
// the whole session into the window.
inline constexpr int kScrollAfter = 10000;
inline constexpr int kScrollStep = 100;
// The chart keeps this many samples of each strip (a quarter of an hour at 10 Hz, two
// and a half hours at 1 Hz); older ones leave it. The time axis shows a hundred at a
// time once it scrolls.
inline constexpr std::size_t kShownSamples = 9000;
// Qualities sit above the three fix types, so both strips share one scale.
inline constexpr int kQualityBase = 4;
// A quality without a name (7 manual input, 8 simulator, anything else) is drawn one row
// above "Estimate", labelled with its number, so it never takes over a named row.
inline constexpr int kUnnamedQualityHeight = 11;
// The fix type of an epoch whose receiver sent no GSA.
inline constexpr char kNoReport = 0;

int QualityHeight(uint16_t quality);
std::string QualityLabel(uint16_t quality);  // "Invalid", "SPS", ..., or the number
std::string FixTypeLabel(int fixType);      // "No Fix", "2D", "3D"

struct Sample {
    int n;              // x of the sample
    int fixType;        // 1, 2 or 3; 0 for none
    uint16_t quality;   // last GGA quality
    bool scrollFirst;   // move the time axis on by kScrollStep before plotting
};

// The window's state between messages.
class FixTimeline {
public:
    void SetQuality(uint16_t quality) { m_quality = quality; }
    // One epoch: its GSA fix-type character ('1', '2', '3'; kNoReport for none; anything
    // else repeats the previous type) gives the sample at the current count.
    Sample Take(char fixTypeCharacter);
    // The count restarts at 0; fix type and quality stay, as the receiver's state does.
    void Restart() { m_n = 0; }
    int Count() const { return m_n; }

private:
    int m_fixType = 1;
    uint16_t m_quality = 0;
    int m_n = 0;
};

}  // namespace fixmode

class CFixModeView : public QWidget {
    Q_OBJECT
public:
    explicit CFixModeView(QWidget* parent = nullptr);

    CTChart& Chart() const { return *m_chart; }
    int SampleCount() const { return m_timeline.Count(); }

protected:
    bool event(QEvent* e) override;

private:
    void Plot(const fixmode::Sample& s);
    void Clear();

    CTChart* m_chart;
    fixmode::FixTimeline m_timeline;
    std::map<int, QString> m_fixTypeTexts, m_qualityTexts;  // at most 4 and 65536 of them
};

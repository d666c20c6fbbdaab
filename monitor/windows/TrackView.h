// "Track": the receiver's horizontal position as east and north offsets in metres from a
// reference, either the first fix after a reset ("First") or a position typed in
// ("Fixed", kept in "skyLedger.ini" for the next start), so that the scatter of the
// fixes can be seen. Under the chart, the accuracy figures of the fixes since the last
// reset against that reference; "Export…" writes those fixes as GPX, KML or CSV.
#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>
#include <array>
#include <cstddef>
#include <vector>

#include "monitor/analysis/Accuracy.h"
#include "monitor/analysis/FixRecord.h"
#include "monitor/analysis/Geodesy.h"
#include "monitor/link/ReceiverState.h"

class CTChart;
class INotifier;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace track {

// A coordinate as the user may type it: digits, one point at most, a sign only in front,
// at least one digit ("-12.5", "+3"; not "", "1e5", " 1", "1.2.3", "5-", ".").
bool PassesNumberRule(const QString& text);

// The reference file's three lines: longitude, latitude, height, as typed.
struct ReferenceTexts {
    QString longitude, latitude, height;
};
// Lines that fail the number rule come back empty; a missing file gives three.
ReferenceTexts ReadReferenceFile(const QString& path);
// Replaces the file's content; false with the reason when it cannot be written.
bool WriteReferenceFile(const QString& path, const ReferenceTexts& texts, QString& error);

// The figures under the chart: "Fixes 12   mean E 0.10 N -0.20 U 0.30 m   σ E ... m",
// then "CEP50 ... m   CEP95 ... m   2DRMS ... m   max ... m"; before there is a
// reference only the count.
// `narrow`: four short lines instead of two long ones.
QString FiguresText(std::size_t fixes, const AccuracyFigures& figures, bool haveReference, bool narrow = false);

// Where each group of controls of the given widths goes, left to right from (0, 0):
// a group that does not fit in `available` after others starts a new row.
std::vector<QPoint> FlowGroups(const std::vector<int>& widths, int available, int gap, int rowHeight);

enum Series { kReferenceSeries = 0, kCurrentSeries = 1, kHistorySeries = 2 };

// Fixes the history series draws at most, the newest (a quarter of an hour at 10 Hz): a
// scatter of that many already fills the plot, and a day's would only slow its redraw.
inline constexpr std::size_t kShownFixes = 9000;

}  // namespace track

class CTrackView : public QWidget {
    Q_OBJECT
public:
    enum Mode { First = 0, Fixed = 1 };

    // `referenceFile`: where the typed reference is kept (the current directory's
    // "skyLedger.ini" by default).
    explicit CTrackView(INotifier& notifier, QWidget* parent = nullptr,
                        QString referenceFile = QStringLiteral("skyLedger.ini"));

    void ChooseMode(Mode mode);  // as choosing in the list
    void OkClicked();
    void ExportClicked();

    // The parts, for the tests.
    CTChart& Chart() { return *m_chart; }
    QLineEdit& LatitudeEdit() { return *m_latitude; }
    QLineEdit& LongitudeEdit() { return *m_longitude; }
    QLineEdit& HeightEdit() { return *m_height; }
    QPushButton& OkButton() { return *m_ok; }
    QPushButton& ExportButton() { return *m_export; }
    QLabel& Figures() { return *m_figures; }
    const std::vector<FixRecord>& Fixes() const { return m_fixes.Fixes(); }
    AccuracyFigures Accuracy() const { return m_accuracy.Figures(); }
    double HalfRange() const { return m_halfRange; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void InitialUpdate();
    void FixStep(const FixRecord& fix);
    void CountFixes();  // all fixes again, against a new reference
    void ShowFigures();
    void Layout();
    void SetReference(double latitudeDeg, double longitudeDeg, double height, uint32_t colour);
    void PlotReference();
    void ModeChanged(int index);
    void Reset();
    void EnableEntry(bool on);

    INotifier& m_notifier;
    QString m_referenceFile;
    QGroupBox* m_group;
    QComboBox* m_mode;
    QLineEdit* m_latitude;
    QLineEdit* m_longitude;
    QLineEdit* m_height;
    QPushButton* m_ok;
    QPushButton* m_export;
    std::array<QLabel*, 6> m_labels{};
    CTChart* m_chart;
    QLabel* m_figures;
    int m_figureLines = 2;  // four in a narrow window

    int m_modeValue = First;
    bool m_referenceSet = false;
    track::Reference m_reference;
    double m_lastEast = 0, m_lastNorth = 0;
    double m_halfRange = 0;  // of both axes; only grows until a reset
    bool m_initialised = false;
    FixCollector m_fixes;  // since the last reset
    AccuracyAccumulator m_accuracy;  // of m_fixes against the reference, once there is one
};

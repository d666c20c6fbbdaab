// "Track": the receiver's horizontal position as east and north offsets in metres from a
// reference, either the first fix after a reset ("First") or a position typed in
// ("Fixed", kept in "skyLedger.ini" for the next start), so that the scatter of the
// fixes can be seen.
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "ReceiverState.h"

class CTChart;
class INotifier;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace track {

struct Ecef {
    double x, y, z;
};

// WGS-84 geodetic (radians, metres above the ellipsoid) to Earth-centred coordinates.
Ecef ToEcef(double latitude, double longitude, double height);

struct Reference {
    double latitude = 0, longitude = 0, height = 0;  // radians, metres
    Ecef ecef{};
};
Reference MakeReference(double latitudeDeg, double longitudeDeg, double height);

struct EastNorth {
    double east, north;
};
// Offsets in the reference's local horizon; a point that is the reference is (0, 0).
EastNorth OffsetFrom(const Reference& reference, const Ecef& point);

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

enum Series { kReferenceSeries = 0, kCurrentSeries = 1, kHistorySeries = 2 };

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

    // The parts, for the tests.
    CTChart& Chart() { return *m_chart; }
    QLineEdit& LatitudeEdit() { return *m_latitude; }
    QLineEdit& LongitudeEdit() { return *m_longitude; }
    QLineEdit& HeightEdit() { return *m_height; }
    QPushButton& OkButton() { return *m_ok; }
    double HalfRange() const { return m_halfRange; }

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void InitialUpdate();
    void FixStep(char fixType);
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
    std::array<QLabel*, 6> m_labels{};
    CTChart* m_chart;

    int m_modeValue = First;
    bool m_referenceSet = false;
    int m_fixSeen = 0;  // 0, or the fix type (2 or 3) seen first since the last reset
    track::Reference m_reference;
    double m_lastEast = 0, m_lastNorth = 0;
    double m_halfRange = 0;  // of both axes; only grows until a reset
    GgaRecord m_gga{};
    bool m_haveGga = false;
    bool m_initialised = false;
};

// "Velocity": the receiver's horizontal speed on a dial in km/h and its course over
// ground on a compass, each with a line of text under it, from the VTG sentence.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>

class CTChart;

namespace velocity {

// The km/h dial's scale ends at 160; speeds are shown up to 180 and stop there.
inline constexpr float kSpeedLimitKmh = 180;
inline constexpr double kMsPerKmh = 0.2777777777777778;  // 1000 m / 3600 s

float LimitedSpeedKmh(float speedKmh);
// "12.3400 Km/h", "3.4278 m/s": always with a point, whatever the user's locale.
QString SpeedKmhText(float speedKmh);
QString SpeedMsText(float speedMs);
// "45.00 NE": the heading and its compass sector. N, E, S and W take in both their
// boundaries, the sectors between them neither: 20 is N, 20.01 NE, 70 E.
QString CompassText(float headingDeg);
// The compass card's turn, degrees counter-clockwise from three o'clock, that puts the
// hand on the heading with north up: 90 - heading, cut toward zero.
int CompassRotation(float headingDeg);

// The two visible dials side by side, each a square in its half of the window, the
// pair centred across when the window is wide and down when it is tall.
struct GaugePlaces {
    QRect speed, compass;
    bool operator==(const GaugePlaces&) const = default;
};
GaugePlaces PlaceGauges(int width, int height);

}  // namespace velocity

class CVelocityView : public QWidget {
    Q_OBJECT
public:
    explicit CVelocityView(QWidget* parent = nullptr);

    // The dials, for the tests. The m/s dial is built but never shown.
    CTChart& SpeedDial() const { return *m_speedKmh; }
    CTChart& Compass() const { return *m_compass; }
    CTChart& SpeedDialMs() const { return *m_speedMs; }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowValues();

    CTChart* m_speedKmh;
    CTChart* m_compass;
    CTChart* m_speedMs;
    float m_speedKmhValue = 0;
    float m_headingDeg = 0;
    float m_speedMsValue = 0;
};

// The chart the monitor's windows draw into: points, bars or a dial, with exactly the
// operations the windows use. Series are numbered from 0 in the order of the setup;
// colours are 0x00BBGGRR values. Every call repaints the chart by itself (once per pass
// of the event loop, however many calls came in it), and calls on a series or axis the
// chart does not have are ignored, as the windows never check results.
#pragma once

#include <QMap>
#include <QPointF>
#include <QString>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "monitor/windows/chart/ChartSetup.h"

class QCustomPlot;
class QCPAxis;
class QCPLayer;
class QCPItemTracer;

namespace chart {
class ChartPlot;
class GaugeWidget;
}

class CTChart : public QWidget {
public:
    struct Point {
        double x = 0;
        double y = 0;
        QString label;
        uint32_t colour = 0;
    };

    explicit CTChart(const chart::ChartSetup& setup, QWidget* parent = nullptr);
    ~CTChart() override;

    // Append a point; returns its index in the series.
    int AddXY(int series, double x, double y, const QString& label, uint32_t colour);
    // Append a value: on a dial it moves the hand (a dial shows the last value only); on
    // a plot it goes at the next whole key.
    int Add(int series, double value, const QString& label, uint32_t colour);
    void Clear(int series);
    // Keep only the newest `points` of a point series on the chart (0: all, as at the
    // start); older ones leave it a batch at a time (see chart::PointsToDrop). For a
    // history that would otherwise grow for as long as the program runs.
    void SetCapacity(int series, std::size_t points);

    // Fix the axis range; this also ends automatic following.
    void SetMinMax(chart::AxisId axis, double min, double max);
    // Move the axis range; a scrolled axis keeps where it was moved to, so it stops
    // following its data, as after a pan by hand.
    void Scroll(chart::AxisId axis, double offset, bool checkLimits);
    // Automatic: the axis follows its data from now on (see FollowData and FitSlots).
    void SetAutomatic(chart::AxisId axis, bool automatic);

    void SetFootText(const QString& text);
    void SetRotationAngle(int degrees);  // a dial's rotation: where its minimum sits
    void SetCursorX(double x);
    void SetCursorY(double y);
    uint32_t NeutralColour() const { return m_setup.neutral; }

    // What the chart holds, for the windows' tests.
    const std::vector<Point>& Points(int series) const;
    chart::Range AxisRange(chart::AxisId axis) const;
    bool IsAutomatic(chart::AxisId axis) const;
    QString FootText() const;
    double NeedleAngleDeg() const;  // direction of a dial's hand, degrees from three o'clock
    QPointF CursorPosition() const;
    QString TickLabel(chart::AxisId axis, double value) const;  // "" where none

    // Bring the picture up to date now instead of in the next pass of the event loop.
    void Refresh();
    // The points' drawing surface (null for a dial), for measurements.
    QCustomPlot* Plot() const;

private:
    struct Series;
    struct AxisState {
        chart::Range range;
        bool automatic = false;
    };

    void BuildPlot();
    QCPAxis* PlotAxis(chart::AxisId axis) const;
    AxisState* Axis(chart::AxisId axis);
    const chart::AxisSetup& SetupOf(chart::AxisId axis) const;
    void NoteLabel(chart::AxisId axis, double coordinate, const QString& label);
    void RebuildLabels();
    Series* At(int series);
    void AppendToPlot(Series& s, const Point& point);
    void DropOldest(Series& s, std::size_t count);
    bool UpdateAutomaticRanges();
    bool UpdateTickLabels();
    void MergeRecent();
    bool SettleRecent();
    void ApplyRanges();
    bool DataRange(chart::AxisId axis, chart::Range& out) const;
    void NeedFull();
    void NeedRecent();
    void Schedule();

    chart::ChartSetup m_setup;
    chart::ChartPlot* m_plot = nullptr;
    chart::GaugeWidget* m_gauge = nullptr;
    QCPLayer* m_recentLayer = nullptr;
    QCPItemTracer* m_cursor = nullptr;
    std::vector<std::unique_ptr<Series>> m_series;
    std::map<chart::AxisId, AxisState> m_axes;
    bool m_full = false;
    bool m_recent = false;
    bool m_scheduled = false;
    bool m_labelsChanged = false;
    bool m_labelsStale = false;  // a clear took labels away: gather them again
    std::map<chart::AxisId, QMap<double, QString>> m_tickLabels;
};

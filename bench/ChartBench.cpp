// What one sample costs a chart holding a day of them (86,400 points, one a second):
// appending a point and getting it on the screen, against redrawing the whole chart,
// both on Qt's offscreen platform in the same run. At the end the append's figure is
// printed as a ratio to the full redraw.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <qcustomplot.h>

#include "CTChart.h"
#include "ChartSetup.h"

namespace {

constexpr int kDayOfSamples = 86400;
constexpr uint32_t kBlue = chart::ColourRef(0, 0, 255);

// The Fix mode chart after a day: the fix type strip holds 86,400 points, and the time
// axis is already wide enough for what the run appends, so that the figures are about
// points and not about the axis moving.
std::unique_ptr<CTChart> DayChart() {
    auto c = std::make_unique<CTChart>(chart::FixModeChart());
    c->resize(1000, 400);
    c->show();
    c->SetMinMax(chart::AxisId::Bottom, 0, 2 * kDayOfSamples);
    for (int n = 0; n < kDayOfSamples; ++n) {
        c->AddXY(0, n, 1 + (n / 997) % 3, "3D", kBlue);
    }
    c->Refresh();
    QCoreApplication::processEvents();
    return c;
}

// One sample as the window appends it, then the widget painted as the event loop would.
// Every 257th append also moves the newest points onto the history's picture; the
// slowest single append is reported beside the mean.
void BM_AppendAndRepaint(benchmark::State& state) {
    auto c = DayChart();
    int n = kDayOfSamples;
    double worstMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        c->AddXY(0, n, 1 + (n / 997) % 3, "3D", kBlue);
        c->Refresh();
        c->Plot()->repaint();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        worstMs = std::max(worstMs, took.count());
        ++n;
    }
    state.counters["points"] = static_cast<double>(c->Points(0).size());
    state.counters["worst_ms"] = worstMs;
}

// Yardstick: the whole chart redrawn and painted, which an append would cost without
// the layer of newest points.
void BM_FullReplot(benchmark::State& state) {
    auto c = DayChart();
    for (auto _ : state) c->Plot()->replot(QCustomPlot::rpImmediateRefresh);
}

BENCHMARK(BM_AppendAndRepaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FullReplot)->Unit(benchmark::kMillisecond)->MinTime(2.0);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            double& best = m_ms[run.run_name.function_name];
            const double ms = run.GetAdjustedRealTime();  // in the benchmark's unit, ms
            if (best == 0 || ms < best) best = ms;
        }
    }

    void PrintRatios() const {
        const auto append = m_ms.find("BM_AppendAndRepaint");
        const auto full = m_ms.find("BM_FullReplot");
        if (append == m_ms.end() || full == m_ms.end() || full->second <= 0) return;
        std::printf("append + repaint %.3f ms, full replot %.3f ms: ratio %.3f\n", append->second, full->second,
                    append->second / full->second);
    }

private:
    std::map<std::string, double> m_ms;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}

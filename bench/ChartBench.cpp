// What one sample costs a chart holding a day of them (86,400 points, one a second):
// appending a point and getting it on the screen, against redrawing the whole chart,
// both on Qt's offscreen platform in the same run. At the end the append's figure is
// printed as a ratio to the full redraw.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <qcustomplot.h>

#include "monitor/link/LinkMessages.h"
#include "monitor/windows/FixModeView.h"
#include "monitor/windows/TrackView.h"
#include "monitor/windows/WindowRegistry.h"
#include "monitor/windows/chart/CTChart.h"
#include "monitor/windows/chart/ChartSetup.h"
#include "platform/notifier/Notifier.h"

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

// The windows themselves, fed through their messages as the link feeds them.
void Deliver(QWidget& view, int number, LinkPayload payload) {
    LinkEvent event(LinkMessage{number, std::move(payload)});
    QCoreApplication::sendEvent(&view, &event);
}

// One fix of a receiver wandering a few metres, as Track gets it: the epoch's summary.
void TrackFix(CTrackView& view, int n) {
    EpochSummary epoch{};
    epoch.hasGga = epoch.hasReport = true;
    epoch.gga.fixQuality = 1;
    epoch.gga.latitude = 22.5431 + 0.00003 * std::sin(n * 0.001) + 0.000004 * std::sin(n * 0.37);
    epoch.gga.longitude = 114.0579 + 0.00004 * std::cos(n * 0.0007);
    epoch.gga.altitude = 80;
    epoch.fixType = '3';
    Deliver(view, msg::kTrackEpoch, epoch);
}

struct TrackDay {
    RecordingNotifier notifier;
    CTrackView view{notifier, nullptr, "/nonexistent/skyLedger.ini"};
    int n = 0;
    TrackDay() {
        view.resize(520, 420);
        view.show();
        for (; n < kDayOfSamples; ++n) TrackFix(view, n);
        view.Chart().Refresh();
        QCoreApplication::processEvents();
    }
};

// Built once and shared by a window's two benchmarks; gone before the application.
std::vector<std::shared_ptr<void>> g_windows;
template <typename T>
T* Day() {
    static T* made = nullptr;
    if (!made) {
        auto keep = std::make_shared<T>();
        made = keep.get();
        g_windows.push_back(keep);
    }
    return made;
}

// Track after a day at 1 Hz: 86,400 fixes in its history and in its accuracy figures;
// one more fix, its repaint and the figures' repaint.
void BM_TrackFixAndRepaint(benchmark::State& state) {
    TrackDay& day = *Day<TrackDay>();
    double worstMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TrackFix(day.view, day.n++);
        day.view.Chart().Refresh();
        day.view.Chart().Plot()->repaint();
        day.view.Figures().repaint();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        worstMs = std::max(worstMs, took.count());
    }
    state.counters["points"] = static_cast<double>(day.view.Chart().Points(2).size());
    state.counters["worst_ms"] = worstMs;
}

void BM_TrackFullReplot(benchmark::State& state) {
    TrackDay& day = *Day<TrackDay>();
    for (auto _ : state) day.view.Chart().Plot()->replot(QCustomPlot::rpImmediateRefresh);
}

// Fix mode after 20,000 samples (past the scrolling mark): one more and its repaint.
struct FixModeRun {
    CFixModeView view;
    int n = 0;
    void Sample() {
        EpochSummary epoch{};
        epoch.hasGga = epoch.hasReport = true;
        epoch.gga.fixQuality = static_cast<int16_t>(1 + (n / 5000) % 2);
        epoch.fixType = n < 30 ? '1' : '3';
        Deliver(view, msg::kFixModeEpoch, epoch);
        ++n;
    }
    FixModeRun() {
        view.resize(520, 300);
        view.show();
        while (n < 20000) Sample();
        view.Chart().Refresh();
        QCoreApplication::processEvents();
    }
};

void BM_FixModeSampleAndRepaint(benchmark::State& state) {
    FixModeRun& run = *Day<FixModeRun>();
    double worstMs = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        run.Sample();
        run.view.Chart().Refresh();
        run.view.Chart().Plot()->repaint();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        worstMs = std::max(worstMs, took.count());
    }
    state.counters["worst_ms"] = worstMs;
}

void BM_FixModeFullReplot(benchmark::State& state) {
    FixModeRun& run = *Day<FixModeRun>();
    for (auto _ : state) run.view.Chart().Plot()->replot(QCustomPlot::rpImmediateRefresh);
}

BENCHMARK(BM_TrackFixAndRepaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_TrackFullReplot)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FixModeSampleAndRepaint)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_FixModeFullReplot)->Unit(benchmark::kMillisecond)->MinTime(2.0);
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
        const std::pair<const char*, const char*> pairs[] = {
            {"BM_AppendAndRepaint", "BM_FullReplot"},
            {"BM_TrackFixAndRepaint", "BM_TrackFullReplot"},
            {"BM_FixModeSampleAndRepaint", "BM_FixModeFullReplot"}};
        for (const auto& [one, full] : pairs) {
            const auto a = m_ms.find(one), f = m_ms.find(full);
            if (a == m_ms.end() || f == m_ms.end() || f->second <= 0) continue;
            std::printf("%s %.3f ms, %s %.3f ms: ratio %.3f\n", one, a->second, full, f->second,
                        a->second / f->second);
        }
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
    g_windows.clear();
    benchmark::Shutdown();
    return 0;
}

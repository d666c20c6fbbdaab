// The two flashing dialogs on the offscreen platform with the same 1 MiB image through
// paced simulated chips at 921600 baud: Burnkit with one module against Gangburn with
// four. Compare the two batch times of one run.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "flash/burnkit/BurnkitDlg.h"
#include "flash/gangburn/GangburnDlg.h"
#include "sim/PtyLine.h"
#include "sim/Simulator.h"

namespace {

struct Chip {
    sim::PtyLine line;
    std::unique_ptr<sim::Simulator> module;
    std::thread thread;
    explicit Chip(int n) {
        std::string error;
        line.Open(error);
        sim::SimulatorOptions options;
        options.flashFile = std::filesystem::temp_directory_path() / ("dialog-bench-" + std::to_string(n) + ".bin");
        module = std::make_unique<sim::Simulator>(line, options);
        thread = std::thread([this] {
            std::string e;
            module->Run(e);
        });
    }
    ~Chip() {
        module->Stop();
        thread.join();
    }
};

QString Image() {
    const std::string path = std::filesystem::temp_directory_path() / "dialog-bench-image.bin";
    std::mt19937 gen(2);
    std::string data(1u << 20, '\0');
    for (auto& c : data) c = static_cast<char>(gen());
    std::ofstream(path, std::ios::binary) << data;
    return QString::fromStdString(path);
}

void Spin(const std::function<bool()>& done) {
    while (!done()) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void BM_BurnkitOneModule(benchmark::State& state) {
    for (auto _ : state) {
        Chip chip(0);
        RecordingNotifier notifier;
        burnkit::CBurnkitDlg dlg(notifier, {QString::fromStdString(chip.line.SlavePath())});
        dlg.OnOpenClosePort();
        dlg.ChooseImage(Image());
        QElapsedTimer t;
        t.start();
        dlg.OnBurn();
        Spin([&] { return !notifier.messages.isEmpty(); });
        state.SetIterationTime(t.elapsed() / 1000.0);
        if (notifier.messages.value(0) != "Burn Flash Img Success !") state.SkipWithError("run failed");
    }
}

void BM_GangburnFourModules(benchmark::State& state) {
    for (auto _ : state) {
        Chip a(1), b(2), c(3), d(4);
        RecordingNotifier notifier;
        QStringList ports;
        for (Chip* chip : {&a, &b, &c, &d}) ports << QString::fromStdString(chip->line.SlavePath());
        gangburn::CBurnkitDlg dlg(notifier, ports);
        dlg.ChooseImage(Image());
        QElapsedTimer t;
        t.start();
        dlg.OnBurn();
        // Until the last slot shows its result; the batch itself closes at the next
        // one-second tick after that.
        Spin([&] {
            for (int i = 0; i < 4; ++i)
                if (dlg.Slot(i).ResultText()->text().isEmpty()) return false;
            return true;
        });
        state.SetIterationTime(t.elapsed() / 1000.0);
        Spin([&] { return !dlg.BatchRunning(); });
        state.counters["batch_closed_s"] = t.elapsed() / 1000.0;
        for (int i = 0; i < 4; ++i)
            if (dlg.Slot(i).ResultText()->text() != "Success") state.SkipWithError("a slot failed");
    }
}

BENCHMARK(BM_BurnkitOneModule)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_GangburnFourModules)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}

// Replay of a long capture: a day of the simulator's 1 Hz output of four constellations
// (or N epochs), written to a file, then
// - indexed: the time to cut it into epochs and the index's memory;
// - replayed as fast as it goes into the link alone (a sink that counts GGA messages);
// - replayed as fast as it goes through the whole monitor (offscreen, every window
//   handling and painting each epoch), counting the GGA messages the windows handled.
// The figure is the monitor's epochs per second against the 64 a day replayed at 64x
// needs, and against the link alone; every epoch must arrive.
//
//   replay_bench [--epochs N]
#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "monitor/app/MainFrame.h"
#include "monitor/app/MonitorApp.h"
#include "monitor/link/LinkMessages.h"
#include "monitor/link/NmeaThread.h"
#include "monitor/link/Replay.h"
#include "platform/notifier/Notifier.h"
#include "sim/ReceiverOutput.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class GgaCount : public ILinkSink {
public:
    void Post(const LinkMessage& message) override {
        if (message.number == msg::kGga) count.fetch_add(1, std::memory_order_relaxed);
    }
    std::atomic<long> count{0};
};

class WindowGgaCount : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == msg::kGga) ++count;
        return false;
    }
    long count = 0;
};

}  // namespace

int main(int argc, char** argv) {
    long epochs = 86400;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--epochs" && i + 1 < argc) epochs = std::atol(argv[++i]);
        else {
            std::fprintf(stderr, "usage: replay_bench [--epochs N]\n");
            return 2;
        }
    }
    if (epochs < 1) return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const std::string path = dir.filePath("day.log").toStdString();
    {
        sim::ReceiverOptions options;
        options.epochsPerSecond = 1;
        sim::ReceiverOutput out(options);
        std::ofstream file(path, std::ios::binary);
        for (long e = 0; e < epochs; ++e) file << out.Epoch(e);
        if (!file) {
            std::fprintf(stderr, "replay_bench: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::ifstream sized(path, std::ios::binary | std::ios::ate);
    const double megabytes = static_cast<double>(sized.tellg()) / (1 << 20);

    replay::Player indexOnly;
    std::string error;
    auto start = Clock::now();
    if (!indexOnly.Open(path, error)) {
        std::fprintf(stderr, "replay_bench: %s\n", error.c_str());
        return 1;
    }
    const double indexSeconds = Seconds(Clock::now() - start);
    const std::size_t entries = indexOnly.Entries().size();
    std::printf("capture: %ld epochs, %.1f MiB; index: %zu entries in %.2f s, %.1f MiB\n", epochs, megabytes, entries,
                indexSeconds, entries * sizeof(replay::Entry) / double(1 << 20));

    // The link alone.
    GgaCount sink;
    double linkRate = 0;
    {
        CNmeaThread link("bench", 0, &sink, nullptr);
        link.Start();
        start = Clock::now();
        indexOnly.Start(link, replay::kUnpaced, {});
        while (!indexOnly.AtEnd()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const double seconds = Seconds(Clock::now() - start);
        indexOnly.Stop();
        link.Shutdown();
        linkRate = sink.count.load() / seconds;
        std::printf("link alone: %ld of %ld epochs in %.2f s, %.0f epochs/s\n", sink.count.load(), epochs, seconds,
                    linkRate);
    }
    // The whole monitor.
    RecordingNotifier notifier;
    CMonitorApp monitor(notifier, {}, 115200);
    monitor.MainFrame().resize(1600, 1000);
    monitor.Show();
    WindowGgaCount counter;
    app.installEventFilter(&counter);
    start = Clock::now();
    if (!monitor.MainFrame().StartReplay(QString::fromStdString(path), replay::kUnpaced)) {
        std::fprintf(stderr, "replay_bench: %s\n", qPrintable(notifier.messages.join("; ")));
        return 1;
    }
    while (monitor.MainFrame().StatusText(2) != "  Replay end") {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const double seconds = Seconds(Clock::now() - start);
    const double rate = counter.count / seconds;
    std::printf("monitor: %ld of %ld epochs in %.2f s, %.0f epochs/s = %.1fx the 64 a day at 64x needs, %.2f of the link alone\n",
                counter.count, epochs, seconds, rate, rate / 64, rate / linkRate);
    monitor.MainFrame().StopReplay();
    if (counter.count != epochs || sink.count.load() != epochs) {
        std::fprintf(stderr, "replay_bench: epochs were lost\n");
        return 1;
    }
    return 0;
}

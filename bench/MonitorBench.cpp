// skyLedger's own cost, on the offscreen platform, connected to a pseudo-terminal that
// carries the simulator's 10 Hz output of four constellations:
// - CPU: the process's CPU time over a run of S seconds (default 60), as a share of one
//   core;
// - latency: from the last byte of an epoch written to the line until every window has
//   handled that epoch's messages and painted, against the link alone (the same bytes to
//   a sink that only notes the time) measured in the same run.
//
//   monitor_bench [--seconds S] [--epochs N]
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "MainFrame.h"
#include "MonitorApp.h"
#include "NmeaThread.h"
#include "Notifier.h"
#include "ReceiverOutput.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
            std::perror("monitor_bench: pseudo-terminal");
            std::exit(1);
        }
        slave = ptsname(master);
    }
    ~Pty() { close(master); }
    void Write(const std::string& bytes) const {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                std::perror("monitor_bench: write");
                std::exit(1);
            }
            done += static_cast<std::size_t>(n);
        }
    }
    // Whatever the host sends (nothing here) must not fill the line.
    void Drain() const {
        char buffer[256];
        pollfd p{master, POLLIN, 0};
        while (poll(&p, 1, 0) == 1 && (p.revents & POLLIN) && read(master, buffer, sizeof buffer) > 0) {}
    }
};

std::vector<std::string> Epochs(int count) {
    sim::ReceiverOptions options;
    options.epochsPerSecond = 10;
    sim::ReceiverOutput out(options);
    std::vector<std::string> epochs;
    for (int e = 0; e < count; ++e) epochs.push_back(out.Epoch(e));
    return epochs;
}

double CpuSeconds() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_stime.tv_sec + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

// Notes when the windows last handled a link message and last painted.
class Watcher : public QObject {
public:
    bool eventFilter(QObject* target, QEvent* event) override {
        const int type = event->type();
        if (type >= 1025 && type <= 1144) lastMessage = Clock::now();
        else if (type == QEvent::Paint && target->isWidgetType()) lastPaint = Clock::now();
        return false;
    }
    Clock::time_point lastMessage, lastPaint;
};

// The link alone: the time of the last message of each epoch.
class TimingSink : public ILinkSink {
public:
    void Post(const LinkMessage&) override { last.store(Clock::now().time_since_epoch().count()); }
    std::atomic<Clock::rep> last{0};
};

struct Spread {
    double median, p95, max;
};

Spread SpreadOf(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back()};
}

// The event loop as the program runs it: asleep until something happens.
void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::vector<double> LinkLatencies(const std::vector<std::string>& epochs) {
    Pty pty;
    TimingSink sink;
    CNmeaThread link(pty.slave, 115200, &sink, nullptr);
    link.Start();
    if (!link.Connect()) {
        std::fprintf(stderr, "monitor_bench: %s\n", link.OpenErrorText().c_str());
        std::exit(1);
    }
    std::vector<double> ms;
    for (const std::string& epoch : epochs) {
        pty.Write(epoch);
        const auto written = Clock::now();
        std::this_thread::sleep_until(written + std::chrono::milliseconds(100));
        ms.push_back(Ms(Clock::duration(sink.last.load()) - written.time_since_epoch()));
    }
    link.Shutdown();
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    int latencyEpochs = 200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--epochs") == 0) latencyEpochs = std::atoi(argv[i + 1]);
    }
    if (seconds <= 0 || latencyEpochs < 10) {
        std::fprintf(stderr, "usage: monitor_bench [--seconds S] [--epochs N (10 or more)]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;  // the capture logs go here
    QDir::setCurrent(scratch.path());
    const std::vector<std::string> epochs = Epochs(std::max(latencyEpochs, static_cast<int>(seconds * 10)));

    Pty pty;
    RecordingNotifier notifier;
    CMonitorApp monitor(notifier, {QString::fromStdString(pty.slave)}, 115200);
    monitor.MainFrame().resize(1600, 1000);
    monitor.Show();
    monitor.MainFrame().ConnectOrDisconnect();
    if (!notifier.messages.isEmpty()) {
        std::fprintf(stderr, "monitor_bench: %s\n", notifier.messages.join("; ").toStdString().c_str());
        return 1;
    }
    Watcher watcher;
    app.installEventFilter(&watcher);

    // Latency: one epoch at a time, each given its 100 ms.
    std::vector<double> windowMs;
    for (int e = 0; e < latencyEpochs; ++e) {
        pty.Write(epochs[e]);
        const auto written = Clock::now();
        Pump(90);
        pty.Drain();
        windowMs.push_back(Ms(std::max(watcher.lastMessage, watcher.lastPaint) - written));
    }

    // CPU: the line paced at 10 epochs a second by a writer of its own.
    std::atomic<bool> stop{false};
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    std::thread writer([&] {
        for (std::size_t e = 0; !stop; ++e) {
            pty.Write(epochs[e % epochs.size()]);
            std::this_thread::sleep_until(start + std::chrono::milliseconds(100 * (e + 1)));
        }
    });
    Pump(static_cast<int>(seconds * 1000));
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    stop = true;
    writer.join();
    monitor.MainFrame().ConnectOrDisconnect();

    const Spread windows = SpreadOf(windowMs);
    const Spread link = SpreadOf(LinkLatencies({epochs.begin(), epochs.begin() + latencyEpochs}));
    std::printf("CPU over %.0f s at 10 epochs/s, four constellations: %.1f%% of one core\n", wall,
                100 * cpu / wall);
    std::printf("last byte of an epoch to the windows painted (ms): median %.2f, 95%% %.2f, max %.2f\n",
                windows.median, windows.p95, windows.max);
    std::printf("last byte of an epoch to the link's last message (ms): median %.2f, 95%% %.2f, max %.2f\n",
                link.median, link.p95, link.max);
    std::printf("windows / link, median: %.1f\n", windows.median / link.median);
    return 0;
}

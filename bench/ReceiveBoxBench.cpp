// The command panel's "Receive" box under a module that does nothing but answer: status
// replies back to back on a 115200-baud line (about 600 a second, each three lines in
// the box) through the pseudo-terminal, the link and the whole monitor, on the offscreen
// platform, for S seconds (default 600). Every tenth of the run it notes the process's
// resident memory and CPU time.
//
// Yardstick in the same run: a box kept the way the panel once kept it (the whole text
// of every reply so far set again for each one), fed the same replies at the rate the
// monitor took them, for B seconds (default 30, or S/10 when shorter).
//
//   receive_box_bench [--seconds S] [--baseline-seconds B]
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/PacedLine.h"
#include "monitor/app/MainFrame.h"
#include "monitor/app/MonitorApp.h"
#include "monitor/windows/NaviCmdView.h"
#include "platform/notifier/Notifier.h"
#include "sim/NmeaFormat.h"

namespace {

using bench::CpuSeconds;
using bench::Pty;

using Clock = std::chrono::steady_clock;
constexpr double kLineBytesPerSecond = 11520;  // 115200 baud, 10 bits a byte
constexpr int kSamples = 10;

double ResidentMiB() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Sample {
    double seconds, residentMiB, cpuSeconds;
    long replies;
};

// Counts the replies the panel is given.
class ReplyCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == msg::kReplyDecoded) ++replies;
        return false;
    }
    long replies = 0;
};

// Samples every tenth of `seconds` while the event loop runs; `replies` says how many
// have been handled so far.
std::vector<Sample> Run(double seconds, const std::function<long()>& replies) {
    std::vector<Sample> samples;
    const auto start = Clock::now();
    const double cpu0 = CpuSeconds();
    samples.push_back({0, ResidentMiB(), 0, replies()});
    for (int k = 1; k <= kSamples; ++k) {
        const auto until = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds * k / kSamples));
        Pump(static_cast<int>(std::max<long long>(
            1, std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count())));
        samples.push_back({std::chrono::duration<double>(Clock::now() - start).count(), ResidentMiB(),
                           CpuSeconds() - cpu0, replies()});
    }
    return samples;
}

void Print(const char* title, const std::vector<Sample>& s) {
    std::printf("%s\n  %8s %10s %12s %10s\n", title, "s", "RSS MiB", "replies", "CPU share");
    for (std::size_t i = 1; i < s.size(); ++i) {
        const double wall = s[i].seconds - s[i - 1].seconds;
        std::printf("  %8.1f %10.1f %12ld %10.3f\n", s[i].seconds, s[i].residentMiB, s[i].replies,
                    wall > 0 ? (s[i].cpuSeconds - s[i - 1].cpuSeconds) / wall : 0);
    }
}

// CPU time per reply in a tenth of the run.
double CpuPerReply(const std::vector<Sample>& s, std::size_t tenth) {
    const long n = s[tenth].replies - s[tenth - 1].replies;
    return n > 0 ? (s[tenth].cpuSeconds - s[tenth - 1].cpuSeconds) / static_cast<double>(n) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 600, baselineSeconds = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--baseline-seconds") == 0) baselineSeconds = std::atof(argv[i + 1]);
    }
    if (baselineSeconds < 0) baselineSeconds = std::min(30.0, seconds / 10);
    if (seconds < 1 || baselineSeconds <= 0) {
        std::fprintf(stderr, "usage: receive_box_bench [--seconds S (1 or more)] [--baseline-seconds B]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;  // the capture logs go here
    QDir::setCurrent(scratch.path());

    Pty pty;
    RecordingNotifier notifier;
    CMonitorApp monitor(notifier, {QString::fromStdString(pty.slave)}, 115200);
    monitor.MainFrame().resize(1280, 800);
    monitor.Show();
    monitor.MainFrame().ConnectOrDisconnect();
    if (!notifier.messages.isEmpty()) {
        std::fprintf(stderr, "receive_box_bench: %s\n", notifier.messages.join("; ").toStdString().c_str());
        return 1;
    }
    QWidget* panel = monitor.Registry().View(WindowType::NavigationCommand);
    ReplyCounter counter;
    panel->installEventFilter(&counter);
    Pump(500);  // the windows laid out and painted once

    // The line full of status replies, paced at its rate by a writer of its own.
    const std::string reply = sim::NmeaSentence("PZRC001,030,3");
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const auto start = Clock::now();
        double sent = 0;
        while (!stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const double due = std::chrono::duration<double>(Clock::now() - start).count() * kLineBytesPerSecond;
            std::string chunk;
            for (; sent + static_cast<double>(reply.size()) <= due; sent += static_cast<double>(reply.size())) chunk += reply;
            if (!chunk.empty()) pty.Write(chunk);
        }
    });
    const std::vector<Sample> panelRun = Run(seconds, [&] { return counter.replies; });
    stop = true;
    writer.join();
    monitor.MainFrame().ConnectOrDisconnect();
    Pump(200);
    const QString lastReply = static_cast<CNaviCmdView*>(panel)->ReceiveBox().toPlainText().section('\n', -3);
    Print("the panel (appended, newest lines kept):", panelRun);
    std::fflush(stdout);

    // The old way, at the rate the monitor took the replies.
    const double perSecond = static_cast<double>(panelRun.back().replies - panelRun.front().replies) / panelRun.back().seconds;
    QPlainTextEdit rewritten;
    rewritten.resize(800, 400);
    rewritten.show();
    QString all;
    long fed = 0;
    const QString text = QString::fromUtf8("[Respond] 030\nStatus: Valid packet, action succeeded\n\n");
    QTimer feeder;
    const auto feedStart = Clock::now();
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        // It cannot keep up for long: each call does what it can in 50 ms and the loop
        // goes on, as the program's would between replies.
        const auto now = Clock::now();
        const double due = std::chrono::duration<double>(now - feedStart).count() * perSecond;
        for (; fed < static_cast<long>(due) && Clock::now() - now < std::chrono::milliseconds(50); ++fed) {
            all += text;
            rewritten.setPlainText(all);
            rewritten.moveCursor(QTextCursor::End);
        }
    });
    feeder.start(10);
    const std::vector<Sample> baseline = Run(baselineSeconds, [&] { return fed; });
    feeder.stop();

    std::printf("\nreplies taken by the monitor: %.0f a second; the yardstick is fed at that rate when it can\n\n",
                perSecond);
    std::printf("\n");
    Print("yardstick (whole text set again per reply):", baseline);
    const double growth = panelRun.back().residentMiB - panelRun[1].residentMiB;
    const double baseGrowth = baseline.back().residentMiB - baseline[1].residentMiB;
    const double baseSpan = baseline.back().seconds - baseline[1].seconds, span = panelRun.back().seconds - panelRun[1].seconds;
    std::printf("\nresident memory, end / first tenth: panel %.3f over %.0f s; yardstick %.3f over %.0f s\n",
                panelRun.back().residentMiB / panelRun[1].residentMiB, span,
                baseline.back().residentMiB / baseline[1].residentMiB, baseSpan);
    std::printf("growth per minute: panel %.2f MiB, yardstick %.2f MiB (yardstick / panel %.0f)\n", growth / span * 60,
                baseGrowth / baseSpan * 60, growth > 0 ? (baseGrowth / baseSpan) / (growth / span) : 0.0);
    std::printf("replies handled: yardstick %.3f of those due\n",
                static_cast<double>(fed) / (perSecond * baseline.back().seconds));
    std::printf("CPU per reply, last tenth / first: panel %.2f, yardstick %.2f\n",
                CpuPerReply(panelRun, kSamples) / CpuPerReply(panelRun, 1),
                CpuPerReply(baseline, kSamples) / CpuPerReply(baseline, 1));
    std::printf("last reply shown: %s\n", lastReply.simplified().toStdString().c_str());
    return 0;
}

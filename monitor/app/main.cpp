// skyLedger: the receiver monitor.
//   skyLedger [--port DEV]... [--baud N|auto] [--connect] [--replay LOG [--speed X]]
//             [--seconds S [--picture FILE]]
//     extra devices for the port list (the first is selected), the baud rate to start
//     with, Connect pressed at start, a capture log replayed at start (X times the
//     receiver's pace, or "max"), and an end after S seconds with a picture of the main
//     window written to FILE (for a demonstration or a machine without a screen)
#include <QApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>

#include "MainFrame.h"
#include "MonitorApp.h"
#include "Notifier.h"
#include "ProgramIcons.h"
#include "ProgramInfo.h"
#include "Replay.h"

namespace {

constexpr const char* kUsage =
    "usage: skyLedger [--port DEV]... [--baud N|auto] [--connect] [--replay LOG [--speed X]]\n"
    "                 [--seconds S [--picture FILE]]\n"
    "  --port DEV        a device for the port list (the first given is selected)\n"
    "  --baud N          the baud rate to start with: one of the list (4800 ... 921600),\n"
    "                    or auto: Connect finds the rate the module talks at\n"
    "  --connect         press Connect at start\n"
    "  --replay LOG      play a capture log through the windows at start\n"
    "  --speed X         with --replay: X times the receiver's own pace, 0.25 to 64, or max\n"
    "  --seconds S       end after S seconds, above 0 and at most 1e9\n"
    "  --picture FILE    with --seconds: write a picture of the main window to FILE\n"
    "  --help, --version\n";

bool IsListedBaud(std::string_view text, int& baud) {
    if (text == "auto") return baud = kAutoBaud, true;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), baud);
    return ec == std::errc() && end == text.data() + text.size() &&
           std::find(std::begin(kBaudRateTable), std::end(kBaudRateTable), baud) != std::end(kBaudRateTable);
}

// As the command-line tools: about 31 years, well inside what the clocks count.
constexpr double kMaxSeconds = 1e9;
// A QTimer counts in int milliseconds (24.8 days); a longer run is timed in steps.
constexpr qint64 kLongestTimerStepMs = 86400000;

bool IsSeconds(std::string_view text, double& seconds) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    return ec == std::errc() && end == text.data() + text.size() && seconds > 0 && seconds <= kMaxSeconds;
}

// Calls `done` once `deadline` has passed, looking again at most a day apart.
void WhenPassed(QDeadlineTimer deadline, QObject* context, std::function<void()> done) {
    const qint64 left = deadline.remainingTime();
    if (left <= 0) return done();
    QTimer::singleShot(static_cast<int>(std::min(left, kLongestTimerStepMs)), context,
                       [deadline, context, done = std::move(done)] { WhenPassed(deadline, context, done); });
}

}  // namespace

int main(int argc, char** argv) {
    // The command line is read before the window system is asked for anything, so a bad
    // argument is told also where no display is.
    if (AnswerHelpOrVersion(argc, argv, "skyLedger", kUsage)) return 0;
    QStringList ports;
    int baud = 0;
    double seconds = 0;
    bool connectAtStart = false;
    QString picture, replayFile;
    double speed = 1;
    bool speedGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        bool ok = true;
        if (hasValue && arg == "--port") ports << QString::fromLocal8Bit(argv[++i]);
        else if (hasValue && arg == "--baud") ok = IsListedBaud(argv[++i], baud);
        else if (hasValue && arg == "--seconds") ok = IsSeconds(argv[++i], seconds);
        else if (hasValue && arg == "--picture") picture = QString::fromLocal8Bit(argv[++i]);
        else if (hasValue && arg == "--replay") replayFile = QString::fromLocal8Bit(argv[++i]);
        else if (hasValue && arg == "--speed") {
            const auto parsed = replay::ParseSpeed(argv[++i]);
            if ((ok = parsed.has_value())) speed = *parsed;
            speedGiven = true;
        } else if (arg == "--connect") connectAtStart = true;
        else ok = false;
        if (!ok) {
            std::fprintf(stderr,
                         "skyLedger: bad argument %s\n"
                         "%s"
                         "N is one of 4800 9600 14400 19200 38400 56000 57600 115200 128000 230400 256000 460800\n"
                         "921600 or auto;\n"
                         "X is from 0.25 to 64, or max\n",
                         argv[i], kUsage);
            return 2;
        }
    }
    if (connectAtStart && !replayFile.isEmpty()) {
        std::fprintf(stderr, "skyLedger: --connect and --replay exclude each other\n");
        return 2;
    }
    if (speedGiven && replayFile.isEmpty()) {
        std::fprintf(stderr, "skyLedger: --speed goes with --replay\n");
        return 2;
    }
    if (!replayFile.isEmpty()) {
        // Told here, before any window: a file the replay cannot take. The kind is looked
        // at before the open, which would wait for a writer on a FIFO.
        std::error_code ec;
        const std::filesystem::path path(replayFile.toStdString());
        const char* problem = nullptr;
        const auto status = std::filesystem::status(path, ec);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) problem = "not a regular file";
        else if (std::FILE* f = std::fopen(path.string().c_str(), "rb")) std::fclose(f);
        else problem = std::strerror(errno);
        if (problem) {
            std::fprintf(stderr, "skyLedger: cannot replay %s: %s\n", qPrintable(replayFile), problem);
            return 1;
        }
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(MakeProgramIcon(ProgramIcon::SkyLedger));  // the about box shows it too
    MessageBoxNotifier notifier;
    CMonitorApp monitor(notifier, ports, baud);
    monitor.Show();
    if (connectAtStart) QTimer::singleShot(0, &monitor.MainFrame(), [&] { monitor.MainFrame().ConnectOrDisconnect(); });
    if (!replayFile.isEmpty())
        QTimer::singleShot(0, &monitor.MainFrame(), [&] { monitor.MainFrame().StartReplay(replayFile, speed); });
    if (seconds > 0) {
        WhenPassed(QDeadlineTimer(static_cast<qint64>(seconds * 1000)), &app, [&] {
            if (!picture.isEmpty()) {
                if (monitor.MainFrame().grab().save(picture)) std::fprintf(stderr, "skyLedger: picture in %s\n", qPrintable(picture));
                else std::fprintf(stderr, "skyLedger: cannot write %s\n", qPrintable(picture));
            }
            app.quit();
        });
    }
    return app.exec();
}

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
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/app/MainFrame.h"
#include "monitor/app/MonitorApp.h"
#include "monitor/link/Replay.h"
#include "platform/icons/ProgramIcons.h"
#include "platform/notifier/Notifier.h"
#include "platform/programinfo/CommandLine.h"
#include "platform/programinfo/ProgramInfo.h"

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

// As the command-line tools: about 31 years, well inside what the clocks count.
constexpr double kMaxSeconds = 1e9;
// A QTimer counts in int milliseconds (24.8 days); a longer run is timed in steps.
constexpr qint64 kLongestTimerStepMs = 86400000;

struct Arguments {
    std::vector<std::string> ports;
    int baud = 0;
    double seconds = 0;
    bool connectAtStart = false;
    std::string picture, replayFile;
    double speed = 1;
    bool speedGiven = false;
};

std::optional<std::string> TakeBaud(std::string_view text, int& baud) {
    if (text == "auto") return baud = kAutoBaud, std::nullopt;
    const auto n = cli::WholeNumber(text);
    if (n && std::find(std::begin(kBaudRateTable), std::end(kBaudRateTable), *n) != std::end(kBaudRateTable))
        return baud = static_cast<int>(*n), std::nullopt;
    return "--baud wants one of 4800 9600 14400 19200 38400 56000 57600 115200 128000 230400 256000 460800 "
           "921600 or auto, not " + cli::Quoted(text);
}

std::optional<std::string> TakeSpeed(std::string_view text, Arguments& a) {
    a.speedGiven = true;
    if (const auto parsed = replay::ParseSpeed(text)) return a.speed = *parsed, std::nullopt;
    return "--speed wants a number from 0.25 to 64, or max, not " + cli::Quoted(text);
}

bool ParseArguments(int argc, char** argv, Arguments& a, std::string& error) {
    if (!cli::CommandLine()
             .Texts("--port", a.ports)
             .Custom("--baud", [&a](std::string_view v) { return TakeBaud(v, a.baud); })
             .Number("--seconds", 0, kMaxSeconds, a.seconds)
             .Text("--picture", a.picture)
             .Text("--replay", a.replayFile)
             .Custom("--speed", [&a](std::string_view v) { return TakeSpeed(v, a); })
             .Flag("--connect", a.connectAtStart)
             .Parse(argc, argv, error))
        return false;
    if (a.connectAtStart && !a.replayFile.empty()) return error = "--connect and --replay exclude each other", false;
    if (a.speedGiven && a.replayFile.empty()) return error = "--speed goes with --replay", false;
    return true;
}

// A file the replay cannot take, told before any window. The kind is looked at before
// the open, which would wait for a writer on a FIFO.
bool CanReplay(const std::string& file, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    const char* problem = nullptr;
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) problem = "not a regular file";
    else if (std::FILE* f = std::fopen(file.c_str(), "rb")) std::fclose(f);
    else problem = std::strerror(errno);
    if (problem) error = "cannot replay " + file + ": " + problem;
    return !problem;
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
    Arguments a;
    std::string error;
    if (!ParseArguments(argc, argv, a, error)) {
        std::fprintf(stderr, "skyLedger: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (!a.replayFile.empty() && !CanReplay(a.replayFile, error)) {
        std::fprintf(stderr, "skyLedger: %s\n", error.c_str());
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(MakeProgramIcon(ProgramIcon::SkyLedger));  // the about box shows it too
    MessageBoxNotifier notifier;
    QStringList ports;
    for (const std::string& port : a.ports) ports << QString::fromLocal8Bit(port.c_str());
    CMonitorApp monitor(notifier, ports, a.baud);
    monitor.Show();
    CMainFrame& frame = monitor.MainFrame();
    if (a.connectAtStart) QTimer::singleShot(0, &frame, [&] { frame.ConnectOrDisconnect(); });
    const QString replayFile = QString::fromLocal8Bit(a.replayFile.c_str());
    if (!replayFile.isEmpty()) QTimer::singleShot(0, &frame, [&] { frame.StartReplay(replayFile, a.speed); });
    if (a.seconds > 0) {
        const QString picture = QString::fromLocal8Bit(a.picture.c_str());
        WhenPassed(QDeadlineTimer(static_cast<qint64>(a.seconds * 1000)), &app, [&, picture] {
            if (!picture.isEmpty()) {
                if (frame.grab().save(picture)) std::fprintf(stderr, "skyLedger: picture in %s\n", qPrintable(picture));
                else std::fprintf(stderr, "skyLedger: cannot write %s\n", qPrintable(picture));
            }
            app.quit();
        });
    }
    return app.exec();
}

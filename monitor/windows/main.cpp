// skyLedger: the receiver monitor.
//   skyLedger [--port DEV]... [--baud N]   extra devices for the port list (the first is
//                                          selected) and the baud rate to start with
#include <QApplication>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "MainFrame.h"
#include "MonitorApp.h"
#include "Notifier.h"

namespace {

bool IsListedBaud(std::string_view text, int& baud) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), baud);
    return ec == std::errc() && end == text.data() + text.size() &&
           std::find(std::begin(kBaudRateTable), std::end(kBaudRateTable), baud) != std::end(kBaudRateTable);
}

}  // namespace

int main(int argc, char** argv) {
    // The command line is read before the window system is asked for anything, so a bad
    // argument is told also where no display is.
    QStringList ports;
    int baud = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (hasValue && arg == "--port") {
            ports << QString::fromLocal8Bit(argv[++i]);
        } else if (!(hasValue && arg == "--baud" && IsListedBaud(argv[++i], baud))) {
            std::fprintf(stderr,
                         "skyLedger: bad argument %s\nusage: skyLedger [--port DEV]... [--baud N]\n"
                         "N is one of 4800 9600 14400 19200 38400 56000 57600 115200 128000 256000\n",
                         argv[i]);
            return 2;
        }
    }
    QApplication app(argc, argv);
    MessageBoxNotifier notifier;
    CMonitorApp monitor(notifier, ports, baud);
    monitor.Show();
    return app.exec();
}

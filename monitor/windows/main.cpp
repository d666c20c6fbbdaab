// skyLedger: the receiver monitor.
//   skyLedger [--port DEV]... [--baud N]   extra devices for the port list (the first is
//                                          selected) and the baud rate to start with
#include <QApplication>
#include <cstdio>

#include "MonitorApp.h"
#include "Notifier.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QStringList ports;
    int baud = 0;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        bool ok = i + 1 < args.size();
        if (ok && args[i] == "--port") ports << args[++i];
        else if (ok && args[i] == "--baud") baud = args[++i].toInt(&ok);
        else ok = false;
        if (!ok || baud < 0) {
            std::fprintf(stderr, "skyLedger: bad argument %s\nusage: skyLedger [--port DEV]... [--baud N]\n",
                         qPrintable(args[i]));
            return 2;
        }
    }
    MessageBoxNotifier notifier;
    CMonitorApp monitor(notifier, ports, baud);
    monitor.Show();
    return app.exec();
}

// Burnkit: writes a firmware image into one module's flash over one serial port.
//   Burnkit [--port DEV]...   extra devices for the port list (the last is preselected)
#include <QApplication>

#include "BurnkitDlg.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    MessageBoxNotifier notifier;
    burnkit::CBurnkitDlg dialog(notifier, PortsFromArguments(app.arguments()));
    dialog.exec();
    return 0;
}

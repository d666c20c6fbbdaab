// Gangburn: writes the same firmware image into up to four modules at once.
//   Gangburn [--port DEV]...   extra devices for the port lists (the i-th preselected in slot i)
#include <QApplication>

#include "GangburnDlg.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    MessageBoxNotifier notifier;
    gangburn::CBurnkitDlg dialog(notifier, PortsFromArguments(app.arguments()));
    dialog.exec();
    return 0;
}

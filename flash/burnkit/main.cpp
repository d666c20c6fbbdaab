// Burnkit: writes a firmware image into one module's flash over one serial port.
//   Burnkit [--port DEV]...   extra devices for the port list (the last is preselected)
#include <QApplication>

#include "flash/burnkit/BurnkitDlg.h"
#include "platform/icons/ProgramIcons.h"
#include "platform/programinfo/ProgramInfo.h"

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "Burnkit",
                            "usage: Burnkit [--port DEV]...\n"
                            "  --port DEV   a device for the port list (the last given is selected)\n"
                            "  --help, --version\n"))
        return 0;
    QApplication app(argc, argv);
    QApplication::setWindowIcon(MakeProgramIcon(ProgramIcon::Burnkit));
    MessageBoxNotifier notifier;
    burnkit::CBurnkitDlg dialog(notifier, PortsFromArguments(app.arguments()));
    dialog.exec();
    return 0;
}

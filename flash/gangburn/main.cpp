// Gangburn: writes the same firmware image into several modules at once.
//   Gangburn [--slots N] [--port DEV]...   N port slots, 1 to 16 (default 4); extra devices
//                                          for the port lists (the i-th preselected in slot i)
#include <QApplication>
#include <cstdio>

#include "flash/gangburn/GangburnDlg.h"
#include "platform/icons/ProgramIcons.h"
#include "platform/programinfo/ProgramInfo.h"

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "Gangburn",
                            "usage: Gangburn [--slots N] [--port DEV]...\n"
                            "  --slots N    port slots, 1 to 16 (default 4)\n"
                            "  --port DEV   a device for the port lists (the i-th given is selected in slot i)\n"
                            "  --help, --version\n"))
        return 0;
    QApplication app(argc, argv);
    QApplication::setWindowIcon(MakeProgramIcon(ProgramIcon::Gangburn));
    const QStringList arguments = app.arguments();
    int slotCount = gangburn::CBurnkitDlg::kDefaultSlots;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] != "--slots") continue;
        bool ok = false;
        slotCount = i + 1 < arguments.size() ? arguments[i + 1].toInt(&ok) : 0;
        if (!ok || slotCount < 1 || slotCount > gangburn::CBurnkitDlg::kMaxSlots) {
            std::fprintf(stderr, "Gangburn: --slots takes a whole number from 1 to %d\n",
                         gangburn::CBurnkitDlg::kMaxSlots);
            return 2;
        }
    }
    MessageBoxNotifier notifier;
    gangburn::CBurnkitDlg dialog(notifier, PortsFromArguments(arguments), nullptr, slotCount);
    dialog.exec();
    return 0;
}

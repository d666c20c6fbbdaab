// Writes the programs' icons for installing: DIR/hicolor/scalable/apps/NAME.svg and
// DIR/hicolor/NxN/apps/NAME.png.
//   make-icons DIR
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "platform/icons/ProgramIcons.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-icons DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]) + "/hicolor";
    for (ProgramIcon icon : {ProgramIcon::SkyLedger, ProgramIcon::Burnkit, ProgramIcon::Gangburn}) {
        const QString scalable = root + "/scalable/apps";
        QFile svg(scalable + "/" + IconName(icon) + ".svg");
        if (!QDir().mkpath(scalable) || !svg.open(QIODevice::WriteOnly) ||
            svg.write(ProgramIconSvg(icon).toUtf8()) < 0) {
            std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(svg.fileName()));
            return 1;
        }
        for (int size : {16, 32, 48, 64, 128, 256}) {
            const QString dir = root + QString("/%1x%1/apps").arg(size);
            const QString path = dir + "/" + IconName(icon) + ".png";
            if (!QDir().mkpath(dir) || !RenderProgramIcon(icon, size).save(path)) {
                std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(path));
                return 1;
            }
        }
    }
    return 0;
}

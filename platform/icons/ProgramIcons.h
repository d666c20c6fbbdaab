// The programs' icons, drawn for this toolkit: a sky with satellites for the monitor, a
// chip being flashed for the programmer, four of them for the production programmer. One
// drawing of simple shapes in a 64 x 64 box gives the window icons and, at build time,
// the installed SVG and PNG files.
#pragma once

#include <QIcon>
#include <QString>

enum class ProgramIcon { SkyLedger, Burnkit, Gangburn };

// The file name of the icon, without extension ("skyledger").
QString IconName(ProgramIcon icon);
// The icon at the usual sizes, for QApplication::setWindowIcon.
QIcon MakeProgramIcon(ProgramIcon icon);
QImage RenderProgramIcon(ProgramIcon icon, int size);
QString ProgramIconSvg(ProgramIcon icon);

#pragma once

#include <QString>

// The program's help pages (HTML), opened in the desktop's browser by the Help commands.
namespace mvhelp {

// The main help page: "help/index.html" beside the program (the build tree), or in the data
// folder of an installed program (PREFIX/share/marvane/help). Empty when none is found.
QString FindHelpIndex();

}  // namespace mvhelp

#pragma once

#include <QString>

// The program's help pages (HTML), shown in the program's help window by the Help commands.
namespace mvhelp {

// The main help page: "help/index.html" beside the program (the build tree), or in the data
// folder of an installed program (PREFIX/share/marvane/help). Empty when none is found.
QString FindHelpIndex();

// Makes FindHelpIndex look only at `indexPath` (tests, the screenshot tool); an empty path
// restores the search described above.
void UseHelpIndex(const QString& indexPath);

}  // namespace mvhelp

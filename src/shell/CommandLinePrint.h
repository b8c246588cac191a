#pragma once

#include <QString>

struct CommandLineInfo;
class QPrinter;

// Printing from the command line: "/p FILE" prints a cue list on the default printer, "/pt FILE
// PRINTER DRIVER PORT" on the named printer (the driver and port are not needed to find a
// printer here). The list is printed without showing the main window, exactly as the Print
// command would print it, in the printer's own default orientation, and the program then ends
// without opening the audio output. UI thread, with the application object created.

// Carries out the print switch of `info`. Returns the exit status of the program: 0 when the
// list was printed; otherwise 1, after telling the operator why in a message box (no printer,
// an unknown printer, a list that cannot be read, a job that failed).
int PrintFromCommandLine(const CommandLineInfo& info);

// Opens the cue list at `path` and prints all its pages on `printer`. Returns false with the
// text the operator must see in *errorText.
bool PrintCueListFile(const QString& path, QPrinter* printer, QString* errorText);

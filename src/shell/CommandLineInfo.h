#pragma once

#include <QString>
#include <QStringList>

// The parsed command line of the program.
//
// A switch is a word after "/" or "-". "p", "pt" and "dde" are compared with case, the others
// without. Because "/" also starts every absolute path here, an argument that starts with "/" is a
// switch only when the word after it is one of the switch names below; otherwise it is a file
// name. Unknown "-" switches are ignored.
//
//   (nothing)                          a new, empty cue list
//   FILE                               open that cue list
//   /p FILE                            print the cue list on the default printer and end
//   /pt FILE PRINTER DRIVER PORT       print it on that printer and end
//   /Unregister or /Unregserver        remove the settings and the desktop integration and end
//   /Embedding or /Automation          no splash; otherwise as without the switch
//   /dde                               accepted for compatibility; treated as a plain start
struct CommandLineInfo {
    enum ShellCommand {
        FileNew,        // no file named: a new, empty cue list
        FileOpen,       // open m_strFileName
        FilePrint,      // print m_strFileName on the default printer
        FilePrintTo,    // print m_strFileName on m_strPrinterName
        FileDDE,        // /dde
        AppUnregister,  // /Unregister, /Unregserver
    };

    ShellCommand m_nShellCommand = FileNew;
    bool m_bShowSplash = true;
    bool m_bRunEmbedded = false;
    bool m_bRunAutomated = false;
    QString m_strFileName;
    QString m_strPrinterName;
    QString m_strDriverName;
    QString m_strPortName;

    // Parses the arguments that follow the program name.
    static CommandLineInfo Parse(const QStringList& args);

    // Whether `arg` is read as a switch (see above); `name` receives the word after "/" or "-".
    static bool IsSwitch(const QString& arg, QString* name);
};

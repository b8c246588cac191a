#include <QApplication>
#include <cstdio>
#include <cstring>

#include "MarvaneVersion.h"
#include "manual/Manual.h"
#include "shell/CMarvaneApp.h"

int main(int argc, char** argv) {
    // Answered before any window exists, so they work without a display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(manual::HelpText(manual::GuiPage()).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("marvane %s\n", kMarvaneVersion);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    QApplication app(argc, argv);
    int exitCode = 0;
    {
        CMarvaneApp theApp;
        if (theApp.InitInstance(QCoreApplication::arguments().mid(1))) exitCode = app.exec();
        exitCode = theApp.ExitInstance(exitCode);
    }
    return exitCode;
}

#include <QApplication>

#include "shell/CMarvaneApp.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int exitCode = 0;
    {
        CMarvaneApp theApp;
        if (theApp.InitInstance(QCoreApplication::arguments().mid(1))) exitCode = app.exec();
        exitCode = theApp.ExitInstance(exitCode);
    }
    return exitCode;
}

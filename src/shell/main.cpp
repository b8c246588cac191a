#include <QApplication>

#include "shell/CommandLineInfo.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const CommandLineInfo info = CommandLineInfo::Parse(app.arguments().mid(1));
    (void)info;
    return 0;
}

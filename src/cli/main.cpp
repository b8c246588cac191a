#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "cli/Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: marvane-cli COMMAND ARGS...\n"
    "  dump FILE                      print a cue list as JSON\n"
    "  build JSON_FILE OUT_FILE       write a cue list from JSON\n"
    "  channels                       list the output channels\n"
    "  render LIST_FILE OUT.wav [--channels N] [--outputs C] [--play ROW@SECONDS]...\n"
    "         [--cmd NAME@SECONDS[:ROW]]... [--seek PERCENT@SECONDS[:ROW]]\n"
    "         [--start-percent P] [--max-seconds S]\n"
    "                                 play cues on N offline devices of C outputs\n"
    "                                 (default 1 and 2) into WAV files\n"
    "  print LIST_FILE OUT.pdf [--paper letter|a4] [--portrait]\n"
    "                                 render the printed cue list into a PDF\n"
    "  check [--json] LIST_FILE       check that every cue would play (rows from 1);\n"
    "                                 exit status 1 when there is a problem\n"
    "  collect LIST_FILE FOLDER       copy the list and its sound files into FOLDER\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const char* command = argv[1];
    QStringList args;
    for (int i = 2; i < argc; ++i) {
        // A file name that is not valid text in the system's encoding would come back from the
        // text as another name: a list read from or, worse, written to a file never named.
        const QString arg = QFile::decodeName(argv[i]);
        if (QFile::encodeName(arg) != QByteArray(argv[i])) {
            std::fprintf(stderr,
                         "%s: the name is not valid text in this system's encoding; rename the "
                         "file\n",
                         argv[i]);
            return 1;
        }
        args << arg;
    }

#ifdef MARVANE_CLI_PRINT
    if (std::strcmp(command, "print") == 0) return cli::RunPrint(args);
#endif
    QCoreApplication app(argc, argv);
    if (std::strcmp(command, "dump") == 0) return cli::RunDump(args);
    if (std::strcmp(command, "build") == 0) return cli::RunBuild(args);
    if (std::strcmp(command, "channels") == 0) return cli::RunChannels(args);
    if (std::strcmp(command, "render") == 0) return cli::RunRender(args);
    if (std::strcmp(command, "check") == 0) return cli::RunCheck(args);
    if (std::strcmp(command, "collect") == 0) return cli::RunCollect(args);
    std::fputs(kUsage, stderr);
    return 2;
}

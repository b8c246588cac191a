#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <cstring>
#include <string>

#include "MarvaneVersion.h"
#include "cli/Commands.h"
#include "manual/Manual.h"

namespace {

// The synopsis of the manual page, as the usage printed for a command line not understood.
std::string Usage() {
    std::string usage;
    for (const std::string& line : manual::CliPage().synopsis) {
        usage += (usage.empty() ? "usage: " : "       ") + line + "\n";
    }
    return usage + "Run \"marvane-cli --help\" or \"man marvane-cli\" for more.\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(Usage().c_str(), stderr);
        return 2;
    }
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        std::fputs(manual::HelpText(manual::CliPage()).c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (std::strcmp(command, "--version") == 0) {
        std::printf("marvane-cli %s\n", kMarvaneVersion);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
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
    std::fputs(Usage().c_str(), stderr);
    return 2;
}

#include <cstdio>

#include "cli/Commands.h"

namespace cli {

int RunDump(const QStringList&) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

int RunBuild(const QStringList&) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

}  // namespace cli

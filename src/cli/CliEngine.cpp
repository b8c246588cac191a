#include <cstdio>

#include "cli/Commands.h"

namespace cli {

int RunChannels(const QStringList&) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

int RunRender(const QStringList&) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

}  // namespace cli

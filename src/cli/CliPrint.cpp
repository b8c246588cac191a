#include <cstdio>

#include "cli/Commands.h"

namespace cli {

int RunPrint(const QStringList&) {
    std::fputs("not built yet\n", stderr);
    return 1;
}

}  // namespace cli

#include "shell/ShellResources.h"

#include <QtGlobal>

void InitShellResources() {
    static const bool initialised = [] {
        Q_INIT_RESOURCE(marvane);
        return true;
    }();
    (void)initialised;
}

#include "shell/Resources.h"

#include <QtGlobal>
#include <mutex>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerLanfinderResources() {
    Q_INIT_RESOURCE(lanfinder);
}

void initShellResources() {
    static std::once_flag once;
    std::call_once(once, registerLanfinderResources);
}

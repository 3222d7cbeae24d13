#include "AppIcon.h"

// The resources live in this static library; registering them here, before the first use, makes
// sure the linker keeps them.
static void InitIconResources() {
    Q_INIT_RESOURCE(vessaro_res);
}

namespace vessaro::res {

void InitResources() {
    static const bool registered = (InitIconResources(), true);
    (void)registered;
}

QIcon AppIcon() {
    InitResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/vessaro/icons/vessaro-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace vessaro::res

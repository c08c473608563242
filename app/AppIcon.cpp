#include "app/AppIcon.h"

#include <QString>

// The resources live in a static library: register them before the first use.
static void InitVeltraneResources() {
    Q_INIT_RESOURCE(veltrane);
}

namespace veltrane {

QIcon AppIcon() {
    static const bool registered = (InitVeltraneResources(), true);
    (void)registered;
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/veltrane-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace veltrane

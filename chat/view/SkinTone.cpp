#include "SkinTone.h"

#include <QCoreApplication>
#include <QVariant>

namespace vessaro {
namespace {

constexpr const char* kProperty = "vessaroDarkSkin";

} // namespace

bool DarkSkinApplied() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->property(kProperty).toBool();
}

void SetDarkSkinApplied(bool dark) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->setProperty(kProperty, dark);
}

} // namespace vessaro

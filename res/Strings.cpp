#include "Strings.h"

namespace vessaro::res {

QString LoadResString(int id) {
    switch (id) {
    case kIdsAboutBox:
        return QStringLiteral("关于 Tovani(&A)...");
    case kIdsSocketsInitFailed:
        return QStringLiteral("Windows 通信端口初始化失败。");
    default:
        return QString();
    }
}

QString AppTitle() {
    return QStringLiteral("Vessaro");
}

} // namespace vessaro::res

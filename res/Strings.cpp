#include "Strings.h"

#include <QCoreApplication>

namespace vessaro::res {

QString LoadResString(int id) {
    switch (id) {
    case kIdsAboutBox:
        //: English: &About Vessaro...
        return QCoreApplication::translate("Strings", "关于 Vessaro(&A)...");
    case kIdsSocketsInitFailed:
        //: English: Cannot open a network socket.
        return QCoreApplication::translate("Strings", "无法打开网络套接字。");
    default:
        return QString();
    }
}

QString AppTitle() {
    return QStringLiteral("Vessaro");
}

} // namespace vessaro::res

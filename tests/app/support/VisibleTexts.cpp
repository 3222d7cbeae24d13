#include "VisibleTexts.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTranslator>
#include <QWidget>

namespace vessaro::test {

QStringList VisibleTexts(const QWidget* window) {
    QStringList texts{window->windowTitle()};
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            texts << label->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts << button->text();
        else if (const auto* box = qobject_cast<const QGroupBox*>(widget))
            texts << box->title();
        else if (const auto* menu = qobject_cast<const QMenu*>(widget))
            texts << menu->title();
        texts << widget->toolTip() << widget->accessibleName();
    }
    for (const QAction* action : window->findChildren<QAction*>())
        texts << action->text() << action->toolTip();
    texts.removeAll(QString());
    return texts;
}

bool HasChinese(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 0x3000 && u <= 0x303F) || (u >= 0x4E00 && u <= 0x9FFF) ||
            (u >= 0xFF00 && u <= 0xFFEF))
            return true;
    }
    return false;
}

QStringList ChineseTexts(const QStringList& texts) {
    QStringList chinese;
    for (const QString& text : texts) {
        if (HasChinese(text))
            chinese << text;
    }
    return chinese;
}

void RemoveTranslators() {
    for (QTranslator* translator :
         QCoreApplication::instance()->findChildren<QTranslator*>(Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

} // namespace vessaro::test

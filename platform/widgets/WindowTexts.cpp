#include "WindowTexts.h"

#include <QObject>
#include <QVariant>

void applyWindowTexts(QObject *window, std::initializer_list<WindowText> rows, Language language)
{
    for (const WindowText &row : rows) {
        const QString text = row.text.pick(language);
        if (text.isNull())
            continue;
        QObject *target = window->objectName() == QLatin1String(row.objectName)
            ? window : window->findChild<QObject *>(QLatin1String(row.objectName));
        if (target)
            target->setProperty(row.property, text);
    }
}

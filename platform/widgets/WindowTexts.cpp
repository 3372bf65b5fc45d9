#include "WindowTexts.h"

void applyWindowTexts(std::initializer_list<WindowText> rows, Language language)
{
    for (const WindowText &row : rows) {
        const QString text = row.text.pick(language);
        if (!text.isNull())
            row.set(text);
    }
}

#pragma once
// The language texts of a window in one table: each row names a control by
// its object name, the property to set and the text per language.

#include "LanguageText.h"

#include <initializer_list>

class QObject;

/// One caption, title or tool tip of a window.
struct WindowText
{
    const char *objectName;   ///< a child's object name, or the window's own
    const char *property;     ///< "text", "title", "toolTip", "windowTitle", "accessibleName"
    LanguageText text;        ///< a null text leaves the property as it is
};

/// Sets each row's property for `language` on the child of `window` with
/// that object name (or on `window` itself). Rows whose text is null for
/// the language, and names that match no object, are skipped.
void applyWindowTexts(QObject *window, std::initializer_list<WindowText> rows, Language language);

#pragma once
// The language texts of a window in one table: each row holds the control
// itself, the setter of the text it carries (caption, title, tool tip,
// accessible name) and the text per language. Rows are built from the
// window's members, so a control that is renamed or removed is a compile
// error, not a text that silently stays unset.

#include "LanguageText.h"

#include <QString>
#include <functional>
#include <initializer_list>
#include <type_traits>

/// One caption, title or tool tip of a window.
struct WindowText
{
    /// `target`'s `setter` receives the text, e.g.
    /// `{ui->saveButton, &QWidget::setToolTip, {de, en, fr}}`.
    template <class Target, class Owner>
    WindowText(Target *target, void (Owner::*setter)(const QString &), LanguageText text)
        : set([target, setter](const QString &value) { (target->*setter)(value); }), text(std::move(text))
    {
        static_assert(std::is_base_of_v<Owner, Target>, "the setter belongs to another class");
    }

    std::function<void(const QString &)> set;
    LanguageText text;        ///< a null text leaves the control as it is
};

/// Gives each row's control its text for `language`; rows whose text is
/// null for the language are left as they are.
void applyWindowTexts(std::initializer_list<WindowText> rows, Language language);

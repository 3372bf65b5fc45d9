#pragma once
// Texts per language. The program's language is compared exactly and
// case-sensitively with "Deutsch", "English" and "Francais"; any other
// value picks a fallback (usually: keep the text the control has).

#include <QString>

/// One text per language; a language matching none of the three picks `other`.
struct LanguageText
{
    QString deutsch, english, francais;

    /// The text for `language`, or `other` when it matches none of the three.
    QString pick(const QString &language, const QString &other = QString()) const
    {
        if (language == QLatin1String("Deutsch")) return deutsch;
        if (language == QLatin1String("English")) return english;
        if (language == QLatin1String("Francais")) return francais;
        return other;
    }
};

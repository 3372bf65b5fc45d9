#pragma once
// Texts per language: every language text of the program's windows and
// messages is a LanguageText, picked by the Language read from the settings
// (the name compared exactly and case-sensitively with "Deutsch", "English"
// and "Francais"; any other value picks a fallback, usually the text the
// control has).

#include <QString>

/// The program's language, entry 3 of the settings file.
enum class Language { Deutsch, English, Francais, Other };

/// "Deutsch", "English" and "Francais", compared exactly and case-sensitively;
/// any other text is Language::Other.
inline Language languageFromText(const QString &text)
{
    if (text == QLatin1String("Deutsch")) return Language::Deutsch;
    if (text == QLatin1String("English")) return Language::English;
    if (text == QLatin1String("Francais")) return Language::Francais;
    return Language::Other;
}

/// The name languageFromText() reads: "Deutsch", "English", "Francais";
/// empty for Language::Other.
inline QString languageName(Language language)
{
    switch (language) {
    case Language::Deutsch: return QStringLiteral("Deutsch");
    case Language::English: return QStringLiteral("English");
    case Language::Francais: return QStringLiteral("Francais");
    case Language::Other: break;
    }
    return QString();
}

/// One text per language; a language matching none of the three picks `other`.
struct LanguageText
{
    QString deutsch, english, francais;

    /// The text for `language`, or `other` for Language::Other.
    QString pick(Language language, const QString &other = QString()) const
    {
        switch (language) {
        case Language::Deutsch: return deutsch;
        case Language::English: return english;
        case Language::Francais: return francais;
        case Language::Other: break;
        }
        return other;
    }

    /// The text for `language`, English for Language::Other.
    QString pickOrEnglish(Language language) const { return pick(language, english); }
};

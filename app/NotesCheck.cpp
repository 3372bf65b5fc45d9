#include "NotesCheck.h"

#include "Windows1252.h"

#include <QAction>
#include <QLineEdit>
#include <QStyle>

namespace {

const LanguageText unstorableText{
    QStringLiteral("Diese Zeichen kann die Messdatei nicht aufnehmen, sie werden als \"?\" geschrieben: %1"),
    QStringLiteral("The measurement file cannot hold these characters; they are written as \"?\": %1"),
    QStringLiteral("Le fichier de mesure ne peut pas contenir ces caractères ; ils seront écrits \"?\" : %1")};

} // namespace

NotesCheck::NotesCheck(QLineEdit *notes, Language language)
    : QObject(notes), m_notes(notes), m_language(language)
{
    m_sign = notes->addAction(notes->style()->standardIcon(QStyle::SP_MessageBoxWarning), QLineEdit::TrailingPosition);
    m_sign->setObjectName(QStringLiteral("unstorableNotesSign"));
    m_sign->setVisible(false);
    connect(notes, &QLineEdit::textChanged, this, &NotesCheck::check);
    check(notes->text());
}

QString NotesCheck::text(Language language, const QStringList &characters)
{
    return unstorableText.pickOrEnglish(language).arg(characters.join(QLatin1Char(' ')));
}

void NotesCheck::check(const QString &notes)
{
    const QStringList unstorable = windows1252::unencodable(notes);
    const QString warning = unstorable.isEmpty() ? QString() : text(m_language, unstorable);
    m_sign->setVisible(!unstorable.isEmpty());
    m_sign->setToolTip(warning);
    m_sign->setText(warning);
    m_notes->setAccessibleDescription(warning);
}

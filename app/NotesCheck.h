#pragma once
// Points out, in the notes field itself, the characters of the notes that
// the working file cannot hold: a warning sign at the field's end whose
// tool tip (and the field's accessible description) names them and says
// they are written as "?". It goes as soon as they are gone.

#include "LanguageText.h"

#include <QObject>

class QAction;
class QLineEdit;

class NotesCheck : public QObject
{
    Q_OBJECT
public:
    NotesCheck(QLineEdit *notes, Language language);

    /// The warning for `characters`, in `language`.
    static QString text(Language language, const QStringList &characters);

private:
    void check(const QString &notes);

    QLineEdit *m_notes;
    QAction *m_sign;
    Language m_language;
};

#pragma once
// Splits a text into words at delimiter texts, one word per call, the way the
// receive path breaks the last complete line into its seven values.

#include <QString>
#include <QStringList>
#include <optional>

struct LiveModel;

/// Splits one text into words, one word per call of next(). A word ends at
/// the nearest of the delimiters (on a tie the later one of the list wins);
/// a run of delimiters gives empty words, and the text's last character
/// ends the splitting, so one trailing delimiter adds nothing.
class WordSplitter
{
public:
    /// `delimiters` must not hold an empty text (such a splitter gives no
    /// words); by default one blank.
    explicit WordSplitter(QString text, QStringList delimiters = {QStringLiteral(" ")},
                          Qt::CaseSensitivity cs = Qt::CaseInsensitive);

    /// The next word (possibly empty), or nothing when no words remain.
    std::optional<QString> next();

private:
    QString m_text;
    QStringList m_delimiters;
    Qt::CaseSensitivity m_cs;
    qsizetype m_start = 0;  // where the next word begins
    // Where the last delimiter of the list was found by the last search
    // (nothing when it was not); the splitting ends once it reaches the
    // text's last character.
    std::optional<qsizetype> m_lastFound = 0;
};

/// Rebuilds lastLineWords from the non-empty space-separated words of
/// lastLine. Returns false, leaving the list as it was, when lastLine is
/// empty; the caller sounds the beep then.
bool splitLastLine(LiveModel &live);

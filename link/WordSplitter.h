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
    static constexpr int NothingFound = 99999999;

    QString m_text;
    QStringList m_delimiters;
    Qt::CaseSensitivity m_cs;
    int m_startPos = 1;  // 1-based start of the next word
    int m_foundPos = 1;  // last position returned by the delimiter search
};

/// Rebuilds lastLineWords from the non-empty space-separated words of
/// lastLine. Returns false, leaving the list as it was, when lastLine is
/// empty; the caller sounds the beep then.
bool splitLastLine(LiveModel &live);

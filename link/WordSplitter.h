#pragma once
// Splits a text into words at delimiter texts, one word per call, the way the
// receive path breaks the last complete line into its seven values.

#include <QString>
#include <QStringList>
#include <optional>

struct LiveModel;

/// Word splitter: popWord returns the next word of the text given on the
/// first call, or no value (Null) when no words remain.
class WordSplitter
{
public:
    WordSplitter();

    /// Returns the next word (possibly empty) or std::nullopt when no words
    /// remain. The arguments are taken on the first call only: the text
    /// (a null QString counts as Null), whether delimiters match without
    /// regard to case (missing: true) and the delimiter texts (missing: one
    /// space). On a failure the result is std::nullopt, the instance is
    /// exhausted and lastError() describes the failure.
    std::optional<QString> popWord(const std::optional<QString> &text = std::nullopt,
                                   std::optional<bool> ignoreCase = std::nullopt,
                                   const std::optional<QStringList> &delimiters = std::nullopt);

    /// Description of the failure of the last popWord call; empty after a
    /// call that succeeded.
    QString lastError() const { return m_error; }

private:
    std::optional<QString> fail(const QString &error);

    static constexpr int NothingFound = 99999999;

    bool m_firstCall = true;
    QString m_text;
    QStringList m_delimiters;
    bool m_ignoreCase = true;
    int m_startPos = 1;  // 1-based start of the next word
    int m_foundPos = 1;  // last position returned by the delimiter search
    QString m_error;
};

/// Rebuilds lstPopStrings from the non-empty space-separated words of
/// txtPopStr. Returns false, leaving the list as it was, when txtPopStr is
/// empty; the caller sounds the beep then.
bool splitLastLine(LiveModel &live);

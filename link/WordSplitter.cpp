#include "WordSplitter.h"

#include "LiveModel.h"

namespace {

// First position of `delimiter` in `text` at or after `from`, or -1.
// Sample lines pad their values with runs of blanks, so the next blank is
// usually the very next character: a one-character delimiter compared
// case-sensitively is found with a plain loop, which beats the library
// search's set-up cost there.
qsizetype findDelimiter(const QString &text, const QString &delimiter, qsizetype from,
                        Qt::CaseSensitivity cs)
{
    if (delimiter.size() != 1 || cs != Qt::CaseSensitive)
        return text.indexOf(delimiter, from, cs);
    const QChar c = delimiter.front();
    const QChar *data = text.constData();
    for (qsizetype i = from; i < text.size(); ++i) {
        if (data[i] == c)
            return i;
    }
    return -1;
}

} // namespace

WordSplitter::WordSplitter() = default;

std::optional<QString> WordSplitter::fail(const QString &error)
{
    m_error = error;
    m_foundPos = int(m_text.size()) + 1;
    return std::nullopt;
}

std::optional<QString> WordSplitter::popWord(const std::optional<QString> &text,
                                             std::optional<bool> ignoreCase,
                                             const std::optional<QStringList> &delimiters)
{
    m_error.clear();
    if (m_firstCall) {
        m_firstCall = false;
        if (!text)
            return fail(QStringLiteral("Type mismatch"));
        if (text->isNull())
            return fail(QStringLiteral("Invalid use of Null"));
        m_text = *text;
        m_ignoreCase = ignoreCase.value_or(true);
        // One shared default list: a split runs for every received block.
        static const QStringList oneBlank{QStringLiteral(" ")};
        m_delimiters = delimiters ? *delimiters : oneBlank;
        // An empty delimiter would match at the start position forever and
        // never advance; it is refused instead.
        for (const QString &delimiter : std::as_const(m_delimiters)) {
            if (delimiter.isEmpty())
                return fail(QStringLiteral("Invalid procedure call or argument"));
        }
    }

    const int length = int(m_text.size());
    if (m_foundPos >= length)
        return std::nullopt;

    const Qt::CaseSensitivity cs = m_ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
    int best = NothingFound;
    int delimiterLength = 0;
    for (const QString &delimiter : std::as_const(m_delimiters)) {
        const int position = int(findDelimiter(m_text, delimiter, m_startPos - 1, cs)) + 1;
        m_foundPos = position;
        // "<=": on a tie the later delimiter of the collection wins.
        if (position != 0 && position <= best) {
            best = position;
            delimiterLength = int(delimiter.size());
        }
    }
    if (best == NothingFound) {
        best = length + 1;
        m_foundPos = best;
    }

    // A run of blanks yields empty words; they share one empty text.
    static const QString emptyWord = QStringLiteral("");
    const QString word = best > m_startPos ? m_text.mid(m_startPos - 1, best - m_startPos) : emptyWord;
    m_startPos = best + delimiterLength;
    return word;
}

bool splitLastLine(LiveModel &live)
{
    const QString text = live.txtPopStr;
    if (text.isEmpty())
        return false;

    live.lstPopStrings.clear();
    WordSplitter analyser;
    std::optional<QString> word = analyser.popWord(text, false);
    while (word) {
        if (!word->isEmpty())
            live.lstPopStrings.append(std::move(*word));
        word = analyser.popWord();
    }
    return true;
}

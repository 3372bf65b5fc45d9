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

WordSplitter::WordSplitter(QString text, QStringList delimiters, Qt::CaseSensitivity cs)
    : m_text(std::move(text)), m_delimiters(std::move(delimiters)), m_cs(cs)
{
    // An empty delimiter would match at the start position forever and
    // never advance: such a splitter gives no words.
    for (const QString &delimiter : std::as_const(m_delimiters)) {
        if (delimiter.isEmpty())
            m_lastFound = m_text.size();
    }
}

std::optional<QString> WordSplitter::next()
{
    const qsizetype length = m_text.size();
    if (m_lastFound && *m_lastFound >= length - 1)
        return std::nullopt;

    std::optional<qsizetype> best;
    qsizetype delimiterLength = 0;
    for (const QString &delimiter : std::as_const(m_delimiters)) {
        const qsizetype position = findDelimiter(m_text, delimiter, m_start, m_cs);
        m_lastFound = position >= 0 ? std::optional<qsizetype>(position) : std::nullopt;
        // "<=": on a tie the later delimiter of the collection wins.
        if (position >= 0 && (!best || position <= *best)) {
            best = position;
            delimiterLength = delimiter.size();
        }
    }
    // Without a delimiter the rest of the text is the last word.
    if (!best) {
        best = length;
        m_lastFound = length;
    }

    // A run of blanks yields empty words; they share one empty text.
    static const QString emptyWord = QStringLiteral("");
    const QString word = *best > m_start ? m_text.mid(m_start, *best - m_start) : emptyWord;
    m_start = *best + delimiterLength;
    return word;
}

bool splitLastLine(LiveModel &live)
{
    const QString text = live.lastLine;
    if (text.isEmpty())
        return false;

    live.lastLineWords.clear();
    // One shared list: a line is split for every received block.
    static const QStringList oneBlank{QStringLiteral(" ")};
    WordSplitter words(text, oneBlank, Qt::CaseSensitive);
    while (std::optional<QString> word = words.next()) {
        if (!word->isEmpty())
            live.lastLineWords.append(std::move(*word));
    }
    return true;
}

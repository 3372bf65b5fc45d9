#include "HeaderRead.h"

#include "LanguageText.h"
#include "SafeOpen.h"

#include <cstring>
#include <optional>

namespace {

const QChar DegreeSign(176);

// Reads lines ended by a carriage return, with or without a line feed,
// as Latin-1 text, from the start of an open file. A line feed alone is
// part of the line. A file that is not open has no lines.
class HeaderLineReader
{
public:
    explicit HeaderLineReader(const HeldFile &file) : m_file(file) {}

    /// The next line, or nothing at the end of the data. A line keeps its
    /// first HeaderLineLimit characters; the rest is read past.
    std::optional<QString> next()
    {
        if (!m_file.isOpen() || !fill())
            return std::nullopt;
        QByteArray line;
        while (fill()) {
            // The rest of the line up to its carriage return, in one step.
            const char *start = m_buffer.constData() + m_used;
            const qsizetype available = m_buffer.size() - m_used;
            const char *end = static_cast<const char *>(std::memchr(start, '\r', size_t(available)));
            const qsizetype length = end ? end - start : available;
            line.append(start, qMin(length, qsizetype(HeaderLineLimit) - line.size()));
            m_used += end ? length + 1 : length;
            if (end) {
                if (fill() && m_buffer.at(m_used) == '\n')
                    ++m_used;
                break;
            }
        }
        return QString::fromLatin1(line);
    }

private:
    // True when an unread byte is in the buffer.
    bool fill()
    {
        if (m_used < m_buffer.size())
            return true;
        m_buffer.resize(64 * 1024);
        const qint64 n = m_file.readAt(m_buffer.data(), m_buffer.size(), m_offset);
        m_buffer.resize(n > 0 ? qsizetype(n) : 0);
        m_offset += m_buffer.size();
        m_used = 0;
        return !m_buffer.isEmpty();
    }

    const HeldFile &m_file;
    QByteArray m_buffer;
    qsizetype m_used = 0;
    qint64 m_offset = 0;
};

// Copies all of `from` to `to`.
bool copyAll(const HeldFile &from, HeldFile &to)
{
    char buffer[64 * 1024];
    qint64 offset = 0;
    for (;;) {
        const qint64 n = from.readAt(buffer, sizeof buffer, offset);
        if (n == 0)
            return true;
        if (n < 0 || !to.writeAll(buffer, n, offset))
            return false;
        offset += n;
    }
}

// The nine independent tests on one line, in their order.
void takeHeaderLine(const QString &line, InstrumentHeader &state, HeaderReadResult &result)
{
    const auto degrees = [](QLatin1String input, QChar scale) {
        return QString(input) + QStringLiteral(" = ") + DegreeSign + scale;
    };
    if (line.startsWith(inp1Marker()))
        state.inp1Header = line;
    if (line == QLatin1String("INP1 = degrC"))
        state.inp1Header = degrees(inp1Marker(), QLatin1Char('C'));
    if (line == QLatin1String("INP1 = degrF"))
        state.inp1Header = degrees(inp1Marker(), QLatin1Char('F'));
    if (line.left(3) == QLatin1String("SR1"))
        state.sr1Header = line;
    if (line.left(4) == QLatin1String("INP2"))
        state.inp2Header = line;
    if (line == QLatin1String("INP2 = degrC"))
        state.inp2Header = degrees(QLatin1String("INP2"), QLatin1Char('C'));
    if (line == QLatin1String("INP2 = degrF"))
        state.inp2Header = degrees(QLatin1String("INP2"), QLatin1Char('F'));
    if (line.left(3) == QLatin1String("SR2"))
        state.sr2Header = line;
    if (line.left(3) == QLatin1String("Pri"))
        result.label11 = line;
}

} // namespace

HeaderReadResult readInstrumentHeader(const HeldFile &source, const QString &copyPath, InstrumentHeader &state)
{
    HeaderReadResult result;

    // The copy is made as a new file of this user's own; an old copy of
    // this user's goes first. When another user's file (or a link) holds
    // the name, the header is read straight from the working file.
    removeOwnEntry(copyPath);
    HeldFile copy;
    if (source.isOpen()) {
        SafeOpenOptions options;
        options.access = SafeOpenOptions::Access::ReadWrite;
        options.create = SafeOpenOptions::Create::New;
        SafeOpenResult made = safeOpen(copyPath, options);
        if (made.ok()) {
            if (copyAll(source, made.file)) {
                copy = std::move(made.file);
            } else {
                made.file.close();
                removeOwnEntry(copyPath);
            }
        }
    }
    HeaderLineReader reader(copy.isOpen() ? copy : source);
    QString line;
    for (int i = 0; i < HeaderLineReads; ++i) {
        if (const std::optional<QString> read = reader.next())
            line = *read;
        takeHeaderLine(line, state, result);
    }

    result.transmissionError = !state.inp1Header.startsWith(inp1Marker());
    return result;
}

QString headerUnit(const QString &header)
{
    return header.mid(HeaderUnitStart, HeaderUnitLength);
}

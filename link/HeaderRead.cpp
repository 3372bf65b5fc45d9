#include "HeaderRead.h"

#include "FilePaths.h"
#include "LanguageText.h"

#include <QFile>

#include <optional>
#include <QFileInfo>

namespace {

const QChar DegreeSign(176);

// Reads lines ended by a carriage return, with or without a line feed,
// as Latin-1 text. A line feed alone is part of the line.
class HeaderLineReader
{
public:
    explicit HeaderLineReader(QIODevice &device) : m_device(device) {}

    /// The next line, or nothing at the end of the data.
    std::optional<QString> next()
    {
        if (!m_device.isOpen() || m_device.atEnd())
            return std::nullopt;
        QByteArray line;
        char c = 0;
        while (m_device.getChar(&c)) {
            if (c == '\r') {
                char following = 0;
                if (m_device.peek(&following, 1) == 1 && following == '\n')
                    m_device.getChar(&following);
                break;
            }
            line.append(c);
        }
        return QString::fromLatin1(line);
    }

private:
    QIODevice &m_device;
};

// The nine independent tests on one line, in their order.
void takeHeaderLine(const QString &line, InstrumentHeader &state, HeaderReadResult &result)
{
    const auto degrees = [](const QString &input, QChar scale) {
        return input + QStringLiteral(" = ") + DegreeSign + scale;
    };
    if (line.left(4) == QLatin1String("INP1"))
        state.inp1Header = line;
    if (line == QLatin1String("INP1 = degrC"))
        state.inp1Header = degrees(QStringLiteral("INP1"), QLatin1Char('C'));
    if (line == QLatin1String("INP1 = degrF"))
        state.inp1Header = degrees(QStringLiteral("INP1"), QLatin1Char('F'));
    if (line.left(3) == QLatin1String("SR1"))
        state.sr1Header = line;
    if (line.left(4) == QLatin1String("INP2"))
        state.inp2Header = line;
    if (line == QLatin1String("INP2 = degrC"))
        state.inp2Header = degrees(QStringLiteral("INP2"), QLatin1Char('C'));
    if (line == QLatin1String("INP2 = degrF"))
        state.inp2Header = degrees(QStringLiteral("INP2"), QLatin1Char('F'));
    if (line.left(3) == QLatin1String("SR2"))
        state.sr2Header = line;
    if (line.left(3) == QLatin1String("Pri"))
        result.label11 = line;
}

} // namespace

HeaderReadResult readInstrumentHeader(InstrumentHeader &state)
{
    HeaderReadResult result;

    QFile::remove(resolveBareName(headerCopyName()));
    // QFile::copy keeps an existing target: a copy that could not be deleted
    // is not read either, below.
    const QString copyName = resolveBareName(headerCopyName());
    const bool copied = QFile::copy(resolveBareName(headerSourceName()), copyName);

    // A copy that cannot be opened makes every read fail; the header texts
    // then keep the values they had.
    QFile copy(copyName);
    if (copied)
        copy.open(QIODevice::ReadOnly);
    HeaderLineReader reader(copy);
    QString line;
    for (int i = 0; i < HeaderLineReads; ++i) {
        if (const std::optional<QString> read = reader.next())
            line = *read;
        takeHeaderLine(line, state, result);
    }
    copy.close();

    result.transmissionError = state.inp1Header.left(4) != QLatin1String("INP1");
    return result;
}

QString headerUnit(const QString &header)
{
    return header.mid(7, 4);
}

TransmissionErrorText transmissionErrorText(const QString &language)
{
    static const LanguageText text{
        QStringLiteral(" Es ist ein Übertragungsfehler aufgetreten... Bitte Drücken Sie Start/ Stopp !"),
        QStringLiteral("Data transsmision error... Please press Start / Stop again !"),
        QStringLiteral("Erreur transmission de données ... appuyez encore sur Start / Stop s.v.p")};
    static const LanguageText title{QStringLiteral("Bitte Messung neu starten !"),
                                    QStringLiteral("Please start the transmission again !"),
                                    QStringLiteral("Erreur transmission de données")};
    return {text.pick(language), title.pick(language)};
}

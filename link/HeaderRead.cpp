#include "HeaderRead.h"

#include "FilePaths.h"
#include "LanguageText.h"

#include <QFile>

#include <cstring>
#include <optional>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QChar DegreeSign(176);

// Reads lines ended by a carriage return, with or without a line feed,
// as Latin-1 text. A line feed alone is part of the line.
class HeaderLineReader
{
public:
    explicit HeaderLineReader(QIODevice &device) : m_device(device) {}

    /// The next line, or nothing at the end of the data. A line keeps its
    /// first HeaderLineLimit characters; the rest is read past.
    std::optional<QString> next()
    {
        if (!m_device.isOpen() || m_device.atEnd())
            return std::nullopt;
        QByteArray line;
        char chunk[16 * 1024];
        for (;;) {
            const qint64 got = m_device.peek(chunk, qint64(sizeof chunk));
            if (got <= 0)
                break;
            const char *end = static_cast<const char *>(std::memchr(chunk, '\r', size_t(got)));
            const qint64 length = end ? end - chunk : got;
            line.append(chunk, qMin(length, qint64(HeaderLineLimit) - line.size()));
            m_device.skip(end ? length + 1 : length);
            if (end) {
                char following = 0;
                if (m_device.peek(&following, 1) == 1 && following == '\n')
                    m_device.skip(1);
                break;
            }
        }
        return QString::fromLatin1(line);
    }

private:
    QIODevice &m_device;
};

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

HeaderReadResult readInstrumentHeader(InstrumentHeader &state)
{
    HeaderReadResult result;

    // The copy is made as a new file of this user's own; an old copy of
    // this user's goes first. When another user's file (or a link) holds
    // the name, the header is read straight from the working file, so a
    // file someone else put there never decides what is read.
    const QString copyName = resolveBareName(headerCopyName());
    struct stat old {};
    if (::lstat(QFile::encodeName(copyName).constData(), &old) == 0 && old.st_uid == ::geteuid())
        QFile::remove(copyName);
    QFile copy;
    const QString source = resolveBareName(headerSourceName());
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (in >= 0 && ::fstat(in, &status) == 0 && S_ISREG(status.st_mode)) {
        const QByteArray copyPath = QFile::encodeName(copyName);
        const int out = ::open(copyPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        bool copied = out >= 0;
        char buffer[64 * 1024];
        ssize_t n = 0;
        while (copied && (n = ::read(in, buffer, sizeof buffer)) > 0)
            copied = ::write(out, buffer, size_t(n)) == n;
        if (out >= 0)
            ::close(out);
        if (copied && n == 0) {
            copy.setFileName(copyName);
        } else {
            if (out >= 0)
                ::unlink(copyPath.constData());
            ::lseek(in, 0, SEEK_SET);
            copy.open(::dup(in), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        }
    }
    if (in >= 0)
        ::close(in);
    // A copy that cannot be opened makes every read fail; the header texts
    // then keep the values they had.
    if (!copy.isOpen() && !copy.fileName().isEmpty())
        copy.open(QIODevice::ReadOnly);
    HeaderLineReader reader(copy);
    QString line;
    for (int i = 0; i < HeaderLineReads; ++i) {
        if (const std::optional<QString> read = reader.next())
            line = *read;
        takeHeaderLine(line, state, result);
    }
    copy.close();

    result.transmissionError = !state.inp1Header.startsWith(inp1Marker());
    return result;
}

QString headerUnit(const QString &header)
{
    return header.mid(HeaderUnitStart, HeaderUnitLength);
}

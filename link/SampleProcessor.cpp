#include "SampleProcessor.h"

#include "LiveModel.h"
#include "Rules.h"
#include "InstrumentState.h"
#include "MeasurementTexts.h"
#include "WorkingFile.h"
#include "Windows1252.h"
#include "WordSplitter.h"

#include <QLocale>

namespace {

const char BackspaceByte = 8;
const char LineFeedByte = 10;
const char CarriageReturnByte = 13;

const QChar Tab(9);
const QChar LineFeed(10);
const QChar CarriageReturn(13);

const QString Overload = QStringLiteral("*Ovl*");

} // namespace

SampleProcessor::SampleProcessor(const SensorRanges &ranges, LiveModel &live, WorkingFile &file, QObject *parent)
    : QObject(parent)
    , m_ranges(ranges)
    , m_live(live)
    , m_file(file)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
}

void SampleProcessor::setNotesProvider(std::function<QString()> f)
{
    m_notes = std::move(f);
}

void SampleProcessor::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

void SampleProcessor::processBlock(ReceivedText &term, const QByteArray &received)
{
    if (m_language != Language::Other) {
        m_timeLabel = MeasurementTexts::notesTimeLabel.pick(m_language);
        m_dateLabel = MeasurementTexts::notesDateLabel.pick(m_language);
    }

    bool erasesShown = false;
    const QString block = filterBlock(received, erasesShown);

    // Recorded first; the first block after Start is replaced by the notes
    // header.
    QString recorded = block;
    const bool notesHeader = m_notesHeaderPending;
    if (notesHeader) {
        // Clock, labels and date matter only for the notes header; reading
        // the clock per block would cost a time-zone lookup every time.
        const QDateTime now = m_clock();
        m_dateText = QLocale::system().toString(now.date(), QLocale::ShortFormat);
        recorded = this->notesHeader(now);
    }
    m_notesHeaderPending = false;
    // The instrument's bytes are recorded as they came (one character per
    // byte); the notes the user typed in the code page the files' readers
    // expect.
    const QString forFile = m_tabsAsSemicolons ? QString(recorded).replace(Tab, QLatin1Char(';')) : recorded;
    record(notesHeader ? windows1252::encode(forFile) : forFile.toLatin1());

    showReceived(term, block, erasesShown);

    // Show the last complete line. The notes header's lines end in bare
    // carriage returns and stand for one line, so its words are shown
    // until the instrument's first line completes.
    recorded.remove(Tab);
    recorded.remove(QLatin1Char(';'));
    gatherLine(recorded, notesHeader);
    if (m_live.lastLine.isEmpty()) {
        if (m_incompleteLine)
            m_incompleteLine();
    } else if (!m_lineSplit) {
        splitLastLine(m_live);
        m_lineSplit = true;
    }
    showWords();
    showLevel(m_live.inp1Actual, m_ranges.rangeLimit1, m_live.inp1Level, m_live.inp1Overload);
    showLevel(m_live.inp2Actual, m_ranges.rangeLimit2, m_live.inp2Level, m_live.inp2Overload);
    m_live.touch();
}

void SampleProcessor::closeWorkingFile()
{
    m_file.close();
}

QString SampleProcessor::filterBlock(const QByteArray &received, bool &erasesShown) const
{
    // A backspace erases the character before it; one with nothing left
    // before it in the block erases the last character already shown.
    QByteArray kept(received.size(), Qt::Uninitialized);
    qsizetype keptSize = 0;
    qsizetype returns = 0;
    for (const char c : received) {
        if (c != BackspaceByte) {
            kept[keptSize++] = c;
            returns += c == CarriageReturnByte;
        } else if (keptSize > 0) {
            returns -= kept.at(--keptSize) == CarriageReturnByte;
        } else {
            erasesShown = true;
        }
    }
    // Line feeds are dropped, every carriage return gets one, and German
    // and French show decimal commas.
    const bool commas = m_language == Language::Deutsch || m_language == Language::Francais;
    QString block(keptSize + returns, Qt::Uninitialized);
    QChar *out = block.data();
    for (qsizetype i = 0; i < keptSize; ++i) {
        const char c = kept.at(i);
        if (c == LineFeedByte)
            continue;
        *out++ = commas && c == '.' ? QLatin1Char(',') : QLatin1Char(c);
        if (c == CarriageReturnByte)
            *out++ = LineFeed;
    }
    block.truncate(out - block.constData());
    return block;
}

void SampleProcessor::showReceived(ReceivedText &term, const QString &block, bool erasesShown)
{
    int termLength = int(term.text.size());
    if (termLength > 0) {
        m_live.graphPictureShown = true;
        m_live.idlePictureShown = false;
    }
    if (termLength >= ReceivedLimit) {
        term.text.remove(0, ReceivedTrim);
        termLength = int(term.text.size());
    }
    term.selStart = termLength;
    term.selLength = 0;
    if (erasesShown && termLength > 0) {
        term.selStart = termLength - 1;
        term.selLength = 1;
    }

    // A block larger than the room left pushes out more of the head, in the
    // same steps; one larger than the whole box leaves only its own tail.
    QStringView shown(block);
    const qsizetype excess = qsizetype(term.selStart) + shown.size() - ReceivedCap;
    if (excess > 0) {
        const qsizetype drop = (excess + ReceivedTrim - 1) / ReceivedTrim * ReceivedTrim;
        if (drop < term.selStart) {
            term.text.remove(0, drop);
            term.selStart -= int(drop);
        } else {
            term.clear();
            shown = shown.right(ReceivedCap);
            // The tail does not begin inside a line end.
            if (shown.size() < block.size() && shown.startsWith(LineFeed)
                && block.at(block.size() - shown.size() - 1) == CarriageReturn)
                shown = shown.mid(1);
        }
    }
    term.replaceSelection(shown.toString());
}

QString SampleProcessor::notesHeader(const QDateTime &now) const
{
    const QString notes = m_notes ? m_notes() : QString();
    return m_timeLabel + now.time().toString(QStringLiteral("hh:mm:ss")) + CarriageReturn
        + m_dateLabel + m_dateText + CarriageReturn
        + QStringLiteral("Notes :  ") + notes + CarriageReturn;
}

void SampleProcessor::record(const QByteArray &bytes)
{
    if (!m_file.isOpen())
        return;
    // Behind an undecided write failure every block waits, so the file
    // keeps the arrival order.
    m_pendingWrites.append(bytes);
    if (!m_writeHeld)
        writeWaiting();
}

void SampleProcessor::writeWaiting()
{
    while (!m_pendingWrites.isEmpty() && m_file.isOpen()) {
        if (!m_file.write(m_pendingWrites.constFirst())) {
            if (!m_writeFailed) {
                dropWrites();
                return;
            }
            m_writeHeld = true;
            m_writeFailed(m_file.errorString());
            return;
        }
        m_pendingWrites.removeFirst();
    }
    m_pendingWrites.clear();
}

void SampleProcessor::retryWrites()
{
    m_writeHeld = false;
    writeWaiting();
}

void SampleProcessor::dropWrites()
{
    const bool held = m_writeHeld || !m_pendingWrites.isEmpty();
    m_writeHeld = false;
    m_pendingWrites.clear();
    if (held)
        closeWorkingFile();
}

void SampleProcessor::gatherLine(const QString &block, bool oneLine)
{
    // The kept text holds no carriage return: any in it ended a line.
    m_lineBuffer += block;
    const qsizetype lastReturn = block.contains(CarriageReturn) ? m_lineBuffer.lastIndexOf(CarriageReturn) : -1;
    if (lastReturn >= 0) {
        // The last complete line runs from the line end before it (or from
        // the start of the kept text) to the last line end; the start of
        // the next line stays for the following blocks.
        qsizetype end = lastReturn + 1;
        if (end < m_lineBuffer.size() && m_lineBuffer.at(end) == LineFeed)
            ++end;
        qsizetype start = 0;
        if (!oneLine && lastReturn > 0) {
            start = m_lineBuffer.lastIndexOf(CarriageReturn, lastReturn - 1) + 1;
            if (start > 0 && start < lastReturn && m_lineBuffer.at(start) == LineFeed)
                ++start;
        }
        start = qMax(start, lastReturn - LineBufferLimit);
        m_live.lastLine = m_lineBuffer.mid(start, end - start);
        m_lineSplit = false;
        m_lineBuffer.remove(0, end);
    }
    if (m_lineBuffer.size() > LineBufferLimit)
        m_lineBuffer = m_lineBuffer.right(LineBufferLimit);
}

void SampleProcessor::showWords()
{
    const QStringList &words = m_live.lastLineWords;
    QString *const targets[FigureWords] = {&m_live.sampleTime, &m_live.inp1Actual, &m_live.inp1Max,
                                           &m_live.inp1Min, &m_live.inp2Actual, &m_live.inp2Max,
                                           &m_live.inp2Min};
    for (int i = 0; i < FigureWords; ++i)
        *targets[i] = words.value(i);
}

void SampleProcessor::showLevel(const QString &actual, qint16 rangeLimit, qint16 &level,
                                bool &overload) const
{
    const double value = rules::leadingNumber(actual);
    // A value outside the meter's 16-bit range leaves it unchanged.
    if (const std::optional<qint16> rounded = rules::toInt16(rules::roundHalfEven(value)))
        level = *rounded;
    overload = value > rangeLimit || actual == Overload;
}

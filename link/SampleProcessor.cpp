#include "SampleProcessor.h"

#include "LiveModel.h"
#include "Rules.h"
#include "InstrumentState.h"
#include "MeasurementTexts.h"
#include "WorkingFile.h"
#include "WordSplitter.h"

#include <QLocale>

namespace {

// The receive box is trimmed by this many characters once it holds ReceivedLimit.
constexpr int ReceivedLimit = 16384;
constexpr int ReceivedTrim = 4096;

const QChar Backspace(8);
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

void SampleProcessor::processBlock(ReceivedText &term, QByteArray received)
{
    QString block = QString::fromLatin1(received);

    if (m_language != Language::Other) {
        m_timeLabel = MeasurementTexts::notesTimeLabel.pick(m_language);
        m_dateLabel = MeasurementTexts::notesDateLabel.pick(m_language);
    }

    // Show the block in the receive box, trimmed to a bounded size.
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

    applyBackspaces(term, block, termLength);
    block.remove(LineFeed);
    block.replace(CarriageReturn, QStringLiteral("\r\n"));
    if (m_language == Language::Deutsch || m_language == Language::Francais)
        block.replace(QLatin1Char('.'), QLatin1Char(','));
    term.replaceSelection(block);

    // Record it; the first block after Start is replaced by the notes header.
    if (m_notesHeaderPending) {
        // Clock, labels and date matter only for the notes header; reading
        // the clock per block would cost a time-zone lookup every time.
        const QDateTime now = m_clock();
        m_dateText = QLocale::system().toString(now.date(), QLocale::ShortFormat);
        block = notesHeader(now);
    }
    if (m_tabsAsSemicolons)
        block.replace(Tab, QLatin1Char(';'));
    m_notesHeaderPending = false;
    record(block.toLatin1());

    // Show the last complete line.
    block.remove(Tab);
    block.remove(QLatin1Char(';'));
    gatherLine(block);
    if (!splitLastLine(m_live) && m_incompleteLine)
        m_incompleteLine();
    showWords();
    showLevel(m_live.inp1Actual, m_ranges.rangeLimit1, m_live.inp1Level, m_live.inp1Overload);
    showLevel(m_live.inp2Actual, m_ranges.rangeLimit2, m_live.inp2Level, m_live.inp2Overload);
    m_live.touch();
}

void SampleProcessor::closeWorkingFile()
{
    m_file.close();
}

void SampleProcessor::applyBackspaces(ReceivedText &term, QString &block, int termLength) const
{
    for (qsizetype i = block.indexOf(Backspace); i >= 0; i = block.indexOf(Backspace)) {
        if (i == 0) {
            // The character before it is already in the receive box: select
            // it there, so that appending the block replaces it.
            if (termLength > 0) {
                term.selStart = termLength - 1;
                term.selLength = 1;
            }
            block.remove(0, 1);
        } else {
            block.remove(i - 1, 2);
        }
    }
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

void SampleProcessor::gatherLine(const QString &block)
{
    m_lineBuffer += block;
    const qsizetype lastReturn = m_lineBuffer.lastIndexOf(CarriageReturn);
    if (block.contains(CarriageReturn) && lastReturn >= 0) {
        // Everything up to the last line end is complete; the start of the
        // next line stays for the following blocks.
        qsizetype end = lastReturn + 1;
        if (end < m_lineBuffer.size() && m_lineBuffer.at(end) == LineFeed)
            ++end;
        m_live.lastLine = m_lineBuffer.left(end);
        m_lineBuffer.remove(0, end);
    }
    if (m_lineBuffer.size() > LineBufferLimit)
        m_lineBuffer = m_lineBuffer.right(LineBufferLimit);
}

void SampleProcessor::showWords()
{
    const QStringList &words = m_live.lastLineWords;
    QString *const targets[] = {&m_live.sampleTime, &m_live.inp1Actual, &m_live.inp1Max, &m_live.inp1Min,
                                &m_live.inp2Actual, &m_live.inp2Max, &m_live.inp2Min};
    for (int i = 0; i < 7; ++i)
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

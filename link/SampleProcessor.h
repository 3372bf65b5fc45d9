#pragma once
// The receive path: every block of characters from the instrument is shown
// in the receive box, recorded in the working file, gathered into lines and
// the last complete line shown in the figures, meters and overload labels.

#include "LanguageText.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

struct SensorRanges;
struct LiveModel;
struct ReceivedText;
class WorkingFile;

class SampleProcessor : public QObject
{
    Q_OBJECT
public:
    /// Longest text kept while waiting for a line end; older text is
    /// dropped from the line (the working file still records it). A longer
    /// complete line keeps its last this many characters and its line end,
    /// so the figures never split more than that.
    static constexpr int LineBufferLimit = 4096;

    /// The receive box drops its oldest ReceivedTrim characters before a
    /// block when it holds ReceivedLimit or more; however large the block,
    /// it holds at most ReceivedCap characters after it (the newest ones),
    /// dropping more of its head in the same steps.
    static constexpr int ReceivedLimit = 16384;
    static constexpr int ReceivedTrim = 4096;
    static constexpr int ReceivedCap = ReceivedLimit + ReceivedTrim;

    /// The words of the last complete line shown as figures: the sample
    /// time, then ACT, MAX and MIN of input 1 and of input 2.
    static constexpr int FigureWords = 7;

    /// `ranges` gives the full scales the meters and overload labels use.
    SampleProcessor(const SensorRanges &ranges, LiveModel &live, WorkingFile &file, QObject *parent = nullptr);

    /// The language of the notes header and of the decimal separator
    /// (German and French record decimal commas).
    void setLanguage(Language language) { m_language = language; }

    /// Tabs are recorded as ";" (the default) or kept as they are.
    void setTabsAsSemicolons(bool semicolons) { m_tabsAsSemicolons = semicolons; }

    /// Told when writing the working file failed, with the system's
    /// description. The block and every later one wait until retryWrites()
    /// or dropWrites(); without a handler the file is closed at once.
    void setWriteFailureHandler(std::function<void(const QString &error)> handler)
    {
        m_writeFailed = std::move(handler);
    }
    /// Told when a block arrives while no complete line is known yet.
    void setIncompleteLineHandler(std::function<void()> handler) { m_incompleteLine = std::move(handler); }

    /// Writes the waiting blocks again, in the order they arrived.
    void retryWrites();
    /// Drops the waiting blocks and closes the working file: later blocks
    /// are shown but not recorded.
    void dropWrites();
    /// True while blocks wait for a write failure to be decided.
    bool writesWaiting() const { return m_writeHeld; }

    /// Supplies the text of the notes box for the notes header.
    void setNotesProvider(std::function<QString()> f);

    /// Supplies the current date and time for the notes header
    /// (QDateTime::currentDateTime by default).
    void setClock(std::function<QDateTime()> clock);

    /// Processes one received block: records it in the working file, shows
    /// it in `term`, gathers it into lines and shows the last complete line.
    /// The work is linear in the block's size and bounded otherwise: the
    /// receive box, the kept line and the words shown have fixed limits.
    void processBlock(ReceivedText &term, const QByteArray &block);

    /// Closes the working file; later blocks are shown but not recorded.
    void closeWorkingFile();

    /// The next block is replaced in the working file by the notes header
    /// (a measurement was just started).
    void expectNotesHeader() { m_notesHeaderPending = true; }
    /// True until the first block after expectNotesHeader() arrived.
    bool notesHeaderPending() const { return m_notesHeaderPending; }

    /// Received text not yet ended by a carriage return.
    QString lineBuffer() const { return m_lineBuffer; }

private:
    QString filterBlock(const QByteArray &received, bool &erasesShown) const;
    void showReceived(ReceivedText &term, const QString &block, bool erasesShown);
    QString notesHeader(const QDateTime &now) const;
    void record(const QByteArray &bytes);
    void writeWaiting();
    void gatherLine(const QString &block, bool oneLine);
    void showWords();
    void showLevel(const QString &actual, qint16 rangeLimit, qint16 &level, bool &overload) const;

    const SensorRanges &m_ranges;
    Language m_language = Language::English;
    LiveModel &m_live;
    WorkingFile &m_file;
    bool m_tabsAsSemicolons = true;
    std::function<void(const QString &)> m_writeFailed;
    std::function<void()> m_incompleteLine;
    std::function<QString()> m_notes;
    std::function<QDateTime()> m_clock;

    QString m_timeLabel;
    QString m_dateLabel;
    QString m_dateText;
    QString m_lineBuffer;
    bool m_lineSplit = false;  // lastLine's words are in lastLineWords

    // Blocks waiting to be written while a write failure is undecided.
    QList<QByteArray> m_pendingWrites;
    bool m_writeHeld = false;
    bool m_notesHeaderPending = false;
};

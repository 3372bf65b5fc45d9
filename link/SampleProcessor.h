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
class UserDialogs;
class WorkingFile;

class SampleProcessor : public QObject
{
    Q_OBJECT
public:
    /// Longest text kept while waiting for a line end; older text is
    /// dropped from the line (the working file still records it).
    static constexpr int LineBufferLimit = 4096;

    /// `ranges` gives the full scales the meters and overload labels use.
    SampleProcessor(const SensorRanges &ranges, LiveModel &live, WorkingFile &file, QObject *parent = nullptr);

    /// The language of the notes header and of the decimal separator
    /// (German and French record decimal commas).
    void setLanguage(Language language) { m_language = language; }

    /// State of the hidden check box Check1 (checked from the start):
    /// checked records tabs as ";", unchecked keeps them, partially checked
    /// keeps the previous choice.
    void setTabsAsSemicolons(Qt::CheckState s);

    /// Who is asked when writing the working file fails (Retry writes the
    /// block again, Cancel closes the file; without dialogs the answer is
    /// Cancel) and who beeps while a block arrives with no complete line
    /// known yet.
    void setDialogs(UserDialogs *dialogs);

    /// Supplies the text of the notes box Text2 for the notes header.
    void setNotesProvider(std::function<QString()> f);

    /// Supplies the current date and time for the notes header
    /// (QDateTime::currentDateTime by default).
    void setClock(std::function<QDateTime()> clock);

    /// Processes one received block: shows it in `term`, records it in the
    /// working file, gathers it into lines and shows the last complete line.
    void processBlock(ReceivedText &term, QByteArray block);

    /// Closes the working file; later blocks are shown but not recorded.
    void closeWorkingFile();

    /// The next block is replaced in the working file by the notes header
    /// (a measurement was just started).
    void expectNotesHeader() { m_notesHeaderPending = true; }
    /// True until the first block after expectNotesHeader() arrived.
    bool notesHeaderPending() const { return m_notesHeaderPending; }

    /// True when the receive box held text when the last block arrived:
    /// data that were neither saved nor discarded.
    bool hasUnsavedData() const { return m_unsavedData; }
    /// Saving, discarding or a start-up decides about the received data.
    void setUnsavedData(bool unsaved) { m_unsavedData = unsaved; }

    /// Received text not yet ended by a carriage return.
    QString lineBuffer() const { return m_lineBuffer; }

private:
    void applyBackspaces(ReceivedText &term, QString &block, int termLength) const;
    QString notesHeader(const QDateTime &now) const;
    void record(const QByteArray &bytes);
    bool writeWithRetry(const QByteArray &bytes);
    void gatherLine(const QString &block);
    void showWords();
    void showLevel(const QString &actual, qint16 rangeLimit, qint16 &level, bool &overload) const;

    const SensorRanges &m_ranges;
    Language m_language = Language::English;
    LiveModel &m_live;
    WorkingFile &m_file;
    UserDialogs *m_dialogs = nullptr;
    Qt::CheckState m_check1 = Qt::Checked;
    std::function<QString()> m_notes;
    std::function<QDateTime()> m_clock;

    QString m_semicolonMode;
    QString m_timeLabel;
    QString m_dateLabel;
    QString m_dateText;
    QString m_lineBuffer;

    // Blocks waiting to be written while a write-error question is open
    // (the question's event loop may deliver further blocks).
    QList<QByteArray> m_pendingWrites;
    bool m_recording = false;
    bool m_notesHeaderPending = false;
    bool m_unsavedData = false;
};

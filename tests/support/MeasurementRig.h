#pragma once
// A measurement as the user and the instrument meet it: a temporary folder
// as the current directory, the working file in it, the serial port on a
// real pseudo-terminal linked as COM3 with the test playing the
// instrument, the questions of the prompts asked through scripted dialogs
// and answered by the test when they appear, and the hooks of the main
// window recorded in the order they ran.

#include "FileDialog.h"
#include "Measurement.h"
#include "MeasurementPrompts.h"
#include "PtyLine.h"
#include "ScriptedDialogs.h"
#include "WorkingFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

class MeasurementRig
{
public:
    /// `language` chooses the texts of saving and the prompts.
    explicit MeasurementRig(const QString &language = QStringLiteral("English"))
        : language(language), m_oldCurrent(QDir::currentPath())
    {
        if (!m_dir.isValid())
            return;
        QDir::setCurrent(m_dir.path());
        m_line = std::make_unique<PtyLine>(m_dir.path(), 3);
        m_linked = m_line->ready();
        measurement.setLanguage(languageFromText(language));
        measurement.setPortDirectory(m_dir.path());
        measurement.setPortSettings({.number = 3, .baudRate = 9600});
    }

    ~MeasurementRig()
    {
        if (!m_lockedFolder.isEmpty())
            setFolderDeletable(m_lockedFolder, true);
        if (!m_lockedFile.isEmpty())
            setFolderDeletable(m_lockedFile, true);
        measurement.finish();
        QDir::setCurrent(m_oldCurrent);
    }

    /// The folder exists, is the current directory and the port is linked.
    bool ready() const { return m_dir.isValid() && m_linked; }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    static QByteArray contents(const QString &name)
    {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    static void put(const QString &name, const QByteArray &bytes)
    {
        QFile file(name);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    /// Lets events run for `ms` milliseconds.
    static void wait(int ms)
    {
        QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    /// The folder is taken and a measurement started: the port is open, the
    /// instrument's first block became the notes header in the working file
    /// and its INP1 line followed, so the header read finds it.
    bool start()
    {
        if (!measurement.workingFile().isClaimed()
            && measurement.openFolder() != Measurement::FolderResult::Ready)
            return false;
        measurement.start();
        if (measurement.state() != Measurement::State::Measuring)
            return false;
        const qint64 before = measurement.workingFile().writtenBytes();
        if (!m_line->write("\r") || !recordedPast(before) || !send("INP1 = bar\r"))
            return false;
        head = contents(QStringLiteral("Vindo.qvx"));
        return true;
    }

    /// The instrument sends `data`; true once the recorder has recorded all
    /// of it. Line feeds are dropped and carriage returns recorded with a
    /// line feed, as the receive path does.
    bool send(const QByteArray &data)
    {
        QByteArray recorded = data;
        recorded.replace('\n', QByteArray()).replace("\r", "\r\n");
        const qint64 until = measurement.workingFile().writtenBytes() + recorded.size();
        return m_line->write(data) && recordedPast(until - 1);
    }

    /// A measurement ran and recorded `data` after the notes header; with
    /// `stopped` it was stopped, and the save question is open.
    bool record(const QByteArray &data, bool stopped)
    {
        if (!start() || (!data.isEmpty() && !send(data)))
            return false;
        return !stopped || stop();
    }

    /// The device goes away (its link too), as a pulled adapter: true once
    /// the measurement waits for it.
    bool unplug()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("COM3")));
        m_line.reset();
        QDeadlineTimer deadline(5000);
        while (measurement.state() != Measurement::State::WaitingForDevice && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return measurement.state() == Measurement::State::WaitingForDevice;
    }

    /// The device comes back as a new pseudo-terminal behind COM3.
    bool plugIn()
    {
        m_line = std::make_unique<PtyLine>(m_dir.path(), 3);
        return m_line->ready();
    }

    /// Stop: true once the save question it causes is open.
    bool stop()
    {
        measurement.stop();
        return waitForQuestion();
    }

    /// What the working file holds: the notes header, then `data`.
    QByteArray recorded(const QByteArray &data) const { return head + data; }

    /// True once a question is open (waiting up to five seconds).
    bool waitForQuestion()
    {
        QDeadlineTimer deadline(5000);
        while (!dialogs.isAsking() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return dialogs.isAsking();
    }

    /// True when nothing is asked once what is under way has happened.
    bool quiet()
    {
        settle();
        return !dialogs.isAsking();
    }

    /// The open question's text, once one is open; empty otherwise.
    QString question()
    {
        return waitForQuestion() ? dialogs.question().text : QString();
    }

    /// Answers the open question and lets what follows happen.
    void reply(Answer answer)
    {
        dialogs.reply(answer);
        QCoreApplication::processEvents();
    }
    /// Answers the open file dialog with `name` (a null string cancels).
    void replyFile(const QString &name)
    {
        dialogs.replyFile(name);
        QCoreApplication::processEvents();
    }

    /// Save from the menu: the name is chosen in the dialog, and each
    /// question that follows is answered in turn.
    void saveAs(const QString &name, const QList<Answer> &answers = {})
    {
        prompts.saveMeasurement();
        if (!waitForQuestion())
            return;
        replyFile(name);
        for (Answer answer : answers) {
            if (!waitForQuestion())
                return;
            reply(answer);
        }
        settle();
    }

    /// Lets every question that follows appear.
    void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    /// Queues more output than the line takes while the instrument side
    /// reads nothing, so characters stay unsent.
    bool holdOutput()
    {
        m_sent += m_line->received(0);
        return port()->write(QByteArray(1 << 20, 'x')) && measurement.pendingOutput() > 0;
    }

    /// The instrument side reads until the port has sent everything.
    bool releaseOutput()
    {
        QDeadlineTimer deadline(10000);
        while (measurement.pendingOutput() > 0 && !deadline.hasExpired()) {
            m_line->drainInput();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return measurement.pendingOutput() == 0;
    }

    /// Everything the instrument side has received so far.
    QByteArray sentToInstrument()
    {
        if (m_line)
            m_sent += m_line->received();
        return m_sent;
    }

    /// Makes the files of the current folder impossible to delete while new
    /// ones can still be made (an append-only folder, or a read-only one
    /// for a user without the right to mark it append-only).
    bool lockFolder()
    {
        if (!setFolderDeletable(m_dir.path(), false))
            return false;
        m_lockedFolder = m_dir.path();
        return true;
    }

    /// Makes the file `name` impossible to delete or to empty while it can
    /// still be written at its end (append-only; needs root).
    bool lockFile(const QString &name)
    {
        if (::geteuid() != 0 || !setFolderDeletable(name, false))
            return false;
        m_lockedFile = QFileInfo(name).absoluteFilePath();
        return true;
    }

    QString language;
    ScriptedDialogs dialogs;
    Measurement measurement;
    const WorkingFile &workFile = measurement.workingFile();
    FileDialog fileDialog{dialogs};
    QStringList calls;                ///< what saving and exit did, in order
    std::function<void()> onRefresh;  ///< runs inside refreshFileList
    MeasurementPrompts prompts{languageFromText(language), measurement, fileDialog, dialogs, hooks()};
    QByteArray head;                  ///< the working file's notes header

private:
    MeasurementPrompts::Hooks hooks()
    {
        MeasurementPrompts::Hooks h;
        h.refreshFileList = [this] {
            calls << QStringLiteral("refreshFileList");
            if (onRefresh)
                onRefresh();
        };
        h.endProgram = [this] { calls << QStringLiteral("endProgram"); };
        return h;
    }

    /// True once the working file holds more than `bytes`.
    bool recordedPast(qint64 bytes)
    {
        QDeadlineTimer deadline(5000);
        while (measurement.workingFile().writtenBytes() <= bytes && !deadline.hasExpired()) {
            m_sent += m_line->received(0);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return measurement.workingFile().writtenBytes() > bytes;
    }

    /// The port, to hold output back on the line.
    SerialPort *port() { return measurement.findChild<SerialPort *>(); }

    static bool setFolderDeletable(const QString &folder, bool deletable)
    {
        if (::geteuid() != 0)
            return ::chmod(QFile::encodeName(folder).constData(), deletable ? 0700 : 0500) == 0;
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = deletable ? (flags & ~FS_APPEND_FL) : (flags | FS_APPEND_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QString m_oldCurrent;
    QString m_lockedFile;
    QTemporaryDir m_dir;
    std::unique_ptr<PtyLine> m_line;
    bool m_linked = false;
    QByteArray m_sent;
    QString m_lockedFolder;
};

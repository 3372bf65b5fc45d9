#pragma once
// A measurement in progress, for the save and exit prompts: a temporary
// folder as the current directory, the working file in it, the serial port
// on a real pseudo-terminal linked as COM3, scripted dialogs and the hooks
// of the main window recorded in the order they ran.

#include "FileDialog.h"
#include "SerialPort.h"
#include "Measurement.h"
#include "MeasurementFiles.h"
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
        port.setPortDirectory(m_dir.path());
        port.setPortNumber(3);
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

    /// A measurement has been recorded: the working file is open and holds
    /// `data`, the receive box shows them, the port is open when `measuring`.
    bool record(const QByteArray &data, bool measuring)
    {
        if (measurement.openFolder() != Measurement::FolderResult::Ready || !measurement.recordRaw(data))
            return false;
        measurement.setUnsavedData(!data.isEmpty());
        return !measuring || port.open();
    }

    /// Queues more output than the line takes while the instrument side
    /// reads nothing, so characters stay unsent.
    bool holdOutput()
    {
        return port.write(QByteArray(1 << 20, 'x')) && port.bytesToWrite() > 0;
    }

    /// The instrument side reads until the port has sent everything.
    bool releaseOutput()
    {
        QDeadlineTimer deadline(10000);
        while (port.bytesToWrite() > 0 && !deadline.hasExpired()) {
            m_line->drainInput();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return port.bytesToWrite() == 0;
    }

    /// Everything the instrument side has received so far.
    QByteArray sentToInstrument() { return m_line ? m_line->received() : QByteArray(); }

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
    Measurement measurement{dialogs};
    const WorkingFile &workFile = measurement.workingFile();
    SerialPort &port = measurement.port();
    FileDialog fileDialog{dialogs};
    QStringList calls;                ///< what saving and exit did, in order
    std::function<void()> onRefresh;  ///< runs inside refreshFileList
    MeasurementFiles files{languageFromText(language), measurement, fileDialog, dialogs, hooks()};

private:
    MeasurementFiles::Hooks hooks()
    {
        QObject::connect(&measurement, &Measurement::liveChanged, [this] { calls << QStringLiteral("clearTerm"); });
        QObject::connect(&measurement, &Measurement::portOpenChanged, [this] { calls << QStringLiteral("togglePort"); });
        // As the main window routes it: a stop asks whether to save.
        QObject::connect(&measurement, &Measurement::stopped, [this] { files.askSaveAfterStop(); });
        MeasurementFiles::Hooks h;
        h.refreshFileList = [this] {
            calls << QStringLiteral("refreshFileList");
            if (onRefresh)
                onRefresh();
        };
        h.endProgram = [this] { calls << QStringLiteral("endProgram"); };
        return h;
    }

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
    QString m_lockedFolder;
};

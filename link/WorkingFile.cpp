#include "WorkingFile.h"

#include "DurableFile.h"
#include "FilePaths.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// At most this many case variants of the name are deleted before giving up;
// a folder never holds more than a handful.
constexpr int MaxCaseVariants = 16;

} // namespace

WorkingFile::WorkingFile()
{
    m_syncTimer.setSingleShot(true);
    m_syncTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_syncTimer, &QTimer::timeout, &m_syncTimer, [this] { sync(); });
}

WorkingFile::~WorkingFile()
{
    close();
}

WorkingFile::OpenResult WorkingFile::open(const QString &workFilePath)
{
    close();
    m_error.clear();

    // Looking the name up needs a readable folder.
    const QFileInfo folder(QFileInfo(workFilePath).absolutePath());
    if (!folder.exists() || !folder.isDir()) {
        m_error = QStringLiteral("Path not found: %1").arg(folder.filePath());
        return OpenResult::ListingFailed;
    }
    if (!folder.isReadable()) {
        m_error = QStringLiteral("Permission denied: %1").arg(folder.filePath());
        return OpenResult::ListingFailed;
    }

    // Delete the old file under every spelling that names it, so the new
    // one starts empty.
    for (int i = 0; i < MaxCaseVariants; ++i) {
        const QString existing = resolveBareName(workFilePath);
        if (!QFileInfo::exists(existing))
            break;
        QFile old(existing);
        if (!old.remove()) {
            m_error = old.errorString();
            return OpenResult::DeleteFailed;
        }
    }

    // Unbuffered: every write reaches the operating system at once, so a
    // copy taken while the file is open holds everything written so far.
    m_file.setFileName(resolveBareName(workFilePath));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = m_file.errorString();
        return OpenResult::OpenFailed;
    }
    opened();
    return OpenResult::Opened;
}

bool WorkingFile::openForAppend(const QString &path)
{
    close();
    m_error.clear();
    m_file.setFileName(resolveBareName(path));
    // A device has no end to append at.
    const QIODevice::OpenMode mode = QFileInfo(m_file.fileName()).isFile()
        ? QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered
        : QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (!m_file.open(mode)) {
        m_error = m_file.errorString();
        return false;
    }
    opened();
    return true;
}

void WorkingFile::opened()
{
    m_syncable = !m_file.isSequential();
    m_written = 0;
    m_synced = 0;
    m_firstUnsynced.invalidate();
}

bool WorkingFile::write(const QByteArray &block)
{
    m_error.clear();
    if (!m_file.isOpen()) {
        m_error = QStringLiteral("Bad file name or number");
        return false;
    }
    // A failed write is taken back, so that writing the block again (Retry)
    // does not record its first part twice.
    qint64 done = 0;
    while (done < block.size()) {
        m_file.unsetError();
        const qint64 written = m_file.write(block.constData() + done, block.size() - done);
        if (written <= 0) {
            m_error = m_file.errorString();
            if (done > 0 && !m_file.isSequential())
                m_file.resize(m_file.size() - done);
            return false;
        }
        done += written;
    }
    m_written += done;
    syncLater();
    return true;
}

void WorkingFile::syncLater()
{
    if (!m_syncable)
        return;
    if (!m_firstUnsynced.isValid()) {
        m_firstUnsynced.start();
        // Without an event loop (a command-line tool) only the check below
        // and close() sync.
        if (QAbstractEventDispatcher::instance())
            m_syncTimer.start(SyncDelayMs);
        return;
    }
    // A receive path that keeps the event loop busy may hold the timer back;
    // the deadline is checked here as well.
    if (m_firstUnsynced.elapsed() >= SyncDelayMs)
        sync();
}

bool WorkingFile::sync()
{
    m_syncTimer.stop();
    if (!m_file.isOpen() || !m_syncable || m_synced == m_written) {
        m_firstUnsynced.invalidate();
        return true;
    }
    if (::fdatasync(m_file.handle()) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        // The data stay in the operating system's cache; try again later.
        m_firstUnsynced.start();
        if (QAbstractEventDispatcher::instance())
            m_syncTimer.start(SyncDelayMs);
        return false;
    }
    m_synced = m_written;
    ++m_syncCount;
    m_firstUnsynced.invalidate();
    if (m_syncObserver)
        m_syncObserver(m_synced);
    return true;
}

void WorkingFile::close()
{
    if (!m_file.isOpen())
        return;
    sync();
    m_syncTimer.stop();
    m_firstUnsynced.invalidate();
    m_file.close();
}

qint64 WorkingFile::existingSize(const QString &workFilePath)
{
    const QFileInfo info(resolveBareName(workFilePath));
    return info.isFile() ? info.size() : 0;
}

QString WorkingFile::recoverLeftover(const QString &workFilePath, const QDateTime &now,
                                     QString *error)
{
    if (error)
        error->clear();
    const QString source = resolveBareName(workFilePath);
    if (existingSize(source) <= 0)
        return QString();

    const QDir folder = QFileInfo(source).absoluteDir();
    const QString stem = QStringLiteral("Vindo-recovered-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = stem + QStringLiteral(".csv");
    for (int n = 2; QFileInfo::exists(resolveNameIn(folder.path(), name)); ++n)
        name = stem + QStringLiteral("-%1.csv").arg(n);

    // The fresh working file replaces the old one next, so the copy must be
    // on the disk before that.
    if (!durable::copyFile(source, folder.filePath(name), error))
        return QString();
    return name;
}

#include "WorkingFile.h"

#include "FilePaths.h"

#include <QDir>
#include <QFileInfo>

namespace {

// At most this many case variants of the name are deleted before giving up;
// a folder never holds more than a handful.
constexpr int MaxCaseVariants = 16;

} // namespace

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
    return true;
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
    return true;
}

void WorkingFile::close()
{
    if (m_file.isOpen())
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

    QFile file(source);
    if (!file.copy(folder.filePath(name))) {
        if (error)
            *error = file.errorString();
        return QString();
    }
    return name;
}

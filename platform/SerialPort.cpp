#include "SerialPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

/// The group whose members may read and write `device`, unless that is the
/// administrators' group; empty when there is none.
QString deviceUserGroup(const QString &device)
{
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(device).constData(), &info) != 0 || info.st_gid == 0)
        return QString();
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return QString();
    if (const struct group *entry = ::getgrgid(info.st_gid))
        return QString::fromLocal8Bit(entry->gr_name);
    return QString::number(info.st_gid);
#else
    Q_UNUSED(device);
    return QString();
#endif
}

/// True when `device` is a terminal (a serial line or a pseudo-terminal).
/// Opened without waiting and without becoming the controlling terminal.
bool isTerminal(const QString &device)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return true;    // cannot tell: the system's reason stands alone
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
#else
    Q_UNUSED(device);
    return true;
#endif
}

} // namespace

SerialPort::SerialPort(QObject *parent)
    : QObject(parent), m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &SerialPort::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { onError(int(e)); });
}

SerialPort::~SerialPort() = default;

QString SerialPort::portDirectory() const
{
    return m_portDirectory.isEmpty() ? QCoreApplication::applicationDirPath() : m_portDirectory;
}

QString SerialPort::devicePath(qint16 port) const
{
    const PortAssignment assignment = portAssignment(portDirectory(), port);
    // A COM<N> that another user put into the folder would make the program
    // record whatever that user's device sends.
    if (!assignment.trusted)
        return QString();
    switch (assignment.kind) {
    case PortAssignment::Kind::Link:
    case PortAssignment::Kind::Dangling:
        return QFileInfo(assignment.linkPath).symLinkTarget();
    case PortAssignment::Kind::File:
        return assignment.linkPath;
    case PortAssignment::Kind::System:
        break;
    }
    return assignment.target;
}

bool SerialPort::isOpen() const
{
    return m_port->isOpen();
}

void SerialPort::close()
{
    if (m_waitTimer)
        m_waitTimer->stop();
    if (!m_port->isOpen())
        return;
    // Characters already queued (the stop character) still go out.
    if (m_port->bytesToWrite() > 0)
        m_port->waitForBytesWritten(200);
    m_port->close();
}

bool SerialPort::open()
{
    m_error.clear();
    m_openError = OpenError::NoError;
    m_deniedGroup.clear();
    m_portLock = {};
    m_refusedLink = {};
    m_brokenLink.clear();
    m_brokenLinkTarget.clear();
    if (m_port->isOpen()) {
        m_openError = OpenError::AlreadyOpen;
        return false;
    }
    if (m_deviceOverride.isEmpty() && m_settings.number < 1) {
        m_openError = OpenError::NoPortNumber;
        return false;
    }
    // The name the port is opened through: the device given for this run,
    // else the COM<N> link when there is one.
    QString openedAs = m_deviceOverride;
    if (openedAs.isEmpty()) {
        const QString link = QDir(portDirectory()).filePath(QStringLiteral("COM%1").arg(m_settings.number));
        if (QFileInfo(link).isSymLink())
            openedAs = link;
    }
    // Another user's COM<N> link is not followed.
    if (m_deviceOverride.isEmpty() && devicePath(m_settings.number).isEmpty()) {
        m_refusedLink = portAssignment(portDirectory(), m_settings.number);
        m_openError = OpenError::UntrustedPortLink;
        m_error = m_refusedLink.linkPath;
        return false;
    }
    // A link that leads nowhere is named as such: its device is unplugged
    // or its simulator ended, and no other device is tried in its place.
    const QFileInfo opened(openedAs);
    if (!openedAs.isEmpty() && opened.isSymLink() && !opened.exists()) {
        m_openError = OpenError::LinkLeadsNowhere;
        m_brokenLink = openedAs;
        m_brokenLinkTarget = opened.symLinkTarget();
        return false;
    }
    QString path = m_deviceOverride;
    if (path.isEmpty())
        path = devicePath(m_settings.number);
    else if (opened.isSymLink())
        path = opened.canonicalFilePath();
    if (!openDevice(path, false))
        return false;
    m_deviceName = lastingName(openedAs.isEmpty() ? path : openedAs);
    m_deviceNameIsPortLink = m_deviceOverride.isEmpty() && m_deviceName == openedAs;
    return true;
}

QString SerialPort::lastingName(const QString &openedAs, const QString &byIdFolder)
{
    const QString device = QFileInfo(openedAs).canonicalFilePath();
    if (!device.isEmpty()) {
        const QDir byId(byIdFolder);
        for (const QString &name : byId.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
            const QString path = byId.filePath(name);
            if (QFileInfo(path).canonicalFilePath() == device)
                return path;
        }
    }
    return openedAs;
}

bool SerialPort::openDevice(const QString &path, bool keepInput)
{
    m_port->setPortName(path);
    m_port->setBaudRate(m_settings.baudRate);
    m_port->setDataBits(m_settings.dataBits);
    m_port->setParity(m_settings.parity);
    m_port->setStopBits(m_settings.stopBits);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    bool opened = m_port->open(QIODevice::ReadWrite);
    if (!opened && m_port->error() == QSerialPort::PermissionError) {
        m_portLock = findPortLock(path);
        // A lock left by an ended run of this user is the user's to take over.
        if (!m_portLock.path.isEmpty() && !m_portLock.running && m_portLock.ownedByUser
            && QFile::remove(m_portLock.path)) {
            m_port->clearError();
            opened = m_port->open(QIODevice::ReadWrite);
            m_portLock = opened ? PortLock() : findPortLock(path);
        }
    }
    if (!opened) {
        m_openError = OpenError::DeviceError;
        m_error = QStringLiteral("%1: %2").arg(path, m_port->errorString());
        if (m_port->error() == QSerialPort::PermissionError && m_portLock.path.isEmpty())
            m_deniedGroup = deviceUserGroup(path);
        else if (m_port->error() != QSerialPort::PermissionError
                 && m_port->error() != QSerialPort::DeviceNotFoundError && !isTerminal(path))
            m_openError = OpenError::NotSerialPort;
        m_port->clearError();
        return false;
    }
    // A real line loses what arrives while the port is closed; a
    // pseudo-terminal keeps it. Old lines must not become the first block
    // of the new measurement. A returning device keeps what it sent since
    // its return: that belongs to the measurement that goes on.
    if (!keepInput)
        m_port->clear(QSerialPort::Input);
    // Pseudo-terminals refuse the modem-line ioctls; nothing here needs them.
    m_port->clearError();
    return true;
}

void SerialPort::waitForDevice()
{
    if (m_port->isOpen() || m_deviceName.isEmpty())
        return;
    if (!m_waitTimer) {
        m_waitTimer = new QTimer(this);
        m_waitTimer->setObjectName(QStringLiteral("deviceWaitTimer"));
        m_waitTimer->setInterval(WaitPollMs);
        connect(m_waitTimer, &QTimer::timeout, this, &SerialPort::lookForDevice);
    }
    m_waitTimer->start();
}

bool SerialPort::isWaitingForDevice() const
{
    return m_waitTimer && m_waitTimer->isActive();
}

void SerialPort::lookForDevice()
{
    // A device node may appear before it may be opened (its group is set a
    // moment later): a refused open is tried again at the next look.
    QString device = QFileInfo(m_deviceName).canonicalFilePath();
    if (device.isEmpty() || m_port->isOpen())
        return;
    // The port's own link is followed as every open follows it.
    if (m_deviceNameIsPortLink)
        device = devicePath(m_settings.number);
    const QString error = m_error;
    const OpenError openError = m_openError;
    if (!openDevice(device, true)) {
        m_error = error;
        m_openError = openError;
        m_deniedGroup.clear();
        m_portLock = {};
        return;
    }
    m_waitTimer->stop();
    emit deviceReturned();
}

QByteArray SerialPort::readAll()
{
    if (!m_port->isOpen())
        return QByteArray();
    return m_port->readAll();
}

bool SerialPort::write(const QByteArray &data)
{
    if (!m_port->isOpen())
        return false;
    if (m_port->write(data) != data.size())
        return false;
    // Hand the characters to the driver now rather than at the next turn of
    // the event loop, so a close that follows cannot drop them.
    m_port->flush();
    return true;
}

qint64 SerialPort::bytesToWrite() const
{
    return m_port->isOpen() ? m_port->bytesToWrite() : 0;
}

void SerialPort::onReadyRead()
{
    // One signal per batch of waiting characters; the reader takes them all.
    emit readyRead();
}

void SerialPort::onError(int error)
{
    switch (QSerialPort::SerialPortError(error)) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // modem lines on a pseudo-terminal
        return;
    case QSerialPort::ReadError:
    case QSerialPort::ResourceError:
    case QSerialPort::WriteError:
        // The device vanished (a USB adapter pulled, the other side hung
        // up). Qt keeps reporting this at full speed while the port stays
        // open, so the port is closed at once and the fault reported once.
        if (m_port->isOpen()) {
            m_port->clearError();
            m_port->close();
            QTimer::singleShot(0, this, &SerialPort::deviceLost);
        }
        return;
    default:
        // Open failures are reported through open()'s return value.
        return;
    }
}

QStringList SerialPort::lockFolders()
{
    return {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"), QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp")};
}

SerialPort::PortLock SerialPort::findPortLock(const QString &device, const QStringList &folders)
{
    PortLock found;
#ifdef Q_OS_UNIX
    // Lock files are named after the device: "LCK..ttyUSB0", and for a
    // device in a sub-folder of /dev "LCK..pts_3".
    const QString canonical = QFileInfo(device).canonicalFilePath();
    QString real = canonical.isEmpty() ? device : canonical;
    QStringList names{QStringLiteral("LCK..") + QFileInfo(real).fileName()};
    if (real.startsWith(QLatin1String("/dev/")))
        names << QStringLiteral("LCK..") + real.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString &folder : folders) {
        for (const QString &name : std::as_const(names)) {
            const QString path = QDir(folder).filePath(name);
            struct stat info {};
            if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
                continue;
            found.path = path;
            const struct passwd *user = ::getpwuid(info.st_uid);
            found.owner = user ? QString::fromLocal8Bit(user->pw_name) : QString::number(info.st_uid);
            found.ownedByUser = info.st_uid == ::geteuid();
            // The first line holds the process id, in text; a planted file
            // may hold anything, so only a short line is read.
            QFile lock(path);
            if (lock.open(QIODevice::ReadOnly))
                found.pid = qMax<qint64>(0, QString::fromLatin1(lock.readLine(64)).trimmed().toLongLong());
            // A process of another user still runs when kill() is refused.
            found.running = found.pid > 0 && found.pid <= INT_MAX
                            && (::kill(pid_t(found.pid), 0) == 0 || errno == EPERM);
            if (found.running) {
                QFile comm(QStringLiteral("/proc/%1/comm").arg(found.pid));
                if (comm.open(QIODevice::ReadOnly))
                    found.program = QString::fromLocal8Bit(comm.readLine(64)).trimmed();
            }
            return found;
        }
    }
#else
    Q_UNUSED(device);
    Q_UNUSED(folders);
#endif
    return found;
}

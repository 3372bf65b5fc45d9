#include "PortLinks.h"

#include "FilePaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSerialPortInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString linkName(int port) { return QStringLiteral("COM%1").arg(port); }

QString systemPort(int port)
{
#ifdef Q_OS_WIN
    return linkName(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

} // namespace

QList<SerialDevice> listSerialDevices(const QString &byIdFolder)
{
    QList<SerialDevice> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialDevice device;
        device.systemPath = info.systemLocation();
        device.description = info.description();
        device.manufacturer = info.manufacturer();
        device.serialNumber = info.serialNumber();
        devices.append(device);
    }

    const QDir folder(byIdFolder);
    const QStringList names = folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                               QDir::Name);
    for (const QString &name : names) {
        const QString path = folder.filePath(name);
        const QFileInfo info(path);
        const QString reached = info.canonicalFilePath();
        if (reached.isEmpty()) {
            // A link left behind by an adapter that is unplugged.
            SerialDevice device;
            device.byIdPath = path;
            device.present = false;
            devices.append(device);
            continue;
        }
        const auto same = std::find_if(devices.begin(), devices.end(), [&](const SerialDevice &d) {
            return d.present && d.byIdPath.isEmpty() && QFileInfo(d.systemPath).canonicalFilePath() == reached;
        });
        if (same != devices.end()) {
            same->byIdPath = path;
        } else {
            SerialDevice device;
            device.systemPath = reached;
            device.byIdPath = path;
            devices.append(device);
        }
    }

    std::stable_sort(devices.begin(), devices.end(), [](const SerialDevice &a, const SerialDevice &b) {
        // Adapters with a stable name first, then the other device nodes.
        if (a.byIdPath.isEmpty() != b.byIdPath.isEmpty())
            return !a.byIdPath.isEmpty();
        if (a.byIdPath != b.byIdPath)
            return a.byIdPath < b.byIdPath;
        return a.systemPath < b.systemPath;
    });
    return devices;
}

PortAssignment portAssignment(const QString &folder, int port)
{
    PortAssignment assignment;
    assignment.port = port;
    assignment.linkPath = QDir(folder).filePath(linkName(port));
    const QFileInfo info(assignment.linkPath);
#ifdef Q_OS_UNIX
    // Whoever could put COM<N> there decides where the port leads: only the
    // user's own entries and root's count.
    struct stat st {};
    if (::lstat(QFile::encodeName(assignment.linkPath).constData(), &st) == 0) {
        assignment.ownedByUser = st.st_uid == ::geteuid();
        assignment.trusted = isTrustedOwner(st.st_uid);
        assignment.owner = ownerName(st.st_uid);
    }
#endif
    if (info.isSymLink()) {
#ifdef Q_OS_UNIX
        // The link's own text, relative or not, as the user would read it.
        QByteArray text(4096, '\0');
        const ssize_t length = ::readlink(QFile::encodeName(assignment.linkPath).constData(),
                                          text.data(), size_t(text.size()));
        assignment.target = length > 0 ? QFile::decodeName(text.left(int(length))) : info.symLinkTarget();
#else
        assignment.target = info.symLinkTarget();
#endif
        assignment.device = info.canonicalFilePath();
        assignment.kind = assignment.device.isEmpty() ? PortAssignment::Kind::Dangling
                                                      : PortAssignment::Kind::Link;
        return assignment;
    }
    if (info.exists()) {
        assignment.kind = PortAssignment::Kind::File;
        assignment.target = assignment.linkPath;
        assignment.device = info.canonicalFilePath();
        return assignment;
    }
    assignment.kind = PortAssignment::Kind::System;
    assignment.target = systemPort(port);
    if (QFileInfo::exists(assignment.target))
        assignment.device = assignment.target;
    return assignment;
}

bool makePortLink(const QString &folder, int port, const QString &target, PortLinkRefusal *refusal)
{
    using Reason = PortLinkRefusal::Reason;
    const auto fail = [refusal, port](Reason reason, const QString &path = QString(),
                                      const QString &detail = QString()) {
        if (refusal) {
            *refusal = PortLinkRefusal{.reason = reason, .port = port, .path = QDir::toNativeSeparators(path)};
            (reason == Reason::OtherUsersLink ? refusal->owner : refusal->systemText) = detail;
        }
        return false;
    };
    if (port < 1 || port > 9)
        return fail(Reason::BadPortNumber);
    if (target.isEmpty())
        return fail(Reason::NoDevice);

    const PortAssignment now = portAssignment(folder, port);
    if (now.kind == PortAssignment::Kind::File)
        return fail(Reason::NotALink, now.linkPath);
    if (!now.ownedByUser)
        return fail(Reason::OtherUsersLink, now.linkPath, now.owner);

#ifdef Q_OS_UNIX
    const QByteArray to = QFile::encodeName(target);
    const QByteArray final = QFile::encodeName(now.linkPath);
    // symlink() never follows or replaces anything: a temporary name that is
    // taken is tried again with another.
    for (int attempt = 0; attempt < 20; ++attempt) {
        const QString temporary = QDir(folder).filePath(
            QStringLiteral(".%1.new-%2").arg(linkName(port)).arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        const QByteArray made = QFile::encodeName(temporary);
        if (::symlink(to.constData(), made.constData()) != 0) {
            if (errno == EEXIST)
                continue;
            return fail(Reason::SystemError, temporary, QString::fromLocal8Bit(std::strerror(errno)));
        }
        // rename() replaces the name COM<N> itself, never what a link there points to.
        if (::rename(made.constData(), final.constData()) != 0) {
            const int why = errno;
            ::unlink(made.constData());
            return fail(Reason::SystemError, now.linkPath, QString::fromLocal8Bit(std::strerror(why)));
        }
        return true;
    }
    return fail(Reason::NoTemporaryName, folder);
#else
    return fail(Reason::Unsupported);
#endif
}

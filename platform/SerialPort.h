#pragma once
// The serial port as the program uses it: a port number whose device is
// found through a COM<N> link (or a device named on the command line), line
// settings, open and close, reading what arrived, writing, the loss of the
// device and waiting for it to come back.

#include "PortLinks.h"
#include "PortSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;
class QTimer;

class SerialPort : public QObject
{
    Q_OBJECT
public:
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    /// The port number and line settings the next open uses.
    void setPortSettings(const PortSettings &settings) { m_settings = settings; }
    const PortSettings &portSettings() const { return m_settings; }

    /// A device to open instead of port N's link, for this run only (the
    /// command line's --device); empty: the port of the settings.
    void setDeviceOverride(const QString &path) { m_deviceOverride = path; }
    QString deviceOverride() const { return m_deviceOverride; }

    /// Why the last open failed.
    enum class OpenError { NoError, NoPortNumber, AlreadyOpen, DeviceError, NotSerialPort, UntrustedPortLink,
                           LinkLeadsNowhere };
    Q_ENUM(OpenError)

    /// Opens the port. Returns false and sets openError() (UntrustedPortLink
    /// and refusedPortLink() for a COM<N> of another user; and, for the
    /// device's own refusal, errorString() and portLock()) when that fails.
    /// A lock file that the user's own ended process left is removed and
    /// the open tried once more.
    bool open();
    OpenError openError() const { return m_openError; }
    /// Closes the port; characters already queued are given a moment to go.
    /// A wait for a lost device ends.
    void close();
    bool isOpen() const;

    /// Every character received since the last call (ISO 8859-1 bytes).
    QByteArray readAll();

    /// Queues characters for sending; false on a closed port.
    bool write(const QByteArray &data);

    /// Characters not yet sent.
    qint64 bytesToWrite() const;

    /// The device and the system's reason after a DeviceError: "<device>: <reason>".
    QString errorString() const { return m_error; }

    /// After LinkLeadsNowhere: the link (COM<N> or the device given) and
    /// the path it leads to, which does not exist.
    QString brokenLink() const { return m_brokenLink; }
    QString brokenLinkTarget() const { return m_brokenLinkTarget; }

    /// The name the open (or lost) device is found by again: its name in
    /// `byIdFolder` when it has one, else the link it was opened through
    /// (a returning adapter may get a new device node, and the link is
    /// made to lead there), else its device path.
    QString deviceName() const { return m_deviceName; }
    static QString lastingName(const QString &openedAs, const QString &byIdFolder = QStringLiteral("/dev/serial/by-id"));

    /// After deviceLost(): looks for deviceName() every WaitPollMs and, once
    /// it leads to a device again, opens it with the same settings and
    /// emits deviceReturned(). What the device sends from then on is read,
    /// including what it sent before the open. close() ends the wait.
    void waitForDevice();
    bool isWaitingForDevice() const;
    static constexpr int WaitPollMs = 500;

    /// After an open refused for lack of permission on the device itself
    /// (not for a lock file): the group that may use the device (read and
    /// write for its group, as "dialout" usually has); empty otherwise.
    QString deniedDeviceGroup() const { return m_deniedGroup; }

    /// The lock file that marks a device as in use (named "LCK..<device>"
    /// in one of lockFolders()), as found after an open was refused.
    struct PortLock
    {
        QString path;       ///< the lock file; empty when there is none
        QString owner;      ///< the user it belongs to
        bool ownedByUser = false;   ///< it belongs to the user running the program
        qint64 pid = 0;     ///< the process it names; 0 when it names none
        bool running = false;       ///< that process still runs
        QString program;    ///< the running process's name, when known
    };
    /// After a refused open: the device's lock file, if any.
    PortLock portLock() const { return m_portLock; }
    /// Looks in `folders` for the lock file of `device`.
    static PortLock findPortLock(const QString &device, const QStringList &folders = lockFolders());
    /// The folders serial-port lock files are kept in.
    static QStringList lockFolders();

    /// The device path that port N resolves to: the target of a link or file
    /// `COM<N>` in portDirectory() when one exists, otherwise the system's
    /// own port. Empty when `COM<N>` belongs to somebody other than the user
    /// or root: another user's link is never followed.
    QString devicePath(qint16 port) const;

    /// After UntrustedPortLink: the COM<N> entry refused, with its owner.
    const PortAssignment &refusedPortLink() const { return m_refusedLink; }

    /// Folder searched for `COM<N>` links; the program folder by default.
    void setPortDirectory(const QString &dir) { m_portDirectory = dir; }
    QString portDirectory() const;

signals:
    /// Characters are waiting: readAll() takes them.
    void readyRead();
    /// The device went away while the port was open (a USB adapter
    /// pulled, the other side hung up); the port is closed already.
    void deviceLost();
    /// The lost device is back and the port open again.
    void deviceReturned();

private:
    bool openDevice(const QString &path, bool keepInput);
    void lookForDevice();
    void onReadyRead();
    void onError(int error);

    QSerialPort *m_port;
    PortSettings m_settings;
    QString m_error;
    OpenError m_openError = OpenError::NoError;
    QString m_deniedGroup;
    PortLock m_portLock;
    PortAssignment m_refusedLink;
    QString m_portDirectory;
    QString m_deviceOverride;
    QString m_brokenLink;
    QString m_brokenLinkTarget;
    QString m_deviceName;
    bool m_deviceNameIsPortLink = false;
    QTimer *m_waitTimer = nullptr;
};

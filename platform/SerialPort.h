#pragma once
// The serial port as the program uses it: a port number whose device is
// found through a COM<N> link, line settings, open and close, reading what
// arrived, writing, and the loss of the device.

#include "PortLinks.h"
#include "PortSettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

class SerialPort : public QObject
{
    Q_OBJECT
public:
    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    /// The port number and line settings the next open uses.
    void setPortSettings(const PortSettings &settings) { m_settings = settings; }
    const PortSettings &portSettings() const { return m_settings; }

    /// Why the last open failed.
    enum class OpenError { NoError, NoPortNumber, AlreadyOpen, DeviceError, NotSerialPort, UntrustedPortLink };
    Q_ENUM(OpenError)

    /// Opens the port. Returns false and sets openError() (UntrustedPortLink
    /// and refusedPortLink() for a COM<N> of another user; and, for the
    /// device's own refusal, errorString() and portLock()) when that fails.
    /// A lock file that the user's own ended process left is removed and
    /// the open tried once more.
    bool open();
    OpenError openError() const { return m_openError; }
    /// Closes the port; characters already queued are given a moment to go.
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

private:
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
};

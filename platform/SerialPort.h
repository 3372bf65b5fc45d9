#pragma once
// The serial port as the program uses it: port number and line settings,
// open/close, read all waiting characters, send, and one event signal that
// carries a numeric code (2: characters waiting; errors 1002 and up).

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

class SerialPort : public QObject
{
    Q_OBJECT
public:
    /// Event codes raised through OnComm.
    enum Code : qint16 {
        comEvSend = 1, comEvReceive = 2, comEvCTS = 3, comEvDSR = 4, comEvCD = 5, comEvRing = 6,
        comEvEOF = 7, comEventBreak = 1001, comEventCTSTO = 1002, comEventDSRTO = 1003,
        comEventFrame = 1004, comEventOverrun = 1006, comEventCDTO = 1007, comEventRxOver = 1008,
        comEventRxParity = 1009, comEventTxFull = 1010, comEventDCB = 1011
    };

    explicit SerialPort(QObject *parent = nullptr);
    ~SerialPort() override;

    /// Port number 1..; the next open uses it.
    void setCommPort(qint16 port) { m_commPort = port; }
    qint16 CommPort() const { return m_commPort; }

    /// Line settings "baud,parity,data,stop" such as "2400,n,8,1". A text
    /// without a valid baud rate is refused (returns false, keeps the old).
    bool setSettings(const QString &settings);
    QString Settings() const { return m_settings; }

    /// Opens (true) or closes (false) the port. Returns false and sets
    /// errorString() when that fails; the port keeps its real state.
    bool setPortOpen(bool open);
    bool PortOpen() const;

    /// Every character received since the last call (ISO 8859-1 bytes).
    QByteArray Input();

    /// Queues characters for sending; false on a closed port.
    bool Output(const QByteArray &data);

    /// Characters not yet sent.
    qint64 OutBufferCount() const;

    /// Code of the event being reported.
    qint16 CommEvent() const { return m_commEvent; }

    /// Readable description of the last open/close failure.
    QString errorString() const { return m_error; }

    /// After an open refused for lack of permission: the group that may use
    /// the device (read and write for its group, as "dialout" usually has);
    /// empty otherwise.
    QString deniedDeviceGroup() const { return m_deniedGroup; }

    /// A lock file that keeps a device from being opened although the
    /// program that made it has ended (left by a crash, often of another
    /// user, and not removable by this one).
    struct StaleLock
    {
        QString path;    ///< the lock file; empty when there is none
        QString owner;   ///< the user it belongs to
    };
    /// After a refused open: the stale lock file of the device, if any.
    StaleLock staleLock() const { return m_staleLock; }
    /// Looks in `folders` for the lock file of `device` whose process is gone.
    static StaleLock findStaleLock(const QString &device, const QStringList &folders = lockFolders());
    /// The folders serial-port lock files are kept in.
    static QStringList lockFolders();

    /// The device path that port N resolves to: the target of a link or file
    /// `COM<N>` in portDirectory() when one exists, otherwise the system's
    /// own port.
    QString devicePath(qint16 port) const;

    /// Folder searched for `COM<N>` links; the program folder by default.
    void setPortDirectory(const QString &dir) { m_portDirectory = dir; }
    QString portDirectory() const;

    /// Raises OnComm with `code` as if the port had reported it.
    void raiseEvent(qint16 code);

    /// Holds OutBufferCount() at a given value (negative: the real count),
    /// for exercising the wait for unsent output.
    void setOutBufferCountOverride(qint64 count) { m_outOverride = count; }

signals:
    /// One event; read CommEvent() for its code. Delivered on the GUI thread.
    void OnComm();

private:
    void onReadyRead();
    void onError(int error);

    QSerialPort *m_port;
    qint16 m_commPort = 1;
    QString m_settings = QStringLiteral("2400,n,8,1");
    qint32 m_baud = 2400;
    qint16 m_commEvent = 0;
    QString m_error;
    QString m_deniedGroup;
    StaleLock m_staleLock;
    QString m_portDirectory;
    qint64 m_outOverride = -1;
};

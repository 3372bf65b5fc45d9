#pragma once
// Test helper: runs the instrument simulator (quendrel_sim) as a child
// process on a pseudo-terminal reachable as COM<port> in a given folder,
// and gives tests what it sent and received.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class Simulator
{
public:
    Simulator() = default;
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    /// Starts the simulator with its link COM<port> in `dir`; extra options
    /// (e.g. "--interval-ms", "0") are passed on. Waits up to 5 s for the
    /// device to be ready.
    bool start(const QString &dir, int port, const QStringList &extraArgs = {});

    /// The pseudo-terminal the link points to now (empty before start).
    QString slavePath() const { return m_slavePath; }
    /// The link the recorder opens: <dir>/COM<port>.
    QString linkPath() const { return m_linkPath; }

    /// Every byte the simulator has sent, in order. The log is written just
    /// after each write to the line, so it may lag the line by an instant:
    /// wait with waitForSentContains() before comparing.
    QByteArray sent() const;
    /// Every byte the simulator has received, in order.
    QByteArray received() const;

    /// Waits, processing events, until received() contains `bytes`.
    bool waitForReceived(const QByteArray &bytes, int ms);
    /// Waits, processing events, until sent() contains `bytes`.
    bool waitForSentContains(const QByteArray &bytes, int ms);
    /// Waits for a line the simulator reports on its output ("START",
    /// "STOP", "HANGUP", "READY ...") that has not been consumed yet; the
    /// lines before it are consumed with it.
    bool waitForEvent(const QByteArray &prefix, int ms);

    /// The device vanishes now, as a pulled USB adapter; returns once the
    /// link is gone.
    void hangUp();
    /// A new device appears after a hang-up; waits for it to be ready.
    bool comeBack();
    /// Ends the simulator (its link is removed).
    void stop();

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

private:
    void readOutput();

    QProcess m_process;
    QTemporaryDir m_logDir;
    QString m_linkPath;
    QString m_slavePath;
    QByteArray m_pending;          // partial output line
    QList<QByteArray> m_events;    // complete output lines not yet consumed
};

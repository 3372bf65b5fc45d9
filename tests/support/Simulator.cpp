#include "Simulator.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <csignal>

namespace {
constexpr int readyTimeoutMs = 5000;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

Simulator::~Simulator()
{
    stop();
}

bool Simulator::start(const QString &dir, int port, const QStringList &extraArgs)
{
    stop();
    if (!m_logDir.isValid())
        return false;
    QFile::remove(m_logDir.filePath("sent.bin"));
    QFile::remove(m_logDir.filePath("rx.bin"));
    m_events.clear();
    m_pending.clear();
    m_slavePath.clear();
    m_linkPath = dir + "/COM" + QString::number(port);

    QStringList args{"--port", QString::number(port), "--dir", dir,
                     "--sent", m_logDir.filePath("sent.bin"),
                     "--rx-log", m_logDir.filePath("rx.bin")};
    args += extraArgs;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(QDR_BIN_DIR "/quendrel_sim"), args);
    if (!m_process.waitForStarted(readyTimeoutMs))
        return false;
    return waitForEvent("READY ", readyTimeoutMs);
}

QByteArray Simulator::sent() const
{
    return readAll(m_logDir.filePath("sent.bin"));
}

QByteArray Simulator::received() const
{
    return readAll(m_logDir.filePath("rx.bin"));
}

bool Simulator::waitForReceived(const QByteArray &bytes, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!received().contains(bytes)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

bool Simulator::waitForSentContains(const QByteArray &bytes, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!sent().contains(bytes)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(5);
    }
    return true;
}

bool Simulator::waitForEvent(const QByteArray &prefix, int ms)
{
    QDeadlineTimer deadline(ms);
    for (;;) {
        readOutput();
        while (!m_events.isEmpty()) {
            const QByteArray line = m_events.takeFirst();
            if (line.startsWith(prefix))
                return true;
        }
        if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
            return false;
        // Keep the caller's event loop turning: the recorder under test may
        // live in the same process.
        QTest::qWait(5);
    }
}

void Simulator::readOutput()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (line.startsWith("READY "))
            m_slavePath = QString::fromLatin1(line.mid(6));
        m_events.append(line);
    }
}

void Simulator::hangUp()
{
    if (!isRunning())
        return;
    ::kill(pid_t(m_process.processId()), SIGUSR1);
    waitForEvent("HANGUP", readyTimeoutMs);
}

bool Simulator::comeBack()
{
    if (!isRunning())
        return false;
    ::kill(pid_t(m_process.processId()), SIGUSR2);
    return waitForEvent("READY ", readyTimeoutMs);
}

void Simulator::stop()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

#pragma once
// A serial line for tests: a pseudo-terminal whose device the recorder
// opens as its port COM<N> (a link in the given folder), while the test
// plays the instrument on the other side.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

class PtyLine
{
public:
    /// Opens the pseudo-terminal; with a folder, links its device there as
    /// COM<port>.
    explicit PtyLine(const QString &folder = {}, int port = 0)
    {
        if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0)
            return;
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_device = QString::fromLocal8Bit(::ttyname(m_slave));
        m_ready = folder.isEmpty()
            || QFile::link(m_device, QDir(folder).filePath(QStringLiteral("COM%1").arg(port)));
    }
    ~PtyLine()
    {
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
    }
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    bool ready() const { return m_ready; }
    /// The device the recorder opens ("/dev/pts/N").
    QString device() const { return m_device; }

    /// Writes all of `bytes` as the instrument, letting the recorder read
    /// while the line is full.
    bool write(const QByteArray &bytes)
    {
        qsizetype done = 0;
        QDeadlineTimer deadline(60000);
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            if (deadline.hasExpired())
                return false;
            drainInput();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    /// Characters written to the line and not yet read by the recorder.
    int unread() const
    {
        int count = 0;
        return ::ioctl(m_slave, FIONREAD, &count) == 0 ? count : -1;
    }

    /// Everything the recorder has sent (start and stop characters), waiting
    /// up to `ms` for each further piece.
    QByteArray received(int ms = 200)
    {
        QByteArray all;
        pollfd fd{m_master, POLLIN, 0};
        char buffer[256];
        while (::poll(&fd, 1, ms) > 0 && (fd.revents & POLLIN)) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            all.append(buffer, n);
        }
        return all;
    }

    /// Discards what the recorder sent.
    void drainInput() { received(0); }

    /// Closes the recorder's side kept open here (the device stays while
    /// the recorder has it open).
    void closeDeviceSide()
    {
        if (m_slave >= 0)
            ::close(m_slave);
        m_slave = -1;
    }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_device;
    bool m_ready = false;
};

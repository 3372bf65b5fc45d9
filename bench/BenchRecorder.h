#pragma once
// A recorder main window for the benchmarks: a fresh temporary folder is
// the current directory and the program folder, holds the default settings
// (English, port 1) and the COM1 link of a simulator; boxes are answered
// "No" at once and written to standard error, so a run never blocks.

#include "Controls.h"
#include "MainWindow.h"
#include "SerialPort.h"
#include "ScriptedDialogs.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <memory>
#include <vector>

namespace bench {

/// The median of some measurements (the upper one of an even count).
inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

/// CPU time of this process (user and system, all threads) in seconds.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// Resident memory of this process in bytes.
inline double residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0.0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toDouble() * double(sysconf(_SC_PAGESIZE)) : 0.0;
}

/// Writes all of `size` bytes from `data` to `fd`, waiting while a
/// pseudo-terminal is full; false when the line broke.
inline bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

/// True when `path` lies on a file system held in memory, where a sync to
/// the disk costs nothing and proves nothing.
inline bool onMemoryFileSystem(const QString &path)
{
    struct statfs info{};
    if (statfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &info) != 0)
        return false;
    return info.f_type == TMPFS_MAGIC || info.f_type == RAMFS_MAGIC;
}

/// Watches the blocks a main window receives and the syncs of its working
/// file: the longest time from a block's arrival to the end of the sync
/// that took it to the disk, and the syncs per second.
class DurabilityProbe
{
public:
    explicit DurabilityProbe(MainWindow &window) : m_file(window.workingFile())
    {
        m_clock.start();
        // The live model changes right after a block was written (a few
        // microseconds after it arrived).
        QObject::connect(&window.measurement(), &Measurement::liveChanged, &m_context, [this] {
            const qint64 end = m_file.writtenBytes();
            if (m_measuring && end > m_lastEnd) {
                // A write that found the sync due has synced its own block.
                if (end <= m_file.syncedBytes())
                    ++m_synced;
                else
                    m_waiting.push_back({m_clock.nsecsElapsed(), end});
            }
            m_lastEnd = end;
        });
        QObject::connect(&window.measurement(), &Measurement::synced, &m_context, [this](qint64 synced) {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_measuring)
                m_syncTimes.push_back(now);
            while (!m_waiting.empty() && m_waiting.front().end <= synced) {
                m_longestLagNs = std::max(m_longestLagNs, now - m_waiting.front().arrived);
                m_waiting.pop_front();
                ++m_synced;
            }
        });
    }

    /// Blocks arriving from now on are watched.
    void start()
    {
        m_lastEnd = m_file.writtenBytes();
        m_measuring = true;
    }
    /// Blocks arriving from now on are not watched; those watched may
    /// still be synced.
    void stop() { m_measuring = false; }

    /// Blocks watched and synced so far.
    qint64 syncedBlocks() const { return m_synced; }
    /// Blocks watched and not synced yet.
    qint64 unsyncedBlocks() const { return qint64(m_waiting.size()); }
    /// Longest arrival-to-sync time of the synced blocks, in milliseconds;
    /// a block still waiting counts with its time so far.
    double longestLagMs() const
    {
        qint64 longest = m_longestLagNs;
        if (!m_waiting.empty())
            longest = std::max(longest, m_clock.nsecsElapsed() - m_waiting.front().arrived);
        return double(longest) / 1e6;
    }
    /// Syncs per second while watching: the count between the first and
    /// the last sync over the time between them.
    double syncsPerSecond() const
    {
        if (m_syncTimes.size() < 2)
            return 0.0;
        return double(m_syncTimes.size() - 1) * 1e9 / double(m_syncTimes.back() - m_syncTimes.front());
    }

private:
    struct Arrival
    {
        qint64 arrived;
        qint64 end;
    };
    const WorkingFile &m_file;
    QObject m_context;
    QElapsedTimer m_clock;
    bool m_measuring = false;
    qint64 m_lastEnd = 0;
    std::deque<Arrival> m_waiting;
    std::vector<qint64> m_syncTimes;
    qint64 m_longestLagNs = 0;
    qint64 m_synced = 0;
};

/// The recorder's main window in a folder of its own.
class Recorder
{
public:
    Recorder()
        : m_previousDir(QDir::currentPath())
    {
        // Every box is answered as a cautious user would and noted on
        // standard error: a benchmark run should ask nothing.
        m_dialogs.setUnscripted(ScriptedDialogs::Unscripted::Cautious);
        m_dialogs.onAsked = [](const ScriptedDialogs::Asked &box) {
            std::fprintf(stderr, "box: %s\n", qPrintable(box.text));
        };
        QDir::setCurrent(m_dir.path());
        for (const char *name : {"qvx.ini", "sensor.ini"})
            QFile::copy(QStringLiteral(QDR_SOURCE_DIR "/setup/defaults/") + QLatin1String(name),
                        path(QLatin1String(name)));
    }

    ~Recorder()
    {
        m_window.reset();
        if (m_simulator.state() != QProcess::NotRunning) {
            m_simulator.terminate();
            m_simulator.waitForFinished(3000);
        }
        QDir::setCurrent(m_previousDir);
    }

    QString path(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

    /// Starts the instrument simulator on port 1 of this folder with
    /// `args` added; true once its device is ready.
    bool startSimulator(const QStringList &args)
    {
        m_simulator.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/quendrel_sim"));
        m_simulator.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("1"),
                                             QStringLiteral("--dir"), m_dir.path()} + args);
        m_simulator.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_simulator.start();
        if (!m_simulator.waitForStarted(5000))
            return false;
        QByteArray output;
        while (!output.contains("READY ")) {
            if (!m_simulator.waitForReadyRead(5000))
                return false;
            output += m_simulator.readAllStandardOutput();
        }
        return true;
    }

    /// Creates the main window (start-up and load event) and shows it.
    MainWindow &start()
    {
        MainWindowEnvironment environment;
        environment.programDir = m_dir.path();
        environment.portDirectory = m_dir.path();
        environment.endProgram = [] {};
        environment.restart = [] { return false; };
        m_window = std::make_unique<MainWindow>(m_dialogs, environment);
        m_window->prepare();
        m_window->show();
        return *m_window;
    }

    MainWindow &window() { return *m_window; }

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    ScriptedDialogs m_dialogs;
    QProcess m_simulator;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace bench

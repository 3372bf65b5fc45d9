// A hostile instrument: a started measurement of a shown main window is
// flooded through a pseudo-terminal from a thread of its own, as fast as
// the terminal takes it, in one of two ways:
//
//   bench_flood --burst      sample lines for 15 seconds
//   bench_flood --unended    10 MB of values without a line end, then one
//
// The window reads, records and draws as it does for any instrument (its
// own serial port, receive path and paced redraws). With --xvfb the run
// takes place on an X server of its own (Xvfb) instead of the offscreen
// platform.
//
// Prints (suffixed _burst or _unended, and _xvfb on the X server):
//   flood_rss_growth_mb     resident memory at its highest during the
//                           flood minus before it
//   flood_max_event_gap_ms  the longest time the main thread stayed away
//                           from its event loop: how late a 2 ms timer on
//                           it fired at worst, as a key press would wait
//   flood_sent_mb           what the instrument sent
//   flood_seconds           from the first byte sent to the last recorded
//   flood_largest_block_kb  the most the port delivered at once
//
// The flood begins once the header read after the start is over, so the
// figures are those of the receive path alone.
//
// Sanity checks (exit status 1): the measurement starts, every byte sent
// reaches the working file in order (compared byte by byte), and the
// recorder takes all of it within a minute after the sender is done.

#include "BenchRecorder.h"
#include "SampleLines.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {

constexpr qint64 kBurstNs = 15'000'000'000;
constexpr qint64 kUnendedBytes = 10 * 1024 * 1024;
constexpr int kProbeMs = 2;
constexpr qint64 kCatchUpMs = 60'000;

/// The instrument's end of a raw pseudo-terminal, linked as COM1.
class Line
{
public:
    explicit Line(const QString &link)
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        termios raw{};
        tcgetattr(m_master, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_master, TCSANOW, &raw);
        m_ready = QFile::link(QString::fromLocal8Bit(ptsname(m_master)), link);
    }
    ~Line()
    {
        if (m_master >= 0)
            ::close(m_master);
    }

    bool ready() const { return m_ready; }

    /// Writes all of `size` bytes from `data`, waiting while the line is full.
    bool send(const char *data, qint64 size) const { return bench::writeAll(m_master, data, size); }
    /// Discards what the recorder sent (its start character).
    void drain() const
    {
        char buffer[64];
        const int flags = ::fcntl(m_master, F_GETFL);
        ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
        while (::read(m_master, buffer, sizeof buffer) > 0) {
        }
        ::fcntl(m_master, F_SETFL, flags);
    }

private:
    int m_master = -1;
    bool m_ready = false;
};

/// An X server of its own, on the first free display; stopped when this ends.
class XServer
{
public:
    XServer()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
                     "tcp", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char number[16] = {};
        qsizetype got = 0;
        while (m_pid > 0 && got < qsizetype(sizeof number) - 1) {
            const ssize_t n = ::read(fds[0], number + got, size_t(qsizetype(sizeof number) - 1 - got));
            if (n <= 0 || std::memchr(number, '\n', size_t(got + n)))
                break;
            got += n;
        }
        ::close(fds[0]);
        const int display = std::atoi(number);
        if (m_pid > 0 && number[0] >= '0' && number[0] <= '9')
            m_display = ":" + std::to_string(display);
    }
    ~XServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    /// The display name (":N"); empty when Xvfb did not start.
    const std::string &display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

/// How late a short timer on the main thread fires at worst, and the
/// highest resident memory seen meanwhile.
class LoopProbe
{
public:
    LoopProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbeMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longestNs = std::max(m_longestNs, now - m_last);
            m_last = now;
            if (now - m_lastSample >= 50'000'000) {
                m_peakBytes = std::max(m_peakBytes, bench::residentBytes());
                m_lastSample = now;
            }
        });
    }
    void start()
    {
        m_clock.start();
        m_last = m_lastSample = 0;
        m_longestNs = 0;
        m_startBytes = m_peakBytes = bench::residentBytes();
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        m_peakBytes = std::max(m_peakBytes, bench::residentBytes());
    }
    /// Longest time beyond the timer's interval between two of its timeouts.
    double longestGapMs() const { return std::max(0.0, double(m_longestNs) / 1e6 - kProbeMs); }
    /// Highest resident memory seen minus that at start().
    double growthBytes() const { return m_peakBytes - m_startBytes; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_lastSample = 0;
    qint64 m_longestNs = 0;
    double m_startBytes = 0.0;
    double m_peakBytes = 0.0;
};

/// The repeating pattern the instrument sends: ten thousand sample lines,
/// or a megabyte of values without a line end.
QByteArray pattern(bool unended)
{
    QByteArray bytes;
    if (unended) {
        const QByteArray values = "  12.5   13.0  ";
        while (bytes.size() < 1024 * 1024)
            bytes += values;
        bytes.truncate(1024 * 1024);
        return bytes;
    }
    for (int second = 1; second <= 10000; ++second)
        bytes += bench::sampleLine(second);
    return bytes;
}

/// True when `path` holds, from `offset` on, exactly `sent` bytes of
/// `pattern` repeated, followed by `tail`.
bool recordedExactly(const QString &path, qint64 offset, const QByteArray &pattern, qint64 sent,
                     const QByteArray &tail)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != offset + sent + tail.size() || !file.seek(offset))
        return false;
    qint64 at = 0;
    while (at < sent) {
        const QByteArray chunk = file.read(std::min<qint64>(1 << 20, sent - at));
        if (chunk.isEmpty())
            return false;
        for (qsizetype i = 0; i < chunk.size(); ++i) {
            if (chunk.at(i) != pattern.at((at + i) % pattern.size()))
                return false;
        }
        at += chunk.size();
    }
    return file.read(tail.size()) == tail;
}

} // namespace

int main(int argc, char **argv)
{
    bool unended = false;
    bool xvfb = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--unended")
            unended = true;
        else if (arg == "--xvfb")
            xvfb = true;
        else if (arg != "--burst") {
            std::fprintf(stderr, "usage: bench_flood [--burst|--unended] [--xvfb]\n");
            return 2;
        }
    }
    std::unique_ptr<XServer> server;
    if (xvfb) {
        server = std::make_unique<XServer>();
        if (server->display().empty()) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return 1;
        }
        qputenv("DISPLAY", server->display().c_str());
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (xvfb && QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "the X server's display did not open\n");
        return 1;
    }

    bench::Recorder recorder;
    Line line(recorder.path(QStringLiteral("COM1")));
    if (!line.ready()) {
        std::fprintf(stderr, "no pseudo-terminal for the port\n");
        return 1;
    }
    MainWindow &window = recorder.start();
    Measurement &measurement = window.measurement();
    bool headerRead = false;
    QObject::connect(&measurement, &Measurement::headerRead, [&headerRead] { headerRead = true; });
    window.startStop();
    const WorkingFile &file = window.workingFile();
    const auto waitFor = [](const std::function<bool()> &done, qint64 ms) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return done();
    };
    // The first piece becomes the notes header, the INP1 line satisfies the
    // header read; the flood begins once that read is over.
    const QByteArray header = "INP1 = bar 07\r\nSR1 = 100 07\r\nINP2 = C   03\r\nSR2 = 200 03\r\n";
    if (!measurement.isPortOpen() || !line.send("\r", 1) || !waitFor([&] { return file.writtenBytes() > 0; }, 5000)
        || !line.send(header.constData(), header.size())
        || !waitFor([&] { return headerRead; }, 5000)
        || measurement.state() != Measurement::State::Measuring) {
        std::fprintf(stderr, "the measurement did not start on the pseudo-terminal\n");
        return 1;
    }
    line.drain();
    waitFor([] { return false; }, 300);
    const qint64 afterHeader = file.writtenBytes();

    const QByteArray sentPattern = pattern(unended);
    const QByteArray tail = unended ? QByteArray("\r\n") : QByteArray();
    std::atomic<bool> sending{true};
    std::atomic<qint64> sent{0};
    bool sentAll = true;
    QElapsedTimer clock;
    // The largest block the port delivered at once.
    qint64 largestBlock = 0;
    qint64 lastWritten = afterHeader;
    QObject::connect(&measurement, &Measurement::liveChanged, [&] {
        largestBlock = std::max(largestBlock, file.writtenBytes() - lastWritten);
        lastWritten = file.writtenBytes();
    });
    LoopProbe probe;
    probe.start();
    clock.start();
    std::thread sender([&] {
        constexpr qint64 kChunk = 64 * 1024;
        qint64 at = 0;
        while (unended ? at < kUnendedBytes : clock.nsecsElapsed() < kBurstNs) {
            const qint64 offset = at % sentPattern.size();
            qint64 size = std::min(kChunk, sentPattern.size() - offset);
            if (unended)
                size = std::min(size, kUnendedBytes - at);
            if (!line.send(sentPattern.constData() + offset, size)) {
                sentAll = false;
                break;
            }
            at += size;
            sent = at;
        }
        if (sentAll && !tail.isEmpty())
            sentAll = line.send(tail.constData(), tail.size());
        sending = false;
    });
    // The window runs on its own until the sender is done and the working
    // file holds what was sent.
    waitFor([&] { return !sending; }, kBurstNs / 1'000'000 + 600'000);
    const bool caughtUp = waitFor([&] { return !sending && file.writtenBytes() - afterHeader >= sent + tail.size(); },
                                  kCatchUpMs);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    // The last frame after the flood is drawn.
    waitFor([] { return false; }, 300);
    probe.stop();
    if (sending) {
        // The recorder stopped reading for ten minutes: the sender cannot end.
        std::fprintf(stderr, "the recorder stopped reading during the flood\n");
        std::fflush(stdout);
        ::_exit(1);
    }
    sender.join();

    bool sane = sentAll && caughtUp;
    if (!sentAll)
        std::fprintf(stderr, "the pseudo-terminal refused a write\n");
    if (!caughtUp)
        std::fprintf(stderr, "the working file holds %lld of %lld bytes a minute after the flood\n",
                     file.writtenBytes() - afterHeader, sent + qint64(tail.size()));
    if (sane && !recordedExactly(file.resolvedPath(), afterHeader, sentPattern, sent, tail)) {
        std::fprintf(stderr, "the working file does not hold the bytes sent, in order\n");
        sane = false;
    }

    const std::string suffix = std::string(unended ? "_unended" : "_burst") + (xvfb ? "_xvfb" : "");
    std::printf("flood_rss_growth_mb%s %.2f MB\n", suffix.c_str(), probe.growthBytes() / 1048576.0);
    std::printf("flood_max_event_gap_ms%s %.1f ms\n", suffix.c_str(), probe.longestGapMs());
    std::printf("flood_sent_mb%s %.1f MB\n", suffix.c_str(), double(sent) / 1048576.0);
    std::printf("flood_seconds%s %.1f s\n", suffix.c_str(), seconds);
    std::printf("flood_largest_block_kb%s %.1f KB\n", suffix.c_str(), double(largestBlock) / 1024.0);
    return sane ? 0 : 1;
}

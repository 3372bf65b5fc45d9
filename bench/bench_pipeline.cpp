// Throughput of the main window's own receive path: sample lines go into a
// pseudo-terminal, one write per line and as fast as it takes them, from a
// thread of their own, as an instrument at full rate would send them. The
// window reads them through its serial port as the blocks arrive (the
// port's receive signal, the block processing with its write-failure
// question, the working file write and its grouped syncs to the disk, line
// gathering, word splitting, figures, meters) and redraws itself at screen
// rate. Compared with a bare recorder fed the same way through a second
// pseudo-terminal, which only reads each block and writes it to a file at
// once; the two run in turns. Both include the sending side's cost, so the
// ratio shows what the window adds to the least a recorder must do.
//
// Prints, as medians of several rounds:
//   pipeline_lines_per_s     lines per second, from the first line sent to
//                            the last one in the working file and shown
//   pipeline_vs_write_ratio  that time divided by the bare recorder's time
//   pipeline_us_per_line / write_us_per_line   the two times per line
//   pipeline_lines_per_block lines per block as the port delivered them
//   pipeline_thread_cpu_us_per_line  CPU time of the window's thread per
//                            line (the sending thread and the kernel's
//                            share of the line excluded)
//   pipeline_syncs_per_s     syncs of the working file per second of the
//                            rounds (the bare recorder's turns included:
//                            the file's sync timer runs on through them)
//
// The working file is not restarted between rounds, so its syncs keep their
// own rhythm across them, as in a long measurement.
//
// Sanity checks (exit status 1): the port opens, every byte reaches the
// working file and the bare recorder's file, the window shows one of the
// last lines, the working file was synced while it was fed, and it lies on
// a disk (not in memory, where a sync is free).

#include "BenchRecorder.h"
#include "SampleLines.h"

#include "LiveModel.h"
#include "SerialPort.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

namespace {

constexpr int kLinesPerRound = 300000;
constexpr int kWarmUpLines = 20000;
constexpr int kRounds = 5;

/// The instrument's end of a pseudo-terminal.
class Line
{
public:
    Line()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        termios raw{};
        tcgetattr(m_master, &raw);
        cfmakeraw(&raw);
        tcsetattr(m_master, TCSANOW, &raw);
        m_device = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~Line()
    {
        if (m_master >= 0)
            ::close(m_master);
    }

    QString device() const { return m_device; }

    /// Opens the other end in raw mode, as a serial port is opened.
    int openDevice() const
    {
        const int fd = ::open(QFile::encodeName(m_device).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0) {
            termios raw{};
            tcgetattr(fd, &raw);
            cfmakeraw(&raw);
            tcsetattr(fd, TCSANOW, &raw);
        }
        return fd;
    }

    /// Sends every block with one write each; false when the line broke.
    bool send(const std::vector<QByteArray> &blocks) const
    {
        for (const QByteArray &block : blocks) {
            if (!bench::writeAll(m_master, block.constData(), block.size()))
                return false;
        }
        return true;
    }

private:
    int m_master = -1;
    QString m_device;
};

/// CPU time of the calling thread in seconds.
double threadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Round
{
    double seconds = 0.0;
    double cpuSeconds = 0.0;
    int blocks = 0;
    quint64 syncs = 0;
    bool complete = false;
};

/// Sends `blocks` into the line and runs the window until all of them are
/// in its working file and the last line is shown.
Round feed(MainWindow &window, const Line &line, const std::vector<QByteArray> &blocks, int lastSecond)
{
    qint64 expected = 0;
    for (const QByteArray &block : blocks)
        expected += block.size();
    const WorkingFile &file = window.workingFile();
    const qint64 start = file.writtenBytes();
    const quint64 syncsBefore = file.syncCount();

    Round round;
    QEventLoop loop;
    // The live model changes once a block has been processed.
    const QMetaObject::Connection watch = QObject::connect(&window.measurement(), &Measurement::liveChanged, &loop, [&] {
        ++round.blocks;
        if (file.writtenBytes() - start >= expected)
            loop.quit();
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit); // a line that broke

    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = threadCpuSeconds();
    bool sent = true;
    std::thread sender([&] { sent = line.send(blocks); });
    loop.exec();
    window.refreshView();
    QCoreApplication::processEvents();
    round.seconds = double(clock.nsecsElapsed()) / 1e9;
    round.cpuSeconds = threadCpuSeconds() - cpuBefore;
    sender.join();
    QObject::disconnect(watch);

    round.syncs = file.syncCount() - syncsBefore;
    // A block of several lines shows the first of them.
    const int shown = control<QLineEdit>(window, "sampleTimeValue")->text().toInt();
    round.complete = sent && file.writtenBytes() - start == expected && shown > lastSecond - 1000
        && shown <= lastSecond;
    if (!round.complete)
        std::fprintf(stderr, "the working file holds %lld of %lld bytes, the window shows second \"%s\" of %d\n",
                     file.writtenBytes() - start, expected, qPrintable(control<QLineEdit>(window, "sampleTimeValue")->text()), lastSecond);
    return round;
}

/// Seconds for a bare recorder to receive `blocks` through `line` and write
/// every block it reads to a new file at once; 0 when it failed.
double bareRecorder(const Line &line, const QString &path, const std::vector<QByteArray> &blocks)
{
    qint64 expected = 0;
    for (const QByteArray &block : blocks)
        expected += block.size();
    const int device = line.openDevice();
    QFile::remove(path);
    QFile file(path);
    if (device < 0 || !file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "the bare recorder cannot open its line or %s\n", qPrintable(path));
        if (device >= 0)
            ::close(device);
        return 0.0;
    }
    QElapsedTimer clock;
    clock.start();
    bool sent = true;
    std::thread sender([&] { sent = line.send(blocks); });
    qint64 received = 0;
    char buffer[64 * 1024];
    while (received < expected) {
        const ssize_t n = ::read(device, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || file.write(buffer, n) != n)
            break;
        received += n;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    sender.join();
    ::close(device);
    if (!sent || received != expected || file.size() != expected) {
        std::fprintf(stderr, "the bare recorder wrote %lld of %lld bytes\n", qint64(file.size()), expected);
        return 0.0;
    }
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    bool sane = true;
    bench::Recorder recorder;
    Line line;
    if (line.device().isEmpty() || !QFile::link(line.device(), recorder.path(QStringLiteral("COM1")))) {
        std::fprintf(stderr, "no pseudo-terminal for the port\n");
        return 1;
    }
    MainWindow &window = recorder.start();
    window.startStop();
    // The first block becomes the notes header; the INP1 line after it
    // satisfies the header read, so the measurement runs on.
    const auto recorded = [&window](qint64 past) {
        QElapsedTimer waited;
        waited.start();
        while (window.workingFile().writtenBytes() <= past && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return window.workingFile().writtenBytes() > past;
    };
    if (!window.measurement().isPortOpen() || !line.send({QByteArray("\r")}) || !recorded(0)
        || !line.send({QByteArray("INP1 = bar 07\r\n")}) || !recorded(window.workingFile().writtenBytes())) {
        std::fprintf(stderr, "the measurement did not start\n");
        return 1;
    }
    if (bench::onMemoryFileSystem(window.workingFile().resolvedPath())) {
        std::fprintf(stderr, "the working file lies in memory, where a sync costs nothing\n");
        sane = false;
    }
    QCoreApplication::processEvents();

    Line bareLine;
    const QString bareFile = recorder.path(QStringLiteral("bare.txt"));
    int second = 1;
    auto nextBlocks = [&second](int count) {
        std::vector<QByteArray> blocks = bench::sampleBlocks(count, second);
        second += count;
        return blocks;
    };
    const std::vector<QByteArray> warmUp = nextBlocks(kWarmUpLines);
    sane = feed(window, line, warmUp, second - 1).complete && sane;
    sane = bareRecorder(bareLine, bareFile, warmUp) > 0.0 && sane;

    std::vector<double> linesPerSecond, ratios, pipelineUs, writeUs, linesPerBlock, cpuUs;
    QElapsedTimer rounds;
    rounds.start();
    double fedSeconds = 0.0;
    quint64 syncs = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::vector<QByteArray> blocks = nextBlocks(kLinesPerRound);
        const Round fed = feed(window, line, blocks, second - 1);
        const double bare = bareRecorder(bareLine, bareFile, blocks);
        sane = fed.complete && bare > 0.0 && sane;
        fedSeconds += fed.seconds;
        syncs += fed.syncs;
        linesPerSecond.push_back(kLinesPerRound / fed.seconds);
        ratios.push_back(bare > 0.0 ? fed.seconds / bare : 0.0);
        pipelineUs.push_back(fed.seconds * 1e6 / kLinesPerRound);
        writeUs.push_back(bare * 1e6 / kLinesPerRound);
        linesPerBlock.push_back(double(kLinesPerRound) / std::max(1, fed.blocks));
        cpuUs.push_back(fed.cpuSeconds * 1e6 / kLinesPerRound);
    }
    if (fedSeconds > 2.0 && syncs == 0) {
        std::fprintf(stderr, "the working file was not synced during %.2f s of feeding\n", fedSeconds);
        sane = false;
    }

    std::printf("pipeline_lines_per_s %.0f lines/s\n", bench::median(linesPerSecond));
    std::printf("pipeline_vs_write_ratio %.2f ratio\n", bench::median(ratios));
    std::printf("pipeline_us_per_line %.2f us\n", bench::median(pipelineUs));
    std::printf("write_us_per_line %.2f us\n", bench::median(writeUs));
    std::printf("pipeline_lines_per_block %.1f lines\n", bench::median(linesPerBlock));
    std::printf("pipeline_thread_cpu_us_per_line %.2f us\n", bench::median(cpuUs));
    std::printf("pipeline_syncs_per_s %.2f syncs/s\n", double(syncs) * 1e9 / double(rounds.nsecsElapsed()));
    return sane ? 0 : 1;
}

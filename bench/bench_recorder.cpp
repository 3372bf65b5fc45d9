// The whole recorder against the instrument simulator on a pseudo-terminal,
// as a user runs it: the main window shown, Start pressed, the header read
// and the sample lines recorded.
//
//   bench_recorder --e2e        the simulator sends as fast as the line
//                               takes it; prints e2e_bytes_per_s (bytes
//                               reaching the working file) and
//                               e2e_cpu_percent (the recorder's share of
//                               one core), medians of several windows
//   bench_recorder --idle [S]   one line per second with the graph window
//                               shown, for S seconds (60); prints
//                               idle_rate_cpu_percent over the whole run
//                               and the largest of its 10-second slices
//
// Both also print durable_lag_ms_<rate>, the longest time from a block's
// arrival to the end of the sync that took it to the disk, and
// syncs_per_s_<rate>, for the full rate and the instrument's rate.
//
// CPU time is this process's own (the simulator is a separate process).
// Sanity checks (exit status 1): data were recorded in every window, every
// block was synced within a second and a half of the end, the working file
// lies on a disk.

#include "BenchRecorder.h"

#include "GraphWindow.h"
#include "PictureButton.h"
#include "SerialPort.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <cstring>

namespace {

/// Runs the event loop for `ms` milliseconds.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

/// Wall time, CPU time and working file size at one moment.
struct Sample
{
    double wall;
    double cpu;
    qint64 fileBytes;
};

class Probe
{
public:
    explicit Probe(MainWindow &window) : m_window(window) { m_clock.start(); }

    Sample now() const
    {
        return {double(m_clock.nsecsElapsed()) / 1e9, bench::cpuSeconds(),
                QFileInfo(m_window.workingFile().resolvedPath()).size()};
    }

private:
    MainWindow &m_window;
    QElapsedTimer m_clock;
};

/// Starts a measurement in a fresh recorder; false (and why on standard
/// error) when the port did not open.
bool startMeasurement(bench::Recorder &recorder, const QStringList &simulatorArgs)
{
    if (!recorder.startSimulator(simulatorArgs)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return false;
    }
    MainWindow &window = recorder.start();
    control<PictureButton>(window, "startStopButton")->click();
    if (!window.measurement().isPortOpen()) {
        std::fprintf(stderr, "the port did not open\n");
        return false;
    }
    if (bench::onMemoryFileSystem(window.workingFile().resolvedPath())) {
        std::fprintf(stderr, "the working file lies in memory, where a sync costs nothing\n");
        return false;
    }
    return true;
}

/// Ends the watch of `probe`, gives the last blocks time for their sync,
/// prints the durability figures and checks that every block was synced.
bool reportDurability(bench::DurabilityProbe &probe, const char *rate)
{
    probe.stop();
    runFor(1500);
    std::printf("durable_lag_ms_%s %.1f ms\n", rate, probe.longestLagMs());
    std::printf("syncs_per_s_%s %.2f syncs/s\n", rate, probe.syncsPerSecond());
    if (probe.syncedBlocks() == 0 || probe.unsyncedBlocks() > 0) {
        std::fprintf(stderr, "%lld blocks synced, %lld never synced\n", probe.syncedBlocks(),
                     probe.unsyncedBlocks());
        return false;
    }
    return true;
}

int fullSpeed()
{
    constexpr int kWindows = 5;
    constexpr int kWindowMs = 2000;

    bench::Recorder recorder;
    if (!startMeasurement(recorder, {QStringLiteral("--interval-ms"), QStringLiteral("0")}))
        return 1;
    // The header is read 1.5 s after Start; the windows begin after it.
    runFor(2500);

    Probe probe(recorder.window());
    bench::DurabilityProbe durability(recorder.window());
    durability.start();
    bool sane = true;
    std::vector<double> bytesPerSecond, cpuPercent;
    Sample before = probe.now();
    for (int i = 0; i < kWindows; ++i) {
        runFor(kWindowMs);
        const Sample after = probe.now();
        const double wall = after.wall - before.wall;
        if (after.fileBytes <= before.fileBytes) {
            std::fprintf(stderr, "nothing was recorded in window %d\n", i + 1);
            sane = false;
        }
        bytesPerSecond.push_back(double(after.fileBytes - before.fileBytes) / wall);
        cpuPercent.push_back(100.0 * (after.cpu - before.cpu) / wall);
        before = after;
    }
    std::printf("e2e_bytes_per_s %.0f B/s\n", bench::median(bytesPerSecond));
    std::printf("e2e_cpu_percent %.1f %%\n", bench::median(cpuPercent));
    sane = reportDurability(durability, "full_rate") && sane;
    return sane ? 0 : 1;
}

int atInstrumentRate(int seconds)
{
    constexpr int kSliceMs = 10000;

    bench::Recorder recorder;
    if (!startMeasurement(recorder, {QStringLiteral("--interval-ms"), QStringLiteral("1000")}))
        return 1;
    runFor(2500);
    MainWindow &window = recorder.window();
    window.showGraph();
    if (!window.graphLoaded() || !window.graph()->isVisible()) {
        std::fprintf(stderr, "the graph window is not shown\n");
        return 1;
    }
    runFor(2000);

    Probe probe(window);
    bench::DurabilityProbe durability(window);
    durability.start();
    const Sample first = probe.now();
    Sample before = first;
    std::vector<double> cpuPercent;
    for (int elapsed = 0; elapsed < seconds * 1000; elapsed += kSliceMs) {
        runFor(std::min(kSliceMs, seconds * 1000 - elapsed));
        const Sample after = probe.now();
        cpuPercent.push_back(100.0 * (after.cpu - before.cpu) / (after.wall - before.wall));
        before = after;
    }
    const double wall = before.wall - first.wall;
    const qint64 recorded = before.fileBytes - first.fileBytes;
    // One sample line of about 70 bytes a second; allow for a late start.
    const bool sane = recorded >= qint64(wall * 0.8) * 60;
    if (!sane)
        std::fprintf(stderr, "only %lld bytes were recorded in %.0f s\n", recorded, wall);
    // The whole run: a cost that comes every minute or so must not hide
    // between slices.
    std::printf("idle_rate_cpu_percent %.3f %%\n", 100.0 * (before.cpu - first.cpu) / wall);
    std::printf("idle_rate_cpu_percent_max_10s %.3f %%\n", *std::max_element(cpuPercent.begin(), cpuPercent.end()));
    std::printf("idle_rate_bytes_per_s %.1f B/s\n", double(recorded) / wall);
    return reportDurability(durability, "instrument_rate") && sane ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    if (argc >= 2 && std::strcmp(argv[1], "--e2e") == 0)
        return fullSpeed();
    if (argc >= 2 && std::strcmp(argv[1], "--idle") == 0)
        return atInstrumentRate(argc >= 3 ? std::max(10, std::atoi(argv[2])) : 60);
    std::fprintf(stderr, "usage: bench_recorder --e2e | --idle [seconds]\n");
    return 2;
}

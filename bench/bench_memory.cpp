// Memory over a day of recording: 86,400 sample lines sent by the
// instrument's side of a pseudo-terminal into a started measurement of a
// shown main window, and 86,400 ticks of the shown graph window, fed as
// fast as they run (the views redrawn at screen rate).
// Prints day_rss_growth_mb, the resident memory after the day minus after
// the first minute's worth, and the chart's own share of it.
//
// Sanity checks (exit status 1): the chart holds a point per second of the
// day and the working file every byte sent after the header.

#include "BenchRecorder.h"
#include "SampleLines.h"

#include "GraphWindow.h"
#include "PtyLine.h"

#include <QLineEdit>
#include "StripChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

namespace {

constexpr int kMinute = 60;
constexpr int kDay = 86400;
constexpr qint64 kScreenRefreshNs = 16'000'000;

/// Draws both windows now, as the next screen refresh would.
void drawNow(MainWindow &window, GraphWindow &graph)
{
    window.refreshView();
    QCoreApplication::processEvents();
    graph.repaint();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    bench::Recorder recorder;
    // The instrument's side of port 1 in the recorder's folder.
    PtyLine instrument(QDir::currentPath(), 1);
    MainWindow &window = recorder.start();
    window.startStop();
    Measurement &measurement = window.measurement();
    // Waits until the recorder has recorded past `bytes`.
    const auto recordedPast = [&measurement](qint64 bytes) {
        QElapsedTimer waited;
        waited.start();
        while (measurement.workingFile().writtenBytes() <= bytes && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return measurement.workingFile().writtenBytes() > bytes;
    };
    // The first block becomes the notes header; the instrument's header
    // follows it, so the header read finds it and the measurement runs on.
    const QByteArray header = "INP1 = bar 07\r\nSR1 = 100 07\r\nINP2 = C   03\r\nSR2 = 200 03\r\n";
    const auto sendHeader = [&] {
        if (!instrument.write("\r\n") || !recordedPast(0))
            return false;
        const qint64 notes = measurement.workingFile().writtenBytes();
        return instrument.write(header) && recordedPast(notes + header.size() - 1);
    };
    if (!instrument.ready() || measurement.state() != Measurement::State::Measuring || !sendHeader()) {
        std::fprintf(stderr, "the measurement did not start on the pseudo-terminal\n");
        return 1;
    }
    const qint64 afterHeader = measurement.workingFile().writtenBytes();
    window.showGraph();
    GraphWindow &graph = *window.graph();
    graph.tickTimer()->stop(); // ticks are driven here, as fast as they run
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    clock.start();
    qint64 lastDrawn = 0;
    double afterMinute = 0.0;
    qsizetype chartAfterMinute = 0;
    qint64 fed = 0;
    bool sane = true;
    for (int second = 1; second <= kDay && sane; ++second) {
        const QByteArray line = bench::sampleLine(second);
        const qint64 before = measurement.workingFile().writtenBytes();
        fed += line.size();
        // A measurement that ended (a stop closes the graph window) fails
        // the run.
        sane = instrument.write(line) && recordedPast(before + line.size() - 1)
            && measurement.state() == Measurement::State::Measuring;
        if (!sane)
            break;
        graph.tick();
        if (second == kMinute) {
            drawNow(window, graph);
            afterMinute = bench::residentBytes();
            chartAfterMinute = graph.chart()->storedBytes();
        } else if (clock.nsecsElapsed() - lastDrawn >= kScreenRefreshNs) {
            window.refreshView();
            QCoreApplication::processEvents();
            lastDrawn = clock.nsecsElapsed();
        }
    }
    if (!sane) {
        std::fprintf(stderr, "the recorder stopped taking lines after %lld bytes\n", fed);
        return 1;
    }
    drawNow(window, graph);
    const double afterDay = bench::residentBytes();
    const qsizetype chartAfterDay = graph.chart()->storedBytes();
    if (graph.chart()->pointCount(1) != kDay) {
        std::fprintf(stderr, "the chart holds %d points, expected %d\n", graph.chart()->pointCount(1), kDay);
        sane = false;
    }
    if (window.workingFile().writtenBytes() - afterHeader != fed) {
        std::fprintf(stderr, "the working file holds %lld bytes after the header, expected %lld\n",
                     window.workingFile().writtenBytes() - afterHeader, fed);
        sane = false;
    }

    std::printf("day_rss_growth_mb %.2f MB\n", (afterDay - afterMinute) / 1048576.0);
    std::printf("day_chart_growth_mb %.2f MB\n", double(chartAfterDay - chartAfterMinute) / 1048576.0);
    std::printf("day_feed_s %.1f s\n", double(clock.nsecsElapsed()) / 1e9);
    return sane ? 0 : 1;
}

// Memory over a day of recording: 86,400 sample lines through the block
// processing of a shown main window and 86,400 ticks of the shown graph
// window, fed as fast as they run (the views redrawn at screen rate).
// Prints day_rss_growth_mb, the resident memory after the day minus after
// the first minute's worth, and the chart's own share of it.
//
// Sanity checks (exit status 1): the chart holds a point per second of the
// day and the working file every byte fed.

#include "BenchRecorder.h"
#include "SampleLines.h"

#include "GraphWindow.h"
#include "SampleProcessor.h"

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
    MainWindow &window = recorder.start();
    SampleProcessor &processor = window.measurement().processor();
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
    for (int second = 1; second <= kDay; ++second) {
        processor.setTabsAsSemicolons(Qt::Checked);
        const QByteArray line = bench::sampleLine(second);
        fed += line.size();
        processor.processBlock(window.live().received, line);
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
    drawNow(window, graph);
    const double afterDay = bench::residentBytes();
    const qsizetype chartAfterDay = graph.chart()->storedBytes();
    bool sane = true;
    if (graph.chart()->pointCount(1) != kDay) {
        std::fprintf(stderr, "the chart holds %d points, expected %d\n", graph.chart()->pointCount(1), kDay);
        sane = false;
    }
    if (window.workingFile().writtenBytes() != fed) {
        std::fprintf(stderr, "the working file holds %lld bytes, expected %lld\n",
                     window.workingFile().writtenBytes(), fed);
        sane = false;
    }

    std::printf("day_rss_growth_mb %.2f MB\n", (afterDay - afterMinute) / 1048576.0);
    std::printf("day_chart_growth_mb %.2f MB\n", double(chartAfterDay - chartAfterMinute) / 1048576.0);
    std::printf("day_feed_s %.1f s\n", double(clock.nsecsElapsed()) / 1e9);
    return sane ? 0 : 1;
}

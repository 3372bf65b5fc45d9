// Cost of one preview graph tick after a minute and after a day of points.
// A tick copies the values, appends them to both traces, updates the chart
// and lets the shown window repaint. The ratio should stay near 1.

#include "Graph.h"
#include "Rules.h"
#include "SensorSelection.h"
#include "StripChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

constexpr int kMinute = 60;
constexpr int kDay = 86400;
constexpr int kMeasuredTicks = 300;

/// Sample values as the instrument might send them.
void setSample(LiveModel &live, int second)
{
    live.Text8 = QString::number(200.0 + 150.0 * std::sin(second / 300.0), 'f', 1);
    live.Text11 = QString::number(8.0 + 5.0 * std::cos(second / 700.0), 'f', 2);
    live.Secunden = QString::number(second);
}

void tickAndPaint(Graph &graph)
{
    graph.Timer1_Timer();
    QCoreApplication::processEvents();
    graph.repaint();
}

/// Microseconds per tick once the traces hold `points` values each.
double tickCostAfter(int points)
{
    LiveModel live;
    SharedState state;
    Graph *graph = nullptr;
    graph = new Graph(live, state, [&] {
        SensorTargets targets;
        targets.setGraphLabel1 = [&](const QString &s) { graph->Label1()->setText(s); };
        targets.setGraphLabel2 = [&](const QString &s) { graph->Label2()->setText(s); };
        sensorSelection(QStringLiteral("SR1 05"), QStringLiteral("SR2 41"), state, targets);
    });
    const std::unique_ptr<Graph> owner(graph);
    graph->Form_Load();
    graph->Timer1()->stop(); // ticks are driven by hand
    graph->show();

    // Filling goes straight to the chart; the measured ticks take the full path.
    for (int second = 0; second < points; ++second) {
        setSample(live, second);
        graph->Chartl321()->append(1, rules::toInt32(rules::leadingNumber(live.Text8)).value_or(0));
        graph->Chartl321()->append(2, rules::toInt32(rules::leadingNumber(live.Text11)).value_or(0));
    }
    for (int i = 0; i < 5; ++i)
        tickAndPaint(*graph);

    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kMeasuredTicks; ++i) {
        setSample(live, points + i);
        tickAndPaint(*graph);
    }
    return double(clock.nsecsElapsed()) / 1000.0 / kMeasuredTicks;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const double minute = tickCostAfter(kMinute);
    const double day = tickCostAfter(kDay);
    std::printf("graph_tick_minute_us %.1f us\n", minute);
    std::printf("graph_tick_day_us %.1f us\n", day);
    std::printf("graph_tick_ratio_day_vs_minute %.2f ratio\n", day / minute);
    return 0;
}

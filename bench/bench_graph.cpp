// Cost of one preview graph tick after a minute and after a day of points.
// A tick copies the values, appends them to both traces, updates the chart
// and lets the shown window repaint. The drawn summary is bounded, so the
// cost levels off once the traces fill the plot (a week costs what a day does).

#include "Graph.h"
#include "Rules.h"
#include "SensorSelection.h"
#include "StripChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kMinute = 60;
constexpr int kDay = 86400;
constexpr int kWeek = 7 * kDay;
constexpr int kMeasuredTicks = 300;

/// Noisy sample values spanning the whole scale, so a minute and a day both
/// draw busy traces and the comparison measures their length alone.
void setSample(LiveModel &live, int second)
{
    const quint32 noise = quint32(second) * 2654435761u;
    live.Text8 = QString::number(200.0 + 150.0 * std::sin(second / 5.0) + (noise % 50), 'f', 1);
    live.Text11 = QString::number(8.0 + 5.0 * std::cos(second / 7.0) + (noise >> 28) / 8.0, 'f', 2);
    live.Secunden = QString::number(second);
}

void tickAndPaint(Graph &graph)
{
    graph.Timer1_Timer();
    QCoreApplication::processEvents();
    graph.repaint();
}

/// Median microseconds per tick once the traces hold `points` values each.
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

    // The median of single ticks: the machine may be busy with other work.
    std::vector<double> costs;
    costs.reserve(kMeasuredTicks);
    QElapsedTimer clock;
    for (int i = 0; i < kMeasuredTicks; ++i) {
        setSample(live, points + i);
        clock.start();
        tickAndPaint(*graph);
        costs.push_back(double(clock.nsecsElapsed()) / 1000.0);
    }
    std::nth_element(costs.begin(), costs.begin() + costs.size() / 2, costs.end());
    return costs[costs.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const double minute = tickCostAfter(kMinute);
    const double day = tickCostAfter(kDay);
    const double week = tickCostAfter(kWeek);
    std::printf("graph_tick_minute_us %.1f us\n", minute);
    std::printf("graph_tick_day_us %.1f us\n", day);
    std::printf("graph_tick_ratio_day_vs_minute %.2f ratio\n", day / minute);
    // Beyond a day the drawing is saturated: a week costs what a day costs.
    std::printf("graph_tick_week_us %.1f us\n", week);
    return 0;
}

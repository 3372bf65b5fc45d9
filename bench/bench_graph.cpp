// Cost of one preview graph tick after a minute, ten minutes, a day and a
// week of points. A tick copies the values, appends them to both traces,
// updates the chart and lets the shown window repaint all of itself.
//
// A minute does not fill the plot: it draws one point per value, fewer than
// the plot has pixel columns. Ten minutes already draw as many points as a
// day (two per column, the extremes of each), so "day vs ten minutes"
// compares runs drawn alike and carries the target: it shows what the
// length of a run alone costs. "Day vs minute" also counts the fuller
// drawing and is printed for information. A short run moves the time axis
// on every tick, which lays the chart out again; a long one moves it once
// in hundreds of ticks, so a day may well cost less than ten minutes. The
// cases are measured in turns, so load from other work on the machine
// falls on all of them alike.
//
// Sanity check (exit status 1): every case draws at least nine tenths of
// the points its length calls for (one per value up to two per pixel
// column, both traces).

#include "GraphWindow.h"
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
#include <numeric>
#include <vector>

namespace {

constexpr int kMinute = 60;
constexpr int kTenMinutes = 600;
constexpr int kDay = 86400;
constexpr int kWeek = 7 * kDay;
constexpr int kWarmUpTicks = 5;
constexpr int kMeasuredTicks = 300;

/// Noisy sample values spanning the whole scale, so every case draws busy
/// traces and the comparison measures their length alone.
void setSample(LiveModel &live, int second)
{
    const quint32 noise = quint32(second) * 2654435761u;
    live.inp1Actual = QString::number(200.0 + 150.0 * std::sin(second / 5.0) + (noise % 50), 'f', 1);
    live.inp2Actual = QString::number(8.0 + 5.0 * std::cos(second / 7.0) + (noise >> 28) / 8.0, 'f', 2);
    live.sampleTime = QString::number(second);
}

void tickAndPaint(GraphWindow &graph)
{
    graph.tick();
    QCoreApplication::processEvents();
    graph.repaint();
}

/// One shown graph window whose traces are kept near a given length.
class Case
{
public:
    Case(const char *name, int points) : m_name(name), m_points(points) { refill(); }

    /// Measures one tick; the window is rebuilt first when the measured
    /// ticks have lengthened its traces by more than a tenth.
    void measureTick()
    {
        if (m_second - m_points > std::max(5, m_points / 10))
            refill();
        setSample(m_live, m_second++);
        QElapsedTimer clock;
        clock.start();
        tickAndPaint(*m_graph);
        m_costs.push_back(double(clock.nsecsElapsed()) / 1000.0);
    }

    double median() const
    {
        std::vector<double> sorted = m_costs;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        return sorted[sorted.size() / 2];
    }
    double mean() const
    {
        return std::accumulate(m_costs.begin(), m_costs.end(), 0.0) / double(m_costs.size());
    }
    /// Points the chart must draw at least: both traces, one per value
    /// up to two per pixel column of the plot, less a tenth.
    qsizetype expectedPoints() const
    {
        const qsizetype columns = m_graph->chart()->plotArea().width();
        return 2 * std::min<qsizetype>(m_points, 2 * columns) * 9 / 10;
    }
    bool drawsEnough() const
    {
        if (drawnPoints() >= expectedPoints())
            return true;
        std::fprintf(stderr, "the %s case draws %lld points, at least %lld expected\n", m_name,
                     qint64(drawnPoints()), qint64(expectedPoints()));
        return false;
    }
    qsizetype drawnPoints() const
    {
        return m_graph->chart()->drawnPoints(1).size() + m_graph->chart()->drawnPoints(2).size();
    }
    void print() const
    {
        std::printf("graph_tick_%s_us %.1f us\n", m_name, median());
        std::printf("graph_tick_%s_mean_us %.1f us\n", m_name, mean());
        std::printf("graph_drawn_points_%s %lld points\n", m_name, qint64(drawnPoints()));
    }

private:
    /// A fresh window whose traces hold m_points values once warmed up; the
    /// filling goes straight to the chart, the ticks take the full path.
    void refill()
    {
        m_graph.reset();
        SensorTargets targets;
        targets.setGraphCaption1 = [this](const QString &s) { m_scales.graphCaption1 = s; };
        targets.setGraphCaption2 = [this](const QString &s) { m_scales.graphCaption2 = s; };
        sensorSelection(QStringLiteral("SR1 05"), QStringLiteral("SR2 41"), m_ranges, targets);
        m_graph = std::make_unique<GraphWindow>(m_live, m_ranges, m_scales, Language::Other);
        GraphWindow *graph = m_graph.get();
        graph->prepare();
        graph->tickTimer()->stop(); // ticks are driven by hand
        graph->show();

        StripChart *chart = graph->chart();
        for (m_second = 0; m_second < m_points - kWarmUpTicks; ++m_second) {
            setSample(m_live, m_second);
            chart->append(1, rules::toInt32(rules::leadingNumber(m_live.inp1Actual)).value_or(0));
            chart->append(2, rules::toInt32(rules::leadingNumber(m_live.inp2Actual)).value_or(0));
        }
        for (int i = 0; i < kWarmUpTicks; ++i) {
            setSample(m_live, m_second++);
            tickAndPaint(*graph);
        }
    }

    const char *m_name;
    int m_points;
    int m_second = 0;
    LiveModel m_live;
    SensorRanges m_ranges;
    SensorScales m_scales;
    std::unique_ptr<GraphWindow> m_graph;
    std::vector<double> m_costs;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Case minute("minute", kMinute);
    Case tenMinutes("ten_minutes", kTenMinutes);
    Case day("day", kDay);
    Case week("week", kWeek);
    const std::vector<Case *> cases{&minute, &tenMinutes, &day, &week};

    for (int i = 0; i < kMeasuredTicks; ++i) {
        for (Case *c : cases)
            c->measureTick();
    }

    bool sane = true;
    for (const Case *c : cases) {
        c->print();
        sane = c->drawsEnough() && sane;
    }
    std::printf("graph_tick_ratio_day_vs_ten_minutes %.2f ratio\n", day.median() / tenMinutes.median());
    std::printf("graph_tick_ratio_day_vs_minute %.2f ratio\n", day.median() / minute.median());
    // Beyond a day the drawing is saturated: a week costs what a day costs.
    std::printf("graph_tick_ratio_week_vs_day %.2f ratio\n", week.median() / day.median());
    return sane ? 0 : 1;
}

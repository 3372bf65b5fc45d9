#pragma once
// Two-trace strip chart: each trace has its own value range, values are
// appended one at a time and drawn on request. It keeps every value of the
// run, but hands the chart a bounded summary of them, so drawing a day-long
// run costs no more than drawing a minute. Trace 1 is drawn blue, trace 2 red.

#include <QList>
#include <QPointF>
#include <QRect>
#include <QWidget>
#include <memory>

class StripChart : public QWidget
{
    Q_OBJECT

public:
    /// Most min/max buckets a trace is drawn from; each bucket draws at most
    /// two points.
    static constexpr int MaxBuckets = 1000;

    explicit StripChart(QWidget *parent = nullptr);
    ~StripChart() override;

    /// The value range of trace 1 or 2; other trace numbers are ignored.
    void setRange(int trace, qint16 bottom, qint16 top);

    /// Appends `value` to trace 1 or 2; other trace numbers are ignored.
    /// Nothing is drawn until updateChart().
    void append(int trace, qint32 value);
    /// Redraws both traces from their summaries, the x axis spanning the run.
    void updateChart();

    /// Number of values appended to `trace` (0 for an unknown trace).
    int pointCount(int trace) const;
    /// The value appended at `index` (0-based, below pointCount()) to trace 1 or 2.
    qint32 value(int trace, int index) const;
    /// Top and bottom of the value range of `trace` as set (0 for an unknown trace).
    qint16 top(int trace) const;
    qint16 bottom(int trace) const;
    /// The points drawn for `trace` as of the last updateChart(): per bucket
    /// its smallest and largest value at their own x, in time order, thinned
    /// to the extremes per pixel column where the plot is narrower.
    QList<QPointF> drawnPoints(int trace) const;
    /// Bytes held for both traces' values and summaries.
    qsizetype storedBytes() const;
    /// Where the values are plotted, in this widget's coordinates: the top
    /// edge is the top of each trace's range, the bottom edge its bottom.
    /// Empty until the chart has been laid out (see plotAreaChanged()).
    QRect plotArea() const;

    /// Rows of the value grid across the plot, top down, in this widget's
    /// coordinates: from the top of the plot area to its bottom, evenly
    /// apart. Empty until the chart has been laid out.
    QList<int> gridRows() const;

signals:
    /// The plot area moved or changed size (see plotArea()), e.g. on the
    /// first layout, so scales drawn beside the chart can follow it.
    void plotAreaChanged(const QRect &area);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

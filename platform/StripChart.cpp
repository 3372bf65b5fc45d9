#include "StripChart.h"

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <vector>

namespace {

/// Smallest and largest value of a run of consecutive values, with where
/// they occurred, so the summary draws them in time order.
struct Bucket
{
    qint32 min, max;
    qint32 minAt, maxAt;
};

Bucket merged(const Bucket &a, const Bucket &b)
{
    Bucket m = a;
    if (b.min < a.min) { m.min = b.min; m.minAt = b.minAt; }
    if (b.max > a.max) { m.max = b.max; m.maxAt = b.maxAt; }
    return m;
}

/// All values of one trace plus a summary of at most MaxBuckets buckets of
/// equal width. When the summary outgrows its limit, neighbouring buckets
/// are merged and the width doubles, so appending stays O(1) amortised and
/// the summary stays small however long the run.
class Trace
{
public:
    void append(qint32 value)
    {
        const qint32 at = qint32(m_values.size());
        m_values.push_back(value);
        if (at / m_width == qint32(m_buckets.size())) {
            m_buckets.push_back({value, value, at, at});
        } else {
            m_buckets.back() = merged(m_buckets.back(), {value, value, at, at});
        }
        if (qsizetype(m_buckets.size()) > StripChart::MaxBuckets)
            halve();
    }

    /// Each bucket's extremes in time order: at most two points per bucket.
    QList<QPointF> points() const
    {
        QList<QPointF> out;
        out.reserve(qsizetype(m_buckets.size()) * 2);
        for (const Bucket &b : m_buckets) {
            if (b.minAt == b.maxAt) {
                out.append(QPointF(b.minAt, b.min));
            } else if (b.minAt < b.maxAt) {
                out.append(QPointF(b.minAt, b.min));
                out.append(QPointF(b.maxAt, b.max));
            } else {
                out.append(QPointF(b.maxAt, b.max));
                out.append(QPointF(b.minAt, b.min));
            }
        }
        return out;
    }

    int count() const { return int(m_values.size()); }
    qint32 at(int index) const { return m_values.at(size_t(index)); }
    qsizetype bytes() const
    {
        return qsizetype(m_values.capacity() * sizeof(qint32)
                         + m_buckets.capacity() * sizeof(Bucket));
    }

private:
    void halve()
    {
        std::vector<Bucket> wider;
        wider.reserve(m_buckets.size() / 2 + 1);
        for (size_t i = 0; i < m_buckets.size(); i += 2) {
            wider.push_back(i + 1 < m_buckets.size() ? merged(m_buckets[i], m_buckets[i + 1])
                                                     : m_buckets[i]);
        }
        m_buckets.swap(wider);
        m_width *= 2;
    }

    std::vector<qint32> m_values;
    std::vector<Bucket> m_buckets;
    qint32 m_width = 1;
};

/// Top and bottom as set; the axis gets them in ascending order and never
/// an empty range (a scale of 0 to 0 before any sensor matched).
struct Range
{
    qint16 top = 100;
    qint16 bottom = 0;

    void applyTo(QValueAxis *axis) const
    {
        const int low = std::min(top, bottom);
        const int high = std::max(top, bottom);
        axis->setRange(low, high > low ? high : low + 1);
    }
};

} // namespace

struct StripChart::Private
{
    std::array<Trace, 2> traces;
    std::array<Range, 2> ranges;
    std::array<QLineSeries *, 2> series{};
    std::array<QValueAxis *, 2> yAxes{};
    QValueAxis *xAxis = nullptr;
    QChart *chart = nullptr;
    QChartView *view = nullptr;

    static int index(int trace) { return trace == 1 || trace == 2 ? trace - 1 : -1; }
};

StripChart::StripChart(QWidget *parent)
    : QWidget(parent), d(std::make_unique<Private>())
{
    d->chart = new QChart;
    d->chart->legend()->hide();
    d->chart->setMargins(QMargins(2, 2, 2, 2));
    d->chart->setBackgroundRoundness(0);

    d->xAxis = new QValueAxis;
    d->xAxis->setLabelFormat(QStringLiteral("%d"));
    QFont small = d->xAxis->labelsFont();
    small.setPointSize(7);
    d->xAxis->setLabelsFont(small);
    d->xAxis->setRange(0, 1);
    d->chart->addAxis(d->xAxis, Qt::AlignBottom);

    const std::array<QColor, 2> colours{QColor(Qt::blue), QColor(Qt::red)};
    const std::array<Qt::Alignment, 2> sides{Qt::AlignLeft, Qt::AlignRight};
    for (int i = 0; i < 2; ++i) {
        auto *series = new QLineSeries;
        series->setPen(QPen(colours[i], 1));
        d->chart->addSeries(series);

        // The scale captions beside the chart carry the tick values; the
        // axes keep only the grid of eleven ticks (trace 1's).
        auto *axis = new QValueAxis;
        axis->setTickCount(11);
        axis->setLabelsVisible(false);
        axis->setGridLineVisible(i == 0);
        axis->setLinePenColor(colours[i]);
        d->ranges[i].applyTo(axis);
        d->chart->addAxis(axis, sides[i]);

        series->attachAxis(d->xAxis);
        series->attachAxis(axis);
        d->series[i] = series;
        d->yAxes[i] = axis;
    }

    d->view = new QChartView(d->chart, this);
    d->view->setFrameShape(QFrame::NoFrame);
    d->view->setRenderHint(QPainter::Antialiasing, false);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->view);

    connect(d->chart, &QChart::plotAreaChanged, this, [this] { emit plotAreaChanged(plotArea()); });
}

StripChart::~StripChart() = default;

void StripChart::setTop1(qint16 top)
{
    d->ranges[0].top = top;
    d->ranges[0].applyTo(d->yAxes[0]);
}

void StripChart::setTop2(qint16 top)
{
    d->ranges[1].top = top;
    d->ranges[1].applyTo(d->yAxes[1]);
}

void StripChart::setBottom1(qint16 bottom)
{
    d->ranges[0].bottom = bottom;
    d->ranges[0].applyTo(d->yAxes[0]);
}

void StripChart::setBottom2(qint16 bottom)
{
    d->ranges[1].bottom = bottom;
    d->ranges[1].applyTo(d->yAxes[1]);
}

void StripChart::append(int trace, qint32 value)
{
    const int i = Private::index(trace);
    if (i >= 0)
        d->traces[i].append(value);
}

void StripChart::updateChart()
{
    int longest = 0;
    for (int i = 0; i < 2; ++i) {
        d->series[i]->replace(d->traces[i].points());
        longest = std::max(longest, d->traces[i].count());
    }
    d->xAxis->setRange(0, std::max(1, longest - 1));
}

int StripChart::pointCount(int trace) const
{
    const int i = Private::index(trace);
    return i >= 0 ? d->traces[i].count() : 0;
}

qint32 StripChart::value(int trace, int index) const
{
    const int i = Private::index(trace);
    Q_ASSERT(i >= 0 && index >= 0 && index < d->traces[i].count());
    return d->traces[i].at(index);
}

qint16 StripChart::top(int trace) const
{
    const int i = Private::index(trace);
    return i >= 0 ? d->ranges[i].top : qint16(0);
}

qint16 StripChart::bottom(int trace) const
{
    const int i = Private::index(trace);
    return i >= 0 ? d->ranges[i].bottom : qint16(0);
}

QList<QPointF> StripChart::drawnPoints(int trace) const
{
    const int i = Private::index(trace);
    return i >= 0 ? d->series[i]->points() : QList<QPointF>();
}

QRect StripChart::plotArea() const
{
    // The view keeps its scene the size of its viewport with the chart at
    // the origin, so scene coordinates are viewport coordinates.
    const QRect inViewport = d->chart->mapRectToScene(d->chart->plotArea()).toRect();
    return inViewport.translated(d->view->viewport()->mapTo(this, QPoint(0, 0)));
}

qsizetype StripChart::storedBytes() const
{
    return d->traces[0].bytes() + d->traces[1].bytes();
}

#include "StripChart.h"

#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <QtMath>

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
/// the summary stays small however long the run. The revision counts the
/// changes of the summary, so an unchanged one is not handed over again.
class Trace
{
public:
    void append(qint32 value)
    {
        const qint32 at = qint32(m_values.size());
        m_values.push_back(value);
        const Bucket single{value, value, at, at};
        if (at / m_width == qint32(m_buckets.size())) {
            m_buckets.push_back(single);
            ++m_revision;
        } else {
            Bucket &last = m_buckets.back();
            if (value < last.min || value > last.max) {
                last = merged(last, single);
                ++m_revision;
            }
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
    qsizetype bucketCount() const { return qsizetype(m_buckets.size()); }
    qint32 at(int index) const { return m_values.at(size_t(index)); }
    quint64 revision() const { return m_revision; }
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
        ++m_revision;
    }

    std::vector<qint32> m_values;
    std::vector<Bucket> m_buckets;
    qint32 m_width = 1;
    quint64 m_revision = 0;
};

/// A summary reduced to its extremes per pixel column, in time order.
/// Long runs hold more buckets than the plot has columns; handing them all
/// to the chart would draw every column several times over.
QList<QPointF> extremesPerColumn(const QList<QPointF> &line, double pixelsPerX)
{
    QList<QPointF> out;
    out.reserve(line.size());
    qsizetype i = 0;
    while (i < line.size()) {
        const qint64 column = qint64(line.at(i).x() * pixelsPerX);
        qsizetype lowAt = i, highAt = i;
        for (++i; i < line.size() && qint64(line.at(i).x() * pixelsPerX) == column; ++i) {
            if (line.at(i).y() < line.at(lowAt).y()) lowAt = i;
            if (line.at(i).y() > line.at(highAt).y()) highAt = i;
        }
        out.append(line.at(std::min(lowAt, highAt)));
        if (lowAt != highAt)
            out.append(line.at(std::max(lowAt, highAt)));
    }
    return out;
}

/// Top and bottom as set. The axis shows `top` at the top edge even when it
/// is below `bottom`, and never gets an empty range (a scale of 0 to 0
/// before any sensor matched draws its values along the bottom edge).
struct Range
{
    qint16 top = 100;
    qint16 bottom = 0;

    void applyTo(QValueAxis *axis) const
    {
        const double low = std::min(top, bottom);
        const double high = top == bottom ? low + 1 : std::max(top, bottom);
        axis->setRange(low, high);
        axis->setReverse(top < bottom);
    }
};

/// Right end of a time axis that spans `lastX`. A changed axis makes the
/// chart lay itself out again, so it grows in steps of at least a minute
/// (at one point a second) and of one to two pixel columns' worth once the
/// run is long: the axis changes at most once a minute, and a long run's
/// traces end within two columns of the right edge.
qint64 timeAxisEnd(qint64 lastX, double plotWidth)
{
    if (plotWidth < 1)
        return lastX;
    qint64 step = 60;
    while (double(step) * plotWidth < double(lastX))
        step *= 2;
    return (lastX + step - 1) / step * step;
}

const std::array<QColor, 2> kTraceColours{QColor(Qt::blue), QColor(Qt::red)};
constexpr int kScaleTicks = 11; // as many grid lines as the scale captions have values
constexpr int kTimeTicks = 5;

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

    /// Summary revision each series was last given, and whether it was
    /// thinned then (a thinned summary also changes with the time axis).
    std::array<quint64, 2> handedRevision{~quint64(0), ~quint64(0)};
    std::array<bool, 2> thinned{};
    qint64 axisEnd = 0; ///< right end of the time axis
    bool areaReportDue = false; ///< plotAreaChanged() is queued

    static int index(int trace) { return trace == 1 || trace == 2 ? trace - 1 : -1; }

    void buildChart(const QFont &font);
    void handOver(int i, double pixelsPerX);
    void handOverAll();
};

void StripChart::Private::buildChart(const QFont &font)
{
    chart = new QChart;
    chart->legend()->hide();
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundRoundness(0);
    chart->setDropShadowEnabled(false);
    chart->setMargins(QMargins(2, 4, 2, 2));
    chart->layout()->setContentsMargins(0, 0, 0, 0);

    xAxis = new QValueAxis;
    xAxis->setLabelFormat(QStringLiteral("%d"));
    xAxis->setLabelsFont(font);
    xAxis->setTickCount(kTimeTicks);
    xAxis->setRange(0, 1);
    chart->addAxis(xAxis, Qt::AlignBottom);

    // The scale captions beside the chart carry the values, so the value
    // axes show no labels: trace 1's axis on the left draws the grid, trace
    // 2's on the right only its line, each in its trace's colour.
    const std::array<Qt::Alignment, 2> sides{Qt::AlignLeft, Qt::AlignRight};
    for (int i = 0; i < 2; ++i) {
        auto *trace = new QLineSeries;
        trace->setPen(QPen(kTraceColours[i], 1));
        chart->addSeries(trace);

        auto *axis = new QValueAxis;
        axis->setTickCount(kScaleTicks);
        axis->setLabelsVisible(false);
        axis->setGridLineVisible(i == 0);
        axis->setLinePenColor(kTraceColours[i]);
        ranges[i].applyTo(axis);
        chart->addAxis(axis, sides[i]);

        trace->attachAxis(xAxis);
        trace->attachAxis(axis);
        series[i] = trace;
        yAxes[i] = axis;
    }
}

/// Gives series `i` its summary in one replace, thinned to the plot's pixel
/// columns where it has more buckets than the plot has columns. Skipped
/// while what it would be given equals what it holds.
void StripChart::Private::handOver(int i, double pixelsPerX)
{
    const Trace &trace = traces[i];
    const bool thin = pixelsPerX > 0 && trace.bucketCount() > qint64(pixelsPerX * axisEnd) + 1;
    if (!thin && !thinned[i] && trace.revision() == handedRevision[i])
        return;
    QList<QPointF> points = trace.points();
    if (thin)
        points = extremesPerColumn(points, pixelsPerX);
    handedRevision[i] = trace.revision();
    thinned[i] = thin;
    // Most ticks of a long run leave every column's extremes as they were.
    if (points != series[i]->points())
        series[i]->replace(points);
}

void StripChart::Private::handOverAll()
{
    if (axisEnd == 0)
        return; // nothing appended and updated yet
    // Before the first layout the plot has no width yet: nothing to thin for.
    const double pixelsPerX = chart->plotArea().width() / double(axisEnd);
    for (int i = 0; i < 2; ++i)
        handOver(i, pixelsPerX);
}

StripChart::StripChart(QWidget *parent)
    : QWidget(parent), d(std::make_unique<Private>())
{
    QFont small = font();
    small.setPointSize(7);
    setFont(small);
    d->buildChart(small);

    d->view = new QChartView(d->chart, this);
    d->view->setFrameShape(QFrame::NoFrame);
    d->view->setRenderHint(QPainter::Antialiasing, false);
    d->view->setRenderHint(QPainter::TextAntialiasing, true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(d->view);

    // The plot usually narrows once the time labels of a longer run are laid
    // out; the summaries are thinned again for the columns it has now.
    connect(d->chart, &QChart::plotAreaChanged, this, [this] {
        d->handOverAll();
        // Reported once the view has fitted its scene to the chart's new
        // size: until then the plot area maps to where it was drawn before.
        if (d->areaReportDue)
            return;
        d->areaReportDue = true;
        QMetaObject::invokeMethod(this, [this] {
            d->areaReportDue = false;
            emit plotAreaChanged(plotArea());
        }, Qt::QueuedConnection);
    });
}

StripChart::~StripChart() = default;

void StripChart::setRange(int trace, qint16 bottom, qint16 top)
{
    const int i = Private::index(trace);
    if (i < 0)
        return;
    d->ranges[i].bottom = bottom;
    d->ranges[i].top = top;
    d->ranges[i].applyTo(d->yAxes[i]);
}

void StripChart::append(int trace, qint32 value)
{
    const int i = Private::index(trace);
    if (i >= 0)
        d->traces[i].append(value);
}

void StripChart::updateChart()
{
    const int longest = std::max(d->traces[0].count(), d->traces[1].count());
    const double plotWidth = d->chart->plotArea().width();
    const qint64 end = timeAxisEnd(std::max(1, longest - 1), plotWidth);
    if (end != d->axisEnd) {
        d->axisEnd = end;
        d->xAxis->setRange(0, double(end));
    }
    d->handOverAll();
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
    const QRectF area = d->chart->plotArea();
    if (area.isEmpty())
        return QRect();
    // Corners as the pixels a one-pixel line along each edge lights up, so
    // the top and bottom rows are where the ends of each range are drawn.
    const QRectF inViewport = d->view->viewportTransform().mapRect(d->chart->mapRectToScene(area));
    const QPoint offset = d->view->viewport()->mapTo(this, QPoint(0, 0));
    return QRect(QPoint(qFloor(inViewport.left()), qFloor(inViewport.top())),
                 QPoint(qFloor(inViewport.right()), qFloor(inViewport.bottom())))
        .translated(offset);
}

QList<int> StripChart::gridRows() const
{
    const QRectF area = d->chart->plotArea();
    if (area.isEmpty())
        return {};
    // The lines as the value axis lays them out, up from the bottom edge,
    // and as pixel rows the way plotArea() takes its edges.
    const QTransform toViewport = d->view->viewportTransform();
    const QPoint offset = d->view->viewport()->mapTo(this, QPoint(0, 0));
    const int lines = d->yAxes[0]->tickCount();
    const qreal step = area.height() / qreal(lines - 1);
    QList<int> rows(lines);
    for (int i = 0; i < lines; ++i) {
        const QPointF inScene = d->chart->mapToScene(QPointF(area.left(), area.bottom() - i * step));
        rows[lines - 1 - i] = qFloor(toViewport.map(inScene).y()) + offset.y();
    }
    return rows;
}

qsizetype StripChart::storedBytes() const
{
    return d->traces[0].bytes() + d->traces[1].bytes();
}

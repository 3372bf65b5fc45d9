#include "StripChart.h"

#include <QPainter>
#include <QPaintEvent>

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

/// Top and bottom as set, and the value span drawn from them: ascending
/// and never empty (a scale of 0 to 0 before any sensor matched).
struct Range
{
    qint16 top = 100;
    qint16 bottom = 0;

    double low() const { return std::min(top, bottom); }
    double high() const { return top == bottom ? low() + 1 : std::max(top, bottom); }
};

/// A polyline reduced to its extremes per pixel column, in time order.
/// Summaries of long runs hold more points than the plot has columns;
/// drawing them all would paint every column many times over.
QPolygonF extremesPerColumn(const QPolygonF &line)
{
    QPolygonF out;
    out.reserve(line.size());
    qsizetype i = 0;
    while (i < line.size()) {
        const int column = int(line.at(i).x());
        QPointF low = line.at(i), high = line.at(i);
        qsizetype lowAt = i, highAt = i;
        for (++i; i < line.size() && int(line.at(i).x()) == column; ++i) {
            if (line.at(i).y() > low.y()) { low = line.at(i); lowAt = i; }
            if (line.at(i).y() < high.y()) { high = line.at(i); highAt = i; }
        }
        out.append(lowAt <= highAt ? low : high);
        if (lowAt != highAt)
            out.append(lowAt <= highAt ? high : low);
    }
    return out;
}

const std::array<QColor, 2> kTraceColours{QColor(Qt::blue), QColor(Qt::red)};
constexpr int kScaleTicks = 11; // as many grid lines as the scale captions have values
constexpr int kTimeTicks = 5;

} // namespace

struct StripChart::Private
{
    std::array<Trace, 2> traces;
    std::array<Range, 2> ranges;
    std::array<QList<QPointF>, 2> drawn; ///< summaries as of the last update
    int lastX = 1;                       ///< right end of the time axis
    QRect plotArea;

    static int index(int trace) { return trace == 1 || trace == 2 ? trace - 1 : -1; }

    QPointF toPixel(const QPointF &p, const Range &range) const
    {
        const double x = plotArea.left() + p.x() * (plotArea.width() - 1) / lastX;
        const double share = (p.y() - range.low()) / (range.high() - range.low());
        return QPointF(x, plotArea.bottom() - share * (plotArea.height() - 1));
    }
};

StripChart::StripChart(QWidget *parent)
    : QWidget(parent), d(std::make_unique<Private>())
{
    QFont small = font();
    small.setPointSize(7);
    setFont(small);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

StripChart::~StripChart() = default;

void StripChart::setTop1(qint16 top)
{
    d->ranges[0].top = top;
    update();
}

void StripChart::setTop2(qint16 top)
{
    d->ranges[1].top = top;
    update();
}

void StripChart::setBottom1(qint16 bottom)
{
    d->ranges[0].bottom = bottom;
    update();
}

void StripChart::setBottom2(qint16 bottom)
{
    d->ranges[1].bottom = bottom;
    update();
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
        d->drawn[i] = d->traces[i].points();
        longest = std::max(longest, d->traces[i].count());
    }
    d->lastX = std::max(1, longest - 1);
    update();
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
    return i >= 0 ? d->drawn[i] : QList<QPointF>();
}

QRect StripChart::plotArea() const
{
    // Room for the time labels below, a small margin elsewhere.
    const int labelHeight = fontMetrics().height();
    return rect().adjusted(4, 4 + labelHeight / 2, -4, -(6 + labelHeight));
}

qsizetype StripChart::storedBytes() const
{
    return d->traces[0].bytes() + d->traces[1].bytes();
}

void StripChart::resizeEvent(QResizeEvent *)
{
    const QRect area = plotArea();
    if (area != d->plotArea) {
        d->plotArea = area;
        emit plotAreaChanged(area);
    }
}

void StripChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRect area = d->plotArea = plotArea();
    if (area.width() < 2 || area.height() < 2)
        return;

    // Grid: one line per scale value, a few time marks along the bottom.
    painter.setPen(QColor(220, 220, 220));
    for (int i = 0; i < kScaleTicks; ++i) {
        const int y = area.top() + i * (area.height() - 1) / (kScaleTicks - 1);
        painter.drawLine(area.left(), y, area.right(), y);
    }
    const QFontMetrics metrics = fontMetrics();
    for (int i = 0; i < kTimeTicks; ++i) {
        const int x = area.left() + i * (area.width() - 1) / (kTimeTicks - 1);
        painter.setPen(QColor(220, 220, 220));
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.setPen(Qt::darkGray);
        const QString mark = QString::number(qint64(i) * d->lastX / (kTimeTicks - 1));
        const int textWidth = metrics.horizontalAdvance(mark);
        const int left = std::clamp(x - textWidth / 2, 0, width() - textWidth);
        painter.drawText(left, area.bottom() + 4 + metrics.ascent(), mark);
    }
    painter.setPen(Qt::gray);
    painter.drawRect(area.adjusted(0, 0, -1, -1));

    // Traces, clipped to the plot like values beyond the scale.
    painter.setClipRect(area);
    for (int i = 0; i < 2; ++i) {
        const QList<QPointF> &points = d->drawn[i];
        QPolygonF line;
        line.reserve(points.size());
        for (const QPointF &p : points)
            line.append(d->toPixel(p, d->ranges[i]));
        if (line.size() > 2 * area.width())
            line = extremesPerColumn(line);
        QPen pen(kTraceColours[i], 1);
        pen.setCosmetic(true); // one pixel wide, drawn without the stroker
        painter.setPen(pen);
        if (line.size() == 1)
            painter.drawPoint(line.first());
        else
            painter.drawPolyline(line);
    }
}

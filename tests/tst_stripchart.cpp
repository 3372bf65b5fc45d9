// Strip chart drawing: what reaches the chart's series and where it lands
// on screen, with the chart shown and laid out on the offscreen platform.

#include "StripChart.h"

#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLineSeries>
#include <QSignalSpy>
#include <QValueAxis>
#include <QtTest>

namespace {

/// A shown chart of the graph window's size, laid out so its plot area is known.
struct ShownChart
{
    StripChart chart;

    ShownChart()
    {
        chart.resize(325, 268);
        chart.show();
        settle();
    }

    void settle()
    {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    QChart *qchart() const { return chart.findChild<QChartView *>()->chart(); }
    QLineSeries *series(int trace) const
    {
        return static_cast<QLineSeries *>(qchart()->series().at(trace - 1));
    }
    QValueAxis *timeAxis() const
    {
        return static_cast<QValueAxis *>(qchart()->axes(Qt::Horizontal).constFirst());
    }
};

/// Whether any pixel of `row` inside `area` has `colour`, leaving out the
/// axis lines along the left and right edges (drawn in the traces' colours).
bool rowHasColour(const QImage &image, int row, const QRect &area, const QColor &colour)
{
    for (int x = area.left() + 2; x <= area.right() - 2; ++x) {
        if (image.pixelColor(x, row) == colour)
            return true;
    }
    return false;
}

} // namespace

class TestStripChart : public QObject
{
    Q_OBJECT

private slots:
    void rangeEndsAreDrawnOnThePlotAreaEdges_data();
    void rangeEndsAreDrawnOnThePlotAreaEdges();
    void plotAreaFollowsResize();
    void longRunIsThinnedToTheExtremesOfEachPixelColumn();
    void seriesIsReplacedOnceAndOnlyWhenTheSummaryChanged();
    void timeAxisCoversTheRunToWithinTwoColumns_data();
    void timeAxisCoversTheRunToWithinTwoColumns();
    void timeAxisChangesAtMostOnceAMinute();
};

void TestStripChart::rangeEndsAreDrawnOnThePlotAreaEdges_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("atTop");    // value expected on the top edge
    QTest::addColumn<int>("atBottom"); // value expected on the bottom edge

    QTest::newRow("ascending") << 400 << 0 << 400 << 0;
    QTest::newRow("negative bottom") << 16 << -16 << 16 << -16;
    QTest::newRow("reversed") << -5 << 10 << -5 << 10;
    // Before any sensor matched both ends are 0: values of 0 lie on the bottom.
    QTest::newRow("empty") << 0 << 0 << 1 << 0;
}

void TestStripChart::rangeEndsAreDrawnOnThePlotAreaEdges()
{
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(int, atTop);
    QFETCH(int, atBottom);
    ShownChart shown;
    StripChart &chart = shown.chart;
    chart.setRange(1, qint16(bottom), qint16(top));
    chart.setRange(2, qint16(bottom), qint16(top));
    for (int i = 0; i < 20; ++i) {
        chart.append(1, atTop);
        chart.append(2, atBottom);
    }
    chart.updateChart();
    shown.settle();

    // The scales beside the chart are aligned to these rows.
    const QRect area = chart.plotArea();
    QVERIFY(!area.isEmpty());
    QVERIFY(chart.rect().contains(area));
    const QImage image = chart.grab().toImage();
    QVERIFY(rowHasColour(image, area.top(), area, Qt::blue));
    QVERIFY(rowHasColour(image, area.bottom(), area, Qt::red));
    QVERIFY(!rowHasColour(image, area.top() + 2, area, Qt::blue));
    QVERIFY(!rowHasColour(image, area.bottom() - 2, area, Qt::red));
}

void TestStripChart::plotAreaFollowsResize()
{
    ShownChart shown;
    QSignalSpy moved(&shown.chart, &StripChart::plotAreaChanged);
    const QRect before = shown.chart.plotArea();

    shown.chart.resize(325, 200);
    shown.settle();

    QVERIFY(!moved.isEmpty());
    const QRect after = moved.constLast().at(0).toRect();
    QCOMPARE(after, shown.chart.plotArea());
    QCOMPARE(after.top(), before.top());
    QVERIFY(after.height() < before.height());
}

void TestStripChart::longRunIsThinnedToTheExtremesOfEachPixelColumn()
{
    ShownChart shown;
    StripChart &chart = shown.chart;
    const int day = 86400;
    for (int i = 0; i < day; ++i)
        chart.append(1, i == 50000 ? 900 : (i == 70000 ? -900 : (i * 7919) % 100));
    chart.updateChart();

    const QList<QPointF> drawn = chart.drawnPoints(1);
    QCOMPARE(shown.series(1)->points(), drawn);
    QVERIFY(drawn.size() <= 2 * (chart.plotArea().width() + 2));
    QVERIFY(drawn.size() > chart.plotArea().width()); // still every column
    QVERIFY(drawn.contains(QPointF(50000, 900)));
    QVERIFY(drawn.contains(QPointF(70000, -900)));
    for (qsizetype i = 1; i < drawn.size(); ++i)
        QVERIFY(drawn.at(i - 1).x() < drawn.at(i).x());
}

void TestStripChart::seriesIsReplacedOnceAndOnlyWhenTheSummaryChanged()
{
    ShownChart shown;
    StripChart &chart = shown.chart;
    QSignalSpy replaced1(shown.series(1), &QXYSeries::pointsReplaced);
    QSignalSpy replaced2(shown.series(2), &QXYSeries::pointsReplaced);
    QSignalSpy added(shown.series(1), &QXYSeries::pointAdded);

    for (int i = 0; i < 10; ++i)
        chart.append(1, i);
    chart.updateChart();
    QCOMPARE(replaced1.size(), 1);
    QCOMPARE(replaced2.size(), 0); // trace 2 got no values
    QCOMPARE(chart.drawnPoints(1).size(), 10);

    chart.updateChart();
    QCOMPARE(replaced1.size(), 1);

    // In a long run a value inside its bucket's extremes changes nothing.
    for (int i = 10; i < 20010; ++i)
        chart.append(1, i % 2 ? 100 : -100);
    chart.updateChart();
    QCOMPARE(replaced1.size(), 2);
    chart.append(1, 0);
    chart.updateChart();
    QCOMPARE(replaced1.size(), 2);
    QCOMPARE(added.size(), 0);
}

void TestStripChart::timeAxisCoversTheRunToWithinTwoColumns_data()
{
    QTest::addColumn<int>("values");
    QTest::newRow("one") << 1;
    QTest::newRow("minute") << 60;
    QTest::newRow("hour") << 3600;
    QTest::newRow("day") << 86400;
}

void TestStripChart::timeAxisCoversTheRunToWithinTwoColumns()
{
    QFETCH(int, values);
    ShownChart shown;
    for (int i = 0; i < values; ++i)
        shown.chart.append(2, i);
    shown.chart.updateChart();

    const QValueAxis *axis = shown.timeAxis();
    const double lastX = std::max(1, values - 1);
    QCOMPARE(axis->min(), 0.0);
    QVERIFY(axis->max() >= lastX);
    const double pixelsPerX = shown.qchart()->plotArea().width() / axis->max();
    // Within a minute of points, or two pixel columns once a minute is
    // narrower than that.
    QVERIFY((axis->max() - lastX) * pixelsPerX <= std::max(2.0, 60 * pixelsPerX));
    QVERIFY(axis->max() - lastX < 60 || (axis->max() - lastX) * pixelsPerX <= 2.0);
}

void TestStripChart::timeAxisChangesAtMostOnceAMinute()
{
    ShownChart shown;
    const QValueAxis *axis = shown.timeAxis();
    int changes = 0;
    connect(axis, &QValueAxis::rangeChanged, this, [&changes] { ++changes; });
    for (int second = 0; second < 600; ++second) {
        shown.chart.append(1, second % 100);
        shown.chart.append(2, second % 50);
        shown.chart.updateChart();
    }
    QVERIFY2(changes <= 11, qPrintable(QString::number(changes)));
}

QTEST_MAIN(TestStripChart)
#include "tst_stripchart.moc"

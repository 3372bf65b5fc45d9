// Preview graph window and its strip chart.

#include "GraphWindow.h"
#include "ScaleLabel.h"
#include "SensorSelection.h"
#include "StripChart.h"
#include "WindowPlacement.h"

#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QtTest>

namespace {

/// A graph window with the ranges, captions and language it reads, as the
/// measurement keeps them.
struct GraphFixture
{
    LiveModel live;
    SensorRanges ranges;
    SensorScales scales;
    QString language;
    QPointer<GraphWindow> graph;

    /// Runs the real sensor selection, as the measurement does after the
    /// header read, then creates the window and readies it.
    void prepare(const QString &sr1 = QStringLiteral("SR1 05"), const QString &sr2 = QStringLiteral("SR2 41"))
    {
        SensorTargets targets;
        targets.setGraphCaption1 = [this](const QString &s) { scales.graphCaption1 = s; };
        targets.setGraphCaption2 = [this](const QString &s) { scales.graphCaption2 = s; };
        sensorSelection(sr1, sr2, ranges, targets);
        graph = new GraphWindow(live, ranges, scales, languageFromText(language));
        graph->prepare();
    }
    ~GraphFixture() { delete graph; }
};

} // namespace

class TestGraph : public QObject
{
    Q_OBJECT

private slots:
    void controlsCarryTheirCaptionsAndSizes();
    void loadShowsTheSelectedScales();
    void loadCaptionFollowsTheLanguage_data();
    void loadCaptionFollowsTheLanguage();
    void tickPlotsTheShownValuesRounded_data();
    void tickPlotsTheShownValuesRounded();
    void tickWritesTheTimeLine();
    void closingDeletesTheWindowAndItsTraces();
    void windowOpensBesideTheMainWindowOnTheScreen_data();
    void windowOpensBesideTheMainWindowOnTheScreen();
    void placementLeavesThePanelsFree_data();
    void placementLeavesThePanelsFree();
    void scaleValuesStandOnTheGridLines_data();
    void scaleValuesStandOnTheGridLines();
    void chartKeepsADayAndDrawsABoundedSummary();
    void chartSummaryKeepsSpikesInTimeOrder();
    void chartRangeIsNeverEmpty();
};

void TestGraph::controlsCarryTheirCaptionsAndSizes()
{
    GraphFixture f;
    f.graph = new GraphWindow(f.live, f.ranges, f.scales, languageFromText(f.language));
    GraphWindow *g = f.graph;

    struct Expected { const char *name; QString caption; QSize size; };
    const Expected labels[] = {
        {"inp1ScaleCaption", QStringLiteral("10000"), {37, 286}},
        {"inp2ScaleCaption", QStringLiteral("10000              "), {37, 286}},
        {"inp1ScaleUnit", QStringLiteral("1"), {31, 16}},
        {"inp2ScaleUnit", QStringLiteral("2"), {37, 13}},
        {"sampleTimeLine", QStringLiteral("*"), {292, 13}},
        {"inp1ValueLead", QStringLiteral("INP 1  ACT = "), {85, 16}},
        {"inp1Value", QStringLiteral("999,9"), {37, 16}},
        {"inp1ValueUnit", QString(), {58, 16}},
        {"inp2ValueLead", QStringLiteral("INP 2  ACT ="), {82, 16}},
        {"inp2Value", QStringLiteral("999,9"), {37, 19}},
        {"inp2ValueUnit", QString(), {67, 16}},
    };
    for (const Expected &e : labels) {
        auto *label = g->findChild<QLabel *>(QLatin1String(e.name));
        QVERIFY2(label, e.name);
        QCOMPARE(label->text(), e.caption);
        QCOMPARE(label->size(), e.size);
        QVERIFY(label->wordWrap());
    }
    QCOMPARE(g->inp2ScaleCaption()->text().size(), 19);
    QCOMPARE(g->findChild<StripChart *>(QStringLiteral("chart")), g->chart());
    QCOMPARE(g->chart()->size(), QSize(325, 268));
    QCOMPARE(g->chartFrame()->size(), QSize(337, 286));
    QCOMPARE(g->outerFrame()->size(), QSize(436, 319));
    QVERIFY(!g->tickTimer()->isActive());
    // INP1 labels blue, INP2 labels red.
    QCOMPARE(g->inp1ValueLead()->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QCOMPARE(g->inp2Value()->palette().color(QPalette::WindowText), QColor(Qt::red));
    QCOMPARE(g->minimumSize(), g->maximumSize());
}

void TestGraph::loadShowsTheSelectedScales()
{
    GraphFixture f;
    f.prepare(QStringLiteral("SR1 05"), QStringLiteral("SR2 41"));
    GraphWindow *g = f.graph;

    QCOMPARE(g->inp1ScaleCaption()->text().left(5), QStringLiteral("400.0"));
    QCOMPARE(g->inp2ScaleCaption()->text().left(5), QStringLiteral("15.85"));
    QCOMPARE(g->chart()->top(1), qint16(400));
    QCOMPARE(g->chart()->bottom(1), qint16(0));
    QCOMPARE(g->chart()->top(2), qint16(16));
    QCOMPARE(g->chart()->bottom(2), qint16(0));
    QCOMPARE(g->chart()->pointCount(1), 0);
    QVERIFY(g->tickTimer()->isActive());
    QCOMPARE(g->tickTimer()->interval(), 1000);
    QVERIFY(!g->isVisible()); // loading does not show it
}

void TestGraph::loadCaptionFollowsTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("caption");
    QTest::newRow("Deutsch") << "Deutsch" << "INP 1  INP 2  Vorschau Grafik ";
    QTest::newRow("English") << "English" << "INP 1  INP 2  Preview Graph";
    QTest::newRow("Francais") << "Francais" << "INP 1  INP 2  aprecu";
    QTest::newRow("empty") << "" << "INP 1  +  INP 2  Preview Graph    ";
    QTest::newRow("misspelled") << "english" << "INP 1  +  INP 2  Preview Graph    ";
}

void TestGraph::loadCaptionFollowsTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, caption);
    GraphFixture f;
    f.language = language;
    f.prepare();
    QCOMPARE(f.graph->windowTitle(), caption);
}

void TestGraph::tickPlotsTheShownValuesRounded_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("plotted");
    QTest::newRow("half down to even") << "12.5" << 12;
    QTest::newRow("half up to even") << "13.5" << 14;
    QTest::newRow("two decimals") << "3.60" << 4;
    QTest::newRow("comma ends the number") << "12,7" << 12;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("overload") << "*Ovl*" << 0;
    QTest::newRow("leading blanks and sign") << "  -7.5" << -8;
    QTest::newRow("beyond 32 bits") << "99999999999" << int(std::numeric_limits<qint32>::max());
}

void TestGraph::tickPlotsTheShownValuesRounded()
{
    QFETCH(QString, text);
    QFETCH(int, plotted);
    GraphFixture f;
    f.prepare();
    f.live.inp1Actual = text;
    f.live.inp2Actual = QStringLiteral("21756");

    f.graph->tick();

    StripChart *chart = f.graph->chart();
    QCOMPARE(f.graph->inp1Value()->text(), text);
    QCOMPARE(chart->pointCount(1), 1);
    QCOMPARE(chart->pointCount(2), 1);
    QCOMPARE(chart->value(1, 0), plotted);
    QCOMPARE(chart->value(2, 0), 21756);
    // Hidden, the window only gathers; shown, it draws what it gathered,
    // and from then on every tick ends with an update.
    QVERIFY(chart->drawnPoints(1).isEmpty());
    f.graph->show();
    QCOMPARE(chart->drawnPoints(1), QList<QPointF>({QPointF(0, plotted)}));
    f.graph->tick();
    QCOMPARE(chart->drawnPoints(1), QList<QPointF>({QPointF(0, plotted), QPointF(1, plotted)}));
}

void TestGraph::tickWritesTheTimeLine()
{
    GraphFixture f;
    f.prepare();
    f.live.sampleTime = QStringLiteral("42");
    f.live.inp2Actual = QStringLiteral("1.5");
    f.graph->tick();
    QCOMPARE(f.graph->sampleTimeLine()->text(), QStringLiteral(" Data logging time.. 42 Sec."));
    QCOMPARE(f.graph->inp2Value()->text(), QStringLiteral("1.5"));
    QCOMPARE(f.graph->chart()->value(2, 0), 2);
}

void TestGraph::closingDeletesTheWindowAndItsTraces()
{
    GraphFixture f;
    f.prepare();
    f.graph->show();
    f.graph->tick();
    QVERIFY(f.graph->testAttribute(Qt::WA_DeleteOnClose));

    f.graph->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.graph.isNull());

    // The next load starts with empty traces.
    f.prepare();
    QCOMPARE(f.graph->chart()->pointCount(1), 0);
}

void TestGraph::windowOpensBesideTheMainWindowOnTheScreen_data()
{
    // The main window's frame, as offsets from the available area's left
    // and right edges (a negative left: from the right edge).
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("side");

    QTest::newRow("main window at the left") << 0 << 300 << "right";
    QTest::newRow("main window at the right") << -300 << 300 << "left";
    QTest::newRow("screen too small for both") << 150 << 500 << "over";
}

void TestGraph::windowOpensBesideTheMainWindowOnTheScreen()
{
    QFETCH(int, left);
    QFETCH(int, width);
    QFETCH(QString, side);

    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(available.width() < 452 + 500);  // the last row needs a narrow screen
    QWidget main;
    main.resize(width, 300);
    main.move(left >= 0 ? available.left() + left : available.right() + 1 + left, available.top() + 20);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    GraphFixture f;
    f.prepare();
    placeBeside(f.graph, &main);
    f.graph->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.graph));

    const QRect graph = f.graph->frameGeometry();
    QVERIFY2(available.contains(graph), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(graph.x()).arg(graph.y()).arg(graph.width()).arg(graph.height())));
    QCOMPARE(graph.top(), main.frameGeometry().top());
    if (side == QLatin1String("right"))
        QCOMPARE(graph.left(), main.frameGeometry().right() + 1);
    else if (side == QLatin1String("left"))
        QCOMPARE(graph.right(), main.frameGeometry().left() - 1);
    else
        QVERIFY(graph.intersects(main.frameGeometry()));
}

void TestGraph::placementLeavesThePanelsFree_data()
{
    QTest::addColumn<QRect>("anchor");
    QTest::addColumn<QPoint>("placed");

    // A 1280x1024 screen with a 32-pixel panel at the top and one at the
    // left; the window is 460x380 with its frame.
    QTest::newRow("anchor over the top panel") << QRect(40, 0, 400, 300) << QPoint(440, 32);
    QTest::newRow("anchor at the bottom") << QRect(40, 900, 400, 300) << QPoint(440, 1024 - 380);
    QTest::newRow("no room right, left is the panel") << QRect(60, 40, 1100, 300) << QPoint(1280 - 460, 40);
    QTest::newRow("more room left than right") << QRect(300, 40, 940, 300) << QPoint(32, 40);
}

void TestGraph::placementLeavesThePanelsFree()
{
    QFETCH(QRect, anchor);
    QFETCH(QPoint, placed);
    const QRect available(32, 32, 1280 - 32, 1024 - 32);
    QCOMPARE(besidePosition(QSize(460, 380), anchor, available), placed);
    QVERIFY(available.contains(QRect(placed, QSize(460, 380))));
}

void TestGraph::scaleValuesStandOnTheGridLines_data()
{
    QTest::addColumn<QString>("sr1");
    QTest::addColumn<QString>("sr2");

    QTest::newRow("198.2 right, 4.00 left") << "SR1 03" << "SR2 45";
    QTest::newRow("15.85 right, 400.0 left") << "SR1 05" << "SR2 41";
}

void TestGraph::scaleValuesStandOnTheGridLines()
{
    QFETCH(QString, sr1);
    QFETCH(QString, sr2);

    GraphFixture f;
    f.prepare(sr1, sr2);
    f.graph->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.graph));
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    // The grid rows are where the chart draws its horizontal lines.
    StripChart *chart = f.graph->chart();
    const QList<int> grid = chart->gridRows();
    QCOMPARE(grid.size(), 11);
    QCOMPARE(grid.constFirst(), chart->plotArea().top());
    QCOMPARE(grid.constLast(), chart->plotArea().bottom());
    const QImage image = chart->grab().toImage();
    const int x = chart->plotArea().left() + chart->plotArea().width() / 8;
    const QColor between = image.pixelColor(x, (grid.at(4) + grid.at(5)) / 2);
    for (int row : grid)
        QVERIFY2(image.pixelColor(x, row) != between, qPrintable(QString::number(row)));

    for (QLabel *label : {f.graph->inp1ScaleCaption(), f.graph->inp2ScaleCaption()}) {
        QCOMPARE(label->text().split(QLatin1Char(' '), Qt::SkipEmptyParts).size(), 11);
        QList<int> centres;
        for (int y : static_cast<ScaleLabel *>(label)->tickCentres())
            centres << chart->mapFrom(f.graph, label->mapTo(f.graph, QPoint(0, y))).y();
        QCOMPARE(centres, grid);
        // Evenly apart, whatever blanks the caption has between its values.
        for (int i = 2; i < centres.size(); ++i)
            QVERIFY(qAbs((centres.at(i) - centres.at(i - 1)) - (centres.at(1) - centres.at(0))) <= 1);
    }
}

void TestGraph::chartKeepsADayAndDrawsABoundedSummary()
{
    StripChart chart;
    const int day = 86400;
    for (int i = 0; i < day; ++i) {
        chart.append(1, i % 1000);
        chart.append(2, -i);
    }
    chart.append(3, 5); // no such trace
    chart.updateChart();

    QCOMPARE(chart.pointCount(1), day);
    QCOMPARE(chart.pointCount(2), day);
    QCOMPARE(chart.pointCount(3), 0);
    QCOMPARE(chart.value(1, 12345), 345);
    QCOMPARE(chart.value(2, day - 1), -(day - 1));
    for (int trace : {1, 2}) {
        const QList<QPointF> drawn = chart.drawnPoints(trace);
        QVERIFY(!drawn.isEmpty());
        QVERIFY(drawn.size() <= 2 * StripChart::MaxBuckets);
        QCOMPARE(drawn.first().x(), 0.0);
        QVERIFY(drawn.last().x() >= day - 2 * day / StripChart::MaxBuckets);
    }
    QVERIFY(chart.storedBytes() < 2 * 1024 * 1024);
}

void TestGraph::chartSummaryKeepsSpikesInTimeOrder()
{
    StripChart chart;
    const int n = 50000;
    for (int i = 0; i < n; ++i)
        chart.append(1, i == 31337 ? 900 : (i == 40000 ? -900 : 10));
    chart.updateChart();

    const QList<QPointF> drawn = chart.drawnPoints(1);
    QVERIFY(drawn.contains(QPointF(31337, 900)));
    QVERIFY(drawn.contains(QPointF(40000, -900)));
    for (qsizetype i = 1; i < drawn.size(); ++i)
        QVERIFY(drawn.at(i - 1).x() < drawn.at(i).x());
}

void TestGraph::chartRangeIsNeverEmpty()
{
    // Before any sensor matched both ends are 0; the chart must still draw.
    StripChart chart;
    chart.setRange(1, 0, 0);
    chart.setRange(2, 10, -5);
    chart.append(1, 0);
    chart.append(2, 3);
    chart.updateChart();
    QCOMPARE(chart.top(1), qint16(0));
    QCOMPARE(chart.bottom(2), qint16(10));
    QCOMPARE(chart.drawnPoints(2), QList<QPointF>({QPointF(0, 3)}));
    QCOMPARE(chart.grab().isNull(), false);
}

QTEST_MAIN(TestGraph)
#include "tst_graph.moc"

// Sensor type table and sensor selection.

#include "SensorSelection.h"
#include "SensorTable.h"
#include "InstrumentState.h"

#include <QSet>
#include <QtTest>

using sensors::SensorType;

namespace {

/// Records what the selection writes, in order.
struct Recorder
{
    QString graph1 = QStringLiteral("old graph 1"), graph2 = QStringLiteral("old graph 2");
    QString label9 = QStringLiteral("old 9"), label10 = QStringLiteral("old 10");
    qint16 bar1 = -1, bar2 = -1;
    QStringList writes;

    SensorTargets targets()
    {
        SensorTargets t;
        t.setGraphLabel1 = [this](const QString &s) { graph1 = s; writes << QStringLiteral("Graph.Label1"); };
        t.setGraphLabel2 = [this](const QString &s) { graph2 = s; writes << QStringLiteral("Graph.Label2"); };
        t.setLabel9 = [this](const QString &s) { label9 = s; writes << QStringLiteral("Label9"); };
        t.setLabel10 = [this](const QString &s) { label10 = s; writes << QStringLiteral("Label10"); };
        t.setBar1FullScale = [this](qint16 v) { bar1 = v; writes << QStringLiteral("Bar1"); };
        t.setBar2FullScale = [this](qint16 v) { bar2 = v; writes << QStringLiteral("Bar2"); };
        return t;
    }
};

const SensorType &row(int number)
{
    return sensors::sensorTypes().at(number - 1);
}

} // namespace

class TestSensors : public QObject
{
    Q_OBJECT

private slots:
    void tableHasTwentyEightRowsWithDistinctCodes();
    void everyRowHasItsFullScaleAndCaptionLengths_data();
    void everyRowHasItsFullScaleAndCaptionLengths();
    void captionsRunFromTheShownTopDownToZero();
    void sensorCodeReadsTheLastTwoCharacters_data();
    void sensorCodeReadsTheLastTwoCharacters();
    void eachInputGetsItsOwnRowCaptionsFirst();
    void unmatchedCodeKeepsEverythingButSetsTheMeters_data();
    void unmatchedCodeKeepsEverythingButSetsTheMeters();
    void emptyTextGivesRowOneWithoutMeterCaption_data();
    void emptyTextGivesRowOneWithoutMeterCaption();
    void nestedRunFromAGraphCaptionWriteEndsTheSame();
};

void TestSensors::tableHasTwentyEightRowsWithDistinctCodes()
{
    const QList<SensorType> &types = sensors::sensorTypes();
    QCOMPARE(types.size(), 28);
    QSet<qint16> seen;
    for (int i = 0; i < types.size(); ++i) {
        QCOMPARE(types.at(i).row, i + 1);
        for (qint16 code : types.at(i).codes) {
            QVERIFY2(!seen.contains(code), qPrintable(QStringLiteral("code %1 twice").arg(code)));
            seen.insert(code);
        }
    }
    // Every code from 0 to 47 has a row except 15.
    for (qint16 code = 0; code < 48; ++code)
        QCOMPARE(seen.contains(code), code != 15);
}

void TestSensors::everyRowHasItsFullScaleAndCaptionLengths_data()
{
    QTest::addColumn<int>("rowNumber");
    QTest::addColumn<QString>("shownTop");
    QTest::addColumn<int>("fullScale");
    QTest::addColumn<int>("graphLength");
    QTest::addColumn<int>("meterLength");

    struct Expected { const char *top; int stored, graph, meter; };
    const Expected expected[28] = {
        {"100.0", 100, 236, 116}, {"4.00", 4, 165, 56},       {"15.0", 15, 226, 104},
        {"60.0", 60, 220, 69},    {"150.0", 150, 225, 101},   {"300.0", 300, 201, 94},
        {"400.0", 400, 212, 100}, {"600.0", 600, 212, 102},   {"750.0", 750, 212, 100},
        {"1000", 1000, 208, 106}, {"10000", 10000, 226, 106}, {"540", 540, 229, 68},
        {"232.0", 232, 231, 91},  {"58.02", 58, 177, 76},     {"1450", 1450, 230, 97},
        {"5802", 5802, 225, 75},  {"14502", 14502, 207, 94},  {"217.6", 218, 199, 91},
        {"870.2", 870, 178, 76},  {"2176", 2176, 199, 85},    {"21756", 21756, 188, 86},
        {"8702", 8702, 174, 67},  {"3.963", 4, 153, 66},      {"15.85", 16, 210, 101},
        {"39.63", 40, 151, 81},   {"79.25", 79, 167, 76},     {"158.5", 158, 209, 101},
        {"198.2", 198, 204, 96},
    };
    for (int i = 0; i < 28; ++i) {
        QTest::addRow("row %d", i + 1) << i + 1 << QString::fromLatin1(expected[i].top)
                                       << expected[i].stored << expected[i].graph
                                       << expected[i].meter;
    }
}

void TestSensors::everyRowHasItsFullScaleAndCaptionLengths()
{
    QFETCH(int, rowNumber);
    QFETCH(QString, shownTop);
    QFETCH(int, fullScale);
    QFETCH(int, graphLength);
    QFETCH(int, meterLength);

    const SensorType &type = row(rowNumber);
    QCOMPARE(QString(type.shownTop), shownTop);
    QCOMPARE(int(type.fullScale), fullScale);
    QCOMPARE(int(type.graphCaption.size()), graphLength);
    QCOMPARE(int(type.meterCaption.size()), meterLength);

    // What the selection stores for every code of the row.
    for (qint16 code : type.codes) {
        SensorRanges state;
        Recorder rec;
        sensorSelection(QStringLiteral("SR1 %1").arg(code, 2, 10, QLatin1Char('0')),
                        QStringLiteral("SR2 %1").arg(code), state, rec.targets());
        QCOMPARE(int(state.rangeLimit1), fullScale);
        QCOMPARE(int(state.rangeLimit2), fullScale);
        QCOMPARE(rec.graph1, QString(type.graphCaption));
        QCOMPARE(rec.label10, QString(type.meterCaption));
        QCOMPARE(int(rec.bar1), fullScale);
    }
}

void TestSensors::captionsRunFromTheShownTopDownToZero()
{
    for (const SensorType &type : sensors::sensorTypes()) {
        for (const QString caption : {QString(type.graphCaption), QString(type.meterCaption)}) {
            const QStringList ticks = caption.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            QCOMPARE(ticks.size(), 11);
            QCOMPARE(ticks.first(), QString(type.shownTop));
            QVERIFY(!caption.startsWith(QLatin1Char(' ')));
            // The bottom tick is some spelling of zero ("000", "00.0", "0.00"...).
            QCOMPARE(ticks.last().toDouble(), 0.0);
        }
    }
}

void TestSensors::sensorCodeReadsTheLastTwoCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");

    QTest::newRow("two digits") << "SR1 04" << 4;
    QTest::newRow("blank and digit") << "SR1  4" << 4;
    QTest::newRow("one character") << "4" << 4;
    QTest::newRow("text of the layout") << "SK1" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("point five rounds to even") << "SR1 .5" << 0;
    QTest::newRow("longer number uses its end") << "SR1 123" << 23;
    QTest::newRow("negative") << "SR1 -3" << -3;
    QTest::newRow("trailing blank") << "SR1 4 " << 4;
    QTest::newRow("unit after code") << "SR 4K" << 4;
    QTest::newRow("largest") << "SR 99" << 99;
}

void TestSensors::sensorCodeReadsTheLastTwoCharacters()
{
    QFETCH(QString, text);
    QFETCH(int, code);
    QCOMPARE(int(sensors::sensorCode(text)), code);
}

void TestSensors::eachInputGetsItsOwnRowCaptionsFirst()
{
    SensorRanges state;
    Recorder rec;
    int limitWhenGraphWritten = -1;
    SensorTargets targets = rec.targets();
    const auto plain = targets.setGraphLabel1;
    targets.setGraphLabel1 = [&](const QString &s) {
        limitWhenGraphWritten = state.rangeLimit1;
        plain(s);
    };
    sensorSelection(QStringLiteral("SR1 03"), QStringLiteral("SR2 45"), state, targets);

    QCOMPARE(rec.writes, QStringList({"Graph.Label1", "Label9", "Graph.Label2", "Label10",
                                      "Bar1", "Bar2"}));
    QCOMPARE(limitWhenGraphWritten, 0); // the range follows the captions
    QCOMPARE(state.rangeLimit1, qint16(4));
    QCOMPARE(state.rangeLimit2, qint16(198));
    QCOMPARE(rec.label9, QString(row(2).meterCaption));
    QCOMPARE(rec.graph2, QString(row(28).graphCaption));
    QCOMPARE(rec.bar1, qint16(4));
    QCOMPARE(rec.bar2, qint16(198));
}

void TestSensors::unmatchedCodeKeepsEverythingButSetsTheMeters_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("15") << "SR1 15";
    QTest::newRow("48") << "SR1 48";
    QTest::newRow("99") << "SR1 99";
    QTest::newRow("negative") << "SR1 -4";
}

void TestSensors::unmatchedCodeKeepsEverythingButSetsTheMeters()
{
    QFETCH(QString, text);
    SensorRanges state;
    state.rangeLimit1 = 1450;
    state.rangeBase1 = 7;
    state.rangeLimit2 = 300;
    state.rangeBase2 = 9;
    Recorder rec;

    sensorSelection(text, text, state, rec.targets());

    QCOMPARE(rec.writes, QStringList({"Bar1", "Bar2"}));
    QCOMPARE(rec.graph1, QStringLiteral("old graph 1"));
    QCOMPARE(rec.label10, QStringLiteral("old 10"));
    QCOMPARE(state.rangeLimit1, qint16(1450));
    QCOMPARE(state.rangeBase1, qint16(7));
    QCOMPARE(state.rangeBase2, qint16(9));
    QCOMPARE(rec.bar1, qint16(1450));
    QCOMPARE(rec.bar2, qint16(300));
}

void TestSensors::emptyTextGivesRowOneWithoutMeterCaption_data()
{
    QTest::addColumn<int>("input");
    QTest::newRow("INP1") << 1;
    QTest::newRow("INP2") << 2;
}

void TestSensors::emptyTextGivesRowOneWithoutMeterCaption()
{
    QFETCH(int, input);
    SensorRanges state;
    state.rangeBase1 = state.rangeBase2 = 5;
    Recorder rec;
    const QString other = QStringLiteral("SR 03");
    sensorSelection(input == 1 ? QString() : other, input == 2 ? QString() : other, state,
                    rec.targets());

    const qint16 limit = input == 1 ? state.rangeLimit1 : state.rangeLimit2;
    const qint16 base = input == 1 ? state.rangeBase1 : state.rangeBase2;
    const QString graph = input == 1 ? rec.graph1 : rec.graph2;
    const QString meter = input == 1 ? rec.label9 : rec.label10;
    const QString otherMeter = input == 1 ? rec.label10 : rec.label9;
    QCOMPARE(limit, qint16(100));
    QCOMPARE(base, qint16(0));
    QCOMPARE(graph, QString(row(1).graphCaption));
    QCOMPARE(meter, QString());
    QCOMPARE(otherMeter, QString(row(2).meterCaption));
}

void TestSensors::nestedRunFromAGraphCaptionWriteEndsTheSame()
{
    // The first write to a graph caption loads the graph window, whose load
    // runs the whole selection again before the first run goes on.
    SensorRanges state;
    Recorder rec;
    QString text0 = QStringLiteral("SR1 31");
    const QString text1 = QStringLiteral("SR2 6");
    SensorTargets targets = rec.targets();
    const auto plain = targets.setGraphLabel1;
    bool loaded = false;
    targets.setGraphLabel1 = [&](const QString &s) {
        if (!loaded) {
            loaded = true;
            sensorSelection(text0, text1, state, targets);
        }
        plain(s);
    };

    sensorSelection(text0, text1, state, targets);

    QVERIFY(loaded);
    QCOMPARE(state.rangeLimit1, qint16(218));
    QCOMPARE(state.rangeLimit2, qint16(1000));
    QCOMPARE(rec.graph1, QString(row(18).graphCaption));
    QCOMPARE(rec.label10, QString(row(10).meterCaption));
    QCOMPARE(rec.writes.count(QStringLiteral("Bar1")), 2);
}

QTEST_GUILESS_MAIN(TestSensors)
#include "tst_sensors.moc"

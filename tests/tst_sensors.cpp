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
    QString meterScale1 = QStringLiteral("old meter scale 1"), meterScale2 = QStringLiteral("old meter scale 2");
    qint16 fullScale1 = -1, fullScale2 = -1;
    QStringList writes;

    SensorTargets targets()
    {
        SensorTargets t;
        t.setGraphCaption1 = [this](const QString &s) { graph1 = s; writes << QStringLiteral("graph.inp1ScaleCaption"); };
        t.setGraphCaption2 = [this](const QString &s) { graph2 = s; writes << QStringLiteral("graph.inp2ScaleCaption"); };
        t.setMeterCaption1 = [this](const QString &s) { meterScale1 = s; writes << QStringLiteral("inp1MeterScale"); };
        t.setMeterCaption2 = [this](const QString &s) { meterScale2 = s; writes << QStringLiteral("inp2MeterScale"); };
        t.setFullScale1 = [this](qint16 v) { fullScale1 = v; writes << QStringLiteral("inp1Meter"); };
        t.setFullScale2 = [this](qint16 v) { fullScale2 = v; writes << QStringLiteral("inp2Meter"); };
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
    void everyCodeSelectsItsRowForBothInputs();
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

void TestSensors::everyCodeSelectsItsRowForBothInputs()
{
    for (const SensorType &type : sensors::sensorTypes()) {
        for (qint16 code : type.codes) {
            SensorRanges state;
            Recorder rec;
            sensorSelection(QStringLiteral("SR1 %1").arg(code, 2, 10, QLatin1Char('0')),
                            QStringLiteral("SR2 %1").arg(code), state, rec.targets());
            QCOMPARE(state.rangeLimit1, type.fullScale);
            QCOMPARE(state.rangeLimit2, type.fullScale);
            QCOMPARE(rec.graph1, QString(type.graphCaption));
            QCOMPARE(rec.graph2, QString(type.graphCaption));
            QCOMPARE(rec.meterScale1, QString(type.meterCaption));
            QCOMPARE(rec.meterScale2, QString(type.meterCaption));
            QCOMPARE(rec.fullScale1, type.fullScale);
            QCOMPARE(rec.fullScale2, type.fullScale);
        }
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
    const auto plain = targets.setGraphCaption1;
    targets.setGraphCaption1 = [&](const QString &s) {
        limitWhenGraphWritten = state.rangeLimit1;
        plain(s);
    };
    sensorSelection(QStringLiteral("SR1 03"), QStringLiteral("SR2 45"), state, targets);

    QCOMPARE(rec.writes, QStringList({"graph.inp1ScaleCaption", "inp1MeterScale", "graph.inp2ScaleCaption", "inp2MeterScale",
                                      "inp1Meter", "inp2Meter"}));
    QCOMPARE(limitWhenGraphWritten, 0); // the range follows the captions
    QCOMPARE(state.rangeLimit1, qint16(4));
    QCOMPARE(state.rangeLimit2, qint16(198));
    QCOMPARE(rec.meterScale1, QString(row(2).meterCaption));
    QCOMPARE(rec.graph2, QString(row(28).graphCaption));
    QCOMPARE(rec.fullScale1, qint16(4));
    QCOMPARE(rec.fullScale2, qint16(198));
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

    QCOMPARE(rec.writes, QStringList({"inp1Meter", "inp2Meter"}));
    QCOMPARE(rec.graph1, QStringLiteral("old graph 1"));
    QCOMPARE(rec.meterScale2, QStringLiteral("old meter scale 2"));
    QCOMPARE(state.rangeLimit1, qint16(1450));
    QCOMPARE(state.rangeBase1, qint16(7));
    QCOMPARE(state.rangeBase2, qint16(9));
    QCOMPARE(rec.fullScale1, qint16(1450));
    QCOMPARE(rec.fullScale2, qint16(300));
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
    const QString meter = input == 1 ? rec.meterScale1 : rec.meterScale2;
    const QString otherMeter = input == 1 ? rec.meterScale2 : rec.meterScale1;
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
    const auto plain = targets.setGraphCaption1;
    bool loaded = false;
    targets.setGraphCaption1 = [&](const QString &s) {
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
    QCOMPARE(rec.meterScale2, QString(row(10).meterCaption));
    QCOMPARE(rec.writes.count(QStringLiteral("inp1Meter")), 2);
}

QTEST_GUILESS_MAIN(TestSensors)
#include "tst_sensors.moc"

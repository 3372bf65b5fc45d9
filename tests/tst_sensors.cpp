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
    void everyRowHasItsFullScaleAndCaptions_data();
    void everyRowHasItsFullScaleAndCaptions();
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

void TestSensors::everyRowHasItsFullScaleAndCaptions_data()
{
    QTest::addColumn<int>("rowNumber");
    QTest::addColumn<QString>("shownTop");
    QTest::addColumn<int>("fullScale");
    QTest::addColumn<QString>("graphCaption");
    QTest::addColumn<QString>("meterCaption");

    // Top as shown, stored full scale, graph caption, meter caption: every
    // blank counts, and the tick values stand as written ("43,5" in row 18).
    struct Expected { const char *top; int stored; const char *graph, *meter; };
    const Expected expected[28] = {
        {"100.0", 100,
         "100.0                   90.0                   80.0                   70.0                   60.0                   50.0                   40.0                   30.0                   20.0                   10.0                   00.0 ",
         "100.0       90.0       80.0       70.0       60.0       50.0       40.0       30.0       20.0       10.0       00.0 "},
        {"4.00", 4,
         "4.00            3.60            3.20            2.80            2.40            2.00            1.60            1.20            0.80            0.40            0.00 ",
         "4.00 3.60 3.20 2.80 2.40 2.00 1.60 1.20 0.80 0.40  0.00 "},
        {"15.0", 15,
         "15.0              13.5             12.0              10.5                     9.0                     7.5                     6.0                     4.5                     3.0                     1.5                     0.0 ",
         "15.0 13.5 12.0 10.5         9.0         7.5         6.0         4.5         3.0         1.5         0.0 "},
        {"60.0", 60,
         "60.0              54.0             48.0              42.0                   36.0                  30.0                   24.0                   18.0                   12.0                     6.0                     0.0 ",
         "60.0 54.0 48.0 42.0 36.0 30.0 24.0 18.0 12.0         6.0         0.0 "},
        {"150.0", 150,
         "150.0             135.0               120.0               105.0                   90.0                   75.0                   60.0                   45.0                   30.0                   15.0                   00.0 ",
         "150.0 135.0 120.0 105.0       90.0       75.0       60.0       45.0       30.0       15.0       00.0 "},
        {"300.0", 300,
         "300.0            270.0                240.0             210.0            180.0          150.0           120.0                  90.0                   60.0                   30.0                   00.0 ",
         "300.0  270.0  240.0  210.0  180.0   150.0   120.0       90.0       60.0       30.0       00.0 "},
        {"400.0", 400,
         "400.0              360.0                320.0              280.0                240.0             200.0                160.0             120.0                   80.0                   40.0                   00.0 ",
         "400.0     360.0    320.0    280.0    240.0    200.0   160.0   120.0       80.0       40.0       00.0"},
        {"600.0", 600,
         "600.0              540.0                480.0             420.0                 360.0             300.0                240.0              180.0                 120.0                   60.0                   00.0 ",
         "600.0     540.0    480.0     420.0    360.0    300.0    240.0    180.0    120.0       60.0       00.0 "},
        {"750.0", 750,
         "750.0              675.0                 600.0             525.0                450.0              375.0               300.0               225.0                150.0                   75.0                   00.0 ",
         "750.0    675.0    600.0    525.0    450.0    375.0    300.0    225.0    150.0       75.0       00.0 "},
        {"1000", 1000,
         "1000                 900.0                800.0               700.0               600.0               500.0               400.0               300.0               200.0               100.0               000.0 ",
         "1000      900.0     800.0     700.0     600.0     500.0     400.0     300.0     200.0     100.0     000.0 "},
        {"10000", 10000,
         "10000                  9000                  8000                  7000                  6000                  5000                  4000                  3000                  2000                  1000                  0000 ",
         "10000      9000      8000      7000      6000      5000      4000      3000      2000      1000      0000 "},
        {"540", 540,
         "540                    486                   432                    378                   324                   270                  216                   162                   108                      54                      00 ",
         "540  486  432  378  324  270  216  162  108          54          00 "},
        {"232.0", 232,
         "232.0                 208.8                 185.6                 162.4                 139.2                 116.0                   92.8                   69.6                   46.4                   23.2                   00.0 ",
         "232.0 208.8 185.6 162.4 139.2 116.0       92.8       69.6       46.4       23.2       0.00 "},
        {"58.02", 58,
         "58.02         52.20            46.40            40.60           34.80           29.00         23.20           17.40          11.60                   5.80                   0.00 ",
         "58.02 52.20 46.40 40.60 34.80 29.00 23.20 17.40 11.60       5.80       0.00 "},
        {"1450", 1450,
         "1450                 1305                  1160                 1015                    870                    725                    580                    435                    290                    145                    000 ",
         "1450 1305 1160 1015        870        725        580        435        290        145        000 "},
        {"5802", 5802,
         "5802                  5220                  4640                4060                  3480                  2900                  2320                  1740                  1160                    580                    000 ",
         "5802  5220  4640  4060  3480  2900  2320  1740  1160        580        000 "},
        {"14502", 14502,
         "14502         13050            11600            10150                  8700                  7250                  5800                  4350                  2900                 1450                  0000 ",
         "14502 13050 11600 10150      8700      7250      5800      4350      2900      1450      0000 "},
        {"217.6", 218,
         "217.6        195.8          174.1            152.3            130.6           108.8                   87.1                   65.3                   43,5                   21.8                   00.0 ",
         "217.6 195.8 174.1 152.3 130.6 108.8       87.1       65.3       43,5       21.8       00.0 "},
        {"870.2", 870,
         "870.2        783.2           696.2            609.1           522.1           435.1          348.1           261.1            174.0                   87.0                   00.0 ",
         "870.2 783.2 696.2 609.1 522.1 435.1 348.1 261.1 174.0       87.0       00.0 "},
        {"2176", 2176,
         "2176           1958           1741             1523            1306            1088                    870                    653                    435                    218                    000 ",
         "2176 1958 1741 1523 1306 1088        870        653        435        218        000 "},
        {"21756", 21756,
         "21756        19580        17405           15229         13054           10878                  8702                  6527                  4351                  2176                  0000 ",
         "21756 19580 17405 15229 13054 10878      8702      6527      4351      2176      0000 "},
        {"8702", 8702,
         "8702            7832          6962            6091           5221             4351             3481          2611          1740                    870                    000 ",
         "8702 7832 6962 6091 5221 4351 3481 2611 1740        870        000 "},
        {"3.963", 4,
         "3.963        3.567        3.170          2.774           2.378          1.982        1.585         1.189         0.793           0.396             0.000 ",
         "3.963 3.567 3.170 2.774 2.378 1.982 1.585 1.189 0.793 0.396 0.000 "},
        {"15.85", 16,
         "15.85         14.26         12.68           11.09                   9.51                  7.92                   6.34                   4.77                   3.17                   1.58                   0.00 ",
         "15.85 14.26 12.68 11.09       9.51       7.92       6.34       4.77       3.17       1.58       0.00 "},
        {"39.63", 40,
         "39.63        35.67      31.70           27.74         23.78           19.82         15.85         11.89         7.93             3.96              000 ",
         "39.63 35.67 31.70 27.74 23.78 19.82 15.85 11.89       7.93       3.96       0.00 "},
        {"79.25", 79,
         "79.25        71.33         63.40           55.48         47.55           39.63         31.70         23.78         15.85                   7.73                   0.00 ",
         "79.25 71.33 63.40 55.48 47.55 39.63 31.70 23.78 15.85       7.73       0.00 "},
        {"158.5", 158,
         "158.5        142.6         126.8           110.9                   95.1                  79.3                   63.4                   47.5                   31.7                   15.8                   00.0 ",
         "158.5 142.6 126.8 110.9       95.1       79.3       63.4       47.5       31.7       15.8       0.00 "},
        {"198.2", 198,
         "198.2        178.4        158.6             138.7           118.9                   99.1                   79.3                   59.5                   39.6                   19.8                   00.0 ",
         "198.2 178.4 158.6 138.7 118.9       99.1       79.3       59.5       39.6       19.8       00.0 "},
    };
    for (int i = 0; i < 28; ++i) {
        QTest::addRow("row %d", i + 1) << i + 1 << QString::fromLatin1(expected[i].top)
                                       << expected[i].stored << QString::fromLatin1(expected[i].graph)
                                       << QString::fromLatin1(expected[i].meter);
    }
}

void TestSensors::everyRowHasItsFullScaleAndCaptions()
{
    QFETCH(int, rowNumber);
    QFETCH(QString, shownTop);
    QFETCH(int, fullScale);
    QFETCH(QString, graphCaption);
    QFETCH(QString, meterCaption);

    const SensorType &type = row(rowNumber);
    QCOMPARE(QString(type.shownTop), shownTop);
    QCOMPARE(int(type.fullScale), fullScale);
    QCOMPARE(QString(type.graphCaption), graphCaption);
    QCOMPARE(QString(type.meterCaption), meterCaption);

    // What the selection stores for every code of the row.
    for (qint16 code : type.codes) {
        SensorRanges state;
        Recorder rec;
        sensorSelection(QStringLiteral("SR1 %1").arg(code, 2, 10, QLatin1Char('0')),
                        QStringLiteral("SR2 %1").arg(code), state, rec.targets());
        QCOMPARE(int(state.rangeLimit1), fullScale);
        QCOMPARE(int(state.rangeLimit2), fullScale);
        QCOMPARE(rec.graph1, QString(type.graphCaption));
        QCOMPARE(rec.meterScale2, QString(type.meterCaption));
        QCOMPARE(int(rec.fullScale1), fullScale);
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

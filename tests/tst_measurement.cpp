// Whole measurements over a real pseudo-terminal with the instrument
// simulator: start, header read, recording, stop, save or discard.

#include "GraphWindow.h"
#include "PictureButton.h"
#include "LevelMeter.h"
#include "SerialPort.h"
#include "RecordedBytes.h"
#include "RecorderFixture.h"
#include "SensorTable.h"
#include "Simulator.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QRegularExpression kNotesHeader(QStringLiteral(
    "^(  Time: |  Uhrzeit: )\\d\\d:\\d\\d:\\d\\d\\r  (Date|Datum): [^\\r]+\\rNotes :  ([^\\r]*)\\r"));

} // namespace

class TestMeasurement : public QObject
{
    Q_OBJECT

private slots:
    void measurementIsShownRecordedAndSaved_data();
    void measurementIsShownRecordedAndSaved();
    void stopWithoutSavingStartsAnEmptyFile();
    void startWithoutInstrumentReportsATransmissionError();
    void cancelledSaveKeepsTheRecordedData();

private:
    void startMeasurement(RecorderFixture &fx, Simulator &sim, const QString &language, int port,
                          const QStringList &simArgs, const QString &notes, bool programElsewhere = false);
};

void TestMeasurement::startMeasurement(RecorderFixture &fx, Simulator &sim, const QString &language, int port,
                                       const QStringList &simArgs, const QString &notes, bool programElsewhere)
{
    if (programElsewhere) {
        // An installed program: its folder holds the settings, the port
        // links and a header copy of some earlier run, never read again.
        fx.separateProgramFolder();
        fx.writeProgramFile(QStringLiteral("vindo.qvy"), "INP1 = stale\r\nSR1 = 99\r\n");
    }
    fx.writeProgramFile(QStringLiteral("qvx.ini"), RecorderFixture::settingsLines(language, port));
    QVERIFY(sim.start(fx.programDir(), port, simArgs));
    MainWindow &w = fx.start();
    control<QLineEdit>(w, "notesEdit")->setText(notes);
    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(w.measurement().isPortOpen());
    // The port was closed before the click, so only the start character went out.
    QVERIFY(sim.waitForReceived(QByteArray("\x02"), 3000));
    QCOMPARE(sim.received(), QByteArray("\x02"));
    QVERIFY(control<QLineEdit>(w, "notesEdit")->isReadOnly());
    QVERIFY(!control<QMenu>(w, "settingsMenu")->menuAction()->isVisible());
}

void TestMeasurement::measurementIsShownRecordedAndSaved_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QString>("unit");        // of INP1, as the header line shows it
    QTest::addColumn<QString>("graphUnit");   // as the graph shows it
    QTest::addColumn<bool>("decimalComma");
    QTest::addColumn<bool>("programElsewhere");

    const QString degrees = QString(QChar(176)) + QLatin1Char('C');
    QTest::newRow("English with tabs")
        << "English" << QStringList{"--tabs", "--interval-ms", "100", "--code1", "03", "--code2", "45"}
        << degrees << degrees << false << false;
    QTest::newRow("Deutsch torn lines")
        << "Deutsch" << QStringList{"--tear", "--interval-ms", "100", "--code1", "03", "--code2", "45"}
        << degrees << degrees << true << false;
    QTest::newRow("English, program folder elsewhere")
        << "English" << QStringList{"--interval-ms", "100", "--code1", "03", "--code2", "45"}
        << degrees << degrees << false << true;
    QTest::newRow("markup in the header is shown as it is")
        << "English"
        << QStringList{"--interval-ms", "100", "--code1", "03", "--code2", "45", "--unit1", "<b>bar</b>",
                       "--unit2", "<img src=x>"}
        << "<b>bar</b>" << "<b>b" << false << false;
}

void TestMeasurement::measurementIsShownRecordedAndSaved()
{
    QFETCH(QString, language);
    QFETCH(QStringList, simArgs);
    QFETCH(QString, unit);
    QFETCH(QString, graphUnit);
    QFETCH(bool, decimalComma);
    QFETCH(bool, programElsewhere);
    const QString unitLabel = QStringLiteral("INP1 = ") + unit;

    RecorderFixture fx;
    Simulator sim;
    startMeasurement(fx, sim, language, 3, simArgs, QStringLiteral("run\tA"), programElsewhere);
    if (QTest::currentTestFailed())
        return;
    MainWindow &w = fx.window();

    // 1.5 s after the click the header is read back from the working file.
    QTRY_COMPARE_WITH_TIMEOUT(control<QLabel>(w, "inp1HeaderLabel")->text(), unitLabel, 5000);
    QVERIFY(fx.dialogs.messages().isEmpty());
    QVERIFY(control<QLabel>(w, "inp2HeaderLabel")->text().startsWith(QLatin1String("INP2 = ")));
    QVERIFY(control<QLabel>(w, "printerHeaderLabel")->text().startsWith(QLatin1String("Pri")));
    QVERIFY(w.measurement().header().sr1Header.startsWith(QLatin1String("SR1")));
    // Sensor code 03 is the 4.00 scale, code 45 the 198.2 scale.
    QCOMPARE(w.measurement().ranges().rangeLimit1, qint16(4));
    QCOMPARE(w.measurement().ranges().rangeLimit2, qint16(198));
    QCOMPARE(control<MeterScaleLabel>(w, "inp1MeterScale")->text(), QString(sensors::sensorTypeForCode(3)->meterCaption));
    // Each tick value of the meter's caption stands where the bar reaches
    // at that value.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const int barTop = control<MeterScaleLabel>(w, "inp1MeterScale")->mapFromGlobal(control<LevelMeter>(w, "inp1Meter")->mapToGlobal(QPoint(0, 0))).y();
    const QStringList ticks = control<MeterScaleLabel>(w, "inp1MeterScale")->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QList<int> centres = control<MeterScaleLabel>(w, "inp1MeterScale")->tickCentres();
    QCOMPARE(centres.size(), ticks.size());
    for (int i = 0; i < ticks.size(); ++i) {
        const double expected = barTop + (1.0 - ticks[i].toDouble() / 4.0) * (control<LevelMeter>(w, "inp1Meter")->height() - 1);
        QVERIFY2(qAbs(centres[i] - expected) <= 1.0, qPrintable(ticks[i] + QStringLiteral(" at %1, not %2").arg(centres[i]).arg(expected)));
    }
    QVERIFY(w.graphLoaded());
    QCOMPARE(w.graph()->inp1ScaleUnit()->text(), graphUnit);
    // Text from the line is never taken for markup, wherever it is shown.
    int literal = 0;
    for (const QList<QLabel *> &labels : {w.findChildren<QLabel *>(), w.graph()->findChildren<QLabel *>()}) {
        for (const QLabel *label : labels) {
            if (!label->text().contains(QLatin1Char('<')))
                continue;
            ++literal;
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(label->objectName()));
        }
    }
    QCOMPARE(literal, unit.startsWith(QLatin1Char('<')) ? 6 : 0);

    // The last complete line: seven words in the figures, meters follow.
    QTRY_VERIFY_WITH_TIMEOUT(!w.live().inp2Min.isEmpty() && !w.live().sampleTime.isEmpty(), 5000);
    w.refreshView();
    QCOMPARE(control<QLineEdit>(w, "inp1ActualValue")->text(), w.live().inp1Actual);
    QCOMPARE(control<LevelMeter>(w, "inp2Meter")->fullScale(), qint16(198));
    if (decimalComma)
        QVERIFY(w.live().inp1Actual.contains(QLatin1Char(',')) || w.live().inp1Actual == QLatin1String("*Ovl*"));

    // Stop, save under a new name: the port opens again at once and the
    // simulator sees stop, then start, and sends its header again.
    const QString target = fx.path(QStringLiteral("run1"));
    const QByteArray sentBeforeStop = sim.sent();
    control<PictureButton>(w, "startStopButton")->click();
    QTRY_VERIFY(fx.dialogs.isAsking());
    fx.dialogs.reply(Answer::Yes);
    QTRY_VERIFY(fx.dialogs.isAsking());
    fx.dialogs.replyFile(target);
    QVERIFY(w.measurement().isPortOpen());
    QVERIFY(sim.waitForReceived(QByteArray("\x02\x03\x02"), 3000));
    QCOMPARE(fx.dialogs.unexpected, 0);

    const QByteArray csv = fx.readFile(QStringLiteral("run1.csv"));
    QVERIFY(!csv.isEmpty());
    const QString text = QString::fromLatin1(csv);
    const QRegularExpressionMatch notes = kNotesHeader.match(text);
    QVERIFY2(notes.hasMatch(), csv.left(80).constData());
    QCOMPARE(notes.captured(3), QStringLiteral("run;A")); // a tab in the notes becomes ";"
    // After the notes header (in place of the first block, the empty line
    // that precedes the instrument's header) the file holds exactly the
    // received bytes with the recorder's changes.
    const QByteArray body = csv.mid(notes.capturedLength());
    const QByteArray expected = recordedBytes(sim.sent(), decimalComma).mid(2);
    QVERIFY(body.size() > 100);
    QCOMPARE(body, expected.left(body.size()));
    QVERIFY(expected.left(body.size()).size() <= recordedBytes(sentBeforeStop, decimalComma).size() + 4096);

    // The new measurement records into a fresh working file.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(fx.path(QStringLiteral("Vindo.qvx"))).size() > 0, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(control<QLabel>(w, "inp1HeaderLabel")->text() == unitLabel && !control<QTimer>(w, "headerReadTimer")->isActive(), 5000);
    QCOMPARE(fx.dialogs.messages().size(), 1); // only the save question
    // The working file and its header copy stay in the current folder.
    QCOMPARE(QDir(fx.programDir()).entryList({QStringLiteral("vindo.qv*")}, QDir::Files, QDir::Name).size(),
             programElsewhere ? 1 : 2);
}

void TestMeasurement::stopWithoutSavingStartsAnEmptyFile()
{
    RecorderFixture fx;
    Simulator sim;
    startMeasurement(fx, sim, QStringLiteral("Francais"), 4, {QStringLiteral("--interval-ms"), QStringLiteral("50")},
                     QString());
    if (QTest::currentTestFailed())
        return;
    MainWindow &w = fx.window();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(fx.path(QStringLiteral("Vindo.qvx"))).size() > 200, 5000);

    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(!w.measurement().isPortOpen());
    QVERIFY(sim.waitForReceived(QByteArray("\x02\x03"), 3000));
    QTRY_VERIFY(fx.dialogs.isAsking());
    fx.dialogs.reply(Answer::No);
    QCOMPARE(fx.dialogs.messages().size(), 1);
    QCOMPARE(fx.dialogs.messages().first().text, QStringLiteral("Voulez vous sauvegarder les donnes ?"));
    QCOMPARE(fx.dialogs.messages().first().style, Icon::Question | Buttons::YesNo);
    QCOMPARE(QFileInfo(fx.path(QStringLiteral("Vindo.qvx"))).size(), 0);
    QVERIFY(w.workingFile().isOpen());
    QVERIFY(control<QMenu>(w, "settingsMenu")->menuAction()->isVisible());
    QVERIFY(!control<QLineEdit>(w, "notesEdit")->isReadOnly());
    // The header read after a stop passes silently.
    QTRY_VERIFY_WITH_TIMEOUT(!control<QTimer>(w, "headerReadTimer")->isActive(), 3000);
    QCOMPARE(fx.dialogs.messages().size(), 1);
    QCOMPARE(control<QLabel>(w, "inp1HeaderLabel")->text(), QStringLiteral("INP1"));
}

void TestMeasurement::startWithoutInstrumentReportsATransmissionError()
{
    RecorderFixture fx;
    Simulator sim;
    // A port with nothing answering on it.
    startMeasurement(fx, sim, QStringLiteral("English"), 5,
                     {QStringLiteral("--no-header"), QStringLiteral("--lines"), QStringLiteral("0")}, QString());
    if (QTest::currentTestFailed())
        return;
    MainWindow &w = fx.window();
    QTRY_VERIFY_WITH_TIMEOUT(fx.dialogs.isAsking(), 5000);
    fx.dialogs.reply(Answer::Ok);  // the transmission error
    QTRY_VERIFY(fx.dialogs.isAsking());
    fx.dialogs.reply(Answer::No);  // the stop prompt that follows
    const auto boxes = fx.dialogs.messages();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0).text, QStringLiteral("Data transsmision error... Please press Start / Stop again !"));
    QCOMPARE(boxes.at(0).title, QStringLiteral("Please start the transmission again !"));
    QCOMPARE(boxes.at(0).style, BoxStyle());
    QCOMPARE(boxes.at(1).text, QStringLiteral("Do you want to save the datafile ?"));
    QVERIFY(!w.measurement().isPortOpen());
    QVERIFY(sim.waitForReceived(QByteArray("\x02\x03"), 3000));
}

void TestMeasurement::cancelledSaveKeepsTheRecordedData()
{
    RecorderFixture fx;
    Simulator sim;
    startMeasurement(fx, sim, QStringLiteral("English"), 6, {QStringLiteral("--interval-ms"), QStringLiteral("50")},
                     QStringLiteral("kept"));
    if (QTest::currentTestFailed())
        return;
    MainWindow &w = fx.window();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(fx.path(QStringLiteral("Vindo.qvx"))).size() > 200, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(w.workingFile().writtenBytes() > w.workingFile().syncedBytes(), 3000);
    control<PictureButton>(w, "startStopButton")->click();
    QVERIFY(!w.measurement().isPortOpen());
    QVERIFY(!w.workingFile().isOpen());
    // Stop takes what is left to the disk at once.
    QCOMPARE(w.workingFile().syncedBytes(), w.workingFile().writtenBytes());
    const QByteArray data = fx.readFile(QStringLiteral("Vindo.qvx"));
    QVERIFY(data.contains("Notes :  kept\r"));
    QVERIFY(data.contains("INP1 = "));
    QTRY_VERIFY(fx.dialogs.isAsking());
    fx.dialogs.reply(Answer::Yes);
    QTRY_VERIFY(fx.dialogs.isAsking());
    fx.dialogs.replyFile(QString());
    // Nothing reaches the closed file any more.
    QTest::qWait(300);
    QCOMPARE(fx.readFile(QStringLiteral("Vindo.qvx")), data);
    QCOMPARE(w.measurement().state(), Measurement::State::Stopped);
}

QTEST_MAIN(TestMeasurement)
#include "tst_measurement.moc"

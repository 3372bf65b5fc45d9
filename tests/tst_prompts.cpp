// The questions at a measurement stop and at exit, the discard of a
// measurement, what becomes of unsaved data at the next start, and the
// orderly end of the program. The instrument sends through a real
// pseudo-terminal; each question is answered once it has appeared.

#include "FileSizeLimit.h"
#include "MeasurementRig.h"
#include "QtUserDialogs.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QWindow>
#include <QtTest>

using Kind = ScriptedDialogs::Kind;
using State = Measurement::State;

namespace {
const QString saveQuestion = QStringLiteral("Do you want to save the datafile ?");
const QString excelMessage =
    QStringLiteral("Please close Microsoft EXCEL ! \r\nBitte Microsoft EXCEL schließen ! ");
const QString infoCaption = QStringLiteral(" Quendrel Data Recorder Info ");
const BoxStyle yesNoQuestion = Icon::Question | Buttons::YesNo;

QStringList recoveredCopies()
{
    return QDir().entryList({QStringLiteral("Vindo-recovered-*.csv")});
}
} // namespace

class TestPrompts : public QObject
{
    Q_OBJECT

private slots:
    void stopAsksOnceItHasReturned();
    void vanishedDeviceBoxDecidesTheWait_data();
    void vanishedDeviceBoxDecidesTheWait();
    void startStopWhileWaitingAsksToSaveWhatWasRecorded();
    void saveWhileWaitingKeepsEverythingReceivedAndEndsTheWait_data();
    void saveWhileWaitingKeepsEverythingReceivedAndEndsTheWait();
    void discardStartsAnEmptyWorkingFile();
    void discardOfAnUndeletableFileShowsTheExcelMessageOnce();
    void cancelledSaveDialogKeepsTheData_data();
    void cancelledSaveDialogKeepsTheData();
    void unsavedDataAreKeptBeforeTheNextMeasurement_data();
    void unsavedDataAreKeptBeforeTheNextMeasurement();
    void copyThatFailsAtStartIsReportedAndKeepsTheData();
    void declinedDataThatCannotBeDroppedNeverReachASave();
    void questionsComeOneAtATimeInOrder();
    void exitAnsweredNoEndsAtOnceAndReleasesThePort_data();
    void exitAnsweredNoEndsAtOnceAndReleasesThePort();
    void exitAnsweredYesSavesThenEnds();
    void closingWithoutNewDataSendsPendingOutputAndEnds();
    void unsentOutputAsksWhatToDo_data();
    void unsentOutputAsksWhatToDo();
    void realBoxShowsPlainTextAndDismissesOnlyWhereAllowed_data();
    void realBoxShowsPlainTextAndDismissesOnlyWhereAllowed();
};

void TestPrompts::stopAsksOnceItHasReturned()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("data", false));

    // The stop itself asks nothing: the question follows once it returned.
    rig.measurement.stop();
    QCOMPARE(rig.measurement.state(), State::Stopped);
    QVERIFY(!rig.dialogs.isAsking());
    QVERIFY(rig.sentToInstrument().endsWith('\x03'));

    QCOMPARE(rig.question(), saveQuestion);
    const auto asked = rig.dialogs.question();
    QCOMPARE(asked.style, yesNoQuestion);
    QCOMPARE(asked.title, QString());
}

void TestPrompts::vanishedDeviceBoxDecidesTheWait_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<State>("whileGone");
    QTest::addColumn<State>("whenBack");

    QTest::newRow("OK waits on") << Answer::Ok << State::WaitingForDevice << State::Measuring;
    QTest::newRow("Cancel ends the wait") << Answer::Cancel << State::Paused << State::Paused;
}

void TestPrompts::vanishedDeviceBoxDecidesTheWait()
{
    QFETCH(Answer, answer);
    QFETCH(State, whileGone);
    QFETCH(State, whenBack);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("before ", false));
    QVERIFY(rig.unplug());

    // The communication box keeps its text, title and buttons.
    QCOMPARE(rig.question(), QStringLiteral("Unknown error or event"));
    QCOMPARE(rig.dialogs.question().title, QStringLiteral("Click Cancel to quit, OK to ignore."));
    QCOMPARE(rig.dialogs.question().style, BoxStyle(Buttons::OkCancel));
    rig.reply(answer);
    QCOMPARE(rig.measurement.state(), whileGone);

    QVERIFY(rig.plugIn());
    if (whenBack == State::Measuring) {
        QTRY_COMPARE_WITH_TIMEOUT(rig.measurement.state(), State::Measuring, 5000);
        QVERIFY(rig.send("after\r"));
        QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("before after\r\n"));
    } else {
        QVERIFY(!rig.measurement.isPortOpen());
        QCOMPARE(rig.measurement.state(), whenBack);
    }
    QVERIFY(rig.quiet());
}

void TestPrompts::startStopWhileWaitingAsksToSaveWhatWasRecorded()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("recorded before the adapter was pulled", false));
    QVERIFY(rig.unplug());
    QVERIFY(rig.waitForQuestion());
    rig.reply(Answer::Ok);

    QVERIFY(rig.stop());
    QCOMPARE(rig.measurement.state(), State::Stopped);
    QCOMPARE(rig.question(), saveQuestion);
    // Back while the question is open: a stopped measurement does not take
    // it; the next one, after the save, does.
    QVERIFY(rig.plugIn());
    QVERIFY(!rig.measurement.isPortOpen());
    rig.reply(Answer::Yes);
    QVERIFY(rig.waitForQuestion());
    rig.replyFile(rig.path(QStringLiteral("pulled")));
    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("pulled.csv"))),
             rig.recorded("recorded before the adapter was pulled"));
    QCOMPARE(rig.measurement.state(), State::Measuring);
    QVERIFY(rig.quiet());
}

void TestPrompts::saveWhileWaitingKeepsEverythingReceivedAndEndsTheWait_data()
{
    QTest::addColumn<bool>("boxAnsweredFirst");   // OK to the vanished-device box before the save

    QTest::newRow("after OK to the box") << true;
    QTest::newRow("asked while the box is open") << false;
}

void TestPrompts::saveWhileWaitingKeepsEverythingReceivedAndEndsTheWait()
{
    QFETCH(bool, boxAnsweredFirst);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    // The device goes away in the middle of a sample line.
    QVERIFY(rig.record("INP2 = mbar\r    1         20.5         2", false));
    const QByteArray before = rig.recorded("INP2 = mbar\r\n    1         20.5         2");
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), before);
    QVERIFY(rig.unplug());
    QCOMPARE(rig.question(), QStringLiteral("Unknown error or event"));
    if (boxAnsweredFirst)
        rig.reply(Answer::Ok);

    // Save from the menu: the dialog comes once the box is answered, and the
    // measurement still waits while it is open.
    rig.prompts.saveMeasurement();
    if (!boxAnsweredFirst) {
        QCOMPARE(rig.dialogs.question().kind, Kind::Message);
        rig.reply(Answer::Ok);
    }
    QVERIFY(rig.waitForQuestion());
    QCOMPARE(rig.dialogs.question().kind, Kind::Save);
    QCOMPARE(rig.measurement.state(), State::WaitingForDevice);
    rig.replyFile(rig.path(QStringLiteral("while-gone")));
    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("while-gone.csv"))), before);

    // Saved, the measurement is over: a fresh working file waits for a
    // start, and the device is no longer looked for.
    QCOMPARE(rig.measurement.state(), State::Idle);
    QVERIFY(!rig.measurement.hasUnsavedData());
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), QByteArray());
    QVERIFY(rig.quiet());
    QVERIFY(rig.plugIn());
    MeasurementRig::wait(3 * SerialPort::WaitPollMs);
    QCOMPARE(rig.measurement.state(), State::Idle);
    QVERIFY(!rig.measurement.isPortOpen());

    // The next start records on the returned device into the fresh file.
    QVERIFY(rig.start());
    QVERIFY(rig.send("after\r"));
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("after\r\n"));
    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("while-gone.csv"))), before);
    QVERIFY(rig.quiet());
    QCOMPARE(rig.dialogs.unexpected, 0);
}

void TestPrompts::discardStartsAnEmptyWorkingFile()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("to be discarded", true));

    rig.reply(Answer::No);

    QCOMPARE(rig.measurement.state(), State::Idle);
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), QByteArray());
    QVERIFY(rig.workFile.isOpen());
    QVERIFY(!rig.measurement.hasUnsavedData());
    QVERIFY(rig.calls.isEmpty());
    QVERIFY(!rig.measurement.isPortOpen());
    QVERIFY(rig.quiet());
    QCOMPARE(rig.measurement.live().received.text, QStringLiteral("\r\n"));
}

void TestPrompts::discardOfAnUndeletableFileShowsTheExcelMessageOnce()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("held open elsewhere", false));
    if (!rig.lockFile(QStringLiteral("Vindo.qvx")))
        QSKIP("needs root and a file system that can make a file append-only");

    QVERIFY(rig.stop());
    rig.reply(Answer::No);

    // The box names the file and the system's reason beneath its text.
    const QString held = rig.question();
    QVERIFY2(held.startsWith(excelMessage + QStringLiteral("\r\n\r\n")), qPrintable(held));
    QVERIFY2(held.contains(QDir::toNativeSeparators(rig.path(QStringLiteral("Vindo.qvx"))) + QStringLiteral(":\n")),
             qPrintable(held));
    QVERIFY2(held.endsWith(QString::fromLocal8Bit(std::strerror(EPERM))), qPrintable(held));
    QCOMPARE(rig.dialogs.question().style, (Icon::Question | Buttons::CancelTryContinue));
    QCOMPARE(rig.dialogs.question().title, infoCaption);
    rig.reply(Answer::TryAgain);
    QVERIFY(rig.quiet());
    QVERIFY(!rig.workFile.isOpen());
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("held open elsewhere"));
}

void TestPrompts::cancelledSaveDialogKeepsTheData_data()
{
    QTest::addColumn<bool>("atExit");

    QTest::newRow("stop") << false;
    QTest::newRow("exit") << true;
}

void TestPrompts::cancelledSaveDialogKeepsTheData()
{
    QFETCH(bool, atExit);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("recorded data", false));

    if (atExit)
        rig.prompts.exit();
    else
        rig.measurement.stop();
    QCOMPARE(rig.question(), saveQuestion);
    rig.reply(Answer::Yes);
    QVERIFY(rig.waitForQuestion());
    QCOMPARE(rig.dialogs.question().kind, Kind::Save);
    rig.replyFile(QString());

    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("recorded data"));
    // Exit still ends the program after the cancelled dialog.
    if (atExit) {
        QCOMPARE(rig.calls, QStringList{"endProgram"});
    } else {
        QCOMPARE(rig.measurement.state(), State::Stopped);
        QVERIFY(!rig.workFile.isOpen());
        QVERIFY(rig.calls.isEmpty());
    }
}

void TestPrompts::unsavedDataAreKeptBeforeTheNextMeasurement_data()
{
    QTest::addColumn<QString>("first");   // how the first measurement's save ends

    QTest::newRow("save dialog cancelled") << "cancelled";
    QTest::newRow("copy failed") << "failed";
    QTest::newRow("saved, then the next one's dialog cancelled") << "saved";
}

void TestPrompts::unsavedDataAreKeptBeforeTheNextMeasurement()
{
    QFETCH(QString, first);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("first run", true));
    rig.reply(Answer::Yes);
    if (first == QLatin1String("failed")) {
        rig.replyFile(rig.path(QStringLiteral("no-such-folder/run1")));
        QVERIFY(rig.question().contains(QStringLiteral("run1.csv")));
        rig.reply(Answer::Ok);
    } else if (first == QLatin1String("saved")) {
        // The measurement after a save is as unsaved as any other.
        rig.replyFile(rig.path(QStringLiteral("run1")));
        QCOMPARE(rig.measurement.state(), State::Measuring);
        QVERIFY(rig.send("next run"));
        rig.head = rig.recorded("");
        QVERIFY(rig.stop());
        rig.reply(Answer::Yes);
        rig.replyFile(QString());
    } else {
        rig.replyFile(QString());
    }
    const QByteArray unsaved = MeasurementRig::contents(QStringLiteral("Vindo.qvx"));
    QCOMPARE(rig.measurement.state(), State::Stopped);
    QVERIFY(!rig.measurement.isPortOpen());

    // Start keeps the unsaved data first and says so, then records anew.
    QVERIFY(rig.start());
    const QStringList kept = recoveredCopies();
    QCOMPARE(kept.size(), 1);
    QCOMPARE(MeasurementRig::contents(kept.first()), unsaved);
    QCOMPARE(rig.question(), QStringLiteral("The unsaved measurement was kept as \"%1\".").arg(kept.first()));
    QCOMPARE(rig.dialogs.question().style, BoxStyle(Icon::Information));
    rig.reply(Answer::Ok);
    QVERIFY(rig.send("second run"));

    // The next save writes the second measurement only.
    QVERIFY(rig.stop());
    rig.reply(Answer::Yes);
    rig.replyFile(rig.path(QStringLiteral("run2")));
    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("run2.csv"))), rig.recorded("second run"));
    QCOMPARE(MeasurementRig::contents(kept.first()), unsaved);
    QCOMPARE(rig.measurement.state(), State::Measuring);
    QCOMPARE(rig.dialogs.unexpected, 0);
}

void TestPrompts::copyThatFailsAtStartIsReportedAndKeepsTheData()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("only copy", true));
    rig.reply(Answer::Yes);
    rig.replyFile(QString());
    const QByteArray unsaved = MeasurementRig::contents(QStringLiteral("Vindo.qvx"));

    // No copy can be written: the start is refused, with the reason and
    // the file that still holds the data, and that file stays as it is.
    {
        FileSizeLimit full(8);
        QVERIFY(full.isActive());
        rig.measurement.start();
        QVERIFY(rig.waitForQuestion());
    }
    const auto told = rig.dialogs.question();
    QCOMPARE(told.style, BoxStyle(Icon::Warning));
    QVERIFY2(told.text.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(told.text));
    QVERIFY2(told.text.contains(QDir::toNativeSeparators(rig.path(QStringLiteral("Vindo.qvx")))), qPrintable(told.text));
    rig.reply(Answer::Ok);
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), unsaved);
    QVERIFY(!rig.measurement.isPortOpen());
    QVERIFY(!rig.sentToInstrument().contains('\x02' + QByteArray("\x03\x02")));
    QCOMPARE(rig.measurement.state(), State::Stopped);

    // The next start keeps them.
    QVERIFY(rig.start());
    QCOMPARE(recoveredCopies().size(), 1);
    QCOMPARE(MeasurementRig::contents(recoveredCopies().first()), unsaved);
}

void TestPrompts::declinedDataThatCannotBeDroppedNeverReachASave()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("declined", false));
    if (!rig.lockFile(QStringLiteral("Vindo.qvx")))
        QSKIP("needs root and a file system that can make a file append-only");

    QVERIFY(rig.stop());
    rig.reply(Answer::No);
    QVERIFY(rig.question().startsWith(excelMessage));
    rig.reply(Answer::TryAgain);

    // Start cannot record into that file: it says where and why, and the
    // instrument is not started.
    const QByteArray sent = rig.sentToInstrument();
    rig.measurement.start();
    QVERIFY(rig.waitForQuestion());
    const auto refused = rig.dialogs.question();
    QCOMPARE(refused.style, BoxStyle(Icon::Warning));
    QVERIFY2(refused.text.contains(QDir::toNativeSeparators(QDir::currentPath())), qPrintable(refused.text));
    rig.reply(Answer::Ok);
    QVERIFY(!rig.measurement.isPortOpen());
    QVERIFY(!rig.sentToInstrument().mid(sent.size()).contains('\x02'));

    // A save now holds nothing of the declined data.
    rig.prompts.saveMeasurement();
    QVERIFY(rig.waitForQuestion());
    rig.replyFile(rig.path(QStringLiteral("after")));
    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("after.csv"))), QByteArray());
}

void TestPrompts::questionsComeOneAtATimeInOrder()
{
    // Start with no port set: the port error comes first, then the save
    // question of the start that became a stop; never both at once.
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QCOMPARE(rig.measurement.openFolder(), Measurement::FolderResult::Ready);
    rig.measurement.setPortSettings({.number = 0});
    rig.measurement.start();
    QCOMPARE(rig.measurement.state(), State::Stopped);
    QCOMPARE(rig.measurement.error(), Measurement::Error::NoPortSet);

    QVERIFY(rig.question().startsWith(QStringLiteral("No serial port is set in the settings")));
    rig.settle();
    QCOMPARE(rig.dialogs.asked.size(), 1);
    rig.reply(Answer::Ok);
    QCOMPARE(rig.question(), saveQuestion);
    rig.reply(Answer::No);
    QCOMPARE(rig.measurement.state(), State::Idle);
    QCOMPARE(rig.dialogs.asked.size(), 2);
}

void TestPrompts::exitAnsweredNoEndsAtOnceAndReleasesThePort_data()
{
    QTest::addColumn<bool>("viaClose");

    QTest::newRow("exit command") << false;
    QTest::newRow("window closing after new data") << true;
}

void TestPrompts::exitAnsweredNoEndsAtOnceAndReleasesThePort()
{
    QFETCH(bool, viaClose);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("kept on disk", false));
    QVERIFY(rig.holdOutput());

    if (viaClose)
        rig.prompts.closeProgram();
    else
        rig.prompts.exit();
    QCOMPARE(rig.question(), saveQuestion);
    rig.reply(Answer::No);

    QCOMPARE(rig.dialogs.asked.size(), 1);
    QCOMPARE(rig.calls, QStringList{"endProgram"});
    // Nothing waits for the output, and the port is free for the next user.
    QVERIFY(!rig.measurement.isPortOpen());
    QVERIFY(!rig.workFile.isOpen());
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), rig.recorded("kept on disk"));
}

void TestPrompts::exitAnsweredYesSavesThenEnds()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("last run", false));

    rig.prompts.exit();
    QCOMPARE(rig.question(), saveQuestion);
    rig.reply(Answer::Yes);
    QVERIFY(rig.waitForQuestion());
    rig.replyFile(rig.path(QStringLiteral("final")));

    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("final.csv"))), rig.recorded("last run"));
    QCOMPARE(rig.calls, QStringList({"refreshFileList", "endProgram"}));
    QVERIFY(!rig.measurement.isPortOpen());
    QVERIFY(!rig.workFile.isOpen());
    QCOMPARE(rig.dialogs.messages().size(), 1);
}

void TestPrompts::closingWithoutNewDataSendsPendingOutputAndEnds()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("saved before", true));
    rig.reply(Answer::Yes);
    rig.replyFile(rig.path(QStringLiteral("saved")));
    QCOMPARE(rig.measurement.state(), State::Measuring);
    QVERIFY(!rig.measurement.hasUnsavedData());
    const QByteArray sent = rig.sentToInstrument();

    rig.prompts.closeProgram();

    QVERIFY(rig.quiet());
    QCOMPARE(rig.calls, QStringList({"refreshFileList", "endProgram"}));
    QVERIFY(!rig.measurement.isPortOpen());
    QVERIFY(!rig.workFile.isOpen());
    QVERIFY(sent.endsWith(QByteArray("\x03\x02", 2)));
}

void TestPrompts::unsentOutputAsksWhatToDo_data()
{
    QTest::addColumn<bool>("newData");       // closing runs Exit first (answered Yes, dialog cancelled)
    QTest::addColumn<QList<Answer>>("answers"); // to "Data cannot be sent"
    QTest::addColumn<int>("drainsDuring");   // index of the answer during which the output leaves, or -1
    QTest::addColumn<bool>("keepsRunning");

    QTest::newRow("abort keeps running") << false << QList<Answer>{Answer::Abort} << -1 << true;
    QTest::newRow("ignore closes") << false << QList<Answer>{Answer::Ignore} << -1 << false;
    QTest::newRow("retry, then ignore") << false << QList<Answer>{Answer::Retry, Answer::Ignore} << -1 << false;
    QTest::newRow("retry, then it is sent") << false << QList<Answer>{Answer::Retry} << 0 << false;
    QTest::newRow("abort inside exit holds") << true << QList<Answer>{Answer::Abort} << -1 << true;
}

void TestPrompts::unsentOutputAsksWhatToDo()
{
    QFETCH(bool, newData);
    QFETCH(QList<Answer>, answers);
    QFETCH(int, drainsDuring);
    QFETCH(bool, keepsRunning);

    // A measurement runs right after a save: nothing unsaved yet.
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("data", true));
    rig.reply(Answer::Yes);
    rig.replyFile(rig.path(QStringLiteral("saved")));
    if (newData)
        QVERIFY(rig.send("more"));
    QCOMPARE(rig.measurement.hasUnsavedData(), newData);
    QVERIFY(rig.holdOutput());
    rig.prompts.setDrainTimeoutMs(0);
    // The wait at the end asks through a modal box: its answers are scripted.
    const auto scriptSendAnswers = [&] {
        for (int i = 0; i < answers.size(); ++i) {
            if (i == drainsDuring)
                rig.dialogs.answer(answers[i], [&rig] { QVERIFY(rig.releaseOutput()); });
            else
                rig.dialogs.answer(answers[i]);
        }
    };

    if (newData) {
        rig.prompts.closeProgram();
        QCOMPARE(rig.question(), saveQuestion);
        rig.reply(Answer::Yes);
        QVERIFY(rig.waitForQuestion());
        scriptSendAnswers();
        rig.replyFile(QString());
    } else {
        scriptSendAnswers();
        rig.prompts.closeProgram();
    }

    QCOMPARE(rig.dialogs.pending(), 0);
    QCOMPARE(rig.dialogs.unexpected, 0);
    int sendQuestions = 0;
    for (const auto &m : rig.dialogs.messages()) {
        if (m.style != (Icon::Question | Buttons::AbortRetryIgnore))
            continue;
        ++sendQuestions;
        QCOMPARE(m.text, QStringLiteral("Data cannot be sent"));
        QCOMPARE(m.title, QString());
    }
    QCOMPARE(sendQuestions, int(answers.size()));
    QCOMPARE(rig.measurement.isPortOpen(), keepsRunning);
    QCOMPARE(rig.calls.contains(QStringLiteral("endProgram")), !keepsRunning);
}

void TestPrompts::realBoxShowsPlainTextAndDismissesOnlyWhereAllowed_data()
{
    QTest::addColumn<BoxStyle>("boxStyle");
    QTest::addColumn<bool>("closeButton");  // the title bar's close button, else the Esc key
    QTest::addColumn<bool>("dismissable");
    QTest::addColumn<Answer>("dismissed");  // the answer Esc and the close button give

    const struct { const char *name; BoxStyle boxStyle; bool dismissable; Answer dismissed; } boxes[] = {
        {"OK", Icon::Warning, true, Answer::Ok},
        {"OK, Cancel", Buttons::OkCancel, true, Answer::Cancel},
        {"Abort, Retry, Ignore", Icon::Question | Buttons::AbortRetryIgnore, false, Answer::Abort},
        {"Yes, No, Cancel", Buttons::YesNoCancel, true, Answer::Cancel},
        {"Yes, No", Icon::Question | Buttons::YesNo, false, Answer::Yes},
        {"Retry, Cancel", Icon::Critical | Buttons::RetryCancel, true, Answer::Cancel},
        {"Cancel, Try Again, Continue", Icon::Question | Buttons::CancelTryContinue, true, Answer::Cancel},
    };
    for (const auto &box : boxes) {
        QTest::addRow("%s: Esc", box.name) << box.boxStyle << false << box.dismissable << box.dismissed;
        QTest::addRow("%s: close button", box.name) << box.boxStyle << true << box.dismissable << box.dismissed;
    }
}

void TestPrompts::realBoxShowsPlainTextAndDismissesOnlyWhereAllowed()
{
    QFETCH(BoxStyle, boxStyle);
    QFETCH(bool, closeButton);
    QFETCH(bool, dismissable);
    QFETCH(Answer, dismissed);

    // The real box: its text, which looks like markup, is read back as
    // shown; then the key or the close request goes through the window
    // system's path to the box, and its default button is clicked if it is
    // still open.
    const QString text = QStringLiteral("<b>Vindo.qvx</b> & <i>x</i>\r\nDo you want to save the datafile ?");
    QtUserDialogs dialogs;
    bool stayedOpen = false;
    Qt::TextFormat format = Qt::AutoText;
    QString shown;
    QTimer poll;
    poll.setInterval(10);
    connect(&poll, &QTimer::timeout, this, [&] {
        QPointer<QMessageBox> box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || !box->windowHandle())
            return;
        poll.stop();
        if (const QLabel *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
            format = label->textFormat();
            shown = label->text();
        }
        if (closeButton)
            box->windowHandle()->close();
        else
            QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
        QTimer::singleShot(100, box, [&stayedOpen, box] {
            if (!box->isVisible())
                return;
            stayedOpen = true;
            box->defaultButton()->click();
        });
    });
    poll.start();

    const Answer given = dialogs.message(text, boxStyle);

    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(shown, text);

    // A box without a button for Esc stays open; its default button, the
    // first one, answered.
    QCOMPARE(stayedOpen, !dismissable);
    QCOMPARE(given, dismissed);
}

QTEST_MAIN(TestPrompts)
#include "tst_prompts.moc"

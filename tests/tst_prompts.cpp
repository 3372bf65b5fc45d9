// The questions at a measurement stop and at exit, the discard of a
// measurement and the orderly end of the program.

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

namespace {
const QString excelMessage =
    QStringLiteral("Please close Microsoft EXCEL ! \r\nBitte Microsoft EXCEL schließen ! ");
const QString infoCaption = QStringLiteral(" Quendrel Data Recorder Info ");
} // namespace

class TestPrompts : public QObject
{
    Q_OBJECT

private slots:
    void discardStartsAnEmptyWorkingFile_data();
    void discardStartsAnEmptyWorkingFile();
    void discardOfAnUndeletableFileShowsTheExcelMessageOnce();
    void cancelledSaveDialogKeepsTheData_data();
    void cancelledSaveDialogKeepsTheData();
    void unsavedDataAreKeptBeforeTheNextMeasurement_data();
    void unsavedDataAreKeptBeforeTheNextMeasurement();
    void declinedDataThatCannotBeDroppedNeverReachASave();
    void exitAnsweredNoEndsAtOnce_data();
    void exitAnsweredNoEndsAtOnce();
    void exitAnsweredYesSavesThenEnds();
    void closingWithoutNewDataSendsPendingOutputAndEnds();
    void unsentOutputAsksWhatToDo_data();
    void unsentOutputAsksWhatToDo();
    void realBoxShowsPlainTextAndDismissesOnlyWhereAllowed_data();
    void realBoxShowsPlainTextAndDismissesOnlyWhereAllowed();
};

void TestPrompts::discardStartsAnEmptyWorkingFile_data()
{
    QTest::addColumn<bool>("recorded");

    QTest::newRow("after a measurement") << true;
    QTest::newRow("no working file") << false;
}

void TestPrompts::discardStartsAnEmptyWorkingFile()
{
    QFETCH(bool, recorded);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    if (recorded)
        QVERIFY(rig.record("to be discarded", false));

    rig.dialogs.answer(Answer::No);
    rig.files.askSaveAfterStop();

    QCOMPARE(rig.dialogs.asked.size(), 1);
    QCOMPARE(rig.dialogs.asked[0].text, QStringLiteral("Do you want to save the datafile ?"));
    QCOMPARE(rig.dialogs.asked[0].style, 36);
    QCOMPARE(rig.dialogs.asked[0].title, QString());
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), QByteArray());
    QVERIFY(rig.workFile.isOpen());
    QVERIFY(!rig.measurement.hasUnsavedData());
    QVERIFY(rig.calls.isEmpty());
    QVERIFY(!rig.port.isOpen());
}

void TestPrompts::discardOfAnUndeletableFileShowsTheExcelMessageOnce()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("held open elsewhere", false));
    if (!rig.lockFile(QStringLiteral("Vindo.qvx")))
        QSKIP("needs root and a file system that can make a file append-only");

    rig.dialogs.answer(Answer::No);
    rig.dialogs.answer(Answer::TryAgain);
    rig.files.askSaveAfterStop();

    const auto messages = rig.dialogs.messages();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[1].text, excelMessage);
    QCOMPARE(messages[1].style, 38);
    QCOMPARE(messages[1].title, infoCaption);
    QVERIFY(!rig.workFile.isOpen());
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), QByteArray("held open elsewhere"));
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
    QVERIFY(rig.record("recorded data", true));

    rig.dialogs.answer(Answer::Yes);
    rig.dialogs.cancelDialog();
    rig.calls.clear();
    if (atExit)
        rig.files.exit();
    else
        rig.measurement.startStop();

    QCOMPARE(rig.dialogs.asked.size(), 2);
    QCOMPARE(rig.dialogs.asked[1].kind, Kind::Save);
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), QByteArray("recorded data"));
    QVERIFY(!rig.workFile.isOpen() || atExit);
    // Exit still ends the program after the cancelled dialog.
    if (atExit)
        QCOMPARE(rig.calls, QStringList{"endProgram"});
    else
        QCOMPARE(rig.measurement.state(), Measurement::State::Stopped);
}

void TestPrompts::unsavedDataAreKeptBeforeTheNextMeasurement_data()
{
    QTest::addColumn<bool>("cancelled");   // else the copy fails

    QTest::newRow("save dialog cancelled") << true;
    QTest::newRow("copy failed") << false;
}

void TestPrompts::unsavedDataAreKeptBeforeTheNextMeasurement()
{
    QFETCH(bool, cancelled);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("first run", true));
    rig.dialogs.answer(Answer::Yes);
    if (cancelled)
        rig.dialogs.cancelDialog();
    else
        rig.dialogs.chooseFile(rig.path(QStringLiteral("no-such-folder/run1")));
    if (!cancelled)
        rig.dialogs.answer(Answer::Ok);   // the failed copy's box
    rig.measurement.startStop();
    QCOMPARE(rig.measurement.state(), Measurement::State::Stopped);
    QVERIFY(!rig.port.isOpen());

    // Start keeps the unsaved data first, then records anew.
    rig.dialogs.answer(Answer::Ok);
    rig.measurement.startStop();
    QCOMPARE(rig.measurement.state(), Measurement::State::Measuring);
    QVERIFY(rig.port.isOpen());
    const QStringList kept = QDir().entryList({QStringLiteral("Vindo-recovered-*.csv")});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(MeasurementRig::contents(kept.first()), QByteArray("first run"));
    const auto told = rig.dialogs.messages().last();
    QCOMPARE(told.style, BoxStyle(Icon::Information).code());
    QVERIFY2(told.text.contains(kept.first()), qPrintable(told.text));
    QVERIFY(rig.measurement.recordRaw("second run"));

    // The next save writes the second measurement only.
    rig.dialogs.answer(Answer::Yes);
    rig.dialogs.chooseFile(rig.path(QStringLiteral("run2")));
    rig.measurement.startStop();
    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("run2.csv"))), QByteArray("second run"));
    QCOMPARE(MeasurementRig::contents(kept.first()), QByteArray("first run"));
    QCOMPARE(rig.measurement.state(), Measurement::State::Measuring);
    QCOMPARE(rig.dialogs.unexpected, 0);
}

void TestPrompts::declinedDataThatCannotBeDroppedNeverReachASave()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("declined", true));
    if (!rig.lockFile(QStringLiteral("Vindo.qvx")))
        QSKIP("needs root and a file system that can make a file append-only");

    rig.dialogs.answer(Answer::No);
    rig.dialogs.answer(Answer::TryAgain);
    rig.measurement.startStop();
    QCOMPARE(rig.dialogs.messages().last().text, excelMessage);

    // Start cannot record into that file: it says where and why, and the
    // instrument is not started.
    rig.measurement.startStop();
    const auto refused = rig.dialogs.messages().last();
    QCOMPARE(refused.style, BoxStyle(Icon::Warning).code());
    QVERIFY2(refused.text.contains(QDir::toNativeSeparators(QDir::currentPath())), qPrintable(refused.text));
    QVERIFY(!rig.port.isOpen());
    QVERIFY(!rig.sentToInstrument().contains('\x02'));

    // A save now holds nothing of the declined data.
    rig.dialogs.chooseFile(rig.path(QStringLiteral("after")));
    rig.files.saveMeasurement();
    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("after.csv"))), QByteArray());
}

void TestPrompts::exitAnsweredNoEndsAtOnce_data()
{
    QTest::addColumn<bool>("viaUnload");

    QTest::newRow("exit command") << false;
    QTest::newRow("window closing after new data") << true;
}

void TestPrompts::exitAnsweredNoEndsAtOnce()
{
    QFETCH(bool, viaUnload);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("kept on disk", true));
    QVERIFY(rig.holdOutput());

    rig.dialogs.answer(Answer::No);
    if (viaUnload)
        QCOMPARE(rig.files.closeProgram(), false);
    else
        rig.files.exit();

    QCOMPARE(rig.dialogs.asked.size(), 1);
    QCOMPARE(rig.calls, QStringList{"endProgram"});
    // Nothing after the answer: the port is not closed, no further box.
    QVERIFY(rig.port.isOpen());
    QVERIFY(!rig.workFile.isOpen());
    QCOMPARE(MeasurementRig::contents(QStringLiteral("Vindo.qvx")), QByteArray("kept on disk"));
}

void TestPrompts::exitAnsweredYesSavesThenEnds()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("last run", true));

    rig.dialogs.answer(Answer::Yes);
    rig.dialogs.chooseFile(rig.path(QStringLiteral("final")));
    rig.files.exit();

    QCOMPARE(MeasurementRig::contents(rig.path(QStringLiteral("final.csv"))), QByteArray("last run"));
    QCOMPARE(rig.calls, QStringList({"refreshFileList", "clearTerm", "togglePort", "endProgram"}));
    QVERIFY(!rig.port.isOpen());
    QVERIFY(!rig.workFile.isOpen());
    QCOMPARE(rig.dialogs.messages().size(), 1);
}

void TestPrompts::closingWithoutNewDataSendsPendingOutputAndEnds()
{
    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("saved before", true));
    rig.measurement.setUnsavedData(false);
    QVERIFY(rig.port.write(QByteArray("\x03\x02", 2)));

    QCOMPARE(rig.files.closeProgram(), false);

    QVERIFY(rig.dialogs.asked.isEmpty());
    QCOMPARE(rig.calls, QStringList{"endProgram"});
    QVERIFY(!rig.port.isOpen());
    QVERIFY(!rig.workFile.isOpen());
    QCOMPARE(rig.sentToInstrument(), QByteArray("\x03\x02", 2));
}

void TestPrompts::unsentOutputAsksWhatToDo_data()
{
    QTest::addColumn<bool>("newData");       // closing runs Exit first (answered Yes, dialog cancelled)
    QTest::addColumn<QList<Answer>>("answers"); // to "Data cannot be sent"
    QTest::addColumn<int>("drainsDuring");   // index of the answer during which the output leaves, or -1
    QTest::addColumn<bool>("cancel");

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
    QFETCH(bool, cancel);

    MeasurementRig rig;
    QVERIFY(rig.ready());
    QVERIFY(rig.record("data", true));
    if (newData) {
        rig.dialogs.answer(Answer::Yes);
        rig.dialogs.cancelDialog();
    } else {
        rig.measurement.setUnsavedData(false);
    }
    QVERIFY(rig.holdOutput());
    rig.files.setDrainTimeoutMs(0);
    for (int i = 0; i < answers.size(); ++i) {
        if (i == drainsDuring)
            rig.dialogs.answer(answers[i], [&rig] { QVERIFY(rig.releaseOutput()); });
        else
            rig.dialogs.answer(answers[i]);
    }

    QCOMPARE(rig.files.closeProgram(), cancel);

    QCOMPARE(rig.dialogs.pending(), 0);
    QCOMPARE(rig.dialogs.unexpected, 0);
    int sendQuestions = 0;
    for (const auto &m : rig.dialogs.messages()) {
        if (m.style != 34)
            continue;
        ++sendQuestions;
        QCOMPARE(m.text, QStringLiteral("Data cannot be sent"));
        QCOMPARE(m.title, QString());
    }
    QCOMPARE(sendQuestions, int(answers.size()));
    QCOMPARE(rig.port.isOpen(), cancel);
    QCOMPARE(rig.calls.contains(QStringLiteral("endProgram")), !cancel);
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

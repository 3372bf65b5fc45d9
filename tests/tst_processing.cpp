// Received blocks: the receive box, the working file, the last complete
// line and the figures, meters and overload labels it drives.

#include "PortEvents.h"
#include "FileSizeLimit.h"
#include "LiveModel.h"
#include "Measurement.h"
#include "SerialPort.h"
#include "Simulator.h"
#include "SampleProcessor.h"
#include "ScriptedDialogs.h"
#include "InstrumentState.h"
#include "UserDialogs.h"
#include "WorkingFile.h"

#include <QtTest>

namespace {

// The processor with its ranges and a working file in a temporary folder,
// at a fixed moment so the notes header is known in advance.
struct Receiver
{
    explicit Receiver(const QString &language = QStringLiteral("English"))
    {
        processor.setLanguage(languageFromText(language));
        ranges.rangeLimit1 = 1000;
        ranges.rangeLimit2 = 1000;
        processor.setClock([this] { return now; });
        processor.setNotesProvider([this] { return notes; });
        processor.setDialogs(&dialogs);
        file.open(path());
    }

    QString path() const { return dir.filePath(QStringLiteral("Vindo.qvx")); }
    QByteArray recorded() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void receive(const QByteArray &block) { processor.processBlock(live.received, block); }

    /// The notes header as the file must hold it.
    QByteArray header(const QString &timeLabel, const QString &dateLabel) const
    {
        const QString date = QLocale::system().toString(now.date(), QLocale::ShortFormat);
        return (timeLabel + QStringLiteral("09:07:03\r") + dateLabel + date + QStringLiteral("\rNotes :  ")
                + QString(notes).replace(QLatin1Char('\t'), QLatin1Char(';')) + QStringLiteral("\r"))
            .toLatin1();
    }

    QTemporaryDir dir;
    SensorRanges ranges;
    LiveModel live;
    WorkingFile file;
    ScriptedDialogs dialogs;
    SampleProcessor processor{ranges, live, file};
    QDateTime now{QDate(2024, 3, 5), QTime(9, 7, 3)};
    QString notes;
};

/// A measurement session alone, in a temporary folder as the current
/// directory, its COM<N> links looked up there.
struct Session
{
    explicit Session(const QString &language = QStringLiteral("English")) : previous(QDir::currentPath())
    {
        QDir::setCurrent(dir.path());
        measurement.setLanguage(languageFromText(language));
        measurement.port().setPortDirectory(dir.path());
    }
    ~Session()
    {
        measurement.finish();
        QDir::setCurrent(previous);
    }

    QString previous;
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    Measurement measurement{dialogs};
};

} // namespace

class TestProcessing : public QObject
{
    Q_OBJECT

private slots:
    void lastLineDrivesFiguresMetersAndLabels_data();
    void lastLineDrivesFiguresMetersAndLabels();
    void sevenWordsAreShownAndMissingOnesEmptied();
    void blockIsFilteredForBoxAndFile_data();
    void blockIsFilteredForBoxAndFile();
    void tabsFollowCheck1();
    void notesHeaderReplacesTheFirstBlock_data();
    void notesHeaderReplacesTheFirstBlock();
    void notesHeaderWordsAreShownUntilTheFirstLine();
    void unknownLanguageKeepsThePreviousLabels();
    void blockWithoutLineEndKeepsTheShownLine();
    void beepsUntilTheFirstLineEnds();
    void linesAreGatheredAcrossBlocks_data();
    void linesAreGatheredAcrossBlocks();
    void startOfTheNextLineIsKept();
    void receiveBoxIsTrimmed_data();
    void receiveBoxIsTrimmed();
    void unendedLineIsBoundedButRecorded();
    void writeFailureRetriesThenCancelStopsRecording();
    void retriedBlockIsRecordedOnce();
    void blockArrivingDuringTheQuestionFollowsTheOneBefore();
    void recordedBytesDoNotDependOnPieces_data();
    void recordedBytesDoNotDependOnPieces();
    void commEventCodesAreClassified_data();
    void commEventCodesAreClassified();
    void cancelInTheErrorBoxClosesOnlyThePort();
    void vanishedDeviceIsReportedOnceWithoutSpinning();
    void portThatCannotOpenIsNamedWithItsReason_data();
    void portThatCannotOpenIsNamedWithItsReason();
    void missingHeaderIsReportedInTheConfiguredLanguage_data();
    void missingHeaderIsReportedInTheConfiguredLanguage();
};

void TestProcessing::lastLineDrivesFiguresMetersAndLabels_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("act");
    QTest::addColumn<qint16>("limit");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<qint16>("level");
    QTest::addColumn<bool>("overload");

    QTest::newRow("Deutsch comma reads up to it") << "Deutsch" << "12.5" << qint16(12) << "12,5" << qint16(12) << false;
    QTest::newRow("Francais comma") << "Francais" << "0.5" << qint16(0) << "0,5" << qint16(0) << false;
    QTest::newRow("English half to even down") << "English" << "12.5" << qint16(12) << "12.5" << qint16(12) << true;
    QTest::newRow("English half to even up") << "English" << "13.5" << qint16(1000) << "13.5" << qint16(14) << false;
    QTest::newRow("negative") << "English" << "-3.5" << qint16(0) << "-3.5" << qint16(-4) << false;
    QTest::newRow("overload word") << "English" << "*Ovl*" << qint16(1000) << "*Ovl*" << qint16(0) << true;
    QTest::newRow("beyond the meter keeps its level") << "English" << "40000" << qint16(1000) << "40000" << qint16(7) << true;
    QTest::newRow("equal to the limit") << "English" << "100" << qint16(100) << "100" << qint16(100) << false;
}

void TestProcessing::lastLineDrivesFiguresMetersAndLabels()
{
    QFETCH(QString, language);
    QFETCH(QString, act);
    QFETCH(qint16, limit);
    QFETCH(QString, shown);
    QFETCH(qint16, level);
    QFETCH(bool, overload);

    Receiver r(language);
    r.ranges.rangeLimit1 = limit;
    r.ranges.rangeLimit2 = limit;
    r.live.inp1Level = 7;
    r.live.inp2Level = 7;
    r.live.inp1Overload = !overload;
    r.live.inp2Overload = !overload;
    const quint64 revision = r.live.revision;

    r.receive((QStringLiteral("1 ") + act + QStringLiteral(" 2 3 ") + act + QStringLiteral(" 5 6\r")).toLatin1());

    QCOMPARE(r.live.inp1Actual, shown);
    QCOMPARE(r.live.inp2Actual, shown);
    QCOMPARE(r.live.inp1Level, level);
    QCOMPARE(r.live.inp2Level, level);
    QCOMPARE(r.live.inp1Overload, overload);
    QCOMPARE(r.live.inp2Overload, overload);
    QCOMPARE(r.live.revision, revision + 1);
}

void TestProcessing::sevenWordsAreShownAndMissingOnesEmptied()
{
    Receiver r;
    r.receive("  0.5   1  2 3 4 5 6 7\r");
    const QStringList shown{r.live.sampleTime, r.live.inp1Actual, r.live.inp1Max, r.live.inp1Min,
                            r.live.inp2Actual, r.live.inp2Max, r.live.inp2Min};
    QCOMPARE(shown, (QStringList{"0.5", "1", "2", "3", "4", "5", "6"}));

    r.receive("9 8\r");
    const QStringList shortLine{r.live.sampleTime, r.live.inp1Actual, r.live.inp1Max, r.live.inp2Min};
    QCOMPARE(shortLine, (QStringList{"9", "8\r\n", "", ""}));
}

void TestProcessing::blockIsFilteredForBoxAndFile_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("recorded");

    QTest::newRow("backspace inside a block") << "English" << "" << QByteArray("ab\bc") << "ac" << QByteArray("ac");
    QTest::newRow("two backspaces") << "English" << "" << QByteArray("abc\b\bd") << "ad" << QByteArray("ad");
    QTest::newRow("backspace starts the block") << "English" << "xy" << QByteArray("\bz") << "xz" << QByteArray("z");
    QTest::newRow("backspace starts the first block") << "English" << "" << QByteArray("\bz") << "z" << QByteArray("z");
    QTest::newRow("backspace removes a line end") << "English" << "" << QByteArray("a\r\bb") << "ab" << QByteArray("ab");
    QTest::newRow("lone carriage return") << "English" << "" << QByteArray("\r") << "\r\n" << QByteArray("\r\n");
    QTest::newRow("lone line feed dropped") << "English" << "x" << QByteArray("\n") << "x" << QByteArray();
    QTest::newRow("line feed before return") << "English" << "" << QByteArray("a\n\rb") << "a\r\nb" << QByteArray("a\r\nb");
    QTest::newRow("both line ends") << "English" << "" << QByteArray("a\r\nb\r\n") << "a\r\nb\r\n" << QByteArray("a\r\nb\r\n");
    QTest::newRow("English points and tabs") << "English" << "" << QByteArray("1.5\t2.5") << "1.5\t2.5" << QByteArray("1.5;2.5");
    QTest::newRow("Deutsch points") << "Deutsch" << "" << QByteArray("1.5\t2.5") << "1,5\t2,5" << QByteArray("1,5;2,5");
    QTest::newRow("Latin-1 byte unchanged") << "English" << "" << QByteArray("\xb0" "C") << QStringLiteral(u"\u00b0C") << QByteArray("\xb0" "C");
}

void TestProcessing::blockIsFilteredForBoxAndFile()
{
    QFETCH(QString, language);
    QFETCH(QString, before);
    QFETCH(QByteArray, block);
    QFETCH(QString, shown);
    QFETCH(QByteArray, recorded);

    Receiver r(language);
    r.live.received.text = before;
    r.receive(block);
    QCOMPARE(r.live.received.text, shown);
    QCOMPARE(r.live.received.selStart, int(shown.size()));
    QCOMPARE(r.recorded(), recorded);
}

void TestProcessing::tabsFollowCheck1()
{
    Receiver r;
    const std::pair<Qt::CheckState, QByteArray> steps[] = {
        {Qt::Unchecked, "a\tb"},
        {Qt::PartiallyChecked, "a\tb"},  // keeps the last choice
        {Qt::Checked, "a;b"},
        {Qt::PartiallyChecked, "a;b"},
    };
    QByteArray expected;
    for (const auto &[state, bytes] : steps) {
        r.processor.setTabsAsSemicolons(state);
        r.receive("a\tb");
        expected += bytes;
    }
    QCOMPARE(r.recorded(), expected);
}

void TestProcessing::notesHeaderReplacesTheFirstBlock_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("timeLabel");
    QTest::addColumn<QString>("dateLabel");
    QTest::addColumn<QByteArray>("secondLine");

    QTest::newRow("Deutsch") << "Deutsch" << "  Uhrzeit: " << "  Datum: " << QByteArray("SR1 = 2,5 07\r\n");
    QTest::newRow("English") << "English" << "  Time: " << "  Date: " << QByteArray("SR1 = 2.5 07\r\n");
    QTest::newRow("Francais") << "Francais" << "  Temps: " << "  Date: " << QByteArray("SR1 = 2,5 07\r\n");
    QTest::newRow("none of the three") << "Deutsch " << "" << "" << QByteArray("SR1 = 2.5 07\r\n");
}

void TestProcessing::notesHeaderReplacesTheFirstBlock()
{
    QFETCH(QString, language);
    QFETCH(QString, timeLabel);
    QFETCH(QString, dateLabel);
    QFETCH(QByteArray, secondLine);

    Receiver r(language);
    r.notes = QStringLiteral("first.run\twith tab");
    r.processor.expectNotesHeader();
    r.receive("INP1 = bar\r");

    QCOMPARE(r.live.received.text, QStringLiteral("INP1 = bar\r\n"));
    QCOMPARE(r.recorded(), r.header(timeLabel, dateLabel));
    QVERIFY(!r.processor.notesHeaderPending());

    r.receive("SR1 = 2.5 07\r");
    QCOMPARE(r.recorded(), r.header(timeLabel, dateLabel) + secondLine);
}

void TestProcessing::notesHeaderWordsAreShownUntilTheFirstLine()
{
    Receiver r;
    r.processor.expectNotesHeader();
    r.receive("INP1 = ");
    QCOMPARE(r.live.sampleTime, QStringLiteral("Time:"));
    QCOMPARE(r.live.inp1Actual, QStringLiteral("09:07:03\r"));
    QCOMPARE(r.live.inp1Max, QStringLiteral("Date:"));
    QCOMPARE(r.live.inp1Level, qint16(9));

    // The start received in place of the header is no part of the next line.
    r.receive("bar\r");
    QCOMPARE(r.live.sampleTime, QStringLiteral("bar\r\n"));
}

void TestProcessing::unknownLanguageKeepsThePreviousLabels()
{
    Receiver r(QStringLiteral("Francais"));
    r.receive("x");
    r.processor.setLanguage(Language::Other);
    r.processor.expectNotesHeader();
    r.receive("y");
    QCOMPARE(r.recorded(), "x" + r.header(QStringLiteral("  Temps: "), QStringLiteral("  Date: ")));
}

void TestProcessing::blockWithoutLineEndKeepsTheShownLine()
{
    Receiver r;
    r.receive("1 2 3 4 5 6 7\r");
    const int beepsBefore = r.dialogs.beeps();
    r.receive("8 9 10");
    QCOMPARE(r.live.sampleTime, QStringLiteral("1"));
    QCOMPARE(r.live.inp1Actual, QStringLiteral("2"));
    QCOMPARE(r.live.lastLine, QStringLiteral("1 2 3 4 5 6 7\r\n"));
    QCOMPARE(r.dialogs.beeps(), beepsBefore);
}

void TestProcessing::beepsUntilTheFirstLineEnds()
{
    Receiver r;
    r.receive("1 2");
    r.receive(" 3");
    QCOMPARE(r.dialogs.beeps(), 2);
    QVERIFY(r.live.lastLineWords.isEmpty());
    r.receive("\r");
    QCOMPARE(r.dialogs.beeps(), 2);
    QCOMPARE(r.live.lastLineWords, (QStringList{"1", "2", "3\r\n"}));
}

void TestProcessing::linesAreGatheredAcrossBlocks_data()
{
    QTest::addColumn<QList<QByteArray>>("blocks");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("rest");

    QTest::newRow("torn in the middle") << QList<QByteArray>{"1 2 3 ", "4 5 6 7\r"}
                                        << "1 2 3 4 5 6 7\r\n" << "";
    QTest::newRow("line feed in the next block") << QList<QByteArray>{"1 2 3 4 5 6 7\r", "\n"}
                                                 << "1 2 3 4 5 6 7\r\n" << "";
    QTest::newRow("tabs and semicolons removed") << QList<QByteArray>{"1\t2;3\r"} << "123\r\n" << "";
    QTest::newRow("two lines in one block") << QList<QByteArray>{"1 2\r3 4\r"} << "1 2\r\n3 4\r\n" << "";
    QTest::newRow("start of the next line kept") << QList<QByteArray>{"1 2", " 3\r4 5"} << "1 2 3\r\n" << "4 5";
    QTest::newRow("kept start joins its end") << QList<QByteArray>{"1 2 3\r4", " 5\r6"} << "4 5\r\n" << "6";
}

void TestProcessing::linesAreGatheredAcrossBlocks()
{
    QFETCH(QList<QByteArray>, blocks);
    QFETCH(QString, line);
    QFETCH(QString, rest);

    Receiver r;
    for (const QByteArray &block : std::as_const(blocks))
        r.receive(block);
    QCOMPARE(r.live.lastLine, line);
    QCOMPARE(r.processor.lineBuffer(), rest);
}

void TestProcessing::startOfTheNextLineIsKept()
{
    Receiver r;
    r.receive("0.5 1 2 3 4 5 6\r1.0 11");
    QCOMPARE(r.live.sampleTime, QStringLiteral("0.5"));
    r.receive(" 12 13 14 15 16\r");
    QCOMPARE(r.live.sampleTime, QStringLiteral("1.0"));
    QCOMPARE(r.live.inp1Actual, QStringLiteral("11"));
    QCOMPARE(r.live.inp1Level, qint16(11));
}

void TestProcessing::receiveBoxIsTrimmed_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("keptFrom");
    QTest::addColumn<bool>("imageShown");

    QTest::newRow("empty box") << 0 << 0 << false;
    QTest::newRow("just below the limit") << 16383 << 0 << true;
    QTest::newRow("at the limit") << 16384 << 4096 << true;
    QTest::newRow("above the limit") << 20000 << 4096 << true;
}

void TestProcessing::receiveBoxIsTrimmed()
{
    QFETCH(int, length);
    QFETCH(int, keptFrom);
    QFETCH(bool, imageShown);

    Receiver r;
    QString before;
    for (int i = 0; i < length; ++i)
        before += QChar(u'a' + i % 26);
    r.live.received.text = before;
    r.live.idlePictureShown = true;
    r.receive("XYZ");
    QCOMPARE(r.live.received.text, before.mid(keptFrom) + QStringLiteral("XYZ"));
    QCOMPARE(r.processor.hasUnsavedData(), length > 0);
    QCOMPARE(r.live.graphPictureShown, imageShown);
    QCOMPARE(r.live.idlePictureShown, !imageShown);
}

void TestProcessing::unendedLineIsBoundedButRecorded()
{
    Receiver r;
    for (char c : {'a', 'b', 'c'})
        r.receive(QByteArray(3000, c));
    const QString newest = QString(1096, QLatin1Char('b')) + QString(3000, QLatin1Char('c'));
    QCOMPARE(r.processor.lineBuffer(), newest);
    QCOMPARE(r.recorded().size(), 9000);

    r.receive("\r");
    QCOMPARE(r.live.lastLine, newest + QStringLiteral("\r\n"));
}

void TestProcessing::writeFailureRetriesThenCancelStopsRecording()
{
    Receiver r;
    if (!r.file.openForAppend(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this system");
    r.dialogs.answer(Answer::Retry);
    r.dialogs.answer(Answer::Cancel);

    r.receive("a\r");
    QCOMPARE(r.dialogs.messages().size(), 2);
    QVERIFY(!r.dialogs.messages().first().text.isEmpty());
    QCOMPARE(r.dialogs.messages().first().style, (Buttons::RetryCancel | Icon::Critical).code());
    QVERIFY(!r.file.isOpen());

    r.receive("b\r");
    QCOMPARE(r.dialogs.messages().size(), 2);
    QCOMPARE(r.live.received.text, QStringLiteral("a\r\nb\r\n"));
    QCOMPARE(r.live.sampleTime, QStringLiteral("b\r\n"));
}

void TestProcessing::retriedBlockIsRecordedOnce()
{
    Receiver r;
    QVERIFY(r.file.write("0123456789"));
    FileSizeLimit limit(16);
    QVERIFY(limit.isActive());
    r.dialogs.answer(Answer::Retry, [&] { limit.lift(); });

    // The block fits only in part: the part written is taken back.
    r.receive("ABCDEFGHIJKL\r");
    QCOMPARE(r.dialogs.messages().size(), 1);
    QCOMPARE(r.recorded(), QByteArray("0123456789ABCDEFGHIJKL\r\n"));
}

void TestProcessing::blockArrivingDuringTheQuestionFollowsTheOneBefore()
{
    Receiver r;
    FileSizeLimit limit(4);
    r.dialogs.answer(Answer::Retry, [&] {
        // The question's event loop delivers the next block.
        r.receive("second\r");
        limit.lift();
    });

    r.receive("first\r");
    QCOMPARE(r.dialogs.messages().size(), 1);
    QCOMPARE(r.recorded(), QByteArray("first\r\nsecond\r\n"));
    QCOMPARE(r.live.received.text, QStringLiteral("first\r\nsecond\r\n"));
}

void TestProcessing::recordedBytesDoNotDependOnPieces_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("pieceSize");
    QTest::addColumn<QByteArray>("body");

    const QByteArray english = "INP1 = degrC\r\nSR1 = 2.5 bar 07\r\nPri 1.02\r\n"
                               "0.5;12.5;13.0;11.9;*Ovl*;*Ovl*;0.0\r\n"
                               "1.0;12.6;13.0;11.9;1.25;1.30;0.0\r\n";
    const QByteArray deutsch = "INP1 = degrC\r\nSR1 = 2,5 bar 07\r\nPri 1,02\r\n"
                               "0,5;12,5;13,0;11,9;*Ovl*;*Ovl*;0,0\r\n"
                               "1,0;12,6;13,0;11,9;1,25;1,30;0,0\r\n";
    for (int size : {1, 2, 5, 13, 1000})
        QTest::addRow("English in pieces of %d", size) << "English" << size << english;
    for (int size : {1, 3, 1000})
        QTest::addRow("Deutsch in pieces of %d", size) << "Deutsch" << size << deutsch;
}

void TestProcessing::recordedBytesDoNotDependOnPieces()
{
    QFETCH(QString, language);
    QFETCH(int, pieceSize);
    QFETCH(QByteArray, body);

    // What the instrument sends after the first piece, tabs between values.
    const QByteArray stream = "INP1 = degrC\r\nSR1 = 2.5 bar 07\r\nPri 1.02\r\n"
                              "0.5\t12.5\t13.0\t11.9\t*Ovl*\t*Ovl*\t0.0\r\n"
                              "1.0\t12.6\t13.0\t11.9\t1.25\t1.30\t0.0\r\n";
    Receiver r(language);
    r.notes = QStringLiteral("Test 1.5");
    r.processor.expectNotesHeader();
    r.receive("\r\n");
    for (qsizetype i = 0; i < stream.size(); i += pieceSize)
        r.receive(stream.mid(i, pieceSize));

    const bool deutsch = language == QLatin1String("Deutsch");
    const QByteArray header = deutsch ? r.header(QStringLiteral("  Uhrzeit: "), QStringLiteral("  Datum: "))
                                      : r.header(QStringLiteral("  Time: "), QStringLiteral("  Date: "));
    QCOMPARE(r.recorded(), header + body);
}

void TestProcessing::commEventCodesAreClassified_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("box");   // a beep and an OK/Cancel box with the text

    QTest::newRow("output threshold") << 1 << int(PortEventClass::None) << "" << false;
    QTest::newRow("receive") << 2 << int(PortEventClass::Receive) << "" << false;
    QTest::newRow("CTS change") << 3 << int(PortEventClass::Event) << "Change in CTS Detected" << false;
    QTest::newRow("end of file") << 7 << int(PortEventClass::Event) << "End of File Detected" << false;
    QTest::newRow("break") << 1001 << int(PortEventClass::Event) << "Break Received" << false;
    QTest::newRow("CTS timeout") << 1002 << int(PortEventClass::Error) << "CTS Timeout" << true;
    QTest::newRow("DSR timeout") << 1003 << int(PortEventClass::Error) << "DSR Timeout" << true;
    QTest::newRow("framing") << 1004 << int(PortEventClass::Event) << "Framing Error" << false;
    QTest::newRow("ignored 1005") << 1005 << int(PortEventClass::None) << "" << false;
    QTest::newRow("overrun") << 1006 << int(PortEventClass::Error) << "Overrun Error" << true;
    QTest::newRow("1008") << 1008 << int(PortEventClass::None) << "" << false;
    QTest::newRow("parity") << 1009 << int(PortEventClass::Event) << "Parity Error" << false;
    QTest::newRow("1010 unknown") << 1010 << int(PortEventClass::Error) << "Unknown error or event" << true;
}

void TestProcessing::commEventCodesAreClassified()
{
    QFETCH(int, code);
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(bool, box);

    const PortEventClass event = classifyPortEvent(qint16(code));
    QCOMPARE(int(event.kind), kind);
    QCOMPARE(event.text, text);

    // What the measurement does with it.
    if (code == 2)
        return;
    Session session;
    session.dialogs.answer(Answer::Ok);
    session.measurement.handlePortEvent(SerialPort::Event(code));
    QCOMPARE(session.dialogs.beeps(), int(box));
    QCOMPARE(session.dialogs.messages().size(), int(box));
    if (box) {
        QCOMPARE(session.dialogs.messages().first().text, text);
        QCOMPARE(session.dialogs.messages().first().title, QStringLiteral("Click Cancel to quit, OK to ignore."));
        QCOMPARE(session.dialogs.messages().first().style, 1);
    }
}

void TestProcessing::cancelInTheErrorBoxClosesOnlyThePort()
{
    Session session;
    Simulator sim;
    QVERIFY(sim.start(session.dir.path(), 5));
    Measurement &m = session.measurement;
    m.port().setPortNumber(5);
    m.togglePort();
    QVERIFY(m.port().isOpen());
    QSignalSpy portChanges(&m, &Measurement::portOpenChanged);
    session.dialogs.answer(Answer::Ok);
    m.handlePortEvent(SerialPort::Event::Overrun);
    QVERIFY(m.port().isOpen());
    session.dialogs.answer(Answer::Cancel);
    m.handlePortEvent(SerialPort::Event::Overrun);
    QVERIFY(!m.port().isOpen());
    // Nothing else changes: the check mark that follows portOpenChanged
    // stays as it was.
    QCOMPARE(portChanges.size(), 0);
}

void TestProcessing::vanishedDeviceIsReportedOnceWithoutSpinning()
{
    Session session;
    Simulator sim;
    QVERIFY(sim.start(session.dir.path(), 7, {QStringLiteral("--interval-ms"), QStringLiteral("20")}));
    Measurement &m = session.measurement;
    m.port().setPortNumber(7);
    QCOMPARE(m.openFolder(), Measurement::FolderResult::Ready);
    m.startStop();
    QVERIFY(m.port().isOpen());
    QTRY_VERIFY_WITH_TIMEOUT(m.live().received.text.contains(QStringLiteral("INP1 = ")), 5000);
    session.dialogs.answer(Answer::Ok);
    session.dialogs.answer(Answer::Ok);
    sim.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(session.dialogs.messages().size(), 1, 5000);
    QVERIFY(!m.port().isOpen());
    const QString before = m.live().received.text;
    // Let the event loop run: a port left open would report again and again.
    QTest::qWait(500);
    QCOMPARE(session.dialogs.messages().size(), 1);
    QVERIFY(session.dialogs.beeps() >= 1);
    QCOMPARE(m.live().received.text, before);
}

void TestProcessing::portThatCannotOpenIsNamedWithItsReason_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("text");   // %1: the folder of the session
    QTest::newRow("no port set") << "English" << 0
        << "No serial port is set in the settings: choose one under Settings, User settings, and save.";
    QTest::newRow("no port set, German") << "Deutsch" << 0 << QString::fromUtf8(
        "In den Einstellungen ist keine Schnittstelle gewählt: "
        "bitte unter Einstellungen, Programm Optionen eine wählen und speichern.");
    QTest::newRow("device gone") << "Francais" << 9 << "%1/no-such-device: No such file or directory";
}

void TestProcessing::portThatCannotOpenIsNamedWithItsReason()
{
    QFETCH(QString, language);
    QFETCH(int, port);
    QFETCH(QString, text);

    Session session(language);
    Measurement &m = session.measurement;
    QFile::link(session.dir.filePath(QStringLiteral("no-such-device")), session.dir.filePath(QStringLiteral("COM9")));
    m.port().setPortNumber(qint16(port));
    QCOMPARE(m.openFolder(), Measurement::FolderResult::Ready);
    session.dialogs.answer(Answer::Ok);
    QObject::connect(&m, &Measurement::stopped, &m, [&m] { m.discard(); });
    m.startStop();

    const auto boxes = session.dialogs.messages();
    QVERIFY(!boxes.isEmpty());
    QCOMPARE(boxes.at(0).text, text.arg(session.dir.path()));
    QVERIFY(!m.port().isOpen());
}

void TestProcessing::missingHeaderIsReportedInTheConfiguredLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::newRow("Deutsch") << "Deutsch"
        << QString::fromUtf8(" Es ist ein Übertragungsfehler aufgetreten... Bitte Drücken Sie Start/ Stopp !")
        << "Bitte Messung neu starten !";
    QTest::newRow("English") << "English" << "Data transsmision error... Please press Start / Stop again !"
                             << "Please start the transmission again !";
    QTest::newRow("Francais") << "Francais"
        << QString::fromUtf8("Erreur transmission de données ... appuyez encore sur Start / Stop s.v.p")
        << QString::fromUtf8("Erreur transmission de données");
    QTest::newRow("unknown") << "english" << "" << "";
}

void TestProcessing::missingHeaderIsReportedInTheConfiguredLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, text);
    QFETCH(QString, title);

    Session session(language);
    Measurement &m = session.measurement;
    // Port 9 cannot open, so the Start/Stop that follows the report ends at once.
    QFile::link(session.dir.filePath(QStringLiteral("no-such-device")), session.dir.filePath(QStringLiteral("COM9")));
    m.port().setPortNumber(9);
    QCOMPARE(m.openFolder(), Measurement::FolderResult::Ready);
    m.header().inp1Header.clear(); // as after a Start: only a received line counts
    session.dialogs.answer(Answer::Ok); // the report
    session.dialogs.answer(Answer::Ok); // the port that cannot open
    QObject::connect(&m, &Measurement::stopped, &m, [&m] { m.discard(); });
    m.readHeader();

    const auto boxes = session.dialogs.messages();
    if (text.isEmpty()) {
        // No report and no stop in a language the program does not know.
        QVERIFY(boxes.isEmpty());
        QVERIFY(!m.headerTimer().isActive());
        return;
    }
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0).text, text);
    QCOMPARE(boxes.at(0).title, title);
    QCOMPARE(boxes.at(0).style, 0);
    QCOMPARE(m.state(), Measurement::State::Idle);
    QVERIFY(m.headerTimer().isActive());   // the Start/Stop that followed armed the next header read
}

QTEST_GUILESS_MAIN(TestProcessing)
#include "tst_processing.moc"
